#pragma once

#include "Clock.h"
#include "Result.h"

#include <string>

namespace vvp {

// A job's spool file in the temporary folder: peer address, "_", a message-id stem, ".prn".
// It is created exclusively; on a name clash the next counter value is taken.
struct SpoolFile {
    std::string path;
    int fd = -1;
};

Result<SpoolFile> CreateSpoolFile(const std::string& tempFolder, const std::string& peerAddress, const Clock& clock);

// The job's id: the spool file name's text after its first "_", without the extension.
std::string SpoolJobId(const std::string& spoolPath);

// The spool file's bytes, except that a CR not followed by LF becomes byte 255 so an overprinted
// line is not split in two.
Result<std::string> ReadJobText(const std::string& spoolPath);
std::string ToJobText(std::string bytes);

} // namespace vvp
