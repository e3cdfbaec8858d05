#include "simplebase64.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vvp {
namespace {

std::string AllByteValues() {
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>(i);
    return bytes;
}

TEST(Base64, EncodesWithPadding) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"a", "YQ=="},
        {"ab", "YWI="},
        {"abc", "YWJj"},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xff\xfe\xfd", "//79"},
        {std::string(3, '\0'), "AAAA"},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Base64Encode(bytes), text) << test::Visible(bytes);
        EXPECT_EQ(Base64Decode(text), bytes) << text;
    }
}

TEST(Base64, RoundTripsEveryByteValueAtEveryLength) {
    const std::string all = AllByteValues();
    for (size_t n = 0; n <= all.size(); ++n) {
        const std::string bytes = all.substr(all.size() - n);
        const std::string text = Base64Encode(bytes);
        ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
        ASSERT_EQ(Base64Decode(text), bytes) << n;
    }
}

TEST(Base64, DecodesByPositionOnly) {
    struct Case {
        std::string text, bytes;
    };
    const Case cases[] = {
        {"YWJj\r\n", "abc"}, // the CR LF after the line is a short final group
        {"YWJ", ""},         // short group
        {"Y", ""},
        {"", ""},
        {"YQ==YWJj", "aabc"}, // decoding goes on after a padded group
        {"=YWJ", ""},         // a group starting with "=" yields nothing
        {"Y=WJ", ""},         // first "=" second: nothing
        {"YW=j", "a"},        // first "=" third: one byte
        {"YWI=", "ab"},
        {"====", ""},
        {"YWJj\r\nYWJj", std::string("abc\0\x06\x16", 6)}, // a line break shifts the groups
    };
    for (const auto& c : cases)
        EXPECT_EQ(Base64Decode(c.text), c.bytes) << test::Visible(c.text);

    // Characters outside the alphabet count as zero bits, as "A" does.
    EXPECT_EQ(Base64Decode("Y!Jj"), Base64Decode("YAJj"));
    EXPECT_EQ(Base64Decode("\xff\x80\x01-"), std::string(3, '\0'));
    // "=" within a group still lets the characters after it add their bits.
    EXPECT_EQ(Base64Decode("YW=j"), Base64Decode("YWAj").substr(0, 1));
}

TEST(Base64, StreamsAreReadAndWrittenFromTheirStart) {
    std::istringstream in("abc");
    char skipped;
    in >> skipped >> skipped >> skipped >> skipped; // read to the end, eof set
    EXPECT_EQ(Base64EncodeStream(in), "YWJj");

    const std::string all = AllByteValues();
    std::istringstream large(all + all + all);
    EXPECT_EQ(Base64EncodeStream(large), Base64Encode(all + all + all));

    std::ostringstream out("XXXXXXXX");
    EXPECT_EQ(Base64DecodeToStream("YWJj", out), 3u);
    EXPECT_EQ(out.str(), "abcXXXXX");

    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_EQ(Base64DecodeToStream("YWJj", broken), 0u);
}

TEST(Base64, DecodesToAFile) {
    test::TempDir dir;
    const std::string all = AllByteValues();
    ASSERT_TRUE(Base64DecodeToFile(Base64Encode(all) + "\r\n", dir.File("letter.rtf")).ok());
    EXPECT_EQ(dir.Read("letter.rtf"), all);

    dir.Write("old.bin", "a much longer old content");
    ASSERT_TRUE(Base64DecodeToFile("YWJj", dir.File("old.bin")).ok());
    EXPECT_EQ(dir.Read("old.bin"), "abc");

    EXPECT_FALSE(Base64DecodeToFile("YWJj", dir.File("missing/folder/x.bin")).ok());
}

TEST(Base64, WrapsLinesAtWidth) {
    const std::string line(76, 'A');
    EXPECT_EQ(WrapLines(std::string(152, 'A'), 76), line + "\r\n" + line + "\r\n");
    EXPECT_EQ(WrapLines(std::string(153, 'A'), 76), line + "\r\n" + line + "\r\nA");
    EXPECT_EQ(WrapLines(std::string(75, 'A'), 76), std::string(75, 'A'));
    EXPECT_EQ(WrapLines(line, 76), line + "\r\n");
    EXPECT_EQ(WrapLines("", 76), "");
    EXPECT_EQ(WrapLines("abc", 0), "abc");
    EXPECT_EQ(WrapLines("abcde", 2), "ab\r\ncd\r\ne");
}

} // namespace
} // namespace vvp
