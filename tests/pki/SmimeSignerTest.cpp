#include "SmimeSigner.h"

#include <gtest/gtest.h>

namespace vvp::pki {
namespace {

TEST(SmimeSignerTest, CanonicalTextEndsEveryLineWithCrLf) {
    const struct {
        std::string text;
        std::string canonical;
    } cases[] = {
        {"", ""},
        {"one line", "one line"},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\r\r\nb", "a\r\nb"},   // CRs before a line end belong to the line end
        {"a\rb\r\n", "a\rb\r\n"}, // a CR inside a line stays
        {"last\r", "last"},       // a CR ending the text goes, as verifiers drop it
        {"\n\n", "\r\n\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(canonicalText(c.text), c.canonical) << c.text;
}

TEST(SmimeSignerTest, Base64LinesBreakAtTheWidth) {
    EXPECT_EQ(base64Lines(""), "");
    EXPECT_EQ(base64Lines("abc"), "YWJj\r\n");
    const std::string line = base64Lines(std::string(48, 'x'));
    EXPECT_EQ(line.size(), 66u);
    const std::string two = base64Lines(std::string(49, 'x'));
    EXPECT_EQ(two.substr(60), "eHh4\r\neA==\r\n");
}

TEST(SmimeSignerTest, SigningWithoutKeyFails) {
    SignerBundle empty;
    EXPECT_FALSE(signDetached(empty, "text"));
}

} // namespace
} // namespace vvp::pki
