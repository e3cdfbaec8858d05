#pragma once

#include "Result.h"
#include "TextLines.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

// A sorted list of lower-cased key=value lines with prefix lookup, safe to use from several
// threads at once, in memory or kept in a file. Duplicates are kept once. Every operation waits
// for the lock at most LockTimeout() and then fails with "Lock Time Out".
class TlockableIndex {
public:
    TlockableIndex(); // in memory only
    // Backed by fileName (lines ending CR LF), rewritten after every addition. A missing file is
    // created empty (with its folder) when createIfMissing, else "File does not exist".
    static Result<std::unique_ptr<TlockableIndex>> Open(const std::string& fileName, bool createIfMissing);

    // Adds the lower-cased key; a key holding line breaks adds each of its lines.
    Result<void> AddReference(const std::string& key);
    // The same for many keys at once, without re-sorting (or rewriting the file) after each one.
    Result<void> AddReferences(const StringList& keys);
    // Every entry starting with the lower-cased prefix, in sorted order, each followed by CR LF;
    // empty for an empty prefix.
    Result<std::string> GetReferences(const std::string& prefix) const;
    Result<StringList> References(const std::string& prefix) const;
    Result<void> Clear();
    Result<size_t> Count() const;

    const std::string& FileName() const { return m_fileName; }
    // The file's modification time when loaded from one, else the creation time.
    std::chrono::system_clock::time_point TimeStamp() const { return m_timeStamp; }
    void SetLockTimeout(std::chrono::milliseconds timeout) { m_lockTimeout = timeout; }

private:
    friend struct TlockableIndexProbe; // tests hold the lock

    // A lock whose wait can time out. (std::timed_mutex's timed wait is invisible to
    // ThreadSanitizer, which then reports every use.)
    class TimedLock {
    public:
        bool TryLockFor(std::chrono::milliseconds timeout);
        void Unlock();

    private:
        std::mutex m_mutex;
        std::condition_variable m_released;
        bool m_held = false;
    };
    struct Unlocker {
        void operator()(TimedLock* lock) const { lock->Unlock(); }
    };
    using Guard = std::unique_ptr<TimedLock, Unlocker>;

    explicit TlockableIndex(std::string fileName);
    Result<Guard> Lock() const;
    Result<void> Store() const; // with the lock held

    const std::string m_fileName;
    std::chrono::system_clock::time_point m_timeStamp;
    std::chrono::milliseconds m_lockTimeout{15000};
    mutable TimedLock m_lock;
    std::vector<std::string> m_entries; // sorted by byte value of the lower-cased text
};

} // namespace vvp
