// Stand-in for the shared engine root until it lands: the headless service's runtime behind the
// main window. Prompts of jobs are answered as vvpd answers them (and logged); printouts go to
// the Print Folder as PDF files.

#include "CupsPrintService.h"
#include "DesktopEngineFactory.h"
#include "FileUtil.h"
#include "ServiceMain.h"
#include "VvpdCommands.h"
#include "VvpdRuntime.h"

#include <iostream>

namespace vvp {
namespace {

VvpdOptions ToVvpdOptions(const DesktopOptions& options) {
    VvpdOptions v;
    v.programFolder = options.programFolder;
    v.registryFile = options.registryFile;
    return v;
}

class StubDesktopEngine final : public MainWindowEngine {
public:
    explicit StubDesktopEngine(const DesktopSeams& seams)
        : m_options(ToVvpdOptions(seams.options)), m_runtime(m_options, std::cout),
          m_printing({[this] { return VirtualPrinterIdentityFrom(Settings()); }, {}, {}, nullptr}) {
        if (seams.logChanged)
            m_runtime.Handler().Services().log.Subscribe(
                [changed = seams.logChanged](const std::string&) { changed(); });
    }
    ~StubDesktopEngine() override { Stop(); }

    Result<void> Start() override {
        KXPrintHandler& handler = m_runtime.Handler();
        handler.PrepareStartup(true);
        const std::string temp = m_runtime.GetFolders().temp;
        if (!DirectoryExists(temp)) (void)ForceDirectories(temp);
        std::string error;
        if (!m_lock.Acquire(temp, error)) return Error{"The printer service cannot start: " + error};
        const std::vector<std::string> leftovers = LeftoverSpoolFiles(temp);
        m_service = std::make_unique<VvpdService>(m_runtime, VvpdService::Options{});
        const LoadOutcome loaded = handler.LoadSettings();
        m_runtime.GetPrompter().SetDefaultFolder(loaded.values.SavePath);
        if (loaded.values.SaveMode == 2) m_service->IdTCPServer1().RefreshDomainText();
        m_service->Recover(leftovers);
        return Ok();
    }
    void Stop() override {
        if (m_service) m_service->Stop();
    }
    void Tick() override {
        if (m_service) m_service->Tick();
    }

    VNPTRRegValues Settings() const override { return m_runtime.Handler().Settings().Get(); }
    Result<void> ChangeSettings(const std::function<void(VNPTRRegValues&)>& change) override {
        m_runtime.Handler().Settings().Update(change);
        return m_runtime.Handler().SaveSettings();
    }
    void ReloadSettings() override { (void)m_runtime.Handler().LoadSettings(); }
    void DisableListener() override {
        if (m_service) m_service->IdTCPServer1().Deactivate();
    }
    bool ListenerActive() const override { return m_service && m_service->IdTCPServer1().Active(); }
    std::string StatusText() const override {
        return m_service ? m_service->IdTCPServer1().StatusText() : std::string("Inactive");
    }

    std::vector<std::string> DomainList() const override { return m_runtime.Relay().DomainList(); }
    void ClearDomainList() override { m_runtime.Relay().ShowDomains(""); }
    void QueryServerInfo() override { m_runtime.Relay().QueryServerInfo(); }
    void RefreshDomainList() override { m_runtime.Relay().RefreshDomainList(); }
    void RefreshDomainText() override {
        if (m_service) m_service->IdTCPServer1().RefreshDomainText();
    }

    TokenDisplay TokenState() const override { return {}; }
    void TokenLogon() override {}
    void SetSigning(bool on) override {
        (void)ChangeSettings([on](VNPTRRegValues& v) { v.HeSATokens = on; });
        (void)m_runtime.Signer().SigningAvailable();
    }
    MonitorDisplay MonitorState() const override { return m_runtime.Monitor().Display(); }

    std::vector<PrinterQueue> PrinterQueues() override { return m_printing.PrinterQueues(); }

    std::vector<std::string> LogLines() const override { return m_runtime.Handler().Services().log.Lines(); }
    void LogLine(const std::string& text) override { m_runtime.Handler().LogLine(text); }

private:
    const VvpdOptions m_options;
    mutable VvpdRuntime m_runtime;
    CupsPrintService m_printing;
    SpoolFolderLock m_lock;
    std::unique_ptr<VvpdService> m_service;
};

} // namespace

std::unique_ptr<MainWindowEngine> MakeDesktopEngine(const DesktopSeams& seams) {
    return std::make_unique<StubDesktopEngine>(seams);
}

} // namespace vvp
