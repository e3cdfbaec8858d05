#include "LinuxPlatform.h"

#include "AutoStartEntry.h"
#include "FileUtil.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vvp {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

bool IsExecutable(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool OnPath(const std::string& program) {
    // lpadmin lives in sbin, which an ordinary user's PATH often leaves out.
    std::string path = Env("PATH") + ":/usr/sbin:/sbin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        const std::string folder = path.substr(start, end - start);
        if (!folder.empty() && IsExecutable(IncludeTrailingSeparator(folder) + program)) return true;
        start = end + 1;
    }
    return false;
}

bool IsUrl(const std::string& text) {
    const auto colon = text.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool ok =
            std::isalpha(static_cast<unsigned char>(c)) ||
            (i > 0 && (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return true;
}

} // namespace

LinuxPlatform::LinuxPlatform(std::vector<std::string> launchArguments, std::string tempFolder)
    : m_launchArguments(std::move(launchArguments)), m_tempFolder(std::move(tempFolder)) {}

LinuxPlatform::~LinuxPlatform() {
    if (m_lockFd >= 0) close(m_lockFd);
}

void LinuxPlatform::Fail(const std::string& why) {
    std::lock_guard lock(m_mutex);
    m_lastError = why;
}

std::string LinuxPlatform::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

std::string LinuxPlatform::InstanceLockPath(const std::string& name) const {
    std::string folder = Env("XDG_RUNTIME_DIR");
    if (folder.empty()) folder = m_tempFolder.empty() ? std::string("/tmp/") : m_tempFolder;
    return IncludeTrailingSeparator(folder) + name + ".lock";
}

InstanceLock LinuxPlatform::LockSingleInstance(const std::string& name) {
    if (m_lockFd >= 0) return InstanceLock::Acquired;
    const std::string path = InstanceLockPath(name);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        Fail(ErrnoError("Cannot create the lock file " + path, errno).message);
        return InstanceLock::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        close(fd);
        if (err == EWOULDBLOCK) return InstanceLock::HeldElsewhere;
        Fail(ErrnoError("Cannot lock " + path, err).message);
        return InstanceLock::Failed;
    }
    m_lockFd = fd;
    return InstanceLock::Acquired;
}

std::string LinuxPlatform::AutoStartPath() const {
    std::string config = Env("XDG_CONFIG_HOME");
    // The base directory specification ignores a relative path here.
    if (config.empty() || config[0] != '/') config = HomeFolder() + "/.config";
    return IncludeTrailingSeparator(config) + "autostart/" + kAutoStartFile;
}

bool LinuxPlatform::IsAutoStartEnabled() {
    const std::string path = AutoStartPath();
    if (!FileExists(path)) return false;
    auto text = ReadWholeFile(path);
    return text && AutoStartEntryEnabled(*text);
}

bool LinuxPlatform::SetAutoStart(bool enabled, const std::string& programPath) {
    const std::string path = AutoStartPath();
    if (!enabled) {
        if (unlink(path.c_str()) != 0 && errno != ENOENT) {
            Fail(ErrnoError("Cannot remove " + path, errno).message);
            return false;
        }
        return true;
    }
    auto text = AutoStartEntryText(programPath, m_launchArguments);
    if (!text) {
        Fail(text.error().message);
        return false;
    }
    if (auto made = ForceDirectories(ExtractFileDir(path)); !made) {
        Fail(made.error().message);
        return false;
    }
    if (auto written = WriteFileAtomically(path, *text); !written) {
        Fail(written.error().message);
        return false;
    }
    return true;
}

bool LinuxPlatform::OpenDocument(const std::string& pathOrUrl) {
    if (pathOrUrl.empty()) {
        Fail("Nothing to open");
        return false;
    }
    std::string target = pathOrUrl;
    // An absolute path or a URL never starts with "-", so xdg-open cannot take it for an option.
    if (!IsUrl(target) && target[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) {
            Fail(ErrnoError("Cannot resolve " + target, errno).message);
            return false;
        }
        target = IncludeTrailingSeparator(cwd) + target;
    }
    std::string program = "xdg-open";
    char* argv[] = {program.data(), target.data(), nullptr};
    pid_t pid = 0;
    if (const int err = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ); err != 0) {
        Fail(ErrnoError("Cannot start xdg-open", err).message);
        return false;
    }
    // Reaped aside, so the caller never waits for the opened program.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

void LinuxPlatform::SetWindowRaiser(std::function<bool(const std::string&)> raiser) {
    std::lock_guard lock(m_mutex);
    m_raiser = std::move(raiser);
}

bool LinuxPlatform::BringWindowToFront(const std::string& title) {
    std::function<bool(const std::string&)> raiser;
    {
        std::lock_guard lock(m_mutex);
        raiser = m_raiser;
    }
    return raiser && raiser(title);
}

bool LinuxPlatform::PrinterAdministrationAvailable() {
    return OnPath("lpadmin") && OnPath("lpstat");
}

} // namespace vvp
