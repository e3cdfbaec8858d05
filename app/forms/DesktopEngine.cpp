// The engine behind the main window: the engine root with the desktop's seams (Qt dialogs,
// printing through CUPS, the settings file).

#include "CupsPrintService.h"
#include "DesktopEngineFactory.h"
#include "HeldJobs.h"
#include "JobListener.h"
#include "KXPrintHandler.h"
#include "PrinterProvisioning.h"
#include "RegistryStore.h"
#include "RelayClient.h"
#include "SigningFolderMonitor.h"
#include "vnHICPKIinterface.h"

namespace vvp {
namespace {

class DesktopEngine final : public MainWindowEngine {
public:
    explicit DesktopEngine(const DesktopSeams& seams)
        : m_clock(MakeClockFromEnvironment()), m_registry(RegFileStore::PathFor(seams.options.registryFile)),
          m_printing({[this] { return VirtualPrinterIdentityFrom(Settings()); },
                      [&prompter = seams.prompter](const std::string& title) {
                          return prompter.ChoosePrinter(title);
                      },
                      [folders = seams.folders] { return folders.temp; }, nullptr}) {
        EngineSeams engineSeams{*m_clock, seams.prompter, m_printing, m_registry, seams.events};
        engineSeams.platform = &seams.platform;
        engineSeams.pathologyDialogs = seams.pathologyDialogs;
        if (seams.logChanged)
            engineSeams.logSink = [changed = seams.logChanged](const std::string&) { changed(); };
        m_engine = std::make_unique<KXPrintHandler>(engineSeams, EngineOptions{seams.folders});
    }
    ~DesktopEngine() override { Stop(); }

    Result<void> Start() override {
        auto started = m_engine->Start(StartMode::Service);
        if (!started) return Error{"The printer service cannot start: " + started.error().message};
        return Ok();
    }
    void Stop() override { m_engine->Stop(); }
    void Tick() override { m_engine->Tick(); }

    VNPTRRegValues Settings() const override { return m_engine->Settings().Get(); }
    Result<void> ChangeSettings(const std::function<void(VNPTRRegValues&)>& change) override {
        m_engine->Settings().Update(change);
        return m_engine->SaveSettings();
    }
    void ReloadSettings() override { (void)m_engine->LoadSettings(); }
    void DisableListener() override { m_engine->SetListening(false); }
    bool ListenerActive() const override { return m_engine->Listener() && m_engine->Listener()->Active(); }
    std::string StatusText() const override {
        return m_engine->Listener() ? m_engine->Listener()->StatusText() : std::string("Disabled");
    }

    std::vector<std::string> DomainList() const override { return m_engine->Relay().DomainList(); }
    void ClearDomainList() override { m_engine->Relay().ShowDomains(""); }
    void QueryServerInfo() override { m_engine->Relay().QueryServerInfo(); }
    void RefreshDomainList() override { m_engine->Relay().RefreshDomainList(); }
    void RefreshDomainText() override {
        if (m_engine->Listener()) m_engine->Listener()->RefreshDomainText();
    }

    TokenDisplay TokenState() const override { return m_engine->Signing().Display(); }
    void TokenLogon() override { (void)m_engine->Signing().Logon(); }
    void SetSigning(bool on) override {
        (void)ChangeSettings([on](VNPTRRegValues& v) { v.HeSATokens = on; });
        m_engine->Signing().SetGroupVisible(m_engine->Signer().SigningAvailable());
    }
    MonitorDisplay MonitorState() const override { return m_engine->Monitor().Display(); }

    std::vector<PrinterQueue> PrinterQueues() override { return m_printing.PrinterQueues(); }

    Folders GetFolders() const override { return m_engine->GetFolders(); }
    AddressFetchResult FetchAddressBook() override {
        using From = AddressFetchOutcome::Status;
        using To = AddressFetchResult::Status;
        const AddressFetchOutcome outcome = m_engine->Relay().FetchAddressBook();
        To status = To::Failed;
        switch (outcome.status) {
        case From::NoServer:
            status = To::NoServer;
            break;
        case From::Unreachable:
            status = To::Unreachable;
            break;
        case From::Fetched:
            status = To::Fetched;
            break;
        case From::Failed:
            break;
        }
        return {status, outcome.lines, outcome.message};
    }
    std::optional<NewPrinter> AskNewPrinter() override {
        const auto asked = Printers().AskVocanetPrinter();
        if (!asked) return std::nullopt;
        return NewPrinter{asked->port, asked->name};
    }
    void CreatePrinter(const NewPrinter& printer) override {
        (void)Printers().CreatePrinter(printer.port, printer.name);
    }
    void VerifyPrinter() override {
        const bool listed = !Settings().PrinterListText.empty();
        (void)Printers().CheckPrinter();
        // The check looks for the printers only while none are listed; say which they are.
        const VNPTRRegValues values = Settings();
        if (listed && !values.PrinterListText.empty())
            LogLine("Printers on port " + std::to_string(values.Port) + ": " + Lines(values.PrinterListText));
    }
    void CheckPrinterAtLoad() override { Printers().CheckPrinterAtLoad(); }
    std::string ChangePort(const std::string& typed) override {
        return Printers().ChangePortManually(typed, [this](int32_t port) -> Result<void> {
            JobListener* listener = m_engine->Listener();
            if (!listener) return Error{"the printer service is not running"};
            VNPTRRegValues values = Settings();
            values.Port = port;
            if (listener->Activate(values)) return Ok();
            std::string why = listener->StatusText();
            if (why.rfind("Error ", 0) == 0) why.erase(0, 6);
            return Error{why};
        });
    }

    size_t HeldJobCount() const override { return m_engine->Held().List().size(); }

    std::vector<std::string> LogLines() const override { return m_engine->Log().Lines(); }
    void LogLine(const std::string& text) override { m_engine->LogLine(text); }

private:
    // Made by the root from the platform seam, which the desktop always has.
    PrinterProvisioning& Printers() { return *m_engine->Printers(); }
    static std::string Lines(const std::string& crlfLines) {
        std::string out;
        for (char c : crlfLines) {
            if (c == '\r') continue;
            out += c == '\n' ? std::string(", ") : std::string(1, c);
        }
        while (!out.empty() && (out.back() == ' ' || out.back() == ','))
            out.pop_back();
        return out;
    }

    std::unique_ptr<Clock> m_clock;
    RegFileStore m_registry;
    CupsPrintService m_printing;
    std::unique_ptr<KXPrintHandler> m_engine;
};

} // namespace

std::unique_ptr<MainWindowEngine> MakeDesktopEngine(const DesktopSeams& seams) {
    return std::make_unique<DesktopEngine>(seams);
}

} // namespace vvp
