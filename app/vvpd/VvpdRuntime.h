#pragma once

#include "ActivityLog.h"
#include "Clock.h"
#include "KXPrintHandler.h"
#include "PdfPrintService.h"
#include "PrinterProvisioning.h"
#include "Prompter.h"
#include "RegistryStore.h"
#include "VvpdCommands.h"

#include <iosfwd>
#include <memory>
#include <mutex>

namespace vvp {

// vvpd shows what a window would show as lines on its output.
class VvpdEvents final : public EngineEvents {
public:
    explicit VvpdEvents(std::ostream& out) : m_out(out) {}
    void StatusTextChanged(const std::string& statusText) override;
    void ListeningOnChanged(const std::string& where) override;

private:
    std::ostream& m_out;
    std::mutex m_mutex;
    std::string m_where;
};

// The headless front end: vvpd's seams (answers file, PDF printouts, REGEDIT4 settings file,
// output lines, the CUPS tools) and the engine built from them.
class VvpdRuntime {
public:
    VvpdRuntime(const VvpdOptions& options, std::ostream& out);
    ~VvpdRuntime();

    // Loads the answers file; false with a message when it cannot be read.
    bool LoadAnswers(std::string& error);
    // The answers file, then the engine ready for jobs submitted directly; false (the message on
    // err) when the answers cannot be read.
    bool StartForJobs(std::ostream& err);
    // Starts the engine; the headless folder browser then "chooses" the Save Path.
    Result<LoadOutcome> Start(StartMode mode);

    KXPrintHandler& Engine() { return *m_engine; }
    HeadlessPrompter& GetPrompter() { return m_prompter; }

private:
    const VvpdOptions m_options;
    std::unique_ptr<Clock> m_clock;
    RegFileStore m_registry;
    HeadlessPrompter m_prompter;
    PdfPrintService m_printService; // printouts as PDF files in the Print Folder
    VvpdEvents m_events;
    CupsToolsPlatform m_platform;
    std::unique_ptr<KXPrintHandler> m_engine;
};

} // namespace vvp
