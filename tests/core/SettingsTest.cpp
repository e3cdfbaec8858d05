#include "Settings.h"
#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <set>

#include <chrono>
#include <filesystem>

using namespace vvp;

namespace {

Folders FoldersIn(const test::TempDir& dir) {
    return Folders{dir.Path() + "prog/", dir.Path() + "tmp/"};
}

} // namespace

TEST(Settings, NewUserGetsEveryDefaultAndNothingIsCreated) {
    test::TempDir dir;
    MemoryRegistryStore store;
    auto out = LoadRegValues(store, FoldersIn(dir));
    EXPECT_FALSE(out.keyExisted);
    EXPECT_EQ(out.values.Port, 9105);
    EXPECT_EQ(out.values.PortName, "Vocanet");
    EXPECT_EQ(out.values.ReportPrinter, "VocaNet");
    EXPECT_EQ(out.values.SaveMode, 0);
    EXPECT_TRUE(out.values.HeSATokens);
    EXPECT_FALSE(out.values.MsgRecipient);
    EXPECT_EQ(out.values.FieldWidths, "129,48,97,282,166,180,172");
    EXPECT_EQ(out.values.SavePath, dir.Path() + "prog/VirtualPrinter/");
    EXPECT_EQ(out.values.LetterheadPath, dir.Path() + "prog/");
    EXPECT_EQ(store.WriteCount(), 0);
    EXPECT_FALSE(DirectoryExists(out.values.SavePath));
}

TEST(Settings, KeyWithOnlySaveModeOneKeepsOtherDefaultsAndCreatesSavePath) {
    test::TempDir dir;
    MemoryRegistryStore store;
    ASSERT_TRUE(store.WriteValues(kRegistryKey, {{"Save Mode", RegValue::Dword(1)}}));
    auto out = LoadRegValues(store, FoldersIn(dir));
    EXPECT_EQ(out.values.SaveMode, 1);
    EXPECT_EQ(out.values.Port, 9105);
    EXPECT_TRUE(DirectoryExists(dir.Path() + "prog/VirtualPrinter/"));
}

TEST(Settings, WrongTypesKeepDefaultsWhileOthersAreStillRead) {
    test::TempDir dir;
    MemoryRegistryStore store;
    ASSERT_TRUE(store.WriteValues(kRegistryKey, {{"Port", RegValue::String("9200")},
                                                 {"PortName", RegValue::Dword(3)},
                                                 {"Save Mode", RegValue::Dword(7)},
                                                 {"HeSA Tokens", RegValue::Dword(0)},
                                                 {"Save Path", RegValue::String(dir.Path() + "out")}}));
    auto out = LoadRegValues(store, FoldersIn(dir));
    EXPECT_EQ(out.values.Port, 9105);
    EXPECT_EQ(out.values.PortName, "Vocanet");
    EXPECT_EQ(out.values.SaveMode, 0);
    EXPECT_FALSE(out.values.HeSATokens);
    EXPECT_EQ(out.values.SavePath, dir.Path() + "out/"); // stored without a trailing separator
    EXPECT_EQ(out.problems.size(), 3u);
}

TEST(Settings, SaveWritesEveryValueInOrderAndTheInformationFile) {
    test::TempDir dir;
    Folders folders = FoldersIn(dir);
    ASSERT_TRUE(ForceDirectories(folders.program));
    RegFileStore store(dir.File("reg/registry.reg"));
    VNPTRRegValues v = DefaultRegValues(folders);
    v.SaveMode = 1;
    v.SavePath = "/x/y";
    v.SignOnlyText = "Signed by \"Dr\" Lee;C:\\x\\\";end";
    ASSERT_TRUE(SaveRegValues(store, v, DefaultInfoLines(folders), folders));
    std::string reg = dir.Read("reg/registry.reg");
    EXPECT_NE(reg.find("\"Save Mode\"=dword:00000001\n\"Save Path\"=\"/x/y/\"\n"), std::string::npos);
    EXPECT_LT(reg.find("\"Monitor Signing Path\""), reg.find("\"Monitor Path\""));
    EXPECT_EQ(dir.Read("prog/VNptr.inf"),
              "cantor=" + folders.program + "cantor40.exe\r\nfastseal=" + folders.program +
                  "dmqfastseal.exe\r\nptrport=9105\r\nrtfletter=" + folders.program +
                  "VNPTRDefault.rtf\r\nhesatokens=Y\r\n");
    auto back = LoadRegValues(store, folders);
    EXPECT_EQ(back.values.SavePath, "/x/y/");
    EXPECT_EQ(back.values.SaveMode, 1);
    EXPECT_EQ(back.values.SignOnlyText, v.SignOnlyText); // quotes and backslashes survive the file
}

TEST(Settings, UserValuesAreCheckedAgainstTheFieldType) {
    const RegField* mode = FindRegField("save mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_TRUE(ParseUserValue(*mode, "2"));
    EXPECT_FALSE(ParseUserValue(*mode, "two"));
    VNPTRRegValues v;
    EXPECT_FALSE(mode->set(v, *ParseUserValue(*mode, "3")));
    const RegField* tokens = FindRegField("HeSA Tokens");
    EXPECT_FALSE(ParseUserValue(*tokens, "2"));
    EXPECT_EQ(DisplayValue(*tokens, v), "1");
}

TEST(Settings, AddressBookCopiesGoToTheTemporaryFolder) {
    test::TempDir dir;
    Folders folders = FoldersIn(dir);
    dir.Write("prog/address.in", "A|B\r\n");
    dir.Write("prog/custom.address.in", "C\r\n");
    dir.Write("tmp/custom.address.in", "old\r\n");
    SeedAddressBookFiles(folders);
    EXPECT_EQ(dir.Read("tmp/Address.in"), "A|B\r\n");
    EXPECT_EQ(dir.Read("tmp/custom.address.in"), "C\r\n");
    // A copy newer than the program folder's stays (it may have come from the server); an older
    // one is refreshed.
    dir.Write("prog/address.in", "new\r\n");
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(dir.File("prog/address.in"), now - std::chrono::hours(1));
    SeedAddressBookFiles(folders);
    EXPECT_EQ(dir.Read("tmp/Address.in"), "A|B\r\n");
    std::filesystem::last_write_time(dir.File("prog/address.in"), now + std::chrono::hours(1));
    SeedAddressBookFiles(folders);
    EXPECT_EQ(dir.Read("tmp/Address.in"), "new\r\n");
}

TEST(Settings, EveryStoredValueIsSavedExactlyOnce) {
    std::multiset<std::string> saved(SaveOrder().begin(), SaveOrder().end());
    std::multiset<std::string> fields;
    for (const auto& f : RegFields())
        fields.insert(f.name);
    EXPECT_EQ(saved, fields);
}

TEST(Settings, FoldersMustBeFullPathsElseTheDefaultIsUsedAndLogged) {
    test::TempDir dir;
    const Folders folders = FoldersIn(dir);
    const VNPTRRegValues defaults = DefaultRegValues(folders);
    struct Case {
        const char* name;
        std::string stored;
        std::string expected; // what the field holds afterwards
        std::string problem;  // part of the logged line; empty: accepted without one
    };
    const Case cases[] = {
        {"Save Path", "", defaults.SavePath, "\"Save Path\" is empty; default used: " + defaults.SavePath},
        {"Save Path", "messages/out", defaults.SavePath, "is not a full folder path (\"messages/out\")"},
        {"Save Path", "/srv/out", "/srv/out/", ""},
        {"Letterhead Path", "", defaults.LetterheadPath, "\"Letterhead Path\" is empty"},
        {"Letterhead Path", "~/heads", defaults.LetterheadPath, "not a full folder path"},
        {"Print Folder", "./printed", defaults.PrintFolder, "not a full folder path"},
        {"Monitor Path", "", "", ""}, // empty: no folder is watched
        {"Monitor Path", "watch", "", "\"Monitor Path\" is not a full folder path"},
    };
    for (const auto& c : cases) {
        MemoryRegistryStore store;
        ASSERT_TRUE(store.WriteValues(kRegistryKey, {{c.name, RegValue::String(c.stored)}}));
        const LoadOutcome out = LoadRegValues(store, folders);
        const RegField* field = FindRegField(c.name);
        EXPECT_EQ(DisplayValue(*field, out.values), c.expected) << c.name << "=" << c.stored;
        if (!c.problem.empty()) {
            ASSERT_EQ(out.problems.size(), 1u) << c.name << "=" << c.stored;
            EXPECT_NE(out.problems[0].find(c.problem), std::string::npos) << out.problems[0];
        } else {
            EXPECT_TRUE(out.problems.empty()) << c.name << "=" << c.stored;
        }
        // Typed by a user the same values are refused outright.
        VNPTRRegValues typed = defaults;
        EXPECT_EQ(field->set(typed, RegValue::String(c.stored)), c.problem.empty())
            << c.name << "=" << c.stored;
    }
}

TEST(Settings, FileWithoutTheKeyIsReportedNamingTheKey) {
    test::TempDir dir;
    RegFileStore missing(dir.File("none.reg"));
    EXPECT_TRUE(LoadRegValues(missing, FoldersIn(dir)).problems.empty()); // a new user: nothing to say

    dir.Write("typo.reg",
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual Priner]\r\n"
              "\"Save Mode\"=dword:00000001\r\n");
    RegFileStore typo(dir.File("typo.reg"));
    const LoadOutcome out = LoadRegValues(typo, FoldersIn(dir));
    EXPECT_FALSE(out.keyExisted);
    EXPECT_EQ(out.values.SaveMode, 0);
    ASSERT_EQ(out.problems.size(), 1u);
    EXPECT_NE(out.problems[0].find(dir.File("typo.reg")), std::string::npos) << out.problems[0];
    EXPECT_NE(out.problems[0].find(std::string("[") + kRegistryKey + "]"), std::string::npos)
        << out.problems[0];
}
