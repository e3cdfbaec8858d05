#include "TlockableIndex.h"

#include "QZStringManip.h"

#include <algorithm>
#include <iterator>

namespace vvp {

void TlockableIndex::AddReference(const std::string& key) {
    std::lock_guard lock(m_mutex);
    // A key without line breaks is one line, even an empty one.
    const StringList lines =
        key.find_first_of("\r\n") == std::string::npos ? StringList{key} : SplitLines(key);
    for (const auto& line : lines) {
        std::string entry = LowerCase(line);
        auto at = std::lower_bound(m_entries.begin(), m_entries.end(), entry);
        if (at == m_entries.end() || *at != entry) m_entries.insert(at, std::move(entry));
    }
}

void TlockableIndex::AddReferences(const StringList& keys) {
    std::vector<std::string> added;
    added.reserve(keys.size());
    for (const auto& key : keys) {
        if (key.find_first_of("\r\n") == std::string::npos) {
            added.push_back(LowerCase(key));
            continue;
        }
        for (const auto& line : SplitLines(key))
            added.push_back(LowerCase(line));
    }
    std::sort(added.begin(), added.end());
    std::lock_guard lock(m_mutex);
    std::vector<std::string> merged;
    merged.reserve(m_entries.size() + added.size());
    std::merge(std::make_move_iterator(m_entries.begin()), std::make_move_iterator(m_entries.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()),
               std::back_inserter(merged));
    merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
    m_entries = std::move(merged);
}

StringList TlockableIndex::References(const std::string& prefix) const {
    StringList found;
    if (prefix.empty()) return found;
    const std::string wanted = LowerCase(prefix);
    std::lock_guard lock(m_mutex);
    for (auto at = std::lower_bound(m_entries.begin(), m_entries.end(), wanted);
         at != m_entries.end() && at->compare(0, wanted.size(), wanted) == 0; ++at)
        found.push_back(*at);
    return found;
}

std::string TlockableIndex::GetReferences(const std::string& prefix) const {
    return JoinLines(References(prefix));
}

void TlockableIndex::Clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

size_t TlockableIndex::Count() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

} // namespace vvp
