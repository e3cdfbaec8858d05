#pragma once

#include "TextLines.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

// A sorted list of lower-cased key=value lines with prefix lookup, safe to use from several
// threads at once. Duplicates are kept once.
class TlockableIndex {
public:
    // Adds the lower-cased key; a key holding line breaks adds each of its lines.
    void AddReference(const std::string& key);
    // The same for many keys at once, without re-sorting after each one.
    void AddReferences(const StringList& keys);
    // Every entry starting with the lower-cased prefix, in sorted order, each followed by CR LF;
    // empty for an empty prefix.
    std::string GetReferences(const std::string& prefix) const;
    StringList References(const std::string& prefix) const;
    void Clear();
    size_t Count() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries; // sorted by byte value of the lower-cased text
};

} // namespace vvp
