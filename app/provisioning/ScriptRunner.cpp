#include "ScriptRunner.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vvp {
namespace {

constexpr size_t kMaxReport = 4u << 20;

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Waits for the child to end within the time; true when it did (it is then a zombie, not reaped).
bool WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid) {
            if (pidfd >= 0) ::close(pidfd);
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
        } else {
            // Kernels without pidfd: a short poll keeps the wait close to the exit.
            ::usleep(static_cast<useconds_t>(std::min<long long>(left.count(), 20) * 1000));
        }
    }
    if (pidfd >= 0) ::close(pidfd);
    return false;
}

std::string ReadReport(int dirfd, const std::string& name, std::string& problem) {
    const int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem = Errno("cannot read the report " + name);
        return {};
    }
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
        if (text.size() >= kMaxReport) {
            text.resize(kMaxReport);
            break;
        }
    }
    ::close(fd);
    return text;
}

} // namespace

ToolRun RunToReport(const std::vector<std::string>& argv, const std::string& tempFolder,
                    const std::string& reportName, std::chrono::milliseconds limit) {
    ToolRun run;
    if (argv.empty()) {
        run.problem = "nothing to run";
        return run;
    }
    // A fresh folder only we can enter: nobody can plant or link the report in advance.
    std::string folderTemplate = tempFolder + "VNptr-XXXXXX";
    if (!::mkdtemp(folderTemplate.data())) {
        run.problem = Errno("cannot create a private folder in " + tempFolder);
        return run;
    }
    const std::string folder = folderTemplate;
    const int dirfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int reportFd = dirfd < 0 ? -1
                                   : ::openat(dirfd, reportName.c_str(),
                                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (reportFd < 0) {
        run.problem = Errno("cannot create the report " + reportName + " in " + folder);
        if (dirfd >= 0) ::close(dirfd);
        ::rmdir(folder.c_str());
        return run;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, reportFd, 1);
    posix_spawn_file_actions_adddup2(&actions, reportFd, 2);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own session: no terminal to ask for a password on, and one group to kill.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int err = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(reportFd);

    if (err != 0) {
        run.problem = "cannot run " + argv[0] + ": " + std::strerror(err);
    } else {
        run.finished = WaitForExit(pid, limit);
        // Still unreaped, so the group id cannot have been reused: end the tool and anything it
        // left behind.
        ::kill(-pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (run.finished && WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
        run.report = ReadReport(dirfd, reportName, run.problem);
    }
    ::unlinkat(dirfd, reportName.c_str(), 0);
    ::close(dirfd);
    ::rmdir(folder.c_str());
    return run;
}

} // namespace vvp
