#include "msgcommsd7.h"
#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace vvp;

namespace {

std::string Kxk(const std::string& text) {
    std::string out = text;
    for (auto& c : out)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ kKxkKeyByte);
    return out;
}

std::string KxiRecord(const std::string& data) {
    std::string out;
    if (data.size() < 255) {
        out += static_cast<char>(data.size());
    } else {
        out += static_cast<char>(255);
        out += static_cast<char>(data.size() & 0xFF);
        out += static_cast<char>(data.size() >> 8);
    }
    for (char c : data)
        out += static_cast<char>(static_cast<uint8_t>(c) ^ static_cast<uint8_t>(data.size() & 0xFF));
    return out;
}

std::string Kxi(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += KxiRecord(l);
    return out;
}

} // namespace

TEST(MakeMessageId, HexTimeStampThenCounter) {
    FixedClock clock(*EncodeDate(2009, 12, 8) + *EncodeTime(14, 5, 9, 7));
    SetMessageIdCounter(222);
    // 20091208140509007 in hexadecimal
    EXPECT_EQ(MakeMessageId(clock), "4760d8ec52cf4f222");
    EXPECT_EQ(MakeMessageId(clock, "x"), "4760d8ec52cf4f223x");
    SetMessageIdCounter(1020);
    EXPECT_EQ(MakeMessageId(clock), "4760d8ec52cf4f1020");
}

TEST(MakeMessageId, ConcurrentCallersNeverShareAStem) {
    FixedClock clock(*EncodeDate(2026, 1, 1));
    std::set<std::string> all;
    std::mutex m;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                auto id = MakeMessageId(clock);
                std::lock_guard lock(m);
                all.insert(id);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(all.size(), 2000u);
}

TEST(ListFiles, CountThenNamesWithLfCr) {
    test::TempDir dir;
    EXPECT_EQ(ListFiles(dir.Path() + "*.kxi", kFilesOnly), "0\r");
    dir.Write("a.kxi", "x");
    ASSERT_TRUE(ForceDirectories(dir.Path() + "sub.kxi"));
    EXPECT_EQ(ListFiles(dir.Path() + "*.kxi", kFilesOnly), "1\ra.kxi\n\r");
    EXPECT_EQ(ListFiles(dir.Path() + "*.kxi", kAllAttributes).substr(0, 2), "2\r");
    EXPECT_EQ(ListFiles(dir.Path() + "*.kxi", kAttrDirectory), "1\rsub.kxi\n\r");
}

TEST(AccountFiles, KxkFieldsBecomeSevenLines) {
    test::TempDir dir;
    dir.Write("acc.kxk", Kxk("PASSWORD01smith|Dr Smith|practice.com.au|Host|Port|Ver|Note"));
    EXPECT_EQ(ReadAccountFile(dir.File("acc.kxk")),
              "Dr Smith\r\nHost;Port\r\n\r\nsmith@practice.com.au\r\nPASSWORD01\r\n\r\nVer - Note\r\n");
    // Fewer fields still give seven lines; an empty first ten characters make it unusable.
    dir.Write("short.kxk", Kxk("PASSWORD01bob"));
    EXPECT_EQ(ReadAccountFile(dir.File("short.kxk")), "\r\n;\r\n\r\nbob@\r\nPASSWORD01\r\n\r\n - \r\n");
    dir.Write("empty.kxk", Kxk("          "));
    dir.Write("none.kxk", "");
    EXPECT_EQ(ReadAccountFile(dir.File("none.kxk")), "");
}

TEST(AccountFiles, KxiRecordsIncludingLongAndEmptyOnes) {
    test::TempDir dir;
    std::string longLine(300, 'q');
    dir.Write("a.kxi", Kxi({"l0", "", "l2", "Clinic@Example.com", "secret", longLine, "l6"}));
    EXPECT_EQ(ReadAccountFile(dir.File("a.kxi")),
              "l0\r\n\r\nl2\r\nClinic@Example.com\r\nsecret\r\n" + longLine + "\r\nl6\r\n");
    // A truncated last record gives what is there and no more.
    std::string truncated = Kxi({"a", "b", "c", "d@e", "k", "f"}) + KxiRecord("ggggg").substr(0, 3);
    dir.Write("t.kxi", truncated);
    EXPECT_EQ(ReadAccountFile(dir.File("t.kxi")), "a\r\nb\r\nc\r\nd@e\r\nk\r\nf\r\ngg\r\n");
    dir.Write("six.kxi", Kxi({"a", "b", "c", "d@e", "k", "f"}));
    EXPECT_EQ(ReadAccountFile(dir.File("six.kxi")), "");
}

TEST(ListAccounts, KxiFirstLowerCasedAndKeyLookup) {
    test::TempDir dir;
    EXPECT_EQ(ListAccounts(dir.Path(), "*"), "");
    dir.Write("b.kxk", Kxk("PASSWORD01Smith|Dr Smith|Practice.com.au|h|p|v|n"));
    dir.Write("a.kxi", Kxi({"l0", "", "l2", "Clinic@Example.com", "secret", "", "l6"}));
    dir.Write("bad.kxi", Kxi({"l0"}));
    EXPECT_EQ(ListAccounts(dir.Path(), "*"), "clinic@example.com\r\nsmith@practice.com.au\r\n");
    EXPECT_EQ(ListAccounts(dir.Path().substr(0, dir.Path().size() - 1), "SMITH@practice.com.au"),
              "Smith@Practice.com.au");
    EXPECT_EQ(ListAccounts(dir.Path(), "nobody@x"), "");
}

// Clients read only the first domain a server advertises; it must not depend on the file system.
TEST(ListAccounts, EachKindInNameOrderWithoutRegardToCase) {
    test::TempDir dir;
    for (const char* user : {"zeta", "Alpha", "delta", "beta"})
        dir.Write(std::string(user) + ".kxk",
                  Kxk("PASSWORD01" + std::string(user) + "|x|" + user + ".example|h|p|v|n"));
    dir.Write("Yankee.kxi", Kxi({"l0", "", "l2", "y@yankee.example", "secret", "", "l6"}));
    dir.Write("golf.kxi", Kxi({"l0", "", "l2", "g@golf.example", "secret", "", "l6"}));
    EXPECT_EQ(ListAccounts(dir.Path(), "*"),
              "g@golf.example\r\ny@yankee.example\r\nalpha@alpha.example\r\nbeta@beta.example\r\n"
              "delta@delta.example\r\nzeta@zeta.example\r\n");
}
