#include "RtfLexer.h"

#include <limits>

namespace vvp::rtf {

namespace {

bool IsLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

int HexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool Lexer::Fail(const std::string& message) {
    m_error = message + " at offset " + std::to_string(m_pos);
    return false;
}

std::size_t Lexer::SkipPlainBytes() {
    const std::size_t start = m_pos;
    while (m_pos < m_src.size()) {
        const char c = m_src[m_pos];
        if (c == '{' || c == '}' || c == '\\') break;
        ++m_pos;
    }
    return m_pos - start;
}

bool Lexer::Next(Token& token) {
    if (m_pos >= m_src.size()) return false;
    const std::size_t start = m_pos;
    // Only the fields a kind uses are set; clearing the whole token per byte costs a third of
    // the reading time.
    token.start = static_cast<std::uint32_t>(start);
    token.open = false;
    token.hasParam = false;
    const auto c = static_cast<unsigned char>(m_src[m_pos]);

    if (c == '{' || c == '}') {
        token.kind = c == '{' ? TokenKind::GroupOpen : TokenKind::GroupClose;
        ++m_pos;
    } else if (c != '\\') {
        token.kind = TokenKind::Text;
        token.ch = c;
        ++m_pos;
    } else {
        if (m_pos + 1 >= m_src.size()) return Fail("Backslash at the end of the document");
        const auto n = static_cast<unsigned char>(m_src[m_pos + 1]);
        if (IsLetter(n)) {
            std::size_t p = m_pos + 1;
            while (p < m_src.size() && IsLetter(static_cast<unsigned char>(m_src[p])))
                ++p;
            token.kind = TokenKind::ControlWord;
            token.word = m_src.substr(m_pos + 1, p - m_pos - 1);
            token.param = 0;
            bool negative = false;
            if (p + 1 < m_src.size() && m_src[p] == '-' &&
                IsDigit(static_cast<unsigned char>(m_src[p + 1]))) {
                negative = true;
                ++p;
            }
            if (p < m_src.size() && IsDigit(static_cast<unsigned char>(m_src[p]))) {
                // Out-of-range numbers saturate; every digit still belongs to the word.
                long long value = 0;
                while (p < m_src.size() && IsDigit(static_cast<unsigned char>(m_src[p]))) {
                    if (value < (1LL << 40)) value = value * 10 + (m_src[p] - '0');
                    ++p;
                }
                if (negative) value = -value;
                if (value > std::numeric_limits<std::int32_t>::max())
                    value = std::numeric_limits<std::int32_t>::max();
                if (value < std::numeric_limits<std::int32_t>::min())
                    value = std::numeric_limits<std::int32_t>::min();
                token.param = static_cast<std::int32_t>(value);
                token.hasParam = true;
            }
            if (p < m_src.size() && m_src[p] == ' ') {
                ++p;
            } else {
                token.open = true;
            }
            m_pos = p;
            if (token.word == "bin" && token.hasParam) {
                if (token.param < 0) return Fail("Negative \\bin length");
                const auto length = static_cast<std::size_t>(token.param);
                if (length > m_src.size() - m_pos)
                    return Fail("Binary data runs past the end of the document");
                m_pos += length;
                if (length > 0) token.open = false;
            }
        } else if (n == '\'') {
            if (m_src.size() - m_pos < 4) return Fail("Hexadecimal character escape cut short");
            const int hi = HexValue(static_cast<unsigned char>(m_src[m_pos + 2]));
            const int lo = HexValue(static_cast<unsigned char>(m_src[m_pos + 3]));
            if (hi < 0 || lo < 0) return Fail("Invalid hexadecimal character escape");
            token.kind = TokenKind::HexChar;
            token.ch = static_cast<unsigned char>(hi * 16 + lo);
            m_pos += 4;
        } else {
            token.kind = TokenKind::ControlSymbol;
            token.ch = n;
            m_pos += 2;
        }
    }
    token.end = static_cast<std::uint32_t>(m_pos);
    return true;
}

} // namespace vvp::rtf
