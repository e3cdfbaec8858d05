#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vvp::textonly {

// A word as a PDF reader finds it: its box in points (y grows downwards) and its glyphs' widths.
struct GridWord {
    double left = 0, top = 0, right = 0, bottom = 0;
    std::vector<double> glyphWidths;
    std::u32string text;
    bool spaceAfter = true; // the reader saw a gap after it
};

struct GridPage {
    std::vector<GridWord> words;
};

struct GridLimits {
    size_t maxColumns = 1000; // words beyond are left out
    size_t maxRows = 2000;    // per page
};

// Lays pages out on one character grid, as a text-only printer would have printed them: the
// column of a word from its distance to the leftmost glyph of the document in advances of the
// monospace font, its row from its distance to the document's topmost line in line pitches (both
// measured from the document itself). Text in a proportional font keeps its words, at least one
// blank apart. The result is Windows-1252, CR LF after each line, a form feed between pages,
// without trailing blanks.
std::string LayOutOnGrid(const std::vector<GridPage>& pages, const GridLimits& limits = {});

} // namespace vvp::textonly
