#include "Spool.h"

#include "DateTime.h"
#include "FileUtil.h"
#include "QZStringManip.h"

#include <asio/ip/address.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {
namespace {

bool IsSpoolName(const std::string& name, const std::string& extension) {
    if (name.size() <= extension.size() ||
        LowerCase(name.substr(name.size() - extension.size())) != extension)
        return false;
    const std::string stem = name.substr(0, name.size() - extension.size());
    const auto underscore = stem.find('_');
    if (underscore == std::string::npos) return false;
    asio::error_code ec;
    (void)asio::ip::make_address(stem.substr(0, underscore), ec);
    if (ec) return false;
    const std::string id = stem.substr(underscore + 1);
    return !id.empty() && id.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

std::string SpoolNamer::Next(const Clock& clock) {
    std::lock_guard lock(m_mutex);
    const std::string stamp = FormatDateTime("yyyymmddhhnnsszzz", clock.Now());
    // A clock set back keeps counting on the latest stamp rather than repeat an id.
    if (stamp <= m_lastStamp) {
        ++m_counter;
    } else {
        m_lastStamp = stamp;
        m_counter = kFirstCounter;
        char hex[32];
        std::snprintf(hex, sizeof hex, "%llx", std::strtoull(stamp.c_str(), nullptr, 10));
        m_hex = hex;
    }
    return m_hex + std::to_string(m_counter);
}

Result<SpoolFile> SpoolCreator::Create(const std::string& peerAddress) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string path = m_temp + peerAddress + "_" + m_namer.Next(m_clock) + kReceivingExtension;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) return SpoolFile{std::move(path), fd};
        if (errno != EEXIST) return ErrnoError("Cannot create spool file " + path, errno);
    }
    return Error{"Cannot create a spool file in " + m_temp + ": every name is taken"};
}

Result<std::string> CompleteSpool(const std::string& receivingPath) {
    std::string path = ChangeFileExt(receivingPath, kSpoolExtension);
    if (auto moved = MoveFileNoReplace(receivingPath, path); !moved) return moved.error();
    return path;
}

std::string SetAsideSpool(const std::string& path, const std::string& extension) {
    const std::string target = ChangeFileExt(path, extension);
    return MoveFileNoReplace(path, target) ? target : path;
}

std::string SpoolJobId(const std::string& spoolPath) {
    std::string name = ExtractFileName(spoolPath);
    auto dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return StrAfter(name, "_");
}

std::string ToJobText(std::string bytes) {
    size_t bareLineFeeds = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))
            bytes[i] = '\xFF';
        else if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            ++bareLineFeeds;
    }
    if (bareLineFeeds == 0) return bytes;
    // Printouts from Linux programs end lines with LF alone: read them as the CR LF the header
    // labels expect.
    std::string text;
    text.reserve(bytes.size() + bareLineFeeds);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) text += '\r';
        text += bytes[i];
    }
    return text;
}

Result<std::string> ReadJobText(const std::string& spoolPath) {
    auto bytes = ReadWholeFile(spoolPath);
    if (!bytes) return bytes.error();
    return ToJobText(std::move(*bytes));
}

namespace {

std::vector<std::string> OurFiles(const std::string& tempFolder, const std::string& extension) {
    std::vector<std::string> files;
    for (const auto& name : ListFolder(tempFolder, "*" + extension, false)) {
        if (!IsSpoolName(name, extension)) continue;
        struct stat st {};
        const std::string path = tempFolder + name;
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
        files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

std::vector<std::string> LeftoverSpoolFiles(const std::string& tempFolder) {
    return OurFiles(tempFolder, kSpoolExtension);
}

std::vector<std::string> LeftoverReceivingFiles(const std::string& tempFolder) {
    return OurFiles(tempFolder, kReceivingExtension);
}

std::vector<std::string> InterruptedTempFiles(const std::string& savePath, const std::string& jobId) {
    std::vector<std::string> files;
    if (jobId.empty()) return files;
    // Message names are recipient "_" job id page number, then ".___" or ext ".sign.___".
    for (const auto& name : ListFolder(savePath, "*_" + jobId + "*.___", false)) {
        const std::string afterId = StrAfter(name.substr(name.rfind("_" + jobId)), jobId);
        if (!afterId.empty() && std::isdigit(static_cast<unsigned char>(afterId[0])))
            files.push_back(savePath + name);
    }
    return files;
}

SpoolFolderLock::~SpoolFolderLock() {
    if (m_fd >= 0) ::close(m_fd);
}

Result<void> SpoolFolderLock::Acquire(const std::string& tempFolder) {
    const std::string path = tempFolder + "vvpd-spool.lock";
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) return ErrnoError("cannot open " + path, errno);
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(m_fd);
        m_fd = -1;
        if (err == EWOULDBLOCK)
            return Error{"another vvpd is running with the temporary folder " + tempFolder, err};
        return ErrnoError("cannot lock " + path, err);
    }
    // Who holds it, for vvpd status and reload.
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(m_fd, 0) == 0) (void)WriteAll(m_fd, pid, path);
    return Ok();
}

std::optional<long> SpoolFolderLock::Holder(const std::string& tempFolder) {
    FileDescriptor fd(::open((tempFolder + "vvpd-spool.lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.Valid()) return std::nullopt;
    if (flock(fd.Get(), LOCK_SH | LOCK_NB) == 0) return std::nullopt; // nobody holds it
    char buffer[32] = {};
    const ssize_t n = ::pread(fd.Get(), buffer, sizeof buffer - 1, 0);
    const long pid = n > 0 ? std::strtol(buffer, nullptr, 10) : 0;
    return pid > 0 ? std::optional<long>(pid) : std::optional<long>(0);
}

uint64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return static_cast<uint64_t>(limit.rlim_cur);
}

} // namespace vvp
