#include "RtfDocument.h"

#include "FileUtil.h"
#include "RtfLexer.h"
#include "RtfReader.h"

#include <algorithm>
#include <limits>

namespace vvp {

namespace {

using rtf::Unit;

// Offsets are 32-bit; edits that would pass this are refused.
constexpr std::size_t kMaxEditedSize = std::numeric_limits<std::uint32_t>::max() - 16;

unsigned char Fold(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

// Appends the RTF for text, and the visible characters and units it becomes; base is the offset
// at which rtf will start in the document.
void AppendEscaped(std::string_view text, std::size_t base, std::string& rtf, std::string& visible,
                   std::vector<Unit>& units) {
    static const char hex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t start = base + rtf.size();
        char shown = static_cast<char>(c);
        switch (c) {
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            [[fallthrough]];
        case '\n':
            rtf += "\\par ";
            shown = '\r';
            break;
        case '\t':
            rtf += "\\tab ";
            break;
        case '\v':
            rtf += "\\line ";
            break;
        case '\\':
        case '{':
        case '}':
            rtf += '\\';
            rtf += static_cast<char>(c);
            break;
        default:
            if (c < 0x20 || c >= 0x80) {
                rtf += "\\'";
                rtf += hex[c >> 4];
                rtf += hex[c & 15];
            } else {
                rtf += static_cast<char>(c);
            }
        }
        units.push_back(
            Unit{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(base + rtf.size()), 0});
        visible.push_back(shown);
    }
}

// Whether the source up to end finishes with a control word that a following letter, digit or
// space would change.
bool EndsInOpenControlWord(std::string_view source, std::size_t end) {
    rtf::Lexer lexer(source.substr(0, end));
    rtf::Token token;
    bool open = false;
    while (lexer.Next(token))
        open = token.kind == rtf::TokenKind::ControlWord && token.open;
    return open;
}

// Group depth at offset end of a well-formed source.
std::size_t DepthAt(std::string_view source, std::size_t end) {
    rtf::Lexer lexer(source.substr(0, end));
    rtf::Token token;
    std::size_t depth = 0;
    while (lexer.Next(token)) {
        if (token.kind == rtf::TokenKind::GroupOpen) ++depth;
        if (token.kind == rtf::TokenKind::GroupClose && depth > 0) --depth;
    }
    return depth;
}

std::size_t FindFolded(std::string_view hay, const std::string& needle, std::size_t from) {
    const std::size_t m = needle.size();
    const std::size_t last = hay.size() - m;
    const auto first = static_cast<unsigned char>(needle[0]);
    if (m <= 64) {
        for (std::size_t i = from; i <= last; ++i) {
            if (Fold(static_cast<unsigned char>(hay[i])) != first) continue;
            std::size_t k = 1;
            while (k < m &&
                   Fold(static_cast<unsigned char>(hay[i + k])) == static_cast<unsigned char>(needle[k]))
                ++k;
            if (k == m) return i;
        }
        return RtfDocument::npos;
    }
    // Long needles: Knuth-Morris-Pratt keeps the search linear whatever the text.
    std::vector<std::size_t> fail(m, 0);
    for (std::size_t i = 1, k = 0; i < m; ++i) {
        while (k > 0 && needle[i] != needle[k])
            k = fail[k - 1];
        if (needle[i] == needle[k]) ++k;
        fail[i] = k;
    }
    for (std::size_t i = from, k = 0; i < hay.size(); ++i) {
        const auto c = static_cast<char>(Fold(static_cast<unsigned char>(hay[i])));
        while (k > 0 && c != needle[k])
            k = fail[k - 1];
        if (c == needle[k]) ++k;
        if (k == m) return i + 1 - m;
    }
    return RtfDocument::npos;
}

} // namespace

Result<RtfDocument> RtfDocument::FromString(std::string rtf) {
    if (rtf.size() > kMaxSize)
        return Error{"The RTF document is too large (" + std::to_string(rtf.size()) + " bytes)"};
    RtfDocument doc;
    Error error;
    if (!doc.Load(std::move(rtf), &error)) return error;
    return doc;
}

Result<RtfDocument> RtfDocument::FromFile(const std::string& path) {
    auto bytes = ReadWholeFile(path);
    if (!bytes) return bytes.error().WithContext("Cannot read RTF document \"" + path + "\": ");
    auto doc = FromString(std::move(bytes.value()));
    if (!doc) return doc.error().WithContext("Cannot load RTF document \"" + path + "\": ");
    return doc;
}

bool RtfDocument::Load(std::string source, Error* error) {
    auto layout = rtf::ReadRtf(source, kMaxDepth);
    if (!layout) {
        if (error) *error = layout.error();
        return false;
    }
    m_source = std::move(source);
    m_visible = std::move(layout->visible);
    m_units = std::move(layout->units);
    m_rootClose = layout->rootClose;
    return true;
}

bool RtfDocument::SetSource(std::string source) {
    // Our edits keep the document well formed; should one not, the document stays as it was.
    return Load(std::move(source), nullptr);
}

std::string RtfDocument::PlainText() const {
    std::string out;
    out.reserve(m_visible.size() + m_visible.size() / 16 + 2);
    for (const char c : m_visible) {
        if (c == '\r' || c == '\v')
            out += "\r\n";
        else
            out += c;
    }
    if (!m_visible.empty() && m_visible.back() != '\r' && m_visible.back() != '\v') out += "\r\n";
    return out;
}

std::size_t RtfDocument::Find(std::string_view needle, std::size_t from) const {
    if (from > m_visible.size()) return npos;
    if (needle.empty()) return from;
    if (needle.size() > m_visible.size() - from) return npos;
    std::string folded(needle);
    for (char& c : folded)
        c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
    return FindFolded(m_visible, folded, from);
}

std::size_t RtfDocument::Replace(std::size_t pos, std::size_t len, std::string_view text) {
    const std::size_t size = m_visible.size();
    pos = std::min(pos, size);
    len = std::min(len, size - pos);
    if (pos == size) return InsertAtEnd(text);

    // The new text goes where the first selected character was, under the formatting in force
    // there; what lay between the selected characters (formatting changes, groups, invisible
    // destinations) stays behind it, so the text after the selection keeps its format.
    const Unit first = m_units[pos];
    const std::uint32_t s0 = first.start;
    const std::uint32_t e1 = len > 0 ? m_units[pos + len - 1].end : s0;

    std::string rtf;
    std::string visible;
    std::vector<Unit> units;
    // A control word right before the selection must not run into the new text, nor take a
    // '-' and a new digit as its parameter.
    if (first.flags & rtf::kOpenBefore) rtf += ' ';
    if (pos > 0 && m_units[pos - 1].end == s0 && (m_units[pos - 1].flags & rtf::kDashAfterOpen)) rtf += "{}";
    AppendEscaped(text, s0, rtf, visible, units);
    for (std::size_t k = pos + 1; k < pos + len; ++k) {
        const std::uint32_t gapStart = m_units[k - 1].end;
        const std::uint32_t gapEnd = m_units[k].start;
        if (gapEnd > gapStart) {
            rtf.append(m_source, gapStart, gapEnd - gapStart);
            if (m_units[k].flags & rtf::kOpenBefore) rtf += ' ';
        }
    }
    if (m_source.size() - (e1 - s0) + rtf.size() > kMaxEditedSize) return npos;

    const auto delta = static_cast<std::int64_t>(rtf.size()) - static_cast<std::int64_t>(e1 - s0);
    m_source.replace(s0, e1 - s0, rtf);
    if ((first.flags & rtf::kOpenBefore) && pos > 0 && m_units[pos - 1].end == s0) {
        // The space became the delimiter of the control word that ends the previous character.
        m_units[pos - 1].end += 1;
        m_units[pos - 1].flags = static_cast<std::uint8_t>(m_units[pos - 1].flags & ~rtf::kOpenAfter);
    }
    m_visible.replace(pos, len, visible);

    const std::size_t inserted = units.size();
    if (inserted <= len) {
        std::copy(units.begin(), units.end(), m_units.begin() + static_cast<std::ptrdiff_t>(pos));
        m_units.erase(m_units.begin() + static_cast<std::ptrdiff_t>(pos + inserted),
                      m_units.begin() + static_cast<std::ptrdiff_t>(pos + len));
    } else {
        std::copy(units.begin(), units.begin() + static_cast<std::ptrdiff_t>(len),
                  m_units.begin() + static_cast<std::ptrdiff_t>(pos));
        m_units.insert(m_units.begin() + static_cast<std::ptrdiff_t>(pos + len),
                       units.begin() + static_cast<std::ptrdiff_t>(len), units.end());
    }
    if (delta != 0) {
        for (std::size_t i = pos + inserted; i < m_units.size(); ++i) {
            m_units[i].start = static_cast<std::uint32_t>(m_units[i].start + delta);
            m_units[i].end = static_cast<std::uint32_t>(m_units[i].end + delta);
        }
        m_rootClose = static_cast<std::uint32_t>(m_rootClose + delta);
    }
    // Whatever now precedes the character after the selection ends cleanly.
    const std::size_t after = pos + inserted;
    if (after < m_units.size() && m_units[after].start == s0 + rtf.size()) {
        Unit& next = m_units[after];
        std::uint8_t clear = rtf::kOpenBefore;
        if (next.end - next.start == 1) clear |= rtf::kDashAfterOpen;
        next.flags = static_cast<std::uint8_t>(next.flags & ~clear);
    }
    return inserted;
}

std::size_t RtfDocument::InsertAtEnd(std::string_view text) {
    if (text.empty()) return 0;
    const std::uint32_t at = m_units.empty() ? m_rootClose : m_units.back().end;
    std::string rtf;
    // A \uN whose fallback was cut short by a brace would swallow the new text, a '-' after a
    // control word would join a new digit: an empty group ends both (and any control word).
    if (!m_units.empty() && (m_units.back().flags & (rtf::kPendingSkip | rtf::kDashAfterOpen)))
        rtf += "{}";
    else if (EndsInOpenControlWord(m_source, at))
        rtf += ' ';
    std::string visible;
    std::vector<Unit> units;
    AppendEscaped(text, at, rtf, visible, units);
    if (m_source.size() + rtf.size() > kMaxEditedSize) return npos;
    std::string source = m_source;
    source.insert(at, rtf);
    const std::size_t before = m_visible.size();
    if (!SetSource(std::move(source))) return npos;
    return m_visible.size() >= before ? m_visible.size() - before : 0;
}

std::size_t RtfDocument::ReplaceAll(std::string_view text) {
    if (m_units.empty()) return InsertAtEnd(text);
    const std::uint32_t s0 = m_units.front().start;
    std::string source = m_source.substr(0, s0);
    if (m_units.front().flags & rtf::kOpenBefore) source += ' ';
    std::string visible;
    std::vector<Unit> units;
    std::string rtf;
    AppendEscaped(text, s0, rtf, visible, units);
    if (source.size() + rtf.size() + m_source.size() - s0 > kMaxEditedSize) return npos;
    source += rtf;
    source.append(DepthAt(m_source, s0), '}');
    source.append(m_source, m_rootClose + 1);
    if (!SetSource(std::move(source))) return npos;
    return m_visible.size();
}

std::vector<RtfParagraph> RtfDocument::Paragraphs() const {
    std::vector<RtfParagraph> paragraphs;
    if (m_source.empty()) return paragraphs;
    auto layout = rtf::ReadRtf(m_source, kMaxDepth, &paragraphs);
    if (!layout) paragraphs.clear();
    return paragraphs;
}

} // namespace vvp
