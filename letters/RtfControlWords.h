#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace vvp::rtf {

// What a control word means to the reader; words not in the table are ignored.
enum class Word : std::uint8_t {
    SkipDest,
    FontTable,
    ColourTable,
    DefaultFont,
    Font,
    FontSize,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Hidden,
    Colour,
    Plain,
    Pard,
    AlignLeft,
    AlignCentre,
    AlignRight,
    AlignJustify,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    TabPosition,
    TabRight,
    TabCentre,
    TabDecimal,
    TabBar,
    UnicodeSkip,
    Unicode,
    Red,
    Green,
    Blue,
    ParagraphEnd,
    Character, // a word that stands for one visible character
};

struct WordInfo {
    Word word;
    unsigned char ch = 0;
};

const std::unordered_map<std::string_view, WordInfo>& WordTable();

// Windows-1252 byte of a Unicode character (negative values as RTF writes those above 32767);
// '?' when the code page lacks it.
unsigned char AnsiFromUnicode(int code);

} // namespace vvp::rtf
