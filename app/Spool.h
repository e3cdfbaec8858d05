#pragma once

#include "Clock.h"
#include "Result.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vvp {

// Message-id stems for spool files: the hexadecimal local time stamp "yyyymmddhhnnsszzz" and a
// counter that starts at 1020 for each new time stamp. The counter goes on within one
// millisecond instead of starting again, so two jobs of one run never share an id, even after
// the first one's spool file is gone (the id names the messages made from the job).
class SpoolNamer {
public:
    std::string Next(const Clock& clock);

    static constexpr int kFirstCounter = 1020;

private:
    std::mutex m_mutex;
    std::string m_lastStamp, m_hex;
    int m_counter = 0;
};

// A job's spool file in the temporary folder: peer address, "_", a message-id stem, ".prn". While
// the job arrives the file is named ".part"; it becomes ".prn" once the sender has finished, so
// only complete jobs are ever handled. A job cut short, or refused for its size, is set aside
// under ".incomplete" or ".refused": its bytes stay, and nothing handles them again.
inline constexpr const char* kSpoolExtension = ".prn";
inline constexpr const char* kReceivingExtension = ".part";
inline constexpr const char* kIncompleteExtension = ".incomplete";
inline constexpr const char* kRefusedExtension = ".refused";

struct SpoolFile {
    std::string path;
    int fd = -1;
};

// The one source of spool files, shared by the listener and jobs submitted directly. Files are
// created exclusively; on a name clash (another process on the same folder) the next id is taken.
class SpoolCreator {
public:
    SpoolCreator(std::string tempFolder, const Clock& clock)
        : m_temp(std::move(tempFolder)), m_clock(clock) {}
    Result<SpoolFile> Create(const std::string& peerAddress);
    const std::string& Folder() const { return m_temp; }

private:
    const std::string m_temp;
    const Clock& m_clock;
    SpoolNamer m_namer;
};

// The complete job: the receiving file moved to its ".prn" name. The new path.
Result<std::string> CompleteSpool(const std::string& receivingPath);
// The file renamed with the extension in place of its own; the new path, or the old one when it
// could not be renamed.
std::string SetAsideSpool(const std::string& path, const std::string& extension);

// The job's id: the spool file name's text after its first "_", without the extension.
std::string SpoolJobId(const std::string& spoolPath);

// The spool file's bytes, except that a CR not followed by LF becomes byte 255 so an overprinted
// line is not split in two, and a LF not preceded by CR becomes CR LF.
Result<std::string> ReadJobText(const std::string& spoolPath);
std::string ToJobText(std::string bytes);

// Spool files a crash or kill left in the temporary folder: "*.prn" files of this user whose
// names are ours (peer address, "_", message id), oldest id first within a peer.
std::vector<std::string> LeftoverSpoolFiles(const std::string& tempFolder);

// Receiving files a crash or kill left: jobs that never arrived whole.
std::vector<std::string> LeftoverReceivingFiles(const std::string& tempFolder);

// Temporary message files in the Save Path that the interrupted handling of the job with this
// id left; removed before the job is handled again.
std::vector<std::string> InterruptedTempFiles(const std::string& savePath, const std::string& jobId);

// Holds the temporary folder for one running printer, so a second one cannot take its spool
// files for leftovers. Released on destruction.
class SpoolFolderLock {
public:
    SpoolFolderLock() = default;
    ~SpoolFolderLock();
    SpoolFolderLock(const SpoolFolderLock&) = delete;
    SpoolFolderLock& operator=(const SpoolFolderLock&) = delete;
    Result<void> Acquire(const std::string& tempFolder);
    // The process that holds the folder's lock (0 when it cannot be told); nullopt when none does.
    static std::optional<long> Holder(const std::string& tempFolder);

private:
    int m_fd = -1;
};

// Raises the soft open-file limit to the hard one; the resulting soft limit.
uint64_t RaiseOpenFileLimit();

} // namespace vvp
