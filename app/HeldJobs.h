#pragma once

#include "Result.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vvp {

// A job waiting for someone to fix what stopped it.
struct HeldJob {
    std::string id;        // the job id (from its spool file name)
    std::string spoolPath; // in the held folder; empty while the job is being tried again
    std::string cause;     // "server", "token", "laboratory", "destination"
    std::string reason;
    std::string since; // when it was first held, as the log writes times
    int retries = 0;
    int64_t nextTry = 0;                // seconds since the epoch
    std::vector<std::string> delivered; // its messages that went out before it was held
};

// The held folder (temporary folder + "held/"): each held job's spool file and beside it a small
// file "<spool name>.held" saying why, since when, how often it was tried and when next. Both
// live on disk, so other commands (vvpd jobs, retry, discard) see and change them too.
class HeldJobs {
public:
    explicit HeldJobs(const std::string& tempFolder);

    const std::string& Folder() const { return m_folder; }

    // Moves the spool file in (or back in) and records why and what went out already; tried
    // again after a delay that grows with each try. The held spool path.
    Result<std::string> Hold(const std::string& spoolPath, const std::string& cause,
                             const std::string& reason, const std::string& now, int64_t nowSeconds,
                             const std::vector<std::string>& delivered = {});
    std::vector<HeldJob> List() const;
    std::optional<HeldJob> Find(const std::string& id) const;
    // The job's spool file moved back to the temporary folder to be handled again; its path.
    Result<std::string> Release(const HeldJob& job);
    // The job went through: its record goes.
    void Forget(const std::string& id);
    // Removes a held job's spool file and record.
    Result<void> Discard(const std::string& id);
    // The jobs held for this cause (all when empty), or the one job, are tried at the next chance.
    void MakeDue(const std::string& cause = {});
    bool MakeDueJob(const std::string& id);

    // Seconds until the next try after the given number of tries: 30 s, doubling, at most an hour.
    static int64_t Delay(int retries);

private:
    std::string RecordPath(const std::string& spoolName) const;

    std::string m_temp, m_folder;
    mutable std::mutex m_mutex;
};

} // namespace vvp
