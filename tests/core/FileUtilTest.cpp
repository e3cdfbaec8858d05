// The file writing every other part relies on: whole files under their final names, never a
// replaced one, nothing left behind when a write fails.
#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vvp;

TEST(PublishNewFile, NamesMustStayInTheFolder) {
    test::TempDir dir;
    const std::vector<std::string> names = {
        "", ".", "..", "../x", "a/b", "a\\b", "x..y", std::string("a\0b", 3), "a\rb", std::string(256, 'n')};
    for (const auto& name : names) {
        SCOPED_TRACE(test::Visible(name));
        EXPECT_TRUE(UnsafeFileName(name));
        EXPECT_FALSE(PublishNewFile(dir.Path(), "msg.___", name, "x"));
    }
    EXPECT_FALSE(UnsafeFileName("anne@clinic.example_abc10201.pit.sign.eml"));
    EXPECT_TRUE(UnsafeRecipient("evil:x.kxh"));
    EXPECT_FALSE(UnsafeRecipient("john_smith@clinic.example"));
    EXPECT_TRUE(ListFolder(dir.Path(), "*", true).empty());
}

TEST(PublishNewFile, NeverReplacesAndLeavesNothingBehindWhenAWriteFails) {
    test::TempDir dir;
    dir.Write("msg.pit", "earlier");
    const auto clash = PublishNewFile(dir.Path(), "msg.___", "msg.pit", "new");
    ASSERT_FALSE(clash);
    EXPECT_EQ(clash.error().code, EEXIST);
    EXPECT_EQ(dir.Read("msg.pit"), "earlier");

    // A disk that fills after 1000 bytes, in a child so the limit stays there.
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const auto r = PublishNewFile(dir.Path(), "big.___", "big.pit", std::string(5000, 'x'));
        _exit(r ? 1 : r.error().message.find("Cannot write") != std::string::npos ? 0 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ListFolder(dir.Path(), "*", false), std::vector<std::string>{"msg.pit"});
}

TEST(WriteFileAtomically, WritersDoNotShareATemporaryFileAndReadersSeeWholeFiles) {
    test::TempDir dir;
    const std::string path = dir.File("settings.reg");
    const std::string a(100000, 'a'), b(100000, 'b');
    std::atomic<int> failures{0}, torn{0};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done)
            if (auto text = ReadWholeFile(path); text && *text != a && *text != b) ++torn;
    });
    auto writer = [&](const std::string& content) {
        for (int i = 0; i < 100; ++i)
            if (!WriteFileAtomically(path, content)) ++failures;
    };
    std::thread first(writer, a), second(writer, b);
    first.join();
    second.join();
    done = true;
    reader.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(ListFolder(dir.Path(), "*", false), std::vector<std::string>{"settings.reg"});
}

// Which account a server advertises first and which header definition wins follow the listing:
// it is sorted as the original platform sorts, not in the file system's order.
TEST(FileUtil, ListingIsSortedWithoutRegardToCase) {
    test::TempDir dir;
    for (const char* name : {"b.kxh", "_z.kxh", "a.kxh", "C.KXH", "A.kxh", "notes.txt"})
        dir.Write(name, "x");
    EXPECT_EQ(ListFolder(dir.Path(), "*.kxh", false),
              (std::vector<std::string>{"A.kxh", "a.kxh", "b.kxh", "C.KXH", "_z.kxh"}));
}
