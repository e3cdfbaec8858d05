// The commands that look after a running or stopped printer: held jobs, reload, status.
#include "FileUtil.h"
#include "HeldJobs.h"
#include "JobListener.h"
#include "QZStringManip.h"
#include "Settings.h"
#include "Spool.h"
#include "TextLines.h"
#include "VvpdCommands.h"
#include "VvpdRuntime.h"

#include <csignal>
#include <ctime>
#include <ostream>

namespace vvp {
namespace {

std::string StatusFilePath(const Folders& folders) {
    return folders.temp + "vvpd-status";
}

std::string When(int64_t seconds) {
    if (seconds <= 0) return "at the next chance";
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S", &local);
    return text;
}

} // namespace

void WriteServiceStatus(const Folders& folders, const std::string& status, const std::string& lastProblem) {
    (void)WriteFileAtomically(StatusFilePath(folders),
                              JoinLines({"Status=" + status, "LastProblem=" + lastProblem}));
}

int RunJobsCommand(const VvpdOptions& options, std::ostream& out, std::ostream&) {
    const Folders folders = ResolveFolders(options.programFolder);
    const std::vector<HeldJob> jobs = HeldJobs(folders.temp).List();
    if (jobs.empty()) {
        out << "No held jobs in " << folders.temp << "held/.\n";
        return 0;
    }
    for (const auto& job : jobs) {
        out << job.id << "  held since " << job.since << ", tried " << job.retries << " time(s) again, next "
            << (job.spoolPath.empty() ? std::string("being tried now") : When(job.nextTry)) << "\n"
            << "    " << job.cause << ": " << job.reason << "\n";
    }
    return 0;
}

int RunRetryCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err) {
    const Folders folders = ResolveFolders(options.programFolder);
    HeldJobs held(folders.temp);
    const std::string id = options.args.size() > 1 ? options.args[1] : std::string();
    if (!id.empty() && !held.Find(id)) {
        err << "vvpd: no held job " << id << " (vvpd jobs lists them)\n";
        return 1;
    }
    if (const auto pid = SpoolFolderLock::Holder(folders.temp)) {
        // The running service owns the jobs: it tries them at its next tick.
        if (id.empty())
            held.MakeDue();
        else
            (void)held.MakeDueJob(id);
        out << "vvpd (pid " << *pid << ") tries " << (id.empty() ? "every held job" : "job " + id)
            << " again within a second; its log says how it went.\n";
        return 0;
    }
    VvpdRuntime rt(options, out);
    if (!rt.StartForJobs(err)) return 2;
    SpoolFolderLock lock;
    if (auto locked = lock.Acquire(folders.temp); !locked) {
        err << "vvpd: " << locked.error().message << "\n";
        return 1;
    }
    bool allThrough = true;
    for (const HeldJob& job : held.List()) {
        if (!id.empty() && job.id != id) continue;
        auto released = held.Release(job);
        if (!released) {
            err << "vvpd: " << released.error().message << "\n";
            allThrough = false;
            continue;
        }
        const JobOutcome outcome = rt.Engine().HandleReceivedJob(*released, true);
        if (!outcome.held) held.Forget(job.id);
        if (!outcome.DealtWith()) allThrough = false;
    }
    return allThrough ? 0 : 1;
}

int RunDiscardCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err) {
    if (options.args.size() != 2) {
        err << "vvpd: usage: vvpd discard ID\n";
        return 2;
    }
    const Folders folders = ResolveFolders(options.programFolder);
    HeldJobs held(folders.temp);
    const auto job = held.Find(options.args[1]);
    if (!job) {
        err << "vvpd: no held job " << options.args[1] << " (vvpd jobs lists them)\n";
        return 1;
    }
    if (auto discarded = held.Discard(job->id); !discarded) {
        err << "vvpd: " << discarded.error().message << "\n";
        return 1;
    }
    out << "Held job " << job->id << " discarded (" << job->cause << ": " << job->reason
        << "); its spool file "
        << (job->spoolPath.empty() ? std::string("was being tried and is left alone")
                                   : job->spoolPath + " is removed")
        << ".\n";
    return 0;
}

int RunReloadCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err) {
    const Folders folders = ResolveFolders(options.programFolder);
    const auto pid = SpoolFolderLock::Holder(folders.temp);
    if (!pid || *pid <= 0) {
        err << "vvpd: no vvpd is running for the temporary folder " << folders.temp << "\n";
        return 1;
    }
    if (::kill(static_cast<pid_t>(*pid), SIGHUP) != 0) {
        err << "vvpd: cannot signal vvpd (pid " << *pid << ")\n";
        return 1;
    }
    out << "vvpd (pid " << *pid << ") reads its settings again.\n";
    return 0;
}

int RunStatusCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err) {
    VvpdRuntime rt(options, err);
    const auto loaded = rt.Start(StartMode::Settings);
    const Folders folders = rt.Engine().GetFolders();
    const VNPTRRegValues& v = loaded->values;
    const auto pid = SpoolFolderLock::Holder(folders.temp);
    const StringList status = SplitLines(ReadWholeFile(StatusFilePath(folders)).value_or(std::string()));
    const ListenAddresses where = ResolveListenAddresses(v);
    std::string listen = where.everyAddress ? std::string("every address") : std::string();
    for (const auto& a : where.addresses)
        listen += (listen.empty() ? "" : ", ") + a;
    out << "Service: " << (pid ? "running (pid " + std::to_string(*pid) + ")" : std::string("not running"))
        << "\n"
        << "Program folder: " << folders.program << "\n"
        << "Temporary folder: " << folders.temp << "\n"
        << "Port: " << v.Port << " on " << (where.error.empty() ? listen : where.error) << "\n"
        << "Save Mode: " << static_cast<int>(v.SaveMode) << "\n";
    if (pid) out << "Status: " << ListValue(status, "Status") << "\n";
    out << "Held jobs: " << HeldJobs(folders.temp).List().size() << "\n";
    const std::string problem = ListValue(status, "LastProblem");
    out << "Last error: " << (problem.empty() ? std::string("none") : problem) << "\n";
    return pid ? 0 : 3;
}

} // namespace vvp
