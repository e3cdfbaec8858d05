#include "RelayFrames.h"

#include "EngineContext.h"
#include "FileUtil.h"
#include "JobListener.h"
#include "MessageDelivery.h"
#include "msgcommsd7.h"
#include "QZStringManip.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace vvp {
namespace {

constexpr char kEtx = '\x03';
// Room for "." + a message id and ".___" within the usual 255-byte name limit.
constexpr size_t kLongestFrameName = 200;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

Result<void> WriteAllTo(int fd, const char* data, size_t size, const std::string& path) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ErrnoError("Cannot write " + path, errno);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return Ok();
}

// Created exclusively, so a frame of the same name arriving at the same time cannot share it.
Result<int> CreateNew(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return ErrnoError("Cannot create " + path, errno);
    return fd;
}

// The message must be on disk before the job's spool file is removed.
Result<void> FinishNew(FileDescriptor& fd, const std::string& path, Result<void> written) {
    if (written && fsync(fd.get()) != 0) written = ErrnoError("Cannot write " + path, errno);
    if (::close(fd.release()) != 0 && written) written = ErrnoError("Cannot write " + path, errno);
    if (!written) ::unlink(path.c_str());
    return written;
}

Result<void> WriteNewFile(const std::string& path, const std::string& data) {
    auto created = CreateNew(path);
    if (!created) return created.error();
    FileDescriptor fd(*created);
    return FinishNew(fd, path, WriteAllTo(fd.get(), data.data(), data.size(), path));
}

bool HasControlByte(const std::string& text) {
    for (unsigned char c : text)
        if (c < 32 || c == 127) return true;
    return false;
}

} // namespace

Result<void> CopyRelayPayload(const std::string& spoolPath, const std::string& target) {
    FileDescriptor in(::open(spoolPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return ErrnoError("Cannot open " + spoolPath, errno);
    auto created = CreateNew(target);
    if (!created) return created.error();
    FileDescriptor out(*created);
    char buf[65536];
    bool afterEtx = false;
    Result<void> written = Ok();
    for (;;) {
        ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            written = ErrnoError("Cannot read " + spoolPath, errno);
            break;
        }
        if (n == 0) break;
        const char* p = buf;
        size_t size = static_cast<size_t>(n);
        if (!afterEtx) {
            const void* etx = std::memchr(p, kEtx, size);
            if (!etx) continue;
            afterEtx = true;
            const size_t skip = static_cast<size_t>(static_cast<const char*>(etx) - p) + 1;
            p += skip;
            size -= skip;
        }
        if (written = WriteAllTo(out.get(), p, size, target); !written) break;
    }
    return FinishNew(out, target, written);
}

std::string SpoolPeer(const std::string& spoolPath) {
    return StrBefore(ExtractFileName(spoolPath), "_");
}

std::optional<std::string> UnsafeFrameName(const std::string& fileName, const std::string& extension) {
    if (fileName.empty() || fileName == "." || fileName == "..") return "no usable file name";
    if (HasControlByte(fileName) || HasControlByte(extension)) return "control characters in the name";
    if (extension.find('/') != std::string::npos || extension.find('\\') != std::string::npos)
        return "a folder in the extension";
    if (fileName.size() + extension.size() > kLongestFrameName) return "the name is too long";
    return std::nullopt;
}

std::string RelayFrameTempFile(const std::string& savePath, const std::string& spoolPath) {
    FileDescriptor in(::open(spoolPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return {};
    char buf[1024];
    ssize_t n = ::read(in.get(), buf, sizeof buf);
    if (n <= 0 || buf[0] != '\x02') return {};
    const std::string head(buf, static_cast<size_t>(n));
    if (head.find(kEtx) == std::string::npos) return {};
    const std::string header = StrBetween(head, "\x02", "\x03");
    const std::string extPart = StrAfter(header, ":");
    const std::string fileName = ExtractFileName(StrBefore(header, ":"));
    if (UnsafeFrameName(fileName, extPart.rfind("BIN:", 0) == 0 ? extPart.substr(4) : extPart)) return {};
    return savePath + fileName + ".___";
}

bool AcceptRelayFrame(EngineContext& handler, const std::string& spoolPath, const std::string& jobText) {
    const VNPTRRegValues settings = handler.Settings().Get();
    const std::string peer = SpoolPeer(spoolPath);
    if (!PeerAllowed(ParseAllowedPeers(settings.AllowedPeers), peer)) {
        handler.LogLine("Refused relay frame from " + peer + ": not an allowed peer.");
        return true;
    }
    const std::string header = StrBetween(jobText, "\x02", "\x03");
    const std::string extPart = StrAfter(header, ":");
    const bool binary = extPart.rfind("BIN:", 0) == 0;
    const std::string extension = binary ? extPart.substr(4) : extPart;
    // Names come from the network: only the file name part of the base is used, and nothing
    // may lead out of the Save Path.
    const std::string fileName = ExtractFileName(StrBefore(header, ":"));
    if (auto unsafe = UnsafeFrameName(fileName, extension)) {
        handler.LogLine("Refused relay frame from " + peer + ": " + *unsafe + ".");
        return true;
    }

    const std::string& folder = settings.SavePath;
    const Clock& clock = handler.Services().clock;
    std::string base = fileName;
    if (FileExists(folder + base + extPart) || FileExists(folder + base + StrAfter(extPart, ":")))
        base += "." + MakeMessageId(clock);
    handler.LogLine("Accepted Message for " + StrBefore(base, "_"));

    const std::string text = binary ? std::string() : JoinLines(SplitLines(StrAfter(jobText, "\x03")));
    Result<void> r = Ok();
    // A frame of the same name stored meanwhile makes this one take a new id instead.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string temp = folder + base + ".___";
        const std::string final = folder + base + extension;
        r = binary ? CopyRelayPayload(spoolPath, temp) : WriteNewFile(temp, text);
        if (r) {
            r = MoveFileNoReplace(temp, final);
            if (r) return true;
            ::unlink(temp.c_str());
        }
        if (r.error().code != EEXIST) break;
        base = fileName + "." + MakeMessageId(clock);
    }
    handler.LogLine(std::string(kWriteFailure) + r.error().message);
    return false;
}

} // namespace vvp
