#include "VvpdRuntime.h"

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
        if (t)
            return std::make_unique<FixedClock>(*t, std::atoi(EnvOr("VVP_FIXED_UTC_OFFSET", "600").c_str()));
    }
    return std::make_unique<SystemClock>();
}

VvpdRuntime::VvpdRuntime(const VvpdOptions& options, std::ostream& out)
    : m_options(options), m_clock(MakeClockFromEnvironment()),
      m_registry(options.registryFile.empty() ? EnvOr("VVP_REGISTRY", RegFileStore::DefaultPath())
                                              : options.registryFile),
      m_prompter(&out),
      m_printService([this] { return m_engine ? m_engine->Settings().Get().PrintFolder : std::string(); },
                     PdfPrintService::kPrinterName, nullptr),
      m_events(out) {
    EngineSeams seams{*m_clock, m_prompter, m_printService, m_registry, m_events};
    seams.logSink = [&out](const std::string& line) { out << LogLineForOutput(line) << std::endl; };
    m_engine = std::make_unique<KXPrintHandler>(seams, EngineOptions{ResolveFolders(options.programFolder)});
    m_printService.SetLog(&m_engine->Log());
}

VvpdRuntime::~VvpdRuntime() = default;

void VvpdEvents::StatusTextChanged(const std::string& statusText) {
    m_out << "Status: " << statusText << std::endl;
}

bool VvpdRuntime::LoadAnswers(std::string& error) {
    if (m_options.answersFile.empty()) return true;
    return m_prompter.LoadAnswersFile(m_options.answersFile, &error);
}

Result<LoadOutcome> VvpdRuntime::Start(StartMode mode) {
    auto started = m_engine->Start(mode);
    if (started) m_prompter.SetDefaultFolder(started->values.SavePath);
    return started;
}

} // namespace vvp
