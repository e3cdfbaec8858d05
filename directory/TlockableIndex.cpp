#include "TlockableIndex.h"

#include "DirectoryFiles.h"
#include "FileUtil.h"
#include "TextEncoding.h"

#include <algorithm>
#include <iterator>
#include <sys/stat.h>

namespace vvp {
namespace {

constexpr size_t kMaxFileBytes = 256u * 1024 * 1024;

void AddLines(const std::string& key, std::vector<std::string>& out) {
    // A key without line breaks is one line, even an empty one.
    if (key.find_first_of("\r\n") == std::string::npos) {
        out.push_back(LowerCaseLatin(key));
        return;
    }
    for (const auto& line : SplitLines(key))
        out.push_back(LowerCaseLatin(line));
}

void MergeSorted(std::vector<std::string>& entries, std::vector<std::string> added) {
    std::sort(added.begin(), added.end());
    std::vector<std::string> merged;
    merged.reserve(entries.size() + added.size());
    std::merge(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()),
               std::back_inserter(merged));
    merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
    entries = std::move(merged);
}

} // namespace

TlockableIndex::TlockableIndex() : m_timeStamp(std::chrono::system_clock::now()) {}

TlockableIndex::TlockableIndex(std::string fileName)
    : m_fileName(std::move(fileName)), m_timeStamp(std::chrono::system_clock::now()) {}

Result<std::unique_ptr<TlockableIndex>> TlockableIndex::Open(const std::string& fileName,
                                                             bool createIfMissing) {
    std::unique_ptr<TlockableIndex> index(new TlockableIndex(fileName));
    if (!FileExists(fileName)) {
        if (!createIfMissing) return Error{"File does not exist"};
        if (const std::string dir = ExtractFileDir(fileName); !dir.empty() && !DirectoryExists(dir))
            if (auto r = ForceDirectories(dir); !r) return r.error();
        if (auto r = WriteFileAtomically(fileName, ""); !r) return r.error();
        return index;
    }
    auto text = ReadFileUpTo(fileName, kMaxFileBytes);
    if (!text) return text.error();
    struct stat st {};
    if (stat(fileName.c_str(), &st) == 0)
        index->m_timeStamp = std::chrono::system_clock::from_time_t(st.st_mtim.tv_sec) +
                             std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                 std::chrono::nanoseconds(st.st_mtim.tv_nsec));
    std::vector<std::string> lines;
    for (const auto& line : SplitLines(*text))
        if (!line.empty()) lines.push_back(LowerCaseLatin(line)); // a blank line is no key
    MergeSorted(index->m_entries, std::move(lines));
    return index;
}

bool TlockableIndex::TimedLock::TryLockFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_released.wait_for(lock, timeout, [this] { return !m_held; })) return false;
    m_held = true;
    return true;
}

void TlockableIndex::TimedLock::Unlock() {
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
    }
    m_released.notify_one();
}

Result<TlockableIndex::Guard> TlockableIndex::Lock() const {
    if (!m_lock.TryLockFor(m_lockTimeout)) return Error{"Lock Time Out"};
    return Guard(&m_lock);
}

Result<void> TlockableIndex::Store() const {
    if (m_fileName.empty()) return Ok();
    return WriteFileAtomically(m_fileName, JoinLines(m_entries));
}

Result<void> TlockableIndex::AddReference(const std::string& key) {
    std::vector<std::string> lines;
    AddLines(key, lines);
    auto lock = Lock();
    if (!lock) return lock.error();
    for (auto& line : lines) {
        auto at = std::lower_bound(m_entries.begin(), m_entries.end(), line);
        if (at == m_entries.end() || *at != line) m_entries.insert(at, std::move(line));
    }
    return Store();
}

Result<void> TlockableIndex::AddReferences(const StringList& keys) {
    std::vector<std::string> added;
    added.reserve(keys.size());
    for (const auto& key : keys)
        AddLines(key, added);
    auto lock = Lock();
    if (!lock) return lock.error();
    MergeSorted(m_entries, std::move(added));
    return Store();
}

Result<StringList> TlockableIndex::References(const std::string& prefix) const {
    StringList found;
    if (prefix.empty()) return found;
    const std::string wanted = LowerCaseLatin(prefix);
    auto lock = Lock();
    if (!lock) return lock.error();
    for (auto at = std::lower_bound(m_entries.begin(), m_entries.end(), wanted);
         at != m_entries.end() && at->compare(0, wanted.size(), wanted) == 0; ++at)
        found.push_back(*at);
    return found;
}

Result<std::string> TlockableIndex::GetReferences(const std::string& prefix) const {
    auto found = References(prefix);
    if (!found) return found.error();
    return JoinLines(*found);
}

Result<void> TlockableIndex::Clear() {
    auto lock = Lock();
    if (!lock) return lock.error();
    m_entries.clear();
    return Store();
}

Result<size_t> TlockableIndex::Count() const {
    auto lock = Lock();
    if (!lock) return lock.error();
    return m_entries.size();
}

} // namespace vvp
