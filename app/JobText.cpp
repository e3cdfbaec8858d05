#include "JobText.h"

namespace vvp {

size_t JobText::Find(std::string_view marker, size_t from) {
    for (auto& s : m_searches) {
        if (s.marker != marker) continue;
        // [s.from, s.found) holds no marker: a search starting inside it ends at s.found.
        if (from >= s.from && (s.found == std::string::npos || from <= s.found)) return s.found;
        s.from = from;
        s.found = m_text.find(marker, from);
        return s.found;
    }
    m_searches.push_back({std::string(marker), from, m_text.find(marker, from)});
    return m_searches.back().found;
}

bool OnlyWhitespace(std::string_view text) {
    return text.find_first_not_of(" \t\n\f\r") == std::string_view::npos;
}

} // namespace vvp
