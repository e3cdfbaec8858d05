#include "Windows1252.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vvp::textonly;
using vvp::test::Visible;

TEST(Windows1252, PlainTextArrivesAsWindows1252WithCrLf) {
    const struct {
        const char* what;
        std::string in, out;
    } cases[] = {
        {"UTF-8 names",
         "M\xC3\x9C"
         "LLER, Zo\xC3\xAB Jos\xC3\xA9\n",
         "M\xDCLLER, Zo\xEB Jos\xE9\r\n"},
        {"UTF-8 with a byte order mark", "\xEF\xBB\xBFZo\xC3\xAB\n", "Zo\xEB\r\n"},
        {"Windows-1252 stays", "M\xDCLLER\r\nZo\xEB\r\n", "M\xDCLLER\r\nZo\xEB\r\n"},
        {"code page 0x80 to 0x9F", "\xE2\x82\xAC 5 \xE2\x80\x93 \xE2\x80\x9Cok\xE2\x80\x9D",
         "\x80 5 \x96 \x93ok\x94"},
        {"no Windows-1252 form",
         "a\xE2\x86\x92"
         "b \xEF\xAC\x81le",
         "a?b file"},
        {"a broken sequence is Windows-1252", "Jos\xC3\n", "Jos\xC3\r\n"},
        {"form feeds and CR LF kept", "a\r\n\fb\n\n", "a\r\n\fb\r\n\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Visible(PlainTextToWindows1252(c.in)), Visible(c.out)) << c.what;
}
