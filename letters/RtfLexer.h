#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vvp::rtf {

enum class TokenKind : std::uint8_t {
    GroupOpen,
    GroupClose,
    ControlWord,   // letters, optional signed number, optional delimiting space; \binN includes its data
    ControlSymbol, // backslash and one non-letter character
    HexChar,       // \'hh
    Text,          // one raw byte
};

struct Token {
    TokenKind kind = TokenKind::Text;
    std::uint32_t start = 0; // byte range in the source, delimiter and \bin data included
    std::uint32_t end = 0;
    std::string_view word; // control word letters
    std::int32_t param = 0;
    bool hasParam = false;
    // A control word that ends without a consumed space: a letter, digit or space written right
    // after it would change or vanish into it.
    bool open = false;
    unsigned char ch = 0; // Text byte, ControlSymbol character, HexChar value
};

// Splits RTF source into tokens that cover every byte. Reports malformed escapes and truncation
// instead of guessing.
class Lexer {
public:
    explicit Lexer(std::string_view source, std::size_t pos = 0) : m_src(source), m_pos(pos) {}

    bool AtEnd() const { return m_pos >= m_src.size(); }
    std::size_t Position() const { return m_pos; }

    // Reads the next token; false at the end of the source or on an error (then Error() is set).
    bool Next(Token& token);
    // Steps over raw bytes up to the next brace or backslash (content nobody reads, such as
    // picture data); returns how many.
    std::size_t SkipPlainBytes();
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const std::string& message);

    std::string_view m_src;
    std::size_t m_pos;
    std::string m_error;
};

} // namespace vvp::rtf
