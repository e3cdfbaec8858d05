#include "Spool.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "msgcommsd7.h"

#include <cerrno>
#include <fcntl.h>

namespace vvp {

Result<SpoolFile> CreateSpoolFile(const std::string& tempFolder, const std::string& peerAddress, const Clock& clock) {
    SetMessageIdCounter(1020);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string path = tempFolder + peerAddress + "_" + MakeMessageId(clock) + ".prn";
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) return SpoolFile{path, fd};
        if (errno != EEXIST) return ErrnoError("Cannot create spool file " + path, errno);
    }
    return Error{"Cannot create a spool file in " + tempFolder + ": every name is taken"};
}

std::string SpoolJobId(const std::string& spoolPath) {
    std::string name = ExtractFileName(spoolPath);
    auto dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return StrAfter(name, "_");
}

std::string ToJobText(std::string bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')) bytes[i] = '\xFF';
    return bytes;
}

Result<std::string> ReadJobText(const std::string& spoolPath) {
    auto bytes = ReadWholeFile(spoolPath);
    if (!bytes) return bytes.error();
    return ToJobText(std::move(*bytes));
}

} // namespace vvp
