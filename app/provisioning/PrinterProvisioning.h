#pragma once

#include "Platform.h"
#include "Prompter.h"
#include "Result.h"
#include "Settings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vvp {

// How long each printer tool may take before it is given up (and killed).
struct PrinterToolLimits {
    std::chrono::milliseconds create{35000};      // 7 tries of 5 s
    std::chrono::milliseconds listPorts{18000};   // 3 s, then 5 tries of 3 s
    std::chrono::milliseconds printerInfo{11000}; // 0.5 s, then 21 tries of 0.5 s
    std::chrono::milliseconds listPrinters{10000};
};

// Setting up and checking the CUPS queue that feeds the listener, and changing the listener's
// port by hand: what the "Create Vocanet Printer" and "Verify Vocanet Printer Details" menu
// items, the port box and `vvpd printer` do. Every question and message goes through the
// Prompter; the work is done by the printer scripts found beside the programs. Calls block until
// the tools are done (at most the limits above, per tool), so a window calls them off its event
// thread or under a busy cursor.
class PrinterProvisioning {
public:
    struct Services {
        Platform& platform; // "printer administration available"
        Prompter& prompter;
        SettingsHolder& settings;
        std::function<Result<void>()> saveSettings;
        std::string tempFolder;                      // the private work folders go here
        std::vector<std::string> scriptFolders;      // searched in order for the scripts and the PPD
        std::function<void(const std::string&)> log; // detail lines for the activity log; may be empty
    };

    // Stops the listener and starts it on the port; an error when it cannot listen there.
    using RestartListener = std::function<Result<void>(int32_t port)>;

    explicit PrinterProvisioning(Services services, PrinterToolLimits limits = {});

    // Creates the queue NAME on socket://127.0.0.1:PORT: "OK", "ERROR", or empty when printer
    // administration is not available. Shows "Printer Created successfully" or the failure.
    std::string CreatePrinter(int32_t port, const std::string& name);
    // The port list ("number=name,host" lines); empty without printer administration.
    std::string ListPorts();
    // Names (each + CR LF) of the queues that print to the port of a port list value.
    std::string FindPrintersForPort(const std::string& portValue);
    // The queue names CUPS lists, in its order.
    std::vector<std::string> PrinterNames();

    // "Verify Vocanet Printer Details": makes sure a queue feeds the Port setting (creating one
    // named PortName when none does), fills PrinterListText and saves the settings. "OK" when a
    // queue feeds the port, "ERROR" when one was missing and could not be made, empty without
    // printer administration.
    std::string CheckPrinter();
    // Load step 4: the check, when no queue named "Vocanet" exists.
    void CheckPrinterAtLoad();
    // "Create Vocanet Printer": asks for the port and the name, then creates the queue. The
    // answer of the result: "OK", "ERROR", or empty when nothing was created (cancelled).
    std::string CreateVocanetPrinter();
    struct NewPrinter {
        int32_t port = 0;
        std::string name;
    };
    // Its two questions alone (a window asks them before the creation runs in the background);
    // nullopt when cancelled or without printer administration.
    std::optional<NewPrinter> AskVocanetPrinter();
    // Leaving the port box with the text typed into it: asks, then moves the listener to the
    // new port (back to the old one when the new one cannot be used) and saves. The text the box
    // shows afterwards.
    std::string ChangePortManually(const std::string& editText, const RestartListener& restart);

    bool Available() { return m_services.platform.PrinterAdministrationAvailable(); }

private:
    std::string FindFile(const std::string& name) const;
    void Log(const std::string& text) const;
    void LogReport(const std::string& report) const;

    Services m_services;
    PrinterToolLimits m_limits;
};

// lpadmin and lpstat can be run (found on PATH).
bool CupsAdministrationAvailable();

// A platform that only administers printers: for the headless service and commands.
class CupsToolsPlatform final : public Platform {
public:
    bool AcquireSingleInstance(const std::string&) override { return true; }
    bool IsAutoStartEnabled() override { return false; }
    bool SetAutoStart(bool, const std::string&) override { return false; }
    bool OpenDocument(const std::string&) override { return false; }
    bool BringWindowToFront(const std::string&) override { return false; }
    bool PrinterAdministrationAvailable() override { return CupsAdministrationAvailable(); }
};

} // namespace vvp
