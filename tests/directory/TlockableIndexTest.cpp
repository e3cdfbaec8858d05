#include "TlockableIndex.h"

#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vvp {

struct TlockableIndexProbe {
    static TlockableIndex::Guard Hold(TlockableIndex& index) {
        EXPECT_TRUE(index.m_lock.TryLockFor(std::chrono::seconds(5)));
        return TlockableIndex::Guard(&index.m_lock);
    }
};

namespace {

TEST(TlockableIndexTest, PrefixLookup) {
    TlockableIndex index;
    for (const char* key : {"snow=1", "Smithers=7", "smith=3", "SMITH=3", "sm\xE9th=9", "\xC3\x89mile=4"})
        ASSERT_TRUE(index.AddReference(key));
    struct Case {
        const char* prefix;
        const char* found;
    } cases[] = {
        {"sm", "smith=3\r\nsmithers=7\r\nsm\xE9th=9\r\n"},
        {"SMITH", "smith=3\r\nsmithers=7\r\n"},
        {"smith=", "smith=3\r\n"},
        {"snow=1", "snow=1\r\n"},
        {"snow=12", ""},
        {"", ""},
        {"a", ""},
        {"zzz", ""},
        {"\xC3\xA9m", "\xC3\xA9mile=4\r\n"}, // "é" finds "É"
        {"\xC3\x89MILE", "\xC3\xA9mile=4\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(*index.GetReferences(c.prefix), c.found) << c.prefix;
    EXPECT_EQ(*index.Count(), 5u); // the duplicate in another letter case is kept once
}

TEST(TlockableIndexTest, KeysWithLineBreaksAddEachLine) {
    TlockableIndex one, many;
    ASSERT_TRUE(one.AddReference("b=2\r\na=1\nc=3"));
    ASSERT_TRUE(many.AddReferences({"c=3\rd=4", "b=2", "a=1"}));
    EXPECT_EQ(*one.GetReferences("a"), "a=1\r\n");
    EXPECT_EQ(*one.Count(), 3u);
    EXPECT_EQ(many.References("b")->size(), 1u);
    EXPECT_EQ(*many.Count(), 4u);
    ASSERT_TRUE(many.Clear());
    EXPECT_EQ(*many.Count(), 0u);
}

TEST(TlockableIndexTest, AddsAndLookupsFromSeveralThreads) {
    TlockableIndex index;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&index, t] {
            for (int i = 0; i < 500; ++i) {
                EXPECT_TRUE(index.AddReference("k" + std::to_string(t) + "_" + std::to_string(i) + "=" +
                                               std::to_string(i)));
                EXPECT_TRUE(index.References("k" + std::to_string(t)));
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(*index.Count(), 2000u);
    EXPECT_EQ(index.References("k2_")->size(), 500u);
}

TEST(TlockableIndexTest, FileBackedIndex) {
    test::TempDir dir;
    const std::string path = dir.File("sub/dir/names.idx");
    const auto missing = TlockableIndex::Open(path, false);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "File does not exist");
    EXPECT_FALSE(FileExists(path));

    auto created = TlockableIndex::Open(path, true);
    ASSERT_TRUE(created) << created.error().message;
    EXPECT_EQ(dir.Read("sub/dir/names.idx"), "");
    ASSERT_TRUE((*created)->AddReference("Smith=3"));
    ASSERT_TRUE((*created)->AddReferences({"snow=1", "SMITHERS=7"}));
    EXPECT_EQ(dir.Read("sub/dir/names.idx"), "smith=3\r\nsmithers=7\r\nsnow=1\r\n");

    // Written by hand or elsewhere: unsorted, mixed case, LF only.
    dir.Write("sub/dir/names.idx", "Snow=1\nsmith=3\n\nSMITH=3\nsmithers=7\n");
    auto reopened = TlockableIndex::Open(path, false);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(*(*reopened)->GetReferences("sm"), "smith=3\r\nsmithers=7\r\n");
    EXPECT_EQ(*(*reopened)->Count(), 3u);

    // A file that cannot be written is reported; the entry is still found.
    auto unwritable = TlockableIndex::Open(dir.File("gone/x.idx"), true);
    ASSERT_TRUE(unwritable);
    ASSERT_TRUE(DeleteFileIfExists(dir.File("gone/x.idx")));
    ASSERT_EQ(::rmdir(dir.File("gone").c_str()), 0);
    EXPECT_FALSE((*unwritable)->AddReference("a=1"));
    EXPECT_EQ(*(*unwritable)->GetReferences("a"), "a=1\r\n");
}

TEST(TlockableIndexTest, AnOperationThatCannotGetTheLockFailsWithLockTimeOut) {
    TlockableIndex index;
    index.SetLockTimeout(std::chrono::milliseconds(50));
    ASSERT_TRUE(index.AddReference("a=1"));
    {
        auto held = TlockableIndexProbe::Hold(index);
        std::thread other([&index] {
            const auto added = index.AddReference("b=2");
            ASSERT_FALSE(added);
            EXPECT_EQ(added.error().message, "Lock Time Out");
            const auto found = index.GetReferences("a");
            ASSERT_FALSE(found);
            EXPECT_EQ(found.error().message, "Lock Time Out");
        });
        other.join();
    }
    EXPECT_EQ(*index.GetReferences("b"), ""); // nothing was added
    EXPECT_EQ(*index.Count(), 1u);
}

} // namespace
} // namespace vvp
