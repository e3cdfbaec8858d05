#include "KXPrintHandler.h"

#include "AddressBook.h"
#include "FileUtil.h"
#include "HeadlessPathologyDialogs.h"
#include "HeldJobs.h"
#include "JobListener.h"
#include "JobPool.h"
#include "MessageCreation.h"
#include "PrinterProvisioning.h"
#include "RelayClient.h"
#include "RelayFrames.h"
#include "RtfLetterService.h"
#include "SigningFolderMonitor.h"
#include "txttopitdefUnit.h"
#include "uPrintGenericRequest.h"
#include "vnHICPKIinterface.h"

#include <algorithm>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {

KXPrintHandler::KXPrintHandler(EngineSeams seams, EngineOptions options)
    : m_seams(std::move(seams)), m_options(std::move(options)), m_log(m_seams.clock) {
    if (m_seams.logSink) m_log.Subscribe(m_seams.logSink);
    const Folders& folders = m_options.folders;
    m_context = std::make_unique<EngineContext>(EngineServices{m_seams.clock, m_log, m_seams.prompter,
                                                               m_seams.printService, m_seams.registry,
                                                               m_seams.events, folders});
    m_spools = std::make_unique<SpoolCreator>(folders.temp, m_seams.clock);
    m_held = std::make_unique<HeldJobs>(folders.temp);
    // The signing library is loaded from the program folder when first needed.
    m_signingLibrary = std::make_unique<SigningLibrary>(&m_seams.events);
    m_tokenSigner = std::make_unique<TokenSigner>(*m_signingLibrary, m_context->Settings(), m_seams.prompter,
                                                  m_seams.clock, folders.program);
    MessageSigner& signer = m_seams.signer ? *m_seams.signer : *m_tokenSigner;
    m_letters = std::make_unique<RtfLetterService>(*m_context);
    m_creation = std::make_unique<MessageCreation>(*m_context, signer, m_letters.get());

    pathology::PathologyDialogs* dialogs = m_seams.pathologyDialogs;
    if (!dialogs) {
        m_headlessPathology = std::make_unique<pathology::HeadlessPathologyDialogs>(
            m_seams.prompter, m_options.holdWhenAChoiceIsNeeded);
        dialogs = m_headlessPathology.get();
    }
    m_pathology = std::make_unique<pathology::PathologyContext>(
        m_seams.clock, *dialogs, folders.program,
        [this](const std::string& reportPrinter, pathology::TPitFile& record) {
            pathology::PrintRequestForm(
                reportPrinter, record,
                {m_seams.printService, m_seams.prompter, &m_log, m_options.folders.program});
        });
    m_creation->SetPathologyRequestCreator([this](const std::string& page, const std::string& reportPrinter) {
        return pathology::CreatePathologyRequest(page, reportPrinter, *m_pathology);
    });

    m_relay = std::make_unique<RelayClient>(m_context->Settings(), folders, &m_seams.events);
    m_pipeline = std::make_unique<JobPipeline>(*m_context, *m_creation, m_relay.get());
    m_pipeline->SetRelayFrameHandler([this](const std::string& spoolPath, const std::string& jobText) {
        return AcceptRelayFrame(*m_context, spoolPath, jobText);
    });
    m_pipeline->SetHoldHandler([this](const std::string& spoolPath, const std::string& cause,
                                      const std::string& reason, const std::vector<std::string>& delivered) {
        return HoldSpool(spoolPath, cause, reason, delivered);
    });
    m_pipeline->SetDeliveredBefore(
        [this](const std::string& jobId) -> std::optional<std::vector<std::string>> {
            if (auto job = m_held->Find(jobId)) return job->delivered;
            return std::nullopt;
        });
    const bool tokenSigning = m_seams.signer == nullptr;
    m_monitor = std::make_unique<SigningFolderMonitor>(SigningFolderMonitor::Services{
        m_context->Settings(), m_seams.prompter, m_log, m_seams.clock, signer,
        [this, tokenSigning] { return tokenSigning ? m_tokenSigner->SigningAvailable() : true; },
        m_relay.get(), &m_seams.events, [this] { (void)m_context->SaveSettings(); }});
    if (m_seams.platform)
        m_printers = std::make_unique<PrinterProvisioning>(
            PrinterProvisioning::Services{*m_seams.platform,
                                          m_seams.prompter,
                                          m_context->Settings(),
                                          [this] { return m_context->SaveSettings(); },
                                          folders.temp,
                                          {RunningProgramFolder(), folders.program},
                                          [this](const std::string& line) { LogLine(line); }});
}

KXPrintHandler::~KXPrintHandler() {
    Stop();
}

Result<LoadOutcome> KXPrintHandler::Start(StartMode mode) {
    const std::string& temp = m_options.folders.temp;
    if (mode != StartMode::Settings) {
        m_context->PrepareStartup(true);
        if (!DirectoryExists(temp)) (void)ForceDirectories(temp);
    } else {
        // The address book copies only; the information file is written by the first save.
        m_context->PrepareStartup(false);
    }
    if (mode != StartMode::Service) return m_context->LoadSettings();

    m_spoolLock = std::make_unique<SpoolFolderLock>();
    if (auto locked = m_spoolLock->Acquire(temp); !locked) return locked.error();
    // Taken before the listener starts, so no job of this run is mistaken for a leftover.
    const std::vector<std::string> leftovers = LeftoverSpoolFiles(temp);
    // Jobs that were still arriving when the last run ended never arrived whole.
    for (const auto& receiving : LeftoverReceivingFiles(temp)) {
        struct stat st {};
        const auto bytes = stat(receiving.c_str(), &st) == 0 ? std::to_string(st.st_size) : std::string("?");
        LogLine("A job was still arriving when the printer last stopped; its bytes (" + bytes +
                " bytes) are kept in " + SetAsideSpool(receiving, kIncompleteExtension) +
                " and not handled.");
    }
    const uint64_t fileLimit = RaiseOpenFileLimit();

    m_pool = std::make_unique<JobPool>(m_options.jobThreads);
    ListenerOptions lo;
    lo.ioThreads = m_options.ioThreads;
    m_listener = std::make_unique<JobListener>(
        *m_context, *m_spools, [this](const std::string& spoolPath) { SubmitSpool(spoolPath); }, lo);
    const Folders folders = m_options.folders;
    m_listener->SetAddressReply([folders] { return AddressBookReply(folders); },
                                [folders] { return AddressBookVersion(folders); });

    // A listener that cannot listen shows it in its status text; the jobs left over are still
    // handled, and the front end decides whether to go on.
    LoadOutcome loaded = LoadSettings();
    if (m_listener->Active()) LogLine("Service started; open-file limit " + std::to_string(fileLimit) + ".");
    if (loaded.values.SaveMode == 0 && loaded.values.VocanetServer.empty())
        LogLine(
            "Save Mode 0 sends every message to a VVP server, and no server is set: set \"VocanetServer\" to "
            "the server's HOST:PORT (vvpd set VocanetServer HOST:PORT), or choose Save Mode 1 to save "
            "messages into the Save Path " +
            loaded.values.SavePath + ". Until then messages are held.");
    if (const size_t held = m_held->List().size(); held > 0)
        LogLine(std::to_string(held) + " held job(s) wait in " + m_held->Folder() +
                " (vvpd jobs lists them).");
    Recover(leftovers);
    return loaded;
}

LoadOutcome KXPrintHandler::LoadSettings() {
    LoadOutcome loaded = m_context->LoadSettings();
    if (m_listener) m_listener->Activate(loaded.values);
    // Changed settings may well be the fix a held job waits for.
    m_held->MakeDue();
    return loaded;
}

Result<void> KXPrintHandler::SaveSettings() {
    auto saved = m_context->SaveSettings();
    m_held->MakeDue();
    return saved;
}

void KXPrintHandler::SetListening(bool on) {
    if (!m_listener) return;
    if (on)
        LoadSettings();
    else
        m_listener->Deactivate();
}

JobOutcome KXPrintHandler::SubmitJob(const std::string& peer, const std::string& bytes) {
    JobOutcome outcome;
    auto spool = m_spools->Create(peer);
    if (!spool) {
        LogLine(spool.error().message);
        ++outcome.failures;
        return outcome;
    }
    Result<void> written = WriteAll(spool->fd, bytes, "spool file " + spool->path);
    if (::close(spool->fd) != 0 && written)
        written = ErrnoError("Cannot write spool file " + spool->path, errno);
    if (!written) {
        LogLine(written.error().message);
        DeleteFileIfExists(spool->path);
        ++outcome.failures;
        return outcome;
    }
    auto complete = CompleteSpool(spool->path);
    if (!complete) {
        LogLine(complete.error().message);
        ++outcome.failures;
        return outcome;
    }
    LogLine("New job.. from " + peer);
    return HandleReceivedJob(*complete);
}

JobOutcome KXPrintHandler::HandleReceivedJob(const std::string& spoolPath, bool recovered) {
    const VNPTRRegValues settings = m_context->Settings().Get();
    if (settings.SaveMode == 0 && !settings.VocanetServer.empty()) m_relay->QueryServerInfo();
    JobOutcome outcome = m_pipeline->HandleSpoolFile(spoolPath, recovered);
    if (!outcome.DealtWith() && !outcome.held)
        NoteProblem("Job " + SpoolJobId(spoolPath) + " was not dealt with" +
                    (outcome.spoolKept ? std::string("; its spool file is kept") : std::string()));
    return outcome;
}

void KXPrintHandler::SubmitSpool(const std::string& spoolPath, bool recovered) {
    if (!m_pool || !m_pool->Submit([this, spoolPath, recovered] { HandleOnJobThread(spoolPath, recovered); }))
        LogLine("Job kept in " + spoolPath + " for the next start.");
}

void KXPrintHandler::HandleOnJobThread(const std::string& spoolPath, bool recovered) {
    try {
        const JobOutcome outcome = HandleReceivedJob(spoolPath, recovered);
        if (!outcome.held) m_held->Forget(SpoolJobId(spoolPath));
    } catch (const PromptAbandoned&) {
        LogLine("The program ended while job " + spoolPath +
                " waited for an answer; it is left for the next start.");
    } catch (const std::exception& e) {
        LogLine("Job " + spoolPath + " failed: " + e.what() + "; the spool file is kept.");
    }
}

bool KXPrintHandler::HoldSpool(const std::string& spoolPath, const std::string& cause,
                               const std::string& reason, const std::vector<std::string>& delivered) {
    const std::string now = FormatDateTime("dd/mm/yyyy hh:nn:ss", m_seams.clock.Now());
    auto held =
        m_held->Hold(spoolPath, cause, reason, now, static_cast<int64_t>(std::time(nullptr)), delivered);
    if (!held) {
        LogLine("Job " + spoolPath + " could not be held (" + held.error().message +
                "); it stays where it is.");
        return false;
    }
    const auto job = m_held->Find(SpoolJobId(*held));
    const int64_t wait = job ? job->nextTry - static_cast<int64_t>(std::time(nullptr)) : 0;
    NoteProblem("Job " + SpoolJobId(*held) + " held: " + reason);
    LogLine("Job " + SpoolJobId(*held) + " is held: " + reason + ". It is tried again in " +
            std::to_string(wait) + " seconds, or as soon as that is fixed (vvpd jobs, vvpd retry).");
    return true;
}

void KXPrintHandler::NoteProblem(const std::string& text) {
    std::lock_guard lock(m_problemMutex);
    m_lastProblem = FormatDateTime("dd/mm/yyyy hh:nn:ss", m_seams.clock.Now()) + " " + text;
}

std::string KXPrintHandler::LastProblem() const {
    std::lock_guard lock(m_problemMutex);
    return m_lastProblem;
}

void KXPrintHandler::RetryHeldJobs() {
    const VNPTRRegValues settings = m_context->Settings().Get();
    const std::vector<HeldJob> held = m_held->List();
    if (held.empty()) return;
    // What stopped a job is likely fixed: the server answers again, a token store appeared.
    const bool waitingForServer =
        std::any_of(held.begin(), held.end(), [](const HeldJob& j) { return j.cause == "server"; });
    if (waitingForServer && settings.SaveMode == 0 && ++m_serverProbeTicks >= 10) {
        m_serverProbeTicks = 0;
        const uint64_t before = m_relay->ServerAnswers();
        m_relay->QueryServerInfo();
        // Only a server that comes back makes them due at once; one that answers but does not
        // take the messages leaves them to their back-off.
        const bool answered = m_relay->ServerAnswers() > before;
        if (answered && !m_serverAnswered) m_held->MakeDue("server");
        m_serverAnswered = answered;
    }
    const bool storeThere = FileExists(m_options.folders.program + kTokenStoreFile);
    if (storeThere && !m_storeThere) m_held->MakeDue("token");
    m_storeThere = storeThere;

    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    for (const HeldJob& job : m_held->List()) {
        if (job.spoolPath.empty() || job.nextTry > now) continue;
        auto released = m_held->Release(job);
        if (!released) continue;
        LogLine("Trying held job " + job.id + " again (" + job.reason + ").");
        SubmitSpool(*released, true);
    }
}

void KXPrintHandler::Recover(const std::vector<std::string>& spoolFiles) {
    const std::string savePath = m_context->Settings().Get().SavePath;
    for (const auto& spool : spoolFiles) {
        // Temporary files of an interrupted delivery would block the new one.
        for (const auto& temp : InterruptedTempFiles(savePath, SpoolJobId(spool)))
            DeleteFileIfExists(temp);
        if (const std::string frameTemp = RelayFrameTempFile(savePath, spool); !frameTemp.empty())
            DeleteFileIfExists(frameTemp);
        LogLine("Recovered job " + spool);
        SubmitSpool(spool, true);
    }
}

void KXPrintHandler::Tick() {
    if (m_ticking.exchange(true)) return;
    struct Done {
        std::atomic<bool>& flag;
        ~Done() { flag = false; }
    } done{m_ticking};
    if (m_context->Settings().Get().SaveMode == 0) m_relay->RefreshDomainList();
    m_monitor->MonitorTick();
    if (m_pool) RetryHeldJobs();
}

void KXPrintHandler::Stop() {
    if (m_stopped) return;
    m_stopped = true;
    if (m_listener) m_listener->Shutdown(m_options.stopGrace);
    if (m_pool) m_pool->Drain();
}

} // namespace vvp
