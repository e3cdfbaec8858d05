#include "ActivityLog.h"
#include "Clock.h"
#include "FileUtil.h"
#include "Folders.h"
#include "Prompter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <sys/stat.h>

using namespace vvp;

TEST(ActivityLog, PrefixesTimeKeepsNewestFirstAndTrims) {
    FixedClock clock(*EncodeDate(2026, 12, 8) + *EncodeTime(9, 5, 7, 0));
    ActivityLog log(clock);
    std::vector<std::string> seen;
    log.Subscribe([&](const std::string& line) { seen.push_back(line); });
    log.LogLine("New job..");
    log.LogLine("second");
    ASSERT_EQ(log.Lines().size(), 2u);
    EXPECT_EQ(log.Lines()[0], "09:05:07 second");
    EXPECT_EQ(seen[0], "09:05:07 New job..");
    for (int i = 0; i < 498; ++i)
        log.LogLine("x" + std::to_string(i));
    EXPECT_EQ(log.Lines().size(), 500u);
    log.LogLine("over");
    EXPECT_EQ(log.Lines().size(), 400u);
    EXPECT_EQ(log.Lines()[0], "09:05:07 over");
}

TEST(Clock, StampsNeverRepeatTheirUnit) {
    FixedClock fixed(*EncodeDate(2024, 3, 1) + *EncodeTime(9, 5, 7, 123));
    EXPECT_EQ(FormatDateTime("hhnnss.zzz", fixed.TakeStamp(StampUnit::Second)), "090507.123");
    EXPECT_EQ(FormatDateTime("hhnnss.zzz", fixed.TakeStamp(StampUnit::Second)), "090508.000");
    EXPECT_EQ(FormatDateTime("hhnnss.zzz", fixed.TakeStamp(StampUnit::Millisecond)), "090508.000");
    EXPECT_EQ(FormatDateTime("hhnnss.zzz", fixed.TakeStamp(StampUnit::Millisecond)), "090508.001");

    SystemClock system;
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(seen.insert(FormatDateTime("yyyymmddhhnnsszzz", system.TakeStamp(StampUnit::Millisecond)))
                        .second);
    const std::string first = FormatDateTime("yyyymmddhhnnss", system.TakeStamp(StampUnit::Second));
    EXPECT_NE(FormatDateTime("yyyymmddhhnnss", system.TakeStamp(StampUnit::Second)), first);
}

TEST(ActivityLog, OutputShowsEachEntryAsOneLineOfUtf8) {
    const struct {
        std::string stored;
        std::string shown;
    } cases[] = {
        {"09:05:07 Saved M\xDCLLER, Zo\xEB", "09:05:07 Saved M\u00dcLLER, Zo\u00eb"}, // Windows-1252
        {"09:05:07 Saved M\u00dcLLER", "09:05:07 Saved M\u00dcLLER"},                 // UTF-8 as it is
        {"09:05:07 \u00c9mile and \x93quoted\x94", "09:05:07 \u00c9mile and \u201cquoted\u201d"}, // both
        {"09:05:07 Error\r\nUnable to write\r\n\r\nto /x\r\n", "09:05:07 Error | Unable to write | to /x"},
        {"09:05:07 a\nb\rc", "09:05:07 a | b | c"},
        {"09:05:07 \x1b[2Jbell\x07\ttab", "09:05:07 ?[2Jbell?\ttab"}, // no terminal control from a printout
        {"09:05:07 \xc2\x9b"
         "31m",
         "09:05:07 ?31m"}, // nor a C1 control
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogLineForOutput(c.stored), c.shown) << c.stored;
}

TEST(ZoneSuffix, SignFollowsTheBias) {
    EXPECT_EQ(FormatZoneSuffix(600), "+1000");
    EXPECT_EQ(FormatZoneSuffix(660), "+1100");
    EXPECT_EQ(FormatZoneSuffix(0), "-0000");
    EXPECT_EQ(FormatZoneSuffix(-330), "-0530");
}

TEST(HeadlessPrompter, ScriptedAnswersAreUsedInTurnAndTheLastRepeats) {
    std::ostringstream out;
    HeadlessPrompter p(&out);
    p.LoadAnswers("# comment\r\nDigital Signing=No\nDigital Signing=Cancel\nAddressing=No\n");
    MessageRequest signing{"Digital Signing", "VVP is not able to Sign this message.", Buttons::YesNoCancel,
                           Icon::Error};
    EXPECT_EQ(p.Message(signing), Answer::No);
    EXPECT_EQ(p.Message(signing), Answer::Cancel);
    EXPECT_EQ(p.Message(signing), Answer::Cancel);
    EXPECT_EQ(p.Message({"Addressing Problem", "I was unable", Buttons::YesNo, Icon::Error}), Answer::No);
    EXPECT_NE(out.str().find("PROMPT message [Digital Signing] VVP is not able to Sign this message. -> No"),
              std::string::npos);
    EXPECT_EQ(p.Transcript().size(), 4u);
}

TEST(HeadlessPrompter, DefaultsKeepMessagesGoing) {
    HeadlessPrompter p;
    EXPECT_EQ(p.Message({"Addressing Problem", "t", Buttons::YesNo, Icon::Error}), Answer::Yes);
    EXPECT_EQ(p.Message({"Digital Signing", "t", Buttons::YesNoCancel, Icon::Error}), Answer::Yes);
    EXPECT_EQ(p.Message({"Digital Signing", "t", Buttons::AbortRetryIgnore, Icon::Error}), Answer::Ignore);
    EXPECT_EQ(p.Message({"Recreate Default Letterhead", "t", Buttons::YesNo, Icon::Stop}), Answer::No);
    p.SetDefaultFolder("/saved/");
    EXPECT_EQ(p.BrowseFolder("Select a Output path for your Message"), "/saved/");
    EXPECT_EQ(p.Input("Vocanet VP Server computer", "Name", "VVPCOMPUTER:9105"), "VVPCOMPUTER:9105");
    EXPECT_FALSE(p.ChoosePrinter("job"));
}

TEST(HeadlessPrompter, AnswersMatchTextPrefixAndIgnoreButtonsNotOffered) {
    HeadlessPrompter p;
    p.AddAnswer("VVP can't find", "Abort");
    p.AddAnswer("Select a Output", "cancel");
    p.AddAnswer("Pathology Details", "QML");
    EXPECT_EQ(p.Message({"Digital Signing", "VVP can't find a signing token.", Buttons::AbortRetryIgnore,
                         Icon::Error}),
              Answer::Abort);
    EXPECT_EQ(p.Message({"x", "VVP can't find it", Buttons::Ok, Icon::None}), Answer::Ok);
    EXPECT_EQ(p.BrowseFolder("Select a Output path for your Message"), "");
    EXPECT_EQ(p.Dialog("Pathology Details - FBC", "", std::nullopt), "QML");
}

TEST(Folders, TemporaryFolderFallsBackToTheProgramFolder) {
    const char* keepTmp = std::getenv("TMP");
    const char* keepTemp = std::getenv("TEMP");
    std::string tmp = keepTmp ? keepTmp : "", temp = keepTemp ? keepTemp : "";
    unsetenv("TMP");
    unsetenv("TEMP");
    Folders f = ResolveFolders("/opt/vvp");
    EXPECT_EQ(f.program, "/opt/vvp/");
    EXPECT_EQ(f.temp, "/opt/vvp/");
    setenv("TEMP", "/var/tmp", 1);
    EXPECT_EQ(ResolveFolders("/opt/vvp").temp, "/var/tmp/");
    setenv("TMP", "/t", 1);
    EXPECT_EQ(ResolveFolders("/opt/vvp").temp, "/t/");
    if (keepTmp)
        setenv("TMP", tmp.c_str(), 1);
    else
        unsetenv("TMP");
    if (keepTemp)
        setenv("TEMP", temp.c_str(), 1);
    else
        unsetenv("TEMP");
}

TEST(Folders, InstalledProgramKeepsItsDataInTheUsersDataFolderFilledFromTheDefaults) {
    test::TempDir dir;
    const char* keep = std::getenv("VVP_PROGRAM_FOLDER");
    const char* keepXdg = std::getenv("XDG_DATA_HOME");
    const std::string program = keep ? keep : "", xdg = keepXdg ? keepXdg : "";
    unsetenv("VVP_PROGRAM_FOLDER");
    setenv("XDG_DATA_HOME", (dir.Path() + "data").c_str(), 1);
    const std::string bin = dir.Path() + "usr/bin/";
    ASSERT_TRUE(ForceDirectories(bin));

    // Run from a build folder: the program's own folder, nothing created elsewhere.
    EXPECT_EQ(ResolveFolders("", bin).program, bin);
    EXPECT_FALSE(DirectoryExists(dir.Path() + "data"));

    dir.Write("usr/share/vvp/defaults/defaultlh.rtf", "{\\rtf1 default}");
    dir.Write("usr/share/vvp/defaults/ElectronicLabDetails.inf.sample", "[PRACTICE]\r\n");
    EXPECT_EQ(InstalledLibraryFolder(bin), dir.Path() + "usr/lib/vvp/");
    const std::string data = dir.Path() + "data/vvp/";
    EXPECT_EQ(ResolveFolders("", bin).program, data);
    struct stat st {};
    ASSERT_EQ(stat(data.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u); // accounts and the key store live here
    EXPECT_EQ(dir.Read("data/vvp/defaultlh.rtf"), "{\\rtf1 default}");

    // Only a folder without files is filled: what the practice removed or renamed stays so.
    ASSERT_TRUE(DeleteFileIfExists(data + "ElectronicLabDetails.inf.sample"));
    ASSERT_TRUE(MoveFileNoReplace(data + "defaultlh.rtf", data + "DefaultLH.RTF"));
    (void)ResolveFolders("", bin);
    EXPECT_EQ(ListFolder(data, "*", true), std::vector<std::string>{"DefaultLH.RTF"});

    // An explicit folder still wins, and a new empty one is filled the same way.
    ASSERT_TRUE(ForceDirectories(dir.Path() + "practice"));
    EXPECT_EQ(ResolveFolders(dir.Path() + "practice", bin).program, dir.Path() + "practice/");
    EXPECT_TRUE(FileExists(dir.Path() + "practice/ElectronicLabDetails.inf.sample"));

    if (keep) setenv("VVP_PROGRAM_FOLDER", program.c_str(), 1);
    if (keepXdg)
        setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}
