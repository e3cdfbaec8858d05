#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vvp {

// A received job's text and how far the passes over it have got. Markers are searched from the
// current offset and each search resumes where the previous one for that marker stopped, so a
// job of many pages is walked in time linear in its size.
class JobText {
public:
    explicit JobText(std::string text) : m_text(std::move(text)) {}

    const std::string& Whole() const { return m_text; }
    size_t Offset() const { return m_offset; }
    std::string_view Rest() const { return std::string_view(m_text).substr(m_offset); }
    void Advance(size_t offset) { m_offset = offset < m_text.size() ? offset : m_text.size(); }

    // Position of the first marker at or after from (default: the offset); npos when none.
    size_t Find(std::string_view marker) { return Find(marker, m_offset); }
    size_t Find(std::string_view marker, size_t from);

private:
    struct Search {
        std::string marker;
        size_t from = 0;                  // searched from here
        size_t found = std::string::npos; // to here (or the end)
    };

    std::string m_text;
    size_t m_offset = 0;
    std::vector<Search> m_searches;
};

// Whether the text holds nothing but blanks, tabs, line ends and form feeds.
bool OnlyWhitespace(std::string_view text);

} // namespace vvp
