#include "QZStringManip.h"

#include <gtest/gtest.h>

namespace vvp {
namespace {

struct MarkerCase {
    std::string text, marker, before, after;
};

TEST(QZStringManip, BeforeAndAfterMarkers) {
    const MarkerCase cases[] = {
        {"Name : Smith", " : ", "Name", "Smith"},
        {"a=b=c", "=", "a", "b=c"},          // the first occurrence decides
        {"no marker", "#", "no marker", ""}, // missing marker
        {"text", "", "text", ""},            // empty marker
        {"", "x", "", ""},
        {"xyz", "xyz", "", ""},
        {"abc", "abcd", "abc", ""}, // marker longer than the text
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StrBefore(c.text, c.marker), c.before) << c.text << " / " << c.marker;
        EXPECT_EQ(StrAfter(c.text, c.marker), c.after) << c.text << " / " << c.marker;
    }
}

TEST(QZStringManip, BetweenMarkers) {
    EXPECT_EQ(StrBetween("<<Doctor:Name>>", "<<", ">>"), "Doctor:Name");
    EXPECT_EQ(StrBetween("a [b] [c]", "[", "]"), "b");
    EXPECT_EQ(StrBetween("no first", "[", "]"), "");       // first marker missing
    EXPECT_EQ(StrBetween("open [end", "[", "]"), "end");   // second missing: all after the first
    EXPECT_EQ(StrBetween("12 MAR 2005", " ", " "), "MAR"); // same marker twice
    EXPECT_EQ(StrBetween("12 MARCH", " ", " "), "MARCH");
    EXPECT_EQ(StrBetween("x", "", "y"), "");
}

TEST(QZStringManip, CountIsNonOverlappingLeftToRight) {
    EXPECT_EQ(StrCount("aaaa", "aa"), 2);
    EXPECT_EQ(StrCount("aaa", "aa"), 1);
    EXPECT_EQ(StrCount("abcabc", "abc"), 2);
    EXPECT_EQ(StrCount("abc", "x"), 0);
    EXPECT_EQ(StrCount("abc", ""), 0);
    EXPECT_EQ(StrCount("", "a"), 0);
    EXPECT_EQ(StrCount("a\r\nb\r\n", "\r\n"), 2);
}

TEST(QZStringManip, StripRemovesEveryCharacterOfTheSet) {
    EXPECT_EQ(StrStrip("(02) 9876-5432", "() -"), "0298765432");
    EXPECT_EQ(StrStrip("abc", ""), "abc");
    EXPECT_EQ(StrStrip("aaa", "a"), "");
    EXPECT_EQ(StrStrip(std::string("a\0b", 3), std::string("\0", 1)), "ab");
}

TEST(QZStringManip, ReplaceContinuesAfterEachReplacement) {
    EXPECT_EQ(StrReplace("aaa", "a", "aa"), "aaaaaa"); // no endless loop on the inserted text
    EXPECT_EQ(StrReplace("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(StrReplace("aXa", "a", ""), "X");
    EXPECT_EQ(StrReplace("Line\r\nLine", "\r\n", "\r"), "Line\rLine");
    EXPECT_EQ(StrReplace("abc", "B", "x"), "abc"); // case-sensitive
    EXPECT_EQ(StrReplace("", "a", "b"), "");
}

TEST(QZStringManip, FieldLimits) {
    struct Case {
        std::string text;
        char delimiter;
        int index;
        std::string field;
    };
    const Case cases[] = {
        {"a|b|c", '|', 1, "a"},
        {"a|b|c", '|', 2, "b"},
        {"a|b|c", '|', 3, "c"}, // the last field runs to the
                                // end
        {"a|b|c", '|', 4, ""},  // fewer fields than asked
        {"a|b|c", '|', 0, ""},
        {"a|b|c", '|', -1, ""},
        {"", '|', 1, ""},
        {"a|b", '\0', 1, ""},
        {"abc", '|', 1, "abc"},
        {"|x|", '|', 1, ""},
        {"|x|", '|', 2, "x"},
        {"|x|", '|', 3, ""},
        {"|x|", '|', 4, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StrField(c.text, c.delimiter, c.index), c.field) << c.text << " #" << c.index;
}

TEST(QZStringManip, IntegerReadingAsThePlatform) {
    EXPECT_EQ(StrToIntOpt("12"), 12);
    EXPECT_EQ(StrToIntOpt("  -7"), -7);
    EXPECT_EQ(StrToIntOpt("$1F"), 31);
    EXPECT_EQ(StrToIntOpt("2147483647"), 2147483647);
    EXPECT_EQ(StrToIntOpt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToIntOpt("2147483648"), std::nullopt);
    EXPECT_EQ(StrToIntOpt("99999999999999999999"), std::nullopt);
    EXPECT_EQ(StrToIntOpt("12 "), std::nullopt);
    EXPECT_EQ(StrToIntOpt("2005 EXTRA"), std::nullopt);
    EXPECT_EQ(StrToIntOpt(""), std::nullopt);
    EXPECT_EQ(StrToIntOpt("-"), std::nullopt);
    EXPECT_EQ(StrToIntDef("x", 5), 5);
}

TEST(QZStringManip, TrimAndCase) {
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(Trim(" \x01 "), "");
    EXPECT_EQ(UpperCase("abc\xe9"), "ABC\xe9"); // bytes above 127 stay as they are
    EXPECT_EQ(ReplaceAllNoCase("Dear dEAR", "dear", "To"), "To To");
    EXPECT_EQ(PadTo("abc", 5), "abc  ");
    EXPECT_EQ(PadTo("abcdef", 3), "abc");
}

} // namespace
} // namespace vvp
