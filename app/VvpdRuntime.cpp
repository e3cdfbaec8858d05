#include "VvpdRuntime.h"

#include "RelayFrames.h"
#include "uPrintGenericRequest.h"

#include <cstdlib>
#include <ostream>

namespace vvp {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

} // namespace

std::unique_ptr<Clock> MakeClockFromEnvironment() {
    const std::string fixed = EnvOr("VVP_FIXED_TIME", "");
    if (fixed.size() == 14 && fixed.find_first_not_of("0123456789") == std::string::npos) {
        auto n = [&](size_t pos, size_t len) { return std::atoi(fixed.substr(pos, len).c_str()); };
        auto t = EncodeDateTime({n(0, 4), n(4, 2), n(6, 2), n(8, 2), n(10, 2), n(12, 2), 0});
        if (t) return std::make_unique<FixedClock>(*t, std::atoi(EnvOr("VVP_FIXED_UTC_OFFSET", "600").c_str()));
    }
    return std::make_unique<SystemClock>();
}

VvpdRuntime::VvpdRuntime(const VvpdOptions& options, std::ostream& out)
    : m_options(options), m_folders(ResolveFolders(options.programFolder)), m_clock(MakeClockFromEnvironment()),
      m_registry(options.registryFile.empty() ? EnvOr("VVP_REGISTRY", RegFileStore::DefaultPath())
                                              : options.registryFile),
      m_log(*m_clock), m_prompter(&out),
      m_printService([this] { return m_handler ? m_handler->Settings().Get().PrintFolder : std::string(); },
                     PdfPrintService::kPrinterName, &m_log),
      m_events(out) {
    m_log.Subscribe([&out](const std::string& line) { out << line << std::endl; });
    m_handler = std::make_unique<KXPrintHandler>(
        EngineServices{*m_clock, m_log, m_prompter, m_printService, m_registry, m_events, m_folders});
    // Signing with the HeSA token; the library is loaded from the program folder when first needed.
    m_signer = std::make_unique<TokenSigner>(m_signingLibrary, m_handler->Settings(), m_prompter, *m_clock,
                                             m_folders.program);
    m_letters = std::make_unique<RtfLetterService>(*m_handler);
    m_creation = std::make_unique<MessageCreation>(*m_handler, *m_signer, m_letters.get());
    m_pathologyDialogs = std::make_unique<pathology::HeadlessPathologyDialogs>(m_prompter);
    m_pathology = std::make_unique<pathology::PathologyContext>(
        *m_clock, *m_pathologyDialogs, m_folders.program,
        [this](const std::string& reportPrinter, pathology::TPitFile& record) {
            pathology::PrintRequestForm(reportPrinter, record,
                                        {m_printService, m_prompter, &m_log, m_folders.program});
        });
    m_creation->SetPathologyRequestCreator([this](const std::string& page, const std::string& reportPrinter) {
        return pathology::CreatePathologyRequest(page, reportPrinter, *m_pathology);
    });
    m_relay = std::make_unique<RelayClient>(m_handler->Settings(), m_folders, &m_events);
    m_pipeline = std::make_unique<JobPipeline>(*m_handler, *m_creation, m_relay.get());
    m_pipeline->SetRelayFrameHandler([this](const std::string& spoolPath, const std::string& jobText) {
        return AcceptRelayFrame(*m_handler, spoolPath, jobText);
    });
    m_monitor = std::make_unique<SigningFolderMonitor>(SigningFolderMonitor::Services{
        m_handler->Settings(), m_prompter, m_log, *m_clock, *m_signer, [this] { return m_signer->SigningAvailable(); },
        m_relay.get(), &m_events, [this] { (void)m_handler->SaveSettings(); }});
}

void VvpdEvents::StatusTextChanged(const std::string& statusText) { m_out << "Status: " << statusText << std::endl; }

JobOutcome VvpdRuntime::HandleReceivedJob(const std::string& spoolPath, bool recovered) {
    const VNPTRRegValues settings = m_handler->Settings().Get();
    if (settings.SaveMode == 0 && !settings.VocanetServer.empty()) m_relay->QueryServerInfo();
    return m_pipeline->HandleSpoolFile(spoolPath, recovered);
}

void VvpdRuntime::Tick() {
    if (m_handler->Settings().Get().SaveMode == 0) m_relay->RefreshDomainList();
    m_monitor->MonitorTick();
}

VvpdRuntime::~VvpdRuntime() = default;

bool VvpdRuntime::LoadAnswers(std::string& error) {
    if (m_options.answersFile.empty()) return true;
    return m_prompter.LoadAnswersFile(m_options.answersFile, &error);
}

} // namespace vvp
