#pragma once

#include <string>

namespace vvp {

// Desktop integration that differs between platforms.
class Platform {
public:
    virtual ~Platform() = default;
    // Takes the single-instance lock; false when another copy holds it.
    virtual bool AcquireSingleInstance(const std::string& name) = 0;
    virtual bool IsAutoStartEnabled() = 0;
    virtual bool SetAutoStart(bool enabled, const std::string& programPath) = 0;
    // Why the last call that returned false failed, for the user.
    virtual std::string LastError() const { return {}; }
    // Opens a document or web page with its associated program.
    virtual bool OpenDocument(const std::string& pathOrUrl) = 0;
    // Finds a top-level window by caption (exact, else prefix, letter case ignored), restores it
    // and brings it to the front.
    virtual bool BringWindowToFront(const std::string& title) = 0;
    // Printer administration (CUPS tools) is available.
    virtual bool PrinterAdministrationAvailable() = 0;
};

} // namespace vvp
