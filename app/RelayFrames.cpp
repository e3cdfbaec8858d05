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

bool HasControlByte(const std::string& text) {
    for (unsigned char c : text)
        if (c < 32 || c == 127) return true;
    return false;
}

} // namespace

Result<void> CopyRelayPayload(const std::string& spoolPath, int out, const std::string& target) {
    FileDescriptor in(::open(spoolPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.Valid()) return ErrnoError("Cannot open " + spoolPath, errno);
    char buf[65536];
    bool afterEtx = false;
    for (;;) {
        ssize_t n = ::read(in.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ErrnoError("Cannot read " + spoolPath, errno);
        }
        if (n == 0) return Ok();
        std::string_view chunk(buf, static_cast<size_t>(n));
        if (!afterEtx) {
            const size_t etx = chunk.find(kEtx);
            if (etx == std::string_view::npos) continue;
            afterEtx = true;
            chunk.remove_prefix(etx + 1);
        }
        if (auto written = WriteAll(out, chunk, target); !written) return written;
    }
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
    // Its temporary name would be its final name.
    if (LowerCase(extension) == ".___") return "the extension \".___\"";
    return std::nullopt;
}

std::string RelayFrameTempFile(const std::string& savePath, const std::string& spoolPath) {
    FileDescriptor in(::open(spoolPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.Get() < 0) return {};
    char buf[1024];
    ssize_t n = ::read(in.Get(), buf, sizeof buf);
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
    if (!PeerPolicy::FromSettings(settings).Allows(peer)) {
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
    handler.LogLine("Accepted Message for " + MessageRecipient(base));

    std::string text;
    if (!binary) {
        const size_t etx = jobText.find(kEtx);
        text = NormaliseLineEnds(
            std::string_view(jobText).substr(etx == std::string::npos ? jobText.size() : etx + 1));
    }
    Result<void> r = Ok();
    // A frame of the same name stored meanwhile makes this one take a new id instead.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (binary)
            r = PublishNewFile(folder, base + ".___", base + extension, [&](int fd, const std::string& path) {
                return CopyRelayPayload(spoolPath, fd, path);
            });
        else
            r = PublishNewFile(folder, base + ".___", base + extension, text);
        if (r) return true;
        if (r.error().code != EEXIST) break;
        base = fileName + "." + MakeMessageId(clock);
    }
    handler.LogLine(std::string(kWriteFailure) + r.error().message);
    return false;
}

} // namespace vvp
