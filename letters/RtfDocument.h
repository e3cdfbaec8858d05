#pragma once

#include "Result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vvp {

enum class RtfAlignment { Left, Centre, Right, Justify };
enum class RtfTabKind { Left, Centre, Right, Decimal };

struct RtfTabStop {
    int position = 0; // twips from the left margin
    RtfTabKind kind = RtfTabKind::Left;
    bool operator==(const RtfTabStop&) const = default;
};

struct RtfColour {
    bool automatic = true; // the default text colour; red, green and blue are then 0
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const RtfColour&) const = default;
};

// Text of one character format. The text holds '\t' for tabs and '\v' for manual line breaks.
struct RtfRun {
    std::string text;
    std::string fontName; // empty when the font table does not name the font
    int fontSize = 24;    // half points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    RtfColour colour;
};

struct RtfParagraph {
    RtfAlignment alignment = RtfAlignment::Left;
    int leftIndent = 0; // twips
    int rightIndent = 0;
    int firstLineIndent = 0; // relative to leftIndent; negative for a hanging indent
    int spaceBefore = 0;
    int spaceAfter = 0;
    std::vector<RtfTabStop> tabStops;
    std::vector<RtfRun> runs; // empty for an empty paragraph
};

namespace rtf {
// One visible character's place in the source: the bytes that produce it.
struct Unit {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::uint8_t flags = 0;
};
} // namespace rtf

// An RTF document that can be searched and edited through its visible text, as a rich-text edit
// control would, while everything not edited is written back byte for byte.
//
// Visible text: the characters the control displays. A paragraph end (\par, \sect, \page, \row)
// is '\r', a manual line break (\line) '\v', a tab (\tab, \cell) '\t'; \'hh is that byte; \uN is
// the Windows-1252 byte of the character or '?'. Font and colour tables, style sheets, document
// information, ignorable (\*) destinations, pictures, objects, headers, footers, footnotes and
// hidden text are not visible. Positions are 0-based indexes into the visible text.
class RtfDocument {
public:
    static constexpr std::size_t npos = std::string::npos;
    // Documents bigger than this are refused rather than read (each visible character costs
    // about 13 bytes of index); letterheads with large pictures stay far below it.
    static constexpr std::size_t kMaxSize = 64u * 1024u * 1024u;
    // Groups nested deeper than this are refused; real documents stay far below it.
    static constexpr int kMaxDepth = 1000;

    RtfDocument() = default;

    static Result<RtfDocument> FromString(std::string rtf);
    static Result<RtfDocument> FromFile(const std::string& path);

    const std::string& VisibleText() const { return m_visible; }
    std::size_t Length() const { return m_visible.size(); }

    // The text as a rich-edit control gives it out: every paragraph and line ended by CR LF, tabs
    // as TAB. A last paragraph without a paragraph mark still gets its CR LF.
    std::string PlainText() const;

    // Position of needle in the visible text at or after from, ignoring ASCII case; npos when it
    // does not occur. An empty needle is found at from (when from is within the text).
    std::size_t Find(std::string_view needle, std::size_t from = 0) const;

    // Replaces len visible characters at pos by text, which takes the format of the first
    // replaced character (with len 0, of the character at pos; at the end, of the last one).
    // Formatting changes between the replaced characters stay, so what follows keeps its format.
    // CR LF, CR and LF in text become paragraph ends, TAB a tab, VT a line break; backslash and
    // braces are escaped, other control bytes and bytes above 127 written as \'hh. pos and len
    // are clipped to the text. Returns the number of visible characters the text became, or npos
    // when the result would be too large to handle (the document is then unchanged). Costs time
    // linear in the document's size.
    std::size_t Replace(std::size_t pos, std::size_t len, std::string_view text);

    // Replaces the whole visible text by text in the format of the first character; the header
    // (font and colour tables, style sheet, document settings) before it stays; formatting
    // changes and invisible groups after it go, as they would format nothing. Returns the new
    // visible length, or npos as Replace does.
    std::size_t ReplaceAll(std::string_view text);

    // The document as RTF: the loaded bytes with the edits made.
    const std::string& ToRtf() const { return m_source; }

    // The formatted content for rendering, one entry per paragraph mark; text after the last
    // mark forms a last paragraph, formatted by the state at the end of the document.
    std::vector<RtfParagraph> Paragraphs() const;

private:
    bool Load(std::string source, Error* error);
    std::size_t InsertAtEnd(std::string_view text);
    bool SetSource(std::string source);

    std::string m_source;
    std::string m_visible;
    std::vector<rtf::Unit> m_units; // one per visible character, in source order
    std::uint32_t m_rootClose = 0;  // offset of the brace that closes the document
};

} // namespace vvp
