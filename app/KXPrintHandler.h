#pragma once

#include "EngineContext.h"
#include "JobPipeline.h"
#include "Spool.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

class HeldJobs;
class JobListener;
class JobPool;
class MessageCreation;
class MessageSigner;
class Platform;
class PrinterProvisioning;
class RelayClient;
class RtfLetterService;
class SigningFolderMonitor;
class SigningLibrary;
class TokenSigner;
namespace pathology {
class PathologyDialogs;
struct PathologyContext;
} // namespace pathology

// What a front end hands the engine: its implementations of the seams.
struct EngineSeams {
    Clock& clock;
    Prompter& prompter;
    PrintService& printService;
    RegistryStore& registry;
    EngineEvents& events;
    // The pathology dialogs; null: answered through the prompter (headless).
    pathology::PathologyDialogs* pathologyDialogs = nullptr;
    // Printer administration; null: no printer provisioning (Printers() is null).
    Platform* platform = nullptr;
    // Receives every activity log line as it is added.
    ActivityLog::Listener logSink = {};
    // Signs messages; null: the HeSA token through the signing library. Tests pass doubles.
    MessageSigner* signer = nullptr;
};

struct EngineOptions {
    Folders folders;
    size_t jobThreads = 4;
    size_t ioThreads = 2;
    // Connections still sending when the printer stops get this long to finish.
    std::chrono::milliseconds stopGrace{10000};
    // Without a person to ask (vvpd): a request the laboratory file cannot complete is held
    // rather than failed. The headless prompter holds its own questions likewise.
    bool holdWhenAChoiceIsNeeded = false;
};

// How far Start takes the engine.
enum class StartMode {
    Settings, // settings loaded; nothing written (vvpd settings / set)
    Jobs,     // and the information file and temporary folder ready: jobs may be submitted
    Service,  // and the temporary folder held, the listener on, left-over jobs recovered
};

// The engine side of the main window and the one root of the running system: it owns the
// settings, the signing library and token signer, message creation, the relay client, the job
// pipeline, the folder monitor, the job threads, the listener, the spool lock and recovery.
// Front ends (vvpd, vvp) build it from their seams and drive it through Start, the Submit calls,
// Tick and Stop.
class KXPrintHandler {
public:
    KXPrintHandler(EngineSeams seams, EngineOptions options);
    ~KXPrintHandler();
    KXPrintHandler(const KXPrintHandler&) = delete;
    KXPrintHandler& operator=(const KXPrintHandler&) = delete;

    // FormCreate's engine side, up to the mode. Service mode fails when the temporary folder is
    // held by another printer; a listener that cannot listen is shown by its status text.
    Result<LoadOutcome> Start(StartMode mode);

    // A job's bytes as if received from peer, handled on the calling thread.
    JobOutcome SubmitJob(const std::string& peer, const std::string& bytes);
    // A received job's spool file, queued for a job thread.
    void SubmitSpool(const std::string& spoolPath, bool recovered = false);
    // The job handling itself: in Save Mode 0 the server's domains are asked for first.
    JobOutcome HandleReceivedJob(const std::string& spoolPath, bool recovered = false);

    // The once-a-second work (domain refresh in Save Mode 0, one folder-monitor pass). A tick that
    // finds the previous one still running does nothing.
    void Tick();
    // Stops accepting, ends the connections in progress, lets every queued job finish.
    void Stop();

    // Settings loaded again; a running listener follows the new port and limits.
    LoadOutcome LoadSettings();
    Result<void> SaveSettings();
    // Enable1: the listener on (settings loaded again) or off ("Disabled").
    void SetListening(bool on);

    // Jobs held until what stopped them is fixed; tried again from Tick.
    HeldJobs& Held() { return *m_held; }
    // The last job that was held or not dealt with, and why; empty when none was.
    std::string LastProblem() const;

    EngineContext& Context() { return *m_context; }
    SettingsHolder& Settings() { return m_context->Settings(); }
    ActivityLog& Log() { return m_log; }
    void LogLine(const std::string& text) { m_log.LogLine(text); }
    const Folders& GetFolders() const { return m_options.folders; }
    const Clock& GetClock() const { return m_seams.clock; }

    JobListener* Listener() { return m_listener.get(); } // null unless started as a service
    RelayClient& Relay() { return *m_relay; }
    SigningLibrary& Signing() { return *m_signingLibrary; }
    TokenSigner& Signer() { return *m_tokenSigner; }
    SigningFolderMonitor& Monitor() { return *m_monitor; }
    JobPipeline& Pipeline() { return *m_pipeline; }
    MessageCreation& Creation() { return *m_creation; }
    SpoolCreator& Spools() { return *m_spools; }
    PrinterProvisioning* Printers() { return m_printers.get(); }

private:
    void Recover(const std::vector<std::string>& spoolFiles);
    void HandleOnJobThread(const std::string& spoolPath, bool recovered);
    bool HoldSpool(const std::string& spoolPath, const std::string& cause, const std::string& reason,
                   const std::vector<std::string>& delivered);
    void RetryHeldJobs();
    void NoteProblem(const std::string& text);

    EngineSeams m_seams;
    const EngineOptions m_options;
    ActivityLog m_log;
    std::unique_ptr<EngineContext> m_context;
    std::unique_ptr<SpoolCreator> m_spools;
    std::unique_ptr<SigningLibrary> m_signingLibrary;
    std::unique_ptr<TokenSigner> m_tokenSigner;
    std::unique_ptr<RtfLetterService> m_letters;
    std::unique_ptr<pathology::PathologyDialogs> m_headlessPathology;
    std::unique_ptr<pathology::PathologyContext> m_pathology;
    std::unique_ptr<MessageCreation> m_creation;
    std::unique_ptr<RelayClient> m_relay;
    std::unique_ptr<JobPipeline> m_pipeline;
    std::unique_ptr<SigningFolderMonitor> m_monitor;
    std::unique_ptr<SpoolFolderLock> m_spoolLock;
    std::unique_ptr<JobPool> m_pool;
    std::unique_ptr<JobListener> m_listener;
    std::unique_ptr<HeldJobs> m_held;
    std::unique_ptr<PrinterProvisioning> m_printers;
    std::atomic<bool> m_ticking{false};
    bool m_storeThere = false;
    bool m_serverAnswered = false;
    int m_serverProbeTicks = 0;
    mutable std::mutex m_problemMutex;
    std::string m_lastProblem;
    bool m_stopped = false;
};

} // namespace vvp
