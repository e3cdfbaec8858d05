#include "VvpdRuntime.h"

#include <cstdlib>
#include <ostream>

namespace vvp {

VvpdRuntime::VvpdRuntime(const VvpdOptions& options, std::ostream& out)
    : m_options(options), m_clock(MakeClockFromEnvironment()),
      m_registry(RegFileStore::PathFor(options.registryFile)), m_prompter(&out),
      m_printService([this] { return m_engine ? m_engine->Settings().Get().PrintFolder : std::string(); },
                     PdfPrintService::kPrinterName, nullptr),
      m_events(out) {
    EngineSeams seams{*m_clock, m_prompter, m_printService, m_registry, m_events};
    seams.logSink = [&out](const std::string& line) { out << LogLineForOutput(line) << std::endl; };
    seams.platform = &m_platform;
    // Nobody is there to choose: a job that needs a choice is held, never sent otherwise.
    m_prompter.SetHoldWhenAChoiceIsNeeded(true);
    EngineOptions engineOptions{ResolveFolders(options.programFolder)};
    engineOptions.holdWhenAChoiceIsNeeded = true;
    m_engine = std::make_unique<KXPrintHandler>(seams, engineOptions);
    m_printService.SetLog(&m_engine->Log());
}

VvpdRuntime::~VvpdRuntime() = default;

void VvpdEvents::StatusTextChanged(const std::string& statusText) {
    std::string where;
    {
        std::lock_guard lock(m_mutex);
        where = std::exchange(m_where, std::string());
    }
    m_out << "Status: " << statusText << (where.empty() ? "" : " on " + where) << std::endl;
}

void VvpdEvents::ListeningOnChanged(const std::string& where) {
    std::lock_guard lock(m_mutex);
    m_where = where;
}

bool VvpdRuntime::LoadAnswers(std::string& error) {
    if (m_options.answersFile.empty()) return true;
    return m_prompter.LoadAnswersFile(m_options.answersFile, &error);
}

bool VvpdRuntime::StartForJobs(std::ostream& err) {
    std::string error;
    if (!LoadAnswers(error)) {
        err << "vvpd: " << error << "\n";
        return false;
    }
    (void)Start(StartMode::Jobs);
    return true;
}

Result<LoadOutcome> VvpdRuntime::Start(StartMode mode) {
    auto started = m_engine->Start(mode);
    if (started) m_prompter.SetDefaultFolder(started->values.SavePath);
    return started;
}

} // namespace vvp
