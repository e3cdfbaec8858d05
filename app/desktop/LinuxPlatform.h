#pragma once

#include "Platform.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

enum class InstanceLock { Acquired, HeldElsewhere, Failed };

// The desktop on Linux: an flock'ed lock file for the single running copy, an XDG autostart
// entry for start at logon, xdg-open for documents.
class LinuxPlatform final : public Platform {
public:
    // launchArguments: the options this run was started with, repeated in the autostart entry.
    // tempFolder: where the lock file goes when XDG_RUNTIME_DIR is not set.
    explicit LinuxPlatform(std::vector<std::string> launchArguments = {}, std::string tempFolder = {});
    ~LinuxPlatform() override;
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    // Held until this object goes; not inherited by child processes.
    InstanceLock LockSingleInstance(const std::string& name);
    std::string InstanceLockPath(const std::string& name) const;
    bool AcquireSingleInstance(const std::string& name) override {
        return LockSingleInstance(name) == InstanceLock::Acquired;
    }

    std::string AutoStartPath() const; // $XDG_CONFIG_HOME/autostart/VNPtr.desktop
    bool IsAutoStartEnabled() override;
    bool SetAutoStart(bool enabled, const std::string& programPath) override;

    // Starts xdg-open with the path or URL as its one argument; does not wait for it.
    bool OpenDocument(const std::string& pathOrUrl) override;

    // The desktop front end brings its own windows forward; without it nothing is found.
    void SetWindowRaiser(std::function<bool(const std::string& title)> raiser);
    bool BringWindowToFront(const std::string& title) override;

    bool PrinterAdministrationAvailable() override; // lpadmin and lpstat are installed

    std::string LastError() const override;

private:
    void Fail(const std::string& why);

    const std::vector<std::string> m_launchArguments;
    const std::string m_tempFolder;
    int m_lockFd = -1;
    mutable std::mutex m_mutex;
    std::string m_lastError;
    std::function<bool(const std::string&)> m_raiser;
};

} // namespace vvp
