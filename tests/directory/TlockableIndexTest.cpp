#include "TlockableIndex.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace vvp {
namespace {

TEST(TlockableIndexTest, PrefixLookup) {
    TlockableIndex index;
    for (const char* key : {"snow=1", "Smithers=7", "smith=3", "SMITH=3", "sm\xE9th=9"})
        index.AddReference(key);
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
    };
    for (const auto& c : cases)
        EXPECT_EQ(index.GetReferences(c.prefix), c.found) << c.prefix;
    EXPECT_EQ(index.Count(), 4u); // the duplicate in another letter case is kept once
}

TEST(TlockableIndexTest, KeysWithLineBreaksAddEachLine) {
    TlockableIndex one, many;
    one.AddReference("b=2\r\na=1\nc=3");
    many.AddReferences({"c=3\rd=4", "b=2", "a=1"});
    EXPECT_EQ(one.GetReferences("a"), "a=1\r\n");
    EXPECT_EQ(one.Count(), 3u);
    EXPECT_EQ(many.References("b").size(), 1u);
    EXPECT_EQ(many.Count(), 4u);
    many.Clear();
    EXPECT_EQ(many.Count(), 0u);
}

TEST(TlockableIndexTest, AddsAndLookupsFromSeveralThreads) {
    TlockableIndex index;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&index, t] {
            for (int i = 0; i < 500; ++i) {
                index.AddReference("k" + std::to_string(t) + "_" + std::to_string(i) + "=" +
                                   std::to_string(i));
                (void)index.References("k" + std::to_string(t));
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(index.Count(), 2000u);
    EXPECT_EQ(index.References("k2_").size(), 500u);
}

} // namespace
} // namespace vvp
