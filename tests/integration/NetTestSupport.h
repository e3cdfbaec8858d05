#pragma once

#include "TestSupport.h"

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vvp::test {

using namespace std::chrono_literals;

// Bytes of a file under tests/data.

// The vvpd of this build.
std::string VvpdBinary();

// A TCP port nobody listens on at the moment of asking.

// Waits until the condition holds or the time is up; the condition's last value.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);

// How a sender's connection ended after it sent everything and closed its sending side.
struct Exchange {
    bool connected = false;
    bool cleanClose = false; // the server closed without a reset
    std::string reply;       // every byte the server sent
};

// Connects to 127.0.0.1:port, sends the bytes, shuts its sending side and reads until the
// server closes (or timeout).
Exchange SendJob(int port, const std::string& bytes, std::chrono::milliseconds timeout = 20s);

// A connected socket for tests that pace their own sending; closed on destruction.
class Client {
public:
    explicit Client(int port);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    bool Connected() const { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    void ShutdownSend();
    // Closes with a reset, as a sender that crashed or gave up does.
    void Reset();
    // Bytes until exactly n arrived, the peer closed, or the time is up.
    std::string Receive(size_t n, std::chrono::milliseconds timeout = 10s);
    // True when the server closed the connection (cleanly or not) within the time.
    bool WaitClosed(std::chrono::milliseconds timeout = 10s);

private:
    int m_fd = -1;
};

// An account file of the messaging client whose address is user@domain.
std::string KxkAccount(const std::string& user, const std::string& domain);

// A health-message print job addressed like the sample letter, with a marker line in its text.
std::string HealthMessageJob(const std::string& marker = "Dear Anne,");

// One vvpd service in its own program, temporary and runtime folders.
class VvpdProcess {
public:
    VvpdProcess();
    ~VvpdProcess();
    VvpdProcess(const VvpdProcess&) = delete;
    VvpdProcess& operator=(const VvpdProcess&) = delete;

    TempDir dir;
    int port = 0;

    std::string ProgramFolder() const { return dir.Path() + "prog/"; }
    std::string TempFolder() const { return dir.Path() + "tmp/"; }
    std::string SavePath() const { return dir.Path() + "prog/VirtualPrinter/"; }
    // `vvpd set NAME VALUE`; fails the test when it does not succeed.
    void Set(const std::string& name, const std::string& value);
    // Another vvpd command on the same folders and settings.
    CommandResult Command(const std::string& args) const;
    pid_t Pid() const { return m_pid; }
    // Starts the service and waits until it listens (or has ended); false when it does not listen.
    bool Start(const std::vector<std::string>& extraArgs = {}, const std::vector<std::string>& env = {});
    // Sends the signal and waits for the exit; the exit status, or -1 when killed by a signal.
    int Stop(int signo = 15, std::chrono::milliseconds timeout = 60s);
    bool Running();
    std::string Output() const; // stdout and stderr so far
    bool Logged(const std::string& text) const { return Output().find(text) != std::string::npos; }
    size_t CountLogged(const std::string& text) const;
    // Names of the files in a folder, sorted.
    static std::vector<std::string> Files(const std::string& folder, const std::string& mask = "*");
    std::vector<std::string> Saved(const std::string& mask = "*") const { return Files(SavePath(), mask); }
    std::vector<std::string> Spools() const { return Files(TempFolder(), "*.prn"); }

private:
    pid_t m_pid = -1;
    int m_exitStatus = -1;
};

} // namespace vvp::test
