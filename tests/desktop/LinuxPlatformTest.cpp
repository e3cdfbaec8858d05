#include "LinuxPlatform.h"
#include "AutoStartEntry.h"
#include "DesktopOptions.h"
#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <unistd.h>

using namespace vvp;
using vvp::test::TempDir;

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

} // namespace

TEST(LinuxPlatformTest, OneCopyHoldsTheLockAndChildrenDoNotInheritIt) {
    TempDir runtime;
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.Path());
    auto first = std::make_unique<LinuxPlatform>();
    ASSERT_EQ(first->LockSingleInstance("VNPrinterHandlerForm"), InstanceLock::Acquired);
    EXPECT_EQ(first->InstanceLockPath("VNPrinterHandlerForm"), runtime.File("VNPrinterHandlerForm.lock"));
    LinuxPlatform second;
    EXPECT_EQ(second.LockSingleInstance("VNPrinterHandlerForm"), InstanceLock::HeldElsewhere);

    // A program started from here must not keep the lock after we end.
    const auto listing = vvp::test::RunCommand("ls -l /proc/self/fd/");
    EXPECT_EQ(listing.output.find("VNPrinterHandlerForm.lock"), std::string::npos) << listing.output;

    first.reset();
    EXPECT_EQ(second.LockSingleInstance("VNPrinterHandlerForm"), InstanceLock::Acquired);
}

TEST(LinuxPlatformTest, ALockThatCannotBeCreatedIsAFailureWithItsReason) {
    ScopedEnv env("XDG_RUNTIME_DIR", "/nonexistent-vvp-runtime");
    LinuxPlatform platform;
    EXPECT_EQ(platform.LockSingleInstance("VNPrinterHandlerForm"), InstanceLock::Failed);
    EXPECT_NE(platform.LastError().find("/nonexistent-vvp-runtime/VNPrinterHandlerForm.lock"),
              std::string::npos);
}

TEST(LinuxPlatformTest, LockGoesToTheTemporaryFolderWithoutARuntimeFolder) {
    TempDir temp;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = old ? old : "";
    unsetenv("XDG_RUNTIME_DIR");
    LinuxPlatform platform({}, temp.Path());
    EXPECT_EQ(platform.LockSingleInstance("VNPrinterHandlerForm"), InstanceLock::Acquired);
    EXPECT_TRUE(FileExists(temp.File("VNPrinterHandlerForm.lock")));
    if (old) setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

TEST(AutoStartEntryTest, ExecArgumentsAreQuotedAndEscapedByTheDesktopEntryRules) {
    struct Case {
        std::string argument;
        std::string exec;
    } cases[] = {
        {"/opt/vvp/bin/vvp", "/opt/vvp/bin/vvp"},
        {"/home/a b/vvp", "\"/home/a b/vvp\""},
        {"/p/100%", "/p/100%%"},
        {"", "\"\""},
        {"/x/$HOME", "\"/x/\\\\$HOME\""},               // \$ in the argument, \\$ in the file
        {"/x/say \"hi\"", "\"/x/say \\\\\"hi\\\\\"\""}, // \" -> \\"
        {"/x/back\\slash", "\"/x/back\\\\\\\\slash\""}, // one backslash becomes four
        {"/x/a;b", "\"/x/a;b\""},
        {"/x/line\nbreak", "\"/x/line\\nbreak\""},
        {"/x/caf\xC3\xA9", "/x/caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        auto exec = DesktopExecValue("/bin/vvp", {c.argument});
        ASSERT_TRUE(exec.ok()) << exec.error().message;
        EXPECT_EQ(*exec, "/bin/vvp " + c.exec);
    }
    EXPECT_FALSE(DesktopExecValue("/bin/vvp", {std::string("/x/bell\x07")}).ok());
    EXPECT_FALSE(DesktopExecValue("/bin/vvp", {std::string("/x/latin1-\xE9")}).ok());
}

TEST(LinuxPlatformTest, AutoStartEntryIsWrittenWithThisRunsOptionsAndRemoved) {
    TempDir config;
    ScopedEnv env("XDG_CONFIG_HOME", config.Path());
    LinuxPlatform platform({"--program-folder", "/srv/vvp data/", "--registry", "/srv/vvp/registry.reg"});
    EXPECT_EQ(platform.AutoStartPath(), config.File("autostart/VNPtr.desktop"));
    EXPECT_FALSE(platform.IsAutoStartEnabled());

    ASSERT_TRUE(platform.SetAutoStart(true, "/opt/vvp/bin/vvp"));
    EXPECT_TRUE(platform.IsAutoStartEnabled());
    EXPECT_EQ(config.Read("autostart/VNPtr.desktop"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Vocanet Virtual Printer\n"
              "Comment=Vocanet Virtual Printer Manager\n"
              "Exec=/opt/vvp/bin/vvp --program-folder \"/srv/vvp data/\" --registry /srv/vvp/registry.reg\n"
              "Terminal=false\n"
              "X-GNOME-Autostart-enabled=true\n");

    // A desktop's own switch to turn the entry off counts as off.
    config.Write("autostart/VNPtr.desktop", "[Desktop Entry]\nExec=vvp\nHidden=true\n");
    EXPECT_FALSE(platform.IsAutoStartEnabled());

    ASSERT_TRUE(platform.SetAutoStart(false, "/opt/vvp/bin/vvp"));
    EXPECT_FALSE(FileExists(config.File("autostart/VNPtr.desktop")));
    EXPECT_TRUE(platform.SetAutoStart(false, "/opt/vvp/bin/vvp"))
        << "removing what is not there is no failure";
}

TEST(LinuxPlatformTest, AnAutoStartEntryThatCannotBeWrittenIsReported) {
    TempDir config;
    ScopedEnv env("XDG_CONFIG_HOME", config.Path());
    ASSERT_TRUE(ForceDirectories(config.File("autostart/VNPtr.desktop/")).ok()); // a folder in the way
    LinuxPlatform platform;
    EXPECT_FALSE(platform.SetAutoStart(true, "/opt/vvp/bin/vvp"));
    EXPECT_FALSE(platform.LastError().empty());
    EXPECT_FALSE(platform.IsAutoStartEnabled());
}

TEST(LinuxPlatformTest, OpenDocumentPassesThePathAsOneArgumentWithoutAShell) {
    TempDir bin;
    bin.Write("xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"" + bin.File("args.txt") + "\"\n");
    ASSERT_EQ(chmod(bin.File("xdg-open").c_str(), 0755), 0);
    ScopedEnv path("PATH",
                   bin.Path() + ":" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin"));
    LinuxPlatform platform;
    const std::string document = "/srv/vvp docs/READ ME; rm -rf $HOME.md";
    ASSERT_TRUE(platform.OpenDocument(document)) << platform.LastError();
    std::string args;
    for (int i = 0; i < 200 && args.find('\n', 2) == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        args = FileExists(bin.File("args.txt")) ? bin.Read("args.txt") : "";
    }
    EXPECT_EQ(args, "1\n" + document + "\n");

    ScopedEnv noPath("PATH", "/nonexistent");
    EXPECT_FALSE(platform.OpenDocument(document));
    EXPECT_NE(platform.LastError().find("xdg-open"), std::string::npos);
}

TEST(DesktopOptionsTest, FolderOptionsAreKeptAbsoluteForLogonAndTheRestGoesToQt) {
    ScopedEnv registry("VVP_REGISTRY", "conf/registry.reg");
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::vector<std::string> args{"vvp", "-platform", "offscreen", "--program-folder", "/srv/vvp/"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    DesktopOptions options;
    std::string error;
    ASSERT_TRUE(ParseDesktopOptions(static_cast<int>(argv.size()), argv.data(), options, error));
    EXPECT_EQ(options.programFolder, "/srv/vvp/");
    EXPECT_EQ(options.qtArguments, (std::vector<std::string>{"vvp", "-platform", "offscreen"}));
    EXPECT_EQ(options.launchArguments,
              (std::vector<std::string>{"--program-folder", "/srv/vvp/", "--registry",
                                        std::string(cwd) + "/conf/registry.reg"}));

    std::vector<std::string> bad{"vvp", "--registry"};
    std::vector<char*> badArgv{bad[0].data(), bad[1].data()};
    EXPECT_FALSE(ParseDesktopOptions(2, badArgv.data(), options, error));
    EXPECT_EQ(error, "option --registry needs a value");
}
