#include "VNLetterForm.h"

#include "FileUtil.h"
#include "LetterTestSupport.h"

#include <gtest/gtest.h>

namespace vvp {
namespace {

using test::RecordingPrintService;

RtfDocument Load(const std::string& rtf) {
    auto doc = RtfDocument::FromString(rtf);
    EXPECT_TRUE(doc.ok()) << rtf;
    return doc.ok() ? std::move(doc.value()) : RtfDocument{};
}

struct LetterFixture {
    test::TempDir dir;
    FixedClock clock{*EncodeDate(2026, 12, 8), 600};
    ActivityLog log{clock};
    HeadlessPrompter prompter;
    RecordingPrintService printing;

    LetterFixture() {
        (void)ForceDirectories(dir.Path() + "prog");
        (void)ForceDirectories(dir.Path() + "heads");
    }
    LetterEnvironment Env(const std::string& reportPrinter = "Letters") {
        return {log, prompter, printing, dir.Path() + "prog/", dir.Path() + "heads/", reportPrinter};
    }
    bool Logged(const std::string& text) const {
        for (const auto& l : log.Lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST(DefaultLetterhead, IsTheTwentyEightLineTemplateByteForByte) {
    const std::string& text = DefaultLetterheadRtf();
    EXPECT_EQ(test::Visible(text), test::Visible(test::ReadTestData("letters/default_letterhead.rtf")));
    std::size_t lines = 0;
    for (std::size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2)
        ++lines;
    EXPECT_EQ(lines, 28u);
    EXPECT_EQ(text.substr(text.size() - 3), "}\r\n");
}

TEST(LetterMerge, DefaultTemplateWithAFullRecordLeavesNoPlaceholder) {
    LetterFixture f;
    TVNLetterFrm letter(f.Env());
    letter.LoadBuiltInLetterhead();
    letter.MergeFields(test::FullLetterRecord());
    const std::string text = letter.RichEdit1().PlainText();
    EXPECT_EQ(text.find("<<"), std::string::npos) << text;
    EXPECT_EQ(text.find(">>"), std::string::npos) << text;
    for (const auto& value : test::FullLetterValues())
        EXPECT_NE(test::Squeezed(text).find(test::Squeezed(value)), std::string::npos) << value << "\n"
                                                                                       << text;
    EXPECT_NE(text.find("\t\tSMITH, Mary Jane \r\n"), std::string::npos) << text;
    // Body lines become paragraphs of the letter.
    EXPECT_NE(text.find("Dear Anne,\r\n\r\nThank you for seeing Mary.\r\nKind regards,\r\n"),
              std::string::npos);
    // What was written reads back as the same letter.
    EXPECT_EQ(Load(letter.SaveLetter()).VisibleText(), letter.RichEdit1().VisibleText());
}

TEST(LetterMerge, PlaceholdersAreFoundWhateverTheirCaseAndCount) {
    struct Case {
        const char* rtf;
        const char* field;
        const char* value;
        const char* expected;
    } cases[] = {
        {R"({\rtf1 To <<ADDRESSEE:NAME>>.\par})", "<<Addressee:Name>>", "Anne Specialist",
         "To Anne Specialist.\r"},
        {R"({\rtf1 <<Message:Title>>, <<message:title>> and <<MESSAGE:TITLE>>\par})", "<<Message:Title>>",
         "T", "T, T and T\r"},
        {R"({\rtf1 [<<Doctor:Phone>>]\par})", "<<Doctor:Phone>>", "<02> 9300 >1111<", "[02 9300 1111]\r"},
        {R"({\rtf1 <<\b Doctor:\i Name\i0\b0 >>\par})", "Doctor:Name", "Jo", "Jo\r"},
        // A value that spells the placeholder again with the text around it must not loop.
        {R"({\rtf1 <<<<Doctor:Name>>>>\par})", "<<Doctor:Name>>", "Doctor:Name", "<<Doctor:Name>>\r"},
        {R"({\rtf1 <<Doctor:Name>\par})", "<<Doctor:Name>>", "x", "<<Doctor:Name>\r"},
    };
    for (const auto& c : cases) {
        RtfDocument doc = Load(c.rtf);
        ReplaceLetterField(doc, c.field, c.value);
        EXPECT_EQ(test::Visible(doc.VisibleText()), test::Visible(c.expected)) << c.rtf;
    }
}

TEST(LetterMerge, AddresseeLinesAreSplitAtTheLastComma) {
    struct Case {
        const char* address;
        AddresseeLines expected;
    } cases[] = {
        {"Suite 4\r, 12 High St\r, Bondi NSW, 2026", {"Suite 4", "12 High St", "Bondi NSW", " 2026"}},
        {" a,b \r, ,c, \r, Sydney, NSW, 2000 ", {"a b", "c", "Sydney  NSW", " 2000"}},
        {"One\r, Two\r, Bondi 2026", {"One", "Two", "", "Bondi 2026"}},
        {"Only line", {"Only line", "", "", ""}},
        {"", {"", "", "", ""}},
    };
    for (const auto& c : cases) {
        AddresseeLines got = SplitAddresseeAddress(c.address);
        EXPECT_EQ(got.address1, c.expected.address1) << c.address;
        EXPECT_EQ(got.address2, c.expected.address2) << c.address;
        EXPECT_EQ(got.city, c.expected.city) << c.address;
        EXPECT_EQ(got.postcode, c.expected.postcode) << c.address;
    }
}

TEST(LoadLetterhead, CandidatesInOrderThenTheDefault) {
    LetterFixture f;
    const std::string heads = f.dir.Path() + "heads/";
    const std::string prog = f.dir.Path() + "prog/";
    TVNLetterFrm form(f.Env());
    EXPECT_EQ(form.LetterheadFile(""), "");
    EXPECT_FALSE(form.LoadLetterhead("").ok());
    EXPECT_EQ(form.RichEdit1().Length(), 0u);

    f.dir.Write("prog/defaultlh.rtf", R"({\rtf1 default\par})");
    EXPECT_EQ(form.LetterheadFile(""), prog + "defaultlh.rtf");
    EXPECT_EQ(form.LetterheadFile("practice.rtf"), prog + "defaultlh.rtf");
    f.dir.Write("prog/practice.rtf", R"({\rtf1 program folder\par})");
    EXPECT_EQ(form.LetterheadFile("practice.rtf"), prog + "practice.rtf");
    f.dir.Write("heads/practice.rtf", R"({\rtf1 letterhead folder\par})");
    ASSERT_TRUE(form.LoadLetterhead("practice.rtf").ok());
    EXPECT_EQ(form.RichEdit1().VisibleText(), "letterhead folder\r");

    // A name with a folder is taken as it is, with no fall-back.
    EXPECT_EQ(form.LetterheadFile(heads + "practice.rtf"), heads + "practice.rtf");
    EXPECT_EQ(form.LetterheadFile(heads + "missing.rtf"), "");
    // Elsewhere on the machine, directly or through "..", it is not used: the usual lookup is.
    f.dir.Write("secret/practice.rtf", R"({\rtf1 confidential\par})");
    EXPECT_EQ(form.LetterheadFile(f.dir.Path() + "secret/practice.rtf"), heads + "practice.rtf");
    EXPECT_EQ(form.LetterheadFile(heads + "../secret/practice.rtf"), heads + "practice.rtf");
    EXPECT_TRUE(f.Logged("is not a file in the letterhead folder or the program folder"));
    f.dir.Write("heads/broken.rtf", "not rtf at all");
    EXPECT_FALSE(form.LoadLetterhead("broken.rtf").ok());
}

TEST(LoadLetterhead, NamesFromWindowsAreFoundWhateverTheirLetterCase) {
    LetterFixture f;
    TVNLetterFrm form(f.Env());
    f.dir.Write("prog/DefaultLH.RTF", R"({\rtf1 default\par})");
    EXPECT_EQ(form.LetterheadFile("missing.rtf"), f.dir.Path() + "prog/DefaultLH.RTF");
    f.dir.Write("prog/RIVERSIDE.rtf", R"({\rtf1 program folder\par})");
    EXPECT_EQ(form.LetterheadFile("Riverside.rtf"), f.dir.Path() + "prog/RIVERSIDE.rtf");
    f.dir.Write("heads/Riverside.RTF", R"({\rtf1 letterhead folder\par})");
    ASSERT_TRUE(form.LoadLetterhead("riverside.rtf").ok());
    EXPECT_EQ(form.RichEdit1().VisibleText(), "letterhead folder\r");
}

TEST(MakeLetter, MissingLetterheadIsLoggedAndTheBuiltInOneUsed) {
    LetterFixture f;
    std::string rtf;
    LetterEnvironment env = f.Env();
    env.letterheadPath = f.dir.Path() + "no such folder/";
    ASSERT_TRUE(MakeLetter(test::FullLetterRecord(), true, &rtf, "practice.rtf", env));
    EXPECT_TRUE(f.Logged(
        "Letterhead path \"" + f.dir.Path() +
        "no such folder/\" specified does not exist. Using fail over methods to assign letterheads."));
    EXPECT_TRUE(f.Logged("the built-in letterhead is used"));
    const RtfDocument letter = Load(rtf);
    EXPECT_NE(letter.VisibleText().find("Dear Dr Specialist,"), std::string::npos);
    EXPECT_TRUE(f.printing.jobs.empty());

    std::string untouched = "unchanged";
    EXPECT_TRUE(MakeLetter(test::FullLetterRecord(), false, &untouched, "", f.Env()));
    EXPECT_EQ(untouched, "unchanged");
}

TEST(MakeLetter, PaperCopyGoesToTheLetterPrinterUnderPatientForAddressee) {
    LetterFixture f;
    f.dir.Write("heads/practice.rtf",
                R"({\rtf1 <<Patient Demographics:Surname>> to <<Addressee:Surname>>\par})");
    f.printing.printers = {"Front Desk", "Letters"};
    ASSERT_TRUE(MakeLetter(test::FullLetterRecord(), true, nullptr, "practice.rtf", f.Env("Letters")));
    ASSERT_EQ(f.printing.jobs.size(), 1u);
    EXPECT_EQ(f.printing.jobs[0].title, "SMITH for Specialist");
    EXPECT_EQ(f.printing.jobs[0].printer, "Letters");
    EXPECT_EQ(f.printing.jobs[0].plainText, "SMITH to Specialist\r\n");
    EXPECT_TRUE(f.Logged("Printed SMITH for Specialist"));
    EXPECT_TRUE(f.prompter.Transcript().empty());
}

TEST(MakeLetter, SharedPrinterNameFallsBackToThePrinterBeforeOn) {
    LetterFixture f;
    f.printing.printers = {"Front Desk", "Letters"};
    // Found further down the list, the shortened name is taken as well.
    EXPECT_EQ(FindLetterPrinter(f.printing, "Letters on SERVER1"), "Letters");
    EXPECT_EQ(FindLetterPrinter(f.printing, "Front Desk on SERVER1"), "Front Desk");
    EXPECT_EQ(FindLetterPrinter(f.printing, "Letters"), "Letters");
    EXPECT_FALSE(FindLetterPrinter(f.printing, "Back Office on SERVER1"));
    EXPECT_FALSE(FindLetterPrinter(f.printing, " on SERVER1"));
    EXPECT_FALSE(FindLetterPrinter(f.printing, ""));
}

TEST(MakeLetter, UnknownPrinterAsksAndCancelPrintsNothing) {
    LetterFixture f;
    f.printing.printers = {"Front Desk"};
    EXPECT_FALSE(MakeLetter(test::FullLetterRecord(), true, nullptr, "", f.Env("Nowhere")));
    ASSERT_EQ(f.prompter.Transcript().size(), 1u);
    EXPECT_EQ(f.prompter.Transcript()[0].kind, "printer");
    EXPECT_TRUE(f.printing.jobs.empty());
    EXPECT_FALSE(f.Logged("Printed "));
    EXPECT_TRUE(f.Logged("Not printed (print dialog cancelled): SMITH for Specialist"));

    f.prompter.AddAnswer("Print", "Front Desk");
    EXPECT_TRUE(MakeLetter(test::FullLetterRecord(), true, nullptr, "", f.Env("")));
    ASSERT_EQ(f.printing.jobs.size(), 1u);
    EXPECT_EQ(f.printing.jobs[0].printer, "Front Desk");
}

} // namespace
} // namespace vvp
