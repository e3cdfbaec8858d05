#pragma once

#include "AddressBookOpener.h"
#include "Folders.h"
#include "PrintService.h"
#include "Result.h"
#include "Settings.h"
#include "SigningFolderMonitor.h"
#include "vnHICPKIinterface.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vvp {

// What the main window needs from the running engine. Calls marked "may wait" talk to the
// network or the signing token and are made off the GUI thread; the rest return at once and may
// be called from any thread.
class MainWindowEngine {
public:
    virtual ~MainWindowEngine() = default;

    // Prepares the folders, takes the temporary folder's spool lock, loads the settings (which
    // starts the listener), queries the configured server and recovers jobs a crash left. An
    // error (another service holds the temporary folder, say) is for the user; nothing runs then.
    virtual Result<void> Start() = 0;
    // Stops the listener and lets every job in hand finish; prompts must be abandoned first.
    virtual void Stop() = 0;
    // The once-a-second work: the domain refresh in Save Mode 0, one pass of the folder monitor.
    // May wait.
    virtual void Tick() = 0;

    virtual VNPTRRegValues Settings() const = 0;
    // Changes the settings under their lock and saves them.
    virtual Result<void> ChangeSettings(const std::function<void(VNPTRRegValues&)>& change) = 0;
    // Loads the settings again, which restarts the listener (the Enabled item checked).
    virtual void ReloadSettings() = 0;
    // Stops accepting print jobs; the status text becomes "Disabled".
    virtual void DisableListener() = 0;
    virtual bool ListenerActive() const = 0;
    virtual std::string StatusText() const = 0;

    virtual std::vector<std::string> DomainList() const = 0;
    virtual void ClearDomainList() = 0;
    // Asks the configured server for its accounts. May wait.
    virtual void QueryServerInfo() = 0;
    // Shows "Cant find Vocanet!" while no account is known and queries now and then. May wait.
    virtual void RefreshDomainList() = 0;
    // Save Mode 2: the account list answered to other VVPs, read from the program folder.
    virtual void RefreshDomainText() = 0;

    virtual TokenDisplay TokenState() const = 0;
    // Logs the token on; the token state follows. May wait.
    virtual void TokenLogon() = 0;
    // Switches signing with the HeSA token on (loading the signing library) or off (releasing it),
    // and saves; the token state says whether the token box shows.
    virtual void SetSigning(bool on) = 0;

    virtual MonitorDisplay MonitorState() const = 0;

    // The print queues of this machine, with their devices where known.
    virtual std::vector<PrinterQueue> PrinterQueues() = 0;

    // The program folder and the temporary folder (the address book's data directory).
    virtual Folders GetFolders() const = 0;
    // Asks the server for its address book ("ADDR") and stores it in the temporary folder. May
    // wait, as long as the "Address Exchange Timeout" allows.
    virtual AddressFetchResult FetchAddressBook() = 0;
    // The CUPS queue that feeds the listener. Without printer administration these do nothing.
    struct NewPrinter {
        int32_t port = 0;
        std::string name;
    };
    // "Create Vocanet Printer"'s questions; nullopt when cancelled.
    virtual std::optional<NewPrinter> AskNewPrinter() = 0;
    // Creates the queue and says how it went. May wait.
    virtual void CreatePrinter(const NewPrinter& printer) = 0;
    // "Verify Vocanet Printer Details": a queue on the Port setting (made when missing), and
    // PrinterListText. May wait.
    virtual void VerifyPrinter() = 0;
    // The check of a settings load, when there is no queue "Vocanet". May wait.
    virtual void CheckPrinterAtLoad() = 0;
    // Leaving the port box: asks, moves the listener to the port typed (back to the old one when
    // it cannot listen there) and saves; the text the box shows then.
    virtual std::string ChangePort(const std::string& typed) = 0;

    // Jobs held until what stopped them is fixed (they are tried again by themselves).
    virtual size_t HeldJobCount() const = 0;

    virtual std::vector<std::string> LogLines() const = 0; // newest first
    virtual void LogLine(const std::string& text) = 0;
};

} // namespace vvp
