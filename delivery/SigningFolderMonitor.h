#pragma once

#include "ActivityLog.h"
#include "Clock.h"
#include "EngineEvents.h"
#include "MessageDelivery.h"
#include "MessageSigner.h"
#include "Prompter.h"
#include "Settings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace vvp {

// The recipient named by a file's first line ("MsgRecipient=address", "To=address" or a bare
// address); empty when the line names none.
std::string ReadMsgRecipient(const std::string& path);
std::string RecipientFromHeaderLine(const std::string& line);

// Whether the file holds any of the ";"-separated texts, letter case ignored; false when it
// cannot be read. Read in blocks, a text that spans two blocks is found too.
bool FileContainsAny(const std::string& path, const std::string& texts);

// A text with the lines "001 ", "100 ", "301 " and "999 " somewhere.
bool IsNumberedLineFormat(const std::string& text);

// Inserts the signature lines after the last line of every block of "301" lines below the last
// line numbered under 100; the result's lines all end in CR LF.
std::string InsertSignatureLines(const std::string& signatureLines, const std::string& text);

// The steps of preparing a dropped file's content, each on its own for tests.
// Drops a "MsgRecipient" first line and an "author=" line after it.
std::string RemoveRecipientHeader(const std::string& bytes);
// Writes " ACK " after the first "009 ---", "019 ---" or "029 ---" that starts a line.
void MarkAcknowledgement(std::string& buffer);
// The content with the signature detail lines added (numbered-line format) or its line ends
// made CR LF; binary content (holding NUL bytes) is left as it is.
std::string AddSignatureLines(const std::string& buffer, const std::string& details);

// What the window's "Monitor Path for Signing" group box shows.
struct MonitorDisplay {
    std::string caption = "Monitor Path for Signing";
    bool folderMissing = false; // the folder label in red
    int unprocessed = 0;
};

// Signs and delivers the files dropped into the monitored folder, one pass per timer tick.
class SigningFolderMonitor {
public:
    struct Services {
        SettingsHolder& settings;
        Prompter& prompter;
        ActivityLog& log;
        const Clock& clock;
        MessageSigner& signer;
        // Whether the signing library can be called now (it is loaded when needed).
        std::function<bool()> signingAvailable;
        MessageRelay* relay = nullptr; // Save Mode 0
        EngineEvents* events = nullptr;
        // Persists the settings after monitoring switched itself off.
        std::function<void()> saveSettings;
    };

    explicit SigningFolderMonitor(Services services);

    // One pass over the monitored folder; does nothing while a pass is running.
    void MonitorTick();
    void Tick() { MonitorTick(); }

    MonitorDisplay Display() const;

    // A file modified within this many seconds is taken to be still being written.
    void SetSettleSeconds(int seconds) { m_settleSeconds = seconds; }
    // Files larger than this wait (counted as unprocessed) rather than being read into memory.
    void SetMaxFileBytes(uint64_t bytes) { m_maxFileBytes = bytes; }

private:
    enum class Step { NextFile, EndTick };
    struct Prepared {
        enum class Status { Ready, Busy, TooLarge, GaveUp } status = Status::Ready;
        std::string content;
        std::string details;
    };

    Step ProcessFile(const VNPTRRegValues& settings, const std::string& folder, const std::string& name,
                     int& unprocessed);
    Prepared PrepareMonitoredFile(const std::string& path, bool hesaTokens);
    Step Deliver(const std::string& folder, const std::string& name, const std::string& recipient,
                 const std::string& recipientLine, const THostIP* host, const std::string& destination,
                 const Prepared& prepared, std::string signedCopy);
    void SwitchMonitoringOff();
    void Publish(const MonitorDisplay& display);

    Services m_s;
    std::atomic<bool> m_busy{false};
    int m_settleSeconds = 2;
    uint64_t m_maxFileBytes = 256ull * 1024 * 1024;
    bool m_toldUnavailable = false;
    std::set<std::string> m_toldWaiting; // files whose wait was logged
    std::set<std::string> m_toldUnsafe;  // files whose unusable recipient was logged
    mutable std::mutex m_displayMutex;
    MonitorDisplay m_display;
};

} // namespace vvp
