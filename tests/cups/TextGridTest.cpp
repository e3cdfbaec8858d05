#include "TextGrid.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vvp::textonly;
using vvp::test::Visible;

namespace {

// A word of a monospace font with a 6 pt advance on lines 12 pt apart, from a 50 pt margin.
GridWord Mono(int row, int column, const std::u32string& text, double pitch = 12, double advance = 6) {
    GridWord w;
    w.left = 50 + column * advance;
    w.right = w.left + advance * static_cast<double>(text.size());
    w.bottom = 80 + row * pitch;
    w.top = w.bottom - 10;
    w.glyphWidths.assign(text.size(), advance);
    w.text = text;
    return w;
}

} // namespace

TEST(TextGrid, MonospaceTextKeepsItsColumnsAndBlankLines) {
    GridPage first{{Mono(0, 0, U"Patient"), Mono(0, 8, U"Name"), Mono(0, 16, U":SMITH,"),
                    Mono(0, 24, U"Mary"), Mono(2, 17, U"Bondi"), Mono(2, 24, U"NSW"),
                    Mono(1, 0, U"Z\u00f6e\u2013")}};
    GridPage second{{Mono(3, 2, U"page"), Mono(4, 2, U"two")}};
    EXPECT_EQ(Visible(LayOutOnGrid({first, second})), Visible("Patient Name    :SMITH, Mary\r\nZ\xF6"
                                                              "e\x96\r\n                 Bondi  NSW\r\n"
                                                              "\f\r\n\r\n\r\n  page\r\n  two\r\n"));
}

TEST(TextGrid, ProportionalWordsThatOverlapStayApart) {
    // Narrow and wide glyphs: the columns from the commonest width put "Dear" over "Anne".
    GridWord dear = Mono(0, 0, U"Dear", 12, 6);
    GridWord anne = Mono(0, 3, U"Anne,", 12, 6);
    anne.spaceAfter = false;
    GridWord joined = Mono(0, 7, U"ok", 12, 6);
    EXPECT_EQ(LayOutOnGrid({{{dear, anne, joined}}}), "Dear Anne,ok\r\n");
}

TEST(TextGrid, WordsOffTheGridAreLeftOut) {
    GridWord far = Mono(0, 5000, U"far");
    GridWord nan = Mono(1, 0, U"nan");
    nan.left = NAN;
    GridWord deep = Mono(100000, 0, U"deep");
    EXPECT_EQ(LayOutOnGrid({{{Mono(0, 0, U"kept"), far, nan, deep}}}), "kept\r\n");
    EXPECT_EQ(LayOutOnGrid({{}, {}}), "\f");
}
