#pragma once

#include "ActivityLog.h"
#include "Clock.h"
#include "JobPipeline.h"
#include "KXPrintHandler.h"
#include "MessageCreation.h"
#include "HeadlessPathologyDialogs.h"
#include "MessageSigner.h"
#include "Prompter.h"
#include "RegistryStore.h"
#include "VvpdCommands.h"
#include "txttopitdefUnit.h"

#include <iosfwd>
#include <memory>

namespace vvp {

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

private:
    const VvpdOptions m_options;
    Folders m_folders;
    std::unique_ptr<Clock> m_clock;
    RegFileStore m_registry;
    ActivityLog m_log;
    HeadlessPrompter m_prompter;
    NullPrintService m_printService;
    EngineEvents m_events;
    UnsignedMessageSigner m_signer;
    std::unique_ptr<KXPrintHandler> m_handler;
    std::unique_ptr<pathology::HeadlessPathologyDialogs> m_pathologyDialogs;
    std::unique_ptr<pathology::PathologyContext> m_pathology;
    std::unique_ptr<MessageCreation> m_creation;
    std::unique_ptr<JobPipeline> m_pipeline;
};

// VVP_FIXED_TIME=yyyymmddhhnnss makes every time stamp reproducible (tests, demonstrations).
std::unique_ptr<Clock> MakeClockFromEnvironment();

} // namespace vvp
