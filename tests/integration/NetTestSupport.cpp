#include "NetTestSupport.h"

#include "FileUtil.h"
#include "QZStringManip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vvp::test {
namespace {

int ConnectLocal(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads until the peer closes; 1 clean close, 0 time-out, -1 reset or error.
int ReadUntilClosed(int fd, std::string& into, size_t limit, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buf[65536];
    while (into.size() < limit) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return 0;
        ssize_t n = ::recv(fd, buf, std::min(sizeof buf, limit - into.size()), 0);
        if (n == 0) return 1;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return -1;
        }
        into.append(buf, static_cast<size_t>(n));
    }
    return 0;
}

} // namespace

std::string VvpdBinary() {
    return BinDir() + "/vvpd";
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

Exchange SendJob(int port, const std::string& bytes, std::chrono::milliseconds timeout) {
    Exchange e;
    int fd = ConnectLocal(port);
    if (fd < 0) return e;
    e.connected = true;
    if (SendAll(fd, bytes)) {
        ::shutdown(fd, SHUT_WR);
        e.cleanClose = ReadUntilClosed(fd, e.reply, SIZE_MAX, timeout) == 1;
    }
    ::close(fd);
    return e;
}

Client::Client(int port) : m_fd(ConnectLocal(port)) {}
Client::~Client() {
    if (m_fd >= 0) ::close(m_fd);
}
bool Client::Send(const std::string& bytes) {
    return m_fd >= 0 && SendAll(m_fd, bytes);
}
void Client::ShutdownSend() {
    ::shutdown(m_fd, SHUT_WR);
}
void Client::Reset() {
    const linger abort{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(m_fd);
    m_fd = -1;
}
std::string Client::Receive(size_t n, std::chrono::milliseconds timeout) {
    std::string got;
    ReadUntilClosed(m_fd, got, n, timeout);
    return got;
}
bool Client::WaitClosed(std::chrono::milliseconds timeout) {
    std::string ignored;
    return ReadUntilClosed(m_fd, ignored, SIZE_MAX, timeout) != 0;
}

std::string KxkAccount(const std::string& user, const std::string& domain) {
    std::string plain = "PASSWORD01" + user + "|Account of " + user + "|" + domain + "|host|port|1.0|note";
    for (auto& c : plain)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ 0x5A);
    return plain;
}

std::string HealthMessageJob(const std::string& marker) {
    std::string job = ReadTestData("messages/referral_pit.prn");
    return StrReplace(job, "Dear Anne,", marker);
}

// ---- VvpdProcess ----

VvpdProcess::VvpdProcess() {
    (void)ForceDirectories(ProgramFolder());
    (void)ForceDirectories(TempFolder());
    (void)ForceDirectories(dir.Path() + "run");
    port = FreePort();
}

VvpdProcess::~VvpdProcess() {
    // A service still running is stopped as a user would; it must end cleanly, which in a
    // sanitizer build also means without a report.
    if (m_pid > 0 && Running()) {
        EXPECT_EQ(Stop(SIGTERM), 0) << Output();
    }
    const std::string out = Output();
    EXPECT_EQ(out.find("WARNING: ThreadSanitizer"), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR: AddressSanitizer"), std::string::npos) << out;
    EXPECT_EQ(out.find("runtime error:"), std::string::npos) << out;
}

void VvpdProcess::Set(const std::string& name, const std::string& value) {
    CommandResult r = Command("set '" + name + "' '" + value + "'");
    ASSERT_EQ(r.status, 0) << r.output;
}

CommandResult VvpdProcess::Command(const std::string& args) const {
    return RunCommand("TMP=" + TempFolder() + " TEMP= " + VvpdBinary() + " --program-folder " +
                      ProgramFolder() + " --registry " + dir.Path() + "registry.reg " + args);
}

bool VvpdProcess::Start(const std::vector<std::string>& extraArgs, const std::vector<std::string>& env) {
    Set("Port", std::to_string(port));
    const std::string logPath = dir.Path() + "output.log";
    std::vector<std::string> args = {VvpdBinary(), "--program-folder", ProgramFolder(), "--registry",
                                     dir.Path() + "registry.reg"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<std::string> environment = {"TMP=" + TempFolder(), "XDG_RUNTIME_DIR=" + dir.Path() + "run"};
    // The printer check at start reaches the machine's own scheduler only when a test asks for it.
    if (!std::getenv("CUPS_SERVER")) environment.push_back("CUPS_SERVER=" + dir.Path() + "no-cups.sock");
    environment.insert(environment.end(), env.begin(), env.end());
    // A restart appends to the same log: only what this start writes counts.
    const size_t listeningBefore = CountLogged("Status: Listening");
    const size_t errorsBefore = CountLogged("Status: Error");
    m_pid = fork();
    if (m_pid == 0) {
        ::unsetenv("TEMP");
        for (const auto& e : environment)
            ::putenv(const_cast<char*>(e.c_str()));
        int fd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    // Sanitizer builds start slowly.
    auto listening = [&] { return CountLogged("Status: Listening") > listeningBefore; };
    WaitUntil([&] { return listening() || CountLogged("Status: Error") > errorsBefore || !Running(); }, 60s);
    return listening() && Running();
}

bool VvpdProcess::Running() {
    if (m_pid <= 0) return false;
    int status = 0;
    pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == 0) return true;
    if (r == m_pid) m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    return false;
}

int VvpdProcess::Stop(int signo, std::chrono::milliseconds timeout) {
    if (m_pid > 0) {
        ::kill(m_pid, signo);
        if (!WaitUntil([&] { return !Running(); }, timeout)) {
            ::kill(m_pid, SIGKILL);
            WaitUntil([&] { return !Running(); }, 10s);
            return -2;
        }
    }
    return m_exitStatus;
}

std::string VvpdProcess::Output() const {
    auto r = ReadWholeFile(dir.Path() + "output.log");
    return r ? *r : std::string();
}

size_t VvpdProcess::CountLogged(const std::string& text) const {
    const std::string out = Output();
    size_t n = 0;
    for (auto p = out.find(text); p != std::string::npos; p = out.find(text, p + text.size()))
        ++n;
    return n;
}

std::vector<std::string> VvpdProcess::Files(const std::string& folder, const std::string& mask) {
    auto names = ListFolder(folder, mask, false);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace vvp::test
