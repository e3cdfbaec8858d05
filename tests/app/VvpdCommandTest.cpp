#include "FileUtil.h"
#include "QZStringManip.h"
#include "TestSupport.h"
#include "TextLines.h"

#include <gtest/gtest.h>

using namespace vvp;

namespace {

struct Vvpd {
    test::TempDir dir;
    std::string fixedTime = "20261208103115"; // empty: the real clock
    std::string Cmd(const std::string& args) const {
        return "TMP=" + dir.Path() + "tmp TEMP= VVP_FIXED_TIME=" + fixedTime + " " + test::BinDir() +
               "/vvpd --program-folder " + dir.Path() + "prog --registry " + dir.Path() +
               "reg/registry.reg " + args;
    }
    Vvpd() {
        (void)ForceDirectories(dir.Path() + "prog");
        (void)ForceDirectories(dir.Path() + "tmp");
    }
};

} // namespace

TEST(VvpdSettings, FreshRegistryShowsDefaultsAndCreatesNothing) {
    Vvpd v;
    test::CommandResult r = test::RunCommand(v.Cmd("settings"));
    EXPECT_EQ(r.status, 0);
    for (const char* line : {"Port=9105\n", "PortName=Vocanet\n", "Save Mode=0\n", "HeSA Tokens=1\n",
                             "Field Widths=129,48,97,282,166,180,172\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line;
    EXPECT_EQ(r.output.rfind("Port=9105\nPortName=Vocanet\nReport Printer=VocaNet\nSave Mode=0\n", 0), 0u);
    EXPECT_FALSE(FileExists(v.dir.File("reg/registry.reg")));
    EXPECT_TRUE(ListFolder(v.dir.Path() + "prog", "*", true).empty());
}

TEST(VvpdSettings, SetWritesTheValueAndTheInformationFile) {
    Vvpd v;
    test::CommandResult set = test::RunCommand(v.Cmd("set \"Save Mode\" 1"));
    EXPECT_EQ(set.status, 0) << set.output;
    EXPECT_NE(v.dir.Read("reg/registry.reg").find("\"Save Mode\"=dword:00000001\n"), std::string::npos);
    EXPECT_EQ(SplitLines(v.dir.Read("prog/VNptr.inf")).size(), 5u);
    EXPECT_FALSE(DirectoryExists(v.dir.Path() + "prog/VirtualPrinter"));
    EXPECT_EQ(test::RunCommand(v.Cmd("settings")).status, 0);
    EXPECT_TRUE(DirectoryExists(v.dir.Path() + "prog/VirtualPrinter"));
    EXPECT_EQ(test::RunCommand(v.Cmd("set \"Save Mode\" 5")).status, 2);
    EXPECT_EQ(test::RunCommand(v.Cmd("set Nonsense 1")).status, 2);
}

TEST(VvpdConvert, HealthMessageLandsInTheSavePathAndExitStatusTellsTheRest) {
    Vvpd v;
    ASSERT_EQ(test::RunCommand(v.Cmd("set \"Save Mode\" 1")).status, 0);
    test::CommandResult ok =
        test::RunCommand(v.Cmd("convert " + test::TestDataPath("messages/referral_pit.prn")));
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_NE(ok.output.find("Generated Message for transmission."), std::string::npos);
    EXPECT_NE(
        ok.output.find("PROMPT message [Vocanet Virtual Printer] Report Printer \"VocaNet\" does not exist."),
        std::string::npos);
    auto saved = ListFolder(v.dir.Path() + "prog/VirtualPrinter", "*.pit", false);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].rfind("anne.specialist@clinic.example.com.au_", 0), 0u);
    EXPECT_TRUE(ListFolder(v.dir.Path() + "tmp", "*.prn", false).empty());

    test::CommandResult bad =
        test::RunCommand(v.Cmd("convert " + test::TestDataPath("messages/plain_letter.prn") + " " +
                               test::TestDataPath("messages/referral_hl7.prn")));
    EXPECT_EQ(bad.status, 1) << bad.output;
    EXPECT_EQ(ListFolder(v.dir.Path() + "prog/VirtualPrinter", "*.hl7", false).size(), 1u);
}

TEST(VvpdConvert, CopiesOfOneJobEachBecomeTheirOwnMessage) {
    for (const char* fixedTime : {"", "20261208103115"}) {
        SCOPED_TRACE(*fixedTime ? "fixed time" : "real clock");
        Vvpd v;
        v.fixedTime = fixedTime;
        ASSERT_EQ(test::RunCommand(v.Cmd("set \"Save Mode\" 1")).status, 0);
        const std::string job = test::TestDataPath("messages/referral_pit.prn");
        test::CommandResult r = test::RunCommand(v.Cmd("convert " + job + " " + job + " " + job));
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(ListFolder(v.dir.Path() + "prog/VirtualPrinter", "*.pit", false).size(), 3u);
        EXPECT_TRUE(ListFolder(v.dir.Path() + "tmp", "*.prn", false).empty());
    }
}

TEST(VvpdConvert, LogIsOneUtf8LinePerEntryAndLetterheadsMatchWhateverTheirCase) {
    Vvpd v;
    v.fixedTime = ""; // two runs: each message needs its own id
    ASSERT_EQ(test::RunCommand(v.Cmd("set \"Save Mode\" 1")).status, 0);
    const std::string job = test::ReadTestData("messages/referral_rtf.prn");
    const std::string head = "Letter Head     :";
    auto withLetterhead = [&](const std::string& name) {
        std::string text = job;
        return text.insert(text.find(head) + head.size(), name);
    };
    v.dir.Write("accented.prn", withLetterhead("Rivi\xE8re.rtf")); // as a Windows program prints it
    test::CommandResult r = test::RunCommand(v.Cmd("convert " + v.dir.File("accented.prn")));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Neither letterhead \"Rivi\u00e8re.rtf\" nor"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find('\xE8'), std::string::npos);
    EXPECT_NE(r.output.find("Saved message for anne.specialist@clinic.example.com.au |  to "),
              std::string::npos)
        << r.output;

    v.dir.Write("prog/Riverside.RTF", R"({\rtf1 Riverside Medical <<Doctor:Name>>\par})");
    v.dir.Write("lower.prn", withLetterhead("riverside.rtf"));
    r = test::RunCommand(v.Cmd("convert " + v.dir.File("lower.prn")));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Neither letterhead"), std::string::npos) << r.output;
    bool merged = false;
    for (const auto& name : ListFolder(v.dir.Path() + "prog/VirtualPrinter", "*.rtf", false))
        merged = merged ||
                 v.dir.Read("prog/VirtualPrinter/" + name).find("Riverside Medical") != std::string::npos;
    EXPECT_TRUE(merged);
}

// Two jobs under one fixed clock get the same id, so the second one's page 2 finds the first
// one's message under its name. Held and tried again, it must neither take that file for its own
// (the message would be lost) nor send its page 1 a second time.
TEST(VvpdConvert, HeldJobIsTriedAgainWithoutResendingOrTakingAnothersMessage) {
    Vvpd v;
    ASSERT_EQ(test::RunCommand(v.Cmd("set \"Save Mode\" 1")).status, 0);
    const std::string letter = test::ReadTestData("messages/referral_pit.prn");
    auto to = [&](const std::string& who, const std::string& greeting) {
        std::string text = StrReplace(letter, "anne.specialist@clinic.example.com.au", who);
        return StrReplace(text, "Dear Anne,", greeting);
    };
    const std::string saved = v.dir.Path() + "prog/VirtualPrinter/";
    v.dir.Write("first.prn",
                to("bob@clinic.example", "Dear Bob,") + "\f" + to("anne@clinic.example", "Dear Anne,"));
    ASSERT_EQ(test::RunCommand(v.Cmd("convert " + v.dir.File("first.prn"))).status, 0);
    const auto anne = ListFolder(saved, "anne@*", false);
    ASSERT_EQ(anne.size(), 1u);

    v.dir.Write("second.prn",
                to("carol@clinic.example", "Dear Carol,") + "\f" + to("anne@clinic.example", "Dear Dr Lee,"));
    test::CommandResult r = test::RunCommand(v.Cmd("convert " + v.dir.File("second.prn")));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("is held: the message for anne@clinic.example could not be stored"),
              std::string::npos)
        << r.output;
    ASSERT_EQ(ListFolder(saved, "carol@*", false).size(), 1u);

    r = test::RunCommand(v.Cmd("retry"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("went out before the job was held; not sent again"), std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("was already saved"), std::string::npos) << r.output;
    EXPECT_EQ(ListFolder(v.dir.Path() + "tmp/held", "*.prn", false).size(), 1u);

    ASSERT_TRUE(MoveFileNoReplace(saved + anne[0], v.dir.Path() + "bobs-anne.pit").ok());
    r = test::RunCommand(v.Cmd("retry"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(v.dir.Read("prog/VirtualPrinter/" + anne[0]).find("Dear Dr Lee,"), std::string::npos);
    EXPECT_EQ(ListFolder(saved, "carol@*", false).size(), 1u);
    EXPECT_TRUE(ListFolder(v.dir.Path() + "tmp/held", "*", false).empty());
}
