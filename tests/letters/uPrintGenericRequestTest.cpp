#include "uPrintGenericRequest.h"

#include "FileUtil.h"
#include "LetterTestSupport.h"

#include <gtest/gtest.h>

namespace vvp::pathology {
namespace {

TPitFile Request() {
    TPitFile r;
    r.Surname = "SMITH";
    r.GivenNames = "JOHN";
    r.Title = "MR";
    r.Sex = "M";
    r.Dob = *EncodeDate(1950, 2, 1);
    r.RequestDate = *EncodeDate(2026, 12, 8);
    r.MedicareNo = "2123456701";
    r.MedicareIrn = 1;
    r.YourRef = "";
    r.OrderNo = "ORD77";
    r.Address = "5 Beach\x14Street;BONDI NSW 2026;";
    r.Phones = "0412 345 678;02 9300 1111";
    r.Tests = "FBC; LFT;;UEC ; TFT;HBA1C";
    r.CopyToText = "Dr A Other   Dr B Third";
    r.Doctors[1].Title = "Dr";
    r.Doctors[1].FamilyName = "Citizen";
    r.Doctors[1].GivenName = "John";
    r.Doctors[1].ProviderNo = "0123456A";
    r.Doctors[1].Address = "1 Main Road;Bondi NSW 2026";
    r.Doctors[1].Phone = "9300 1111";
    r.Doctors[1].Fax = "9300 2222";
    r.Ticks.Fasting = true;
    r.Ticks.Billing = 2;
    r.Ticks.CytologySite = 1;
    r.Ticks.Notes = "Known diabetic.";
    return r;
}

// One line of the picture with its line end, the way the template's plain text gives it.
std::string Fill(const std::string& pictureLine, TPitFile r = Request()) {
    return FillRequestForm(pictureLine + "\r\n", r);
}

TEST(RequestForm, EachCodeRunPrintsItsValueInItsWidth) {
    struct Case {
        const char* picture;
        const char* expected;
    } cases[] = {
        {"BBBBBBBBBB", "SMITH, JOH"},
        {"BBBBBBBBBBBBBBBBBBBBBBBBB", "SMITH, JOHN (MR)         "},
        {"C D", "M 0"}, // a one-character run cuts the date
        {"DDDDDDDDDD||||||||||", "01/02/195008/12/2026"},
        {"AAAAAAAAAAAAAAAA", "2123456701 - 1  "},
        {"EEEEE", "ORD77"},
        {"FFFFFFFFFFFFFF GGGGGGGGGGGGGGG JJJ", "5 Beach Street BONDI NSW 2026     "},
        {"uuuuuuuuuuuuuuuuuuuuuuuuuuuuuuu", "5 Beach Street,BONDI NSW 2026, "},
        {"HHHHHHHHHHHH IIIIIIIIIIII", "0412 345 678 02 9300 1111"},
        {"M O Q X Z l m n", "X       X     X"},
        {"wwwwwwwwwwwwwwwwwwwww vvvvvvvv", "Dr CITIZEN,John       0123456A"},
        {"xxxxxxxxxxx yyyyyyyyyyyyyy zz", "1 Main Road Bondi NSW 2026   "},
        {"{{{{{{{{{{{{{{{{{{{{{{{{", "PH:9300 1111 FAX:9300 22"},
        {"ppppppppppppppp qqqqqqqqqqq", "Dr A Other Dr B Third      "},
        // Fixed texts of the template do not print; a "t" run is not a field.
        {"123 ... tttt ,;:", "                "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(test::Visible(Fill(c.picture)), test::Visible(c.expected)) << c.picture;

    TPitFile parsed = Request();
    parsed.GivenNames = " JOHN"; // as the parser leaves "SMITH, MR JOHN"
    EXPECT_EQ(Fill("BBBBBBBBBB", parsed), "SMITH, JOH");
    parsed.GivenNames = " ";
    parsed.Title.clear();
    EXPECT_EQ(Fill("BBBBBBBBBB", parsed), "SMITH     ");
}

TEST(RequestForm, LineEndsCollapseAndTheLastRunIsNotEmitted) {
    TPitFile r = Request();
    EXPECT_EQ(test::Visible(FillRequestForm("CC\r\n\r\n\r\nCC\r\n", r)), test::Visible("M \r\nM "));
    EXPECT_EQ(FillRequestForm("", r), "");
    EXPECT_EQ(FillRequestForm("CCC", r), ""); // no line end: the only run is the last one
}

TEST(RequestForm, TestsWrapAtTheSemicolonAndAreTrimmedForTheOrder) {
    TPitFile r = Request();
    const std::string filled =
        FillRequestForm("KKKKKKKKKKKKKKKKKKKK\r\nLLLLLLLLLLLLLLLLLLLL\r\nNNNNNNNNNNNNNNNNNNNN\r\n", r);
    EXPECT_EQ(test::Visible(filled), test::Visible("FBC;LFT;UEC;TFT;    \r\nHBA1C               \r\n"
                                                   "                    "));
    EXPECT_EQ(r.Tests, "FBC;LFT;UEC;TFT;HBA1C");

    TPitFile untouched = Request();
    FillRequestForm("BBB\r\n", untouched);
    EXPECT_EQ(untouched.Tests, "FBC; LFT;;UEC ; TFT;HBA1C"); // no test field, no change
}

TEST(RequestForm, WrappedValuesTakeTheWidthOfTheirFirstRun) {
    EXPECT_EQ(WrapItems({"FBC", "LFT", "UEC", "TFT", "HBA1C"}, ';', 20),
              (std::vector<std::string>{"FBC;LFT;UEC;TFT;", "HBA1C"}));
    EXPECT_EQ(WrapItems({"LONGERTHANWIDTH", "A"}, ';', 5),
              (std::vector<std::string>{"LONGERTHANWIDTH;", "A"}));
    EXPECT_EQ(WrapItems({}, ';', 5), std::vector<std::string>{});
    // The notes' second line is cut from the first run's wrapping, not wrapped again at 40.
    TPitFile r = Request();
    r.Ticks.Notes = "Known diabetic; ";
    const std::string filled =
        FillRequestForm("WWWWWWWWWWWWWWWWWWWW\r\nYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYYY\r\n", r);
    EXPECT_EQ(test::Visible(filled), test::Visible("Known diabetic;     \r\n"
                                                   "Fasting;Gynae                           "));
}

struct PrintFixture {
    test::TempDir dir;
    FixedClock clock{*EncodeDate(2026, 12, 8), 600};
    ActivityLog log{clock};
    HeadlessPrompter prompter;
    test::RecordingPrintService printing;
    RequestFormEnvironment Env() { return {printing, prompter, &log, dir.Path()}; }
};

const char* const kTemplate = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fmodern Courier New;}}\\f0\\fs18 "
                              "BBBBBBBBBBBBBBBBBBBB 1950 CC\\par\n"
                              "\\b KKKKKKKKKKKKKKKKKKKK\\b0\\par\n\\par\nLLLLLLLLLLLLLLLLLLLL\\par\n}";

TEST(RequestForm, PrintsTheFilledTemplateOnTheReportPrinter) {
    PrintFixture f;
    f.dir.Write(kGeneralRequestForm, kTemplate);
    f.printing.printers = {"Reports"};
    TPitFile r = Request();
    ASSERT_TRUE(PrintRequestForm("Reports", r, f.Env()));
    ASSERT_EQ(f.printing.jobs.size(), 1u);
    EXPECT_EQ(f.printing.jobs[0].title, "Request Form SMITH, JOHN");
    EXPECT_EQ(f.printing.jobs[0].printer, "Reports");
    EXPECT_EQ(
        test::Visible(f.printing.jobs[0].plainText),
        test::Visible("SMITH, JOHN (MR)          M \r\nFBC;LFT;UEC;TFT;    \r\nHBA1C               \r\n"));
    EXPECT_TRUE(f.prompter.Transcript().empty());
    // The whole text takes the template's first character format: one fixed-pitch run.
    auto printed = RtfDocument::FromString(f.printing.jobs[0].rtf);
    ASSERT_TRUE(printed.ok());
    for (const auto& p : printed->Paragraphs())
        for (const auto& run : p.runs) {
            EXPECT_EQ(run.fontName, "Courier New");
            EXPECT_FALSE(run.bold);
        }
}

TEST(RequestForm, LaboratoryTemplateWinsAndMissingTemplatePrintsNothing) {
    PrintFixture f;
    f.printing.printers = {"Reports"};
    TPitFile r = Request();
    r.LabName = "Harbour Pathology";
    EXPECT_FALSE(PrintRequestForm("Reports", r, f.Env()));
    EXPECT_TRUE(f.printing.jobs.empty());
    EXPECT_TRUE(f.prompter.Transcript().empty());

    f.dir.Write(kGeneralRequestForm, "{\\rtf1 CC\\par}");
    f.dir.Write("Harbour Pathology.cRequestForm.rtf", "{\\rtf1 BBBBB\\par}");
    EXPECT_EQ(RequestFormTemplate(f.dir.Path(), r.LabName),
              f.dir.Path() + "Harbour Pathology.cRequestForm.rtf");
    EXPECT_EQ(RequestFormTemplate(f.dir.Path(), "../x"), f.dir.Path() + kGeneralRequestForm);
    ASSERT_TRUE(PrintRequestForm("Reports", r, f.Env()));
    EXPECT_EQ(f.printing.jobs.back().plainText, "SMITH\r\n");

    f.dir.Write("Harbour Pathology.cRequestForm.rtf", "not an rtf file");
    EXPECT_FALSE(PrintRequestForm("Reports", r, f.Env()));
    EXPECT_EQ(f.printing.jobs.size(), 1u);
}

TEST(RequestForm, EmptyOrUnknownPrinterAlwaysAsks) {
    PrintFixture f;
    f.dir.Write(kGeneralRequestForm, kTemplate);
    f.printing.printers = {"Reports"};
    TPitFile r = Request();
    EXPECT_FALSE(PrintRequestForm("", r, f.Env())); // the headless dialog is cancelled
    EXPECT_FALSE(PrintRequestForm("Elsewhere", r, f.Env()));
    ASSERT_EQ(f.prompter.Transcript().size(), 2u);
    EXPECT_EQ(f.prompter.Transcript()[0].kind, "printer");
    EXPECT_TRUE(f.printing.jobs.empty());

    f.prompter.AddAnswer("Print", "Reports");
    EXPECT_TRUE(PrintRequestForm("", r, f.Env()));
    ASSERT_EQ(f.printing.jobs.size(), 1u);
    EXPECT_EQ(f.printing.jobs[0].printer, "Reports");
}

} // namespace
} // namespace vvp::pathology
