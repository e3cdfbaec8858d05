#pragma once

#include "ActivityLog.h"
#include "Clock.h"
#include "JobPipeline.h"
#include "KXPrintHandler.h"
#include "MessageCreation.h"
#include "HeadlessPathologyDialogs.h"
#include "MessageSigner.h"
#include "PdfPrintService.h"
#include "Prompter.h"
#include "RegistryStore.h"
#include "SigningFolderMonitor.h"
#include "RtfLetterService.h"
#include "RelayClient.h"
#include "VvpdCommands.h"
#include "txttopitdefUnit.h"
#include "vnHICPKIinterface.h"

#include <iosfwd>
#include <memory>

namespace vvp {

// vvpd shows what a window would show as lines on its output.
class VvpdEvents final : public EngineEvents {
public:
    explicit VvpdEvents(std::ostream& out) : m_out(out) {}
    void StatusTextChanged(const std::string& statusText) override;

private:
    std::ostream& m_out;
};

// The composition root of the headless service: every seam with its production implementation.
class VvpdRuntime {
public:
    VvpdRuntime(const VvpdOptions& options, std::ostream& out);
    ~VvpdRuntime();

    // Loads the answers file; false with a message when it cannot be read.
    bool LoadAnswers(std::string& error);

    KXPrintHandler& Handler() { return *m_handler; }
    JobPipeline& Pipeline() { return *m_pipeline; }
    MessageCreation& Creation() { return *m_creation; }
    const Folders& GetFolders() const { return m_folders; }
    const Clock& GetClock() const { return *m_clock; }
    HeadlessPrompter& GetPrompter() { return m_prompter; }
    RelayClient& Relay() { return *m_relay; }
    TokenSigner& Signer() { return *m_signer; }
    SigningFolderMonitor& Monitor() { return *m_monitor; }

    // A job whose connection has closed, on a job thread: in Save Mode 0 the server's domains are
    // asked for first, then the pipeline handles the spool file.
    JobOutcome HandleReceivedJob(const std::string& spoolPath, bool recovered = false);
    // The once-a-second work of the main window's timer.
    void Tick();

private:
    const VvpdOptions m_options;
    Folders m_folders;
    std::unique_ptr<Clock> m_clock;
    RegFileStore m_registry;
    ActivityLog m_log;
    HeadlessPrompter m_prompter;
    PdfPrintService m_printService; // printouts as PDF files in the Print Folder
    VvpdEvents m_events;
    SigningLibrary m_signingLibrary{&m_events};
    std::unique_ptr<TokenSigner> m_signer;
    std::unique_ptr<KXPrintHandler> m_handler;
    std::unique_ptr<RtfLetterService> m_letters;
    std::unique_ptr<pathology::HeadlessPathologyDialogs> m_pathologyDialogs;
    std::unique_ptr<pathology::PathologyContext> m_pathology;
    std::unique_ptr<MessageCreation> m_creation;
    std::unique_ptr<RelayClient> m_relay;
    std::unique_ptr<JobPipeline> m_pipeline;
    std::unique_ptr<SigningFolderMonitor> m_monitor;
};

// VVP_FIXED_TIME=yyyymmddhhnnss makes every time stamp reproducible (tests, demonstrations).
std::unique_ptr<Clock> MakeClockFromEnvironment();

} // namespace vvp
