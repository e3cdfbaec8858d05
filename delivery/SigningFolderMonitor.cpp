#include "SigningFolderMonitor.h"

#include "FileUtil.h"
#include "msgcommsd7.h"
#include "QZStringManip.h"
#include "SignedEnvelope.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {
namespace {

constexpr size_t kBlockSize = 1000;

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n' || c == '\0';
}

size_t LineEnd(const std::string& bytes, size_t from) {
    while (from < bytes.size() && !IsLineEnd(bytes[from]))
        ++from;
    return from;
}

// One line break: CR LF, CR or LF.
size_t SkipLineBreak(const std::string& bytes, size_t at) {
    if (at < bytes.size() && bytes[at] == '\r')
        return at + 1 < bytes.size() && bytes[at + 1] == '\n' ? at + 2 : at + 1;
    if (at < bytes.size() && bytes[at] == '\n') return at + 1;
    return at;
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

enum class ReadStatus { Ok, Busy, TooLarge };

// Reads a dropped file while holding an exclusive lock on it. A file another program still
// holds locked, or modified moments ago, is taken to be still being written.
ReadStatus ReadDroppedFile(const std::string& path, int settleSeconds, uint64_t maxBytes,
                           std::string& bytes) {
    // A link could hand over any file this user may read (the key store, for one).
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return ReadStatus::Busy;
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return ReadStatus::Busy;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return ReadStatus::Busy;
    // A modification time ahead of the clock (another machine's clock, a coarse clock) counts
    // as recent only within the same span, so such a file cannot wait for ever.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const double age = static_cast<double>(now.tv_sec - st.st_mtim.tv_sec) +
                       static_cast<double>(now.tv_nsec - st.st_mtim.tv_nsec) / 1e9;
    if (settleSeconds > 0 && std::fabs(age) < settleSeconds) return ReadStatus::Busy;
    if (static_cast<uint64_t>(st.st_size) > maxBytes) return ReadStatus::TooLarge;
    bytes.clear();
    bytes.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ReadStatus::Busy;
        if (n == 0) break;
        if (bytes.size() + static_cast<size_t>(n) > maxBytes) return ReadStatus::TooLarge;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return ReadStatus::Ok;
}

} // namespace

std::string RecipientFromHeaderLine(const std::string& line) {
    std::string value = line;
    if (line.find('=') != std::string::npos) {
        value = Trim(StrAfter(line, "="));
        if (StartsText(line, "msgrecipient") && value.find('@') == std::string::npos) value += "@";
    }
    const auto at = value.find('@');
    if (at == std::string::npos) return {};
    const std::string local = value.substr(0, at);
    const std::string domain = value.substr(at + 1);
    if (!domain.empty() && domain.find('.') == std::string::npos) return {};
    if (local.find_first_of(" |\\/?<>[]()\"'") != std::string::npos) return {};
    const std::string recipient = Trim(value);
    // The recipient becomes part of output file names: it must not lead out of the folder.
    if (recipient.find_first_of("/\\") != std::string::npos || HasControlCharacter(recipient)) return {};
    return recipient;
}

std::string ReadMsgRecipient(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    char buffer[kBlockSize];
    ssize_t n = 0;
    do {
        n = read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    close(fd);
    if (n <= 0) return {};
    const std::string bytes(buffer, static_cast<size_t>(n));
    return RecipientFromHeaderLine(bytes.substr(0, LineEnd(bytes, 0)));
}

bool FileContainsAny(const std::string& path, const std::string& texts) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    std::vector<std::string> items;
    size_t longest = 0;
    for (int i = 1, count = StrCount(texts, ";") + 1; i <= count; ++i) {
        std::string item = LowerCase(StrField(texts, ';', i));
        if (item.empty()) continue;
        longest = std::max(longest, item.size());
        items.push_back(std::move(item));
    }
    if (items.empty()) return false;
    // The end of the previous block is searched again with the next, so a text that spans the
    // boundary is found.
    std::string window;
    char buffer[kBlockSize];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        window += LowerCase(std::string(buffer, static_cast<size_t>(n)));
        for (const auto& item : items)
            if (window.find(item) != std::string::npos) return true;
        if (window.size() >= longest) window.erase(0, window.size() - (longest - 1));
    }
}

bool IsNumberedLineFormat(const std::string& text) {
    for (const char* mark : {"001 ", "100 ", "301 ", "999 "})
        if (text.find(mark) == std::string::npos) return false;
    return true;
}

std::string InsertSignatureLines(const std::string& signatureLines, const std::string& text) {
    StringList lines = SplitLines(text);
    const StringList inserted = SplitLines(signatureLines);
    bool mayInsert = true;
    for (ptrdiff_t i = static_cast<ptrdiff_t>(lines.size()) - 2; i >= 0; --i) {
        const auto number = StrToIntOpt(lines[static_cast<size_t>(i)].substr(0, 3));
        if (!number) continue;
        if (*number < 100) break;
        if (*number != 301) {
            mayInsert = true;
        } else if (mayInsert) {
            lines.insert(lines.begin() + i + 1, inserted.begin(), inserted.end());
            mayInsert = false;
        }
    }
    return JoinLines(lines);
}

std::string RemoveRecipientHeader(const std::string& bytes) {
    const size_t firstEnd = LineEnd(bytes, 0);
    if (!StartsText(bytes.substr(0, firstEnd), "msgrecipient")) return bytes;
    size_t start = SkipLineBreak(bytes, firstEnd);
    const size_t secondEnd = LineEnd(bytes, start);
    if (ContainsText(bytes.substr(start, secondEnd - start), "author="))
        start = SkipLineBreak(bytes, secondEnd);
    return bytes.substr(start);
}

void MarkAcknowledgement(std::string& buffer) {
    size_t start = 0;
    while (start < buffer.size()) {
        const size_t end = LineEnd(buffer, start);
        const std::string head = buffer.substr(start, std::min<size_t>(7, end - start));
        if (head == "009 ---" || head == "019 ---" || head == "029 ---") {
            // Only the line's own bytes are overwritten; a shorter line grows rather than
            // losing its line break and the start of the next line.
            const size_t at = start + 7;
            buffer.replace(at, std::min<size_t>(5, end - at), " ACK ");
            return;
        }
        start = end + 1;
    }
}

std::string AddSignatureLines(const std::string& buffer, const std::string& details) {
    if (details.empty()) return buffer;
    // Line processing would corrupt a binary file; it travels as it came.
    if (buffer.find('\0') != std::string::npos) return buffer;
    return IsNumberedLineFormat(buffer) ? InsertSignatureLines("301 " + details, buffer)
                                        : InsertSignatureLines(details, buffer);
}

SigningFolderMonitor::SigningFolderMonitor(Services services) : m_s(std::move(services)) {}

MonitorDisplay SigningFolderMonitor::Display() const {
    std::lock_guard lock(m_displayMutex);
    return m_display;
}

void SigningFolderMonitor::Publish(const MonitorDisplay& display) {
    bool changed = false;
    {
        std::lock_guard lock(m_displayMutex);
        changed = display.caption != m_display.caption || display.folderMissing != m_display.folderMissing;
        m_display = display;
    }
    if (changed && m_s.events) m_s.events->MonitorCaptionChanged(display.caption);
}

void SigningFolderMonitor::MonitorTick() {
    if (m_busy.exchange(true)) return;
    struct Release {
        std::atomic<bool>& busy;
        ~Release() { busy = false; }
    } release{m_busy};

    const VNPTRRegValues settings = m_s.settings.Get();
    if (!settings.MonitorSigning || settings.MonitorPath.empty()) return;
    const std::string folder = IncludeTrailingSeparator(settings.MonitorPath);
    MonitorDisplay display = Display();
    display.folderMissing = !DirectoryExists(folder);
    if (display.folderMissing) {
        Publish(display);
        return;
    }

    // Without the signing library nothing is signed: the files wait, and are never sent unsigned
    // behind the user's back.
    const bool available = !m_s.signingAvailable || m_s.signingAvailable();
    if (!available && !m_toldUnavailable)
        m_s.log.LogLine("The signing library is not loaded: files in " + folder + " wait until it is.");
    m_toldUnavailable = !available;

    int unprocessed = 0;
    std::vector<std::string> names = ListFolder(folder, "*.*", false);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        const std::string path = folder + name;
        // Only regular files that lie in the folder itself: no links, no devices or pipes.
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (!Trim(settings.SignOnlyText).empty() && !FileContainsAny(path, settings.SignOnlyText)) continue;
        if (!available) {
            ++unprocessed;
            continue;
        }
        try {
            if (ProcessFile(settings, folder, name, unprocessed) == Step::EndTick) break;
        } catch (const HoldJob& hold) {
            // Nobody can answer now: the file waits for the cause to be fixed.
            ++unprocessed;
            if (m_toldWaiting.insert(name).second)
                m_s.log.LogLine("File " + name + " waits: " + hold.Reason() + ".");
        }
    }

    display.unprocessed = unprocessed;
    display.caption = unprocessed > 0
                          ? "Monitor Path for Signing - " + std::to_string(unprocessed) + " unprocessed."
                          : "Monitor Path for Signing";
    Publish(display);
}

SigningFolderMonitor::Prepared SigningFolderMonitor::PrepareMonitoredFile(const std::string& path,
                                                                          bool hesaTokens) {
    Prepared prepared;
    std::string bytes;
    switch (ReadDroppedFile(path, m_settleSeconds, m_maxFileBytes, bytes)) {
    case ReadStatus::Busy:
        prepared.status = Prepared::Status::Busy;
        return prepared;
    case ReadStatus::TooLarge:
        prepared.status = Prepared::Status::TooLarge;
        return prepared;
    case ReadStatus::Ok:
        break;
    }
    prepared.content = RemoveRecipientHeader(bytes);
    MarkAcknowledgement(prepared.content);
    if (hesaTokens) prepared.details = m_s.signer.SignWithToken();
    if (prepared.details == "ERROR: CANCEL" || prepared.details == "ERROR: PRINT") {
        prepared.status = Prepared::Status::GaveUp;
        return prepared;
    }
    prepared.content = AddSignatureLines(prepared.content, prepared.details);
    return prepared;
}

SigningFolderMonitor::Step SigningFolderMonitor::ProcessFile(const VNPTRRegValues& settings,
                                                             const std::string& folder,
                                                             const std::string& name, int& unprocessed) {
    const std::string path = folder + name;
    std::string recipient = ReadMsgRecipient(path);
    std::string recipientLine;
    if (!recipient.empty())
        recipientLine = "MsgRecipient=" + recipient + "\r\n";
    else if (name.find('_') != std::string::npos)
        recipient = MessageRecipient(name);
    // The recipient becomes part of output names and of the signed copy's header lines.
    if (recipient.empty() || UnsafeRecipient(recipient)) {
        if (!recipient.empty() && m_toldUnsafe.insert(name).second)
            m_s.log.LogLine("File " + Printable(name) +
                            " is left in the monitored folder: its recipient cannot be " +
                            "used in a message name.");
        ++unprocessed;
        return Step::NextFile;
    }

    std::string destination = settings.SavePath;
    THostIP host;
    bool relay = settings.SaveMode == 0;
    if (relay) {
        DeliveryContext ctx{settings, m_s.prompter, m_s.log, m_s.relay};
        host = ResolveServerAddress(ctx, recipient);
        if (host.host == "ERROR: CANCEL") {
            if (!DeleteFileIfExists(path)) m_s.log.LogLine("Cannot remove " + path);
            return Step::NextFile;
        }
        if (host.host.find("ERROR:") != std::string::npos) {
            const std::string chosen = StrAfter(host.host, "ERROR:");
            if (chosen.empty()) return Step::EndTick;
            destination = IncludeTrailingSeparator(chosen);
            relay = false;
        }
    }

    Prepared prepared = PrepareMonitoredFile(path, settings.HeSATokens);
    if (prepared.status == Prepared::Status::Busy) return Step::NextFile;
    if (prepared.status == Prepared::Status::TooLarge) {
        ++unprocessed;
        return Step::NextFile;
    }
    if (prepared.status == Prepared::Status::GaveUp) {
        SwitchMonitoringOff();
        return Step::EndTick;
    }

    std::string signedCopy;
    // Empty details with signing on mean the user chose, in the token dialogs, to send unsigned.
    if (!prepared.details.empty()) {
        signedCopy = m_s.signer.BuildSignedBlock(StrBetween(prepared.details, "<", ">"), recipient,
                                                 "File " + name, name, std::string(), &prepared.content);
        while (signedCopy.empty()) {
            m_s.signer.ClearTokenLogon();
            const std::string details = m_s.signer.SignWithToken();
            if (details == "ERROR: CANCEL" || details == "ERROR: PRINT") {
                SwitchMonitoringOff();
                return Step::EndTick;
            }
            if (details.empty()) break;
            prepared = PrepareMonitoredFile(path, settings.HeSATokens);
            if (prepared.status != Prepared::Status::Ready || prepared.details.empty()) return Step::EndTick;
            signedCopy = m_s.signer.BuildSignedBlock(StrBetween(prepared.details, "<", ">"), recipient,
                                                     "File " + name, name, std::string(), &prepared.content);
        }
    }
    if (signedCopy.empty()) m_s.log.LogLine("File " + name + " is sent without a signature, as chosen.");
    return Deliver(folder, name, recipient, recipientLine, relay ? &host : nullptr, destination, prepared,
                   std::move(signedCopy));
}

SigningFolderMonitor::Step SigningFolderMonitor::Deliver(const std::string& folder, const std::string& name,
                                                         const std::string& recipient,
                                                         const std::string& recipientLine,
                                                         const THostIP* host, const std::string& destination,
                                                         const Prepared& prepared, std::string signedCopy) {
    if (!signedCopy.empty()) {
        const std::string marker = kSignedMessageMarkerLine;
        if (auto p = signedCopy.find(marker); p != std::string::npos)
            signedCopy.replace(p, marker.size(), recipientLine);
    }
    const std::string ext = ExtractFileExt(name);
    std::string base = name.substr(0, name.size() - ext.size());
    if (!StartsText(base, recipient) && !StartsText(base, StrBefore(recipient, "@")))
        base = recipient + "_" + base;

    if (host) {
        if (!signedCopy.empty()) {
            const std::string result =
                m_s.relay ? m_s.relay->SendTextToServer(base + ext + ".sign.eml", signedCopy, *host)
                          : std::string("ERROR: no relay");
            m_s.log.LogLine("Transfer to Vocanet for sending :" + result);
            if (result != "OK") return Step::EndTick;
        }
        const std::string result = m_s.relay
                                       ? m_s.relay->SendFileToServer(base + ext, "", *host, prepared.content)
                                       : std::string("ERROR: no relay");
        m_s.log.LogLine("Transfer to Vocanet for sending :" + result);
        if (result != "OK") return Step::EndTick;
    } else {
        // A name taken by an earlier message, signed or not, is never written over.
        if (FileExists(destination + base + ext + ".sign.eml") || FileExists(destination + base + ext))
            base += "." + MakeMessageId(m_s.clock, "");
        const std::string signedPath = destination + base + ext + ".sign.eml";
        if (!signedCopy.empty()) {
            if (auto r = PublishNewFile(destination, base + ext + ".sign.___", base + ext + ".sign.eml",
                                        NormaliseLineEnds(signedCopy));
                !r) {
                m_s.log.LogLine(std::string(kWriteFailure) + r.error().message);
                return Step::NextFile;
            }
        }
        if (auto r = PublishNewFile(destination, base + ext + ".___", base + ext,
                                    recipientLine + prepared.content);
            !r) {
            if (!signedCopy.empty()) DeleteFileIfExists(signedPath);
            m_s.log.LogLine(std::string(kWriteFailure) + r.error().message);
            return Step::NextFile;
        }
        m_s.log.LogLine("Saved message for " + recipient + "\r\n to " + destination);
    }
    if (!DeleteFileIfExists(folder + name)) m_s.log.LogLine("Cannot remove " + folder + name);
    return Step::NextFile;
}

void SigningFolderMonitor::SwitchMonitoringOff() {
    m_s.settings.Update([](VNPTRRegValues& v) { v.MonitorSigning = false; });
    if (m_s.saveSettings) m_s.saveSettings();
    m_s.log.LogLine("Monitoring of the signing folder switched off: signing was given up.");
}

} // namespace vvp
