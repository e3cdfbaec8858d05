#include "HeldJobs.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "Spool.h"
#include "TextLines.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace vvp {
namespace {

constexpr const char* kRecordExtension = ".held";
constexpr const char* kDeliveredKey = "Delivered=";

std::string OneLine(const std::string& text) {
    return StrReplace(StrReplace(text, "\r", " "), "\n", " ");
}

HeldJob ReadRecord(const std::string& path) {
    HeldJob job;
    const StringList lines = SplitLines(ReadWholeFile(path).value_or(std::string()));
    job.cause = ListValue(lines, "Cause");
    job.reason = ListValue(lines, "Reason");
    job.since = ListValue(lines, "Since");
    job.retries = StrToIntDef(ListValue(lines, "Retries"), 0);
    job.nextTry = std::strtoll(ListValue(lines, "NextTry").c_str(), nullptr, 10);
    for (const auto& line : lines)
        if (line.rfind(kDeliveredKey, 0) == 0)
            job.delivered.push_back(line.substr(std::strlen(kDeliveredKey)));
    return job;
}

Result<void> WriteRecord(const std::string& path, const HeldJob& job) {
    // One line per value: a reason that came from outside cannot add lines of its own.
    StringList lines{"Cause=" + job.cause, "Reason=" + OneLine(job.reason), "Since=" + job.since,
                     "Retries=" + std::to_string(job.retries), "NextTry=" + std::to_string(job.nextTry)};
    for (const auto& name : job.delivered)
        lines.push_back(kDeliveredKey + OneLine(name));
    return WriteFileAtomically(path, JoinLines(lines));
}

} // namespace

HeldJobs::HeldJobs(const std::string& tempFolder) : m_temp(tempFolder), m_folder(tempFolder + "held/") {}

int64_t HeldJobs::Delay(int retries) {
    int64_t delay = 30;
    for (int i = 0; i < retries && delay < 3600; ++i)
        delay *= 2;
    return std::min<int64_t>(delay, 3600);
}

std::string HeldJobs::RecordPath(const std::string& spoolName) const {
    return m_folder + ChangeFileExt(spoolName, kRecordExtension);
}

Result<std::string> HeldJobs::Hold(const std::string& spoolPath, const std::string& cause,
                                   const std::string& reason, const std::string& now, int64_t nowSeconds,
                                   const std::vector<std::string>& delivered) {
    std::lock_guard lock(m_mutex);
    if (!DirectoryExists(m_folder))
        if (auto made = ForceDirectories(m_folder); !made) return made.error();
    const std::string name = ExtractFileName(spoolPath);
    const std::string held = m_folder + name;
    const std::string record = RecordPath(name);
    HeldJob job;
    if (FileExists(record)) {
        job = ReadRecord(record);
        ++job.retries;
    } else {
        job.since = now;
    }
    job.cause = cause;
    job.reason = reason;
    job.delivered = delivered;
    job.nextTry = nowSeconds + Delay(job.retries);
    if (spoolPath != held)
        if (std::rename(spoolPath.c_str(), held.c_str()) != 0)
            return ErrnoError("Cannot move " + spoolPath, errno);
    if (auto written = WriteRecord(record, job); !written) return written.error();
    return held;
}

std::vector<HeldJob> HeldJobs::List() const {
    std::lock_guard lock(m_mutex);
    std::vector<HeldJob> jobs;
    for (const auto& name : ListFolder(m_folder, std::string("*") + kRecordExtension, false)) {
        HeldJob job = ReadRecord(m_folder + name);
        const std::string spool = m_folder + ChangeFileExt(name, kSpoolExtension);
        job.id = SpoolJobId(spool);
        job.spoolPath = FileExists(spool) ? spool : std::string();
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::optional<HeldJob> HeldJobs::Find(const std::string& id) const {
    for (auto& job : List())
        if (job.id == id) return job;
    return std::nullopt;
}

Result<std::string> HeldJobs::Release(const HeldJob& job) {
    std::lock_guard lock(m_mutex);
    if (job.spoolPath.empty()) return Error{"Job " + job.id + " is being handled already"};
    const std::string target = m_temp + ExtractFileName(job.spoolPath);
    if (auto moved = MoveFileNoReplace(job.spoolPath, target); !moved) return moved.error();
    return target;
}

void HeldJobs::Forget(const std::string& id) {
    std::lock_guard lock(m_mutex);
    for (const auto& name : ListFolder(m_folder, "*_" + id + kRecordExtension, false))
        if (SpoolJobId(name) == id) (void)DeleteFileIfExists(m_folder + name);
}

Result<void> HeldJobs::Discard(const std::string& id) {
    const auto job = Find(id);
    if (!job) return Error{"No held job " + id};
    std::lock_guard lock(m_mutex);
    if (!job->spoolPath.empty() && !DeleteFileIfExists(job->spoolPath))
        return ErrnoError("Cannot remove " + job->spoolPath, errno);
    for (const auto& name : ListFolder(m_folder, "*_" + id + kRecordExtension, false))
        (void)DeleteFileIfExists(m_folder + name);
    return Ok();
}

void HeldJobs::MakeDue(const std::string& cause) {
    std::lock_guard lock(m_mutex);
    for (const auto& name : ListFolder(m_folder, std::string("*") + kRecordExtension, false)) {
        HeldJob job = ReadRecord(m_folder + name);
        if (!cause.empty() && job.cause != cause) continue;
        if (job.nextTry == 0) continue;
        job.nextTry = 0;
        (void)WriteRecord(m_folder + name, job);
    }
}

bool HeldJobs::MakeDueJob(const std::string& id) {
    std::lock_guard lock(m_mutex);
    bool found = false;
    for (const auto& name : ListFolder(m_folder, "*_" + id + kRecordExtension, false)) {
        if (SpoolJobId(name) != id) continue;
        HeldJob job = ReadRecord(m_folder + name);
        job.nextTry = 0;
        found = WriteRecord(m_folder + name, job).ok();
    }
    return found;
}

} // namespace vvp
