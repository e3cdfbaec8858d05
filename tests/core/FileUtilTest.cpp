#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vvp;

// Which account a server advertises first and which header definition wins follow the listing:
// it is sorted as the original platform sorts, not in the file system's order.
TEST(FileUtil, ListingIsSortedWithoutRegardToCase) {
    test::TempDir dir;
    for (const char* name : {"b.kxh", "_z.kxh", "a.kxh", "C.KXH", "A.kxh", "notes.txt"})
        dir.Write(name, "x");
    EXPECT_EQ(ListFolder(dir.Path(), "*.kxh", false),
              (std::vector<std::string>{"A.kxh", "a.kxh", "b.kxh", "C.KXH", "_z.kxh"}));
}
