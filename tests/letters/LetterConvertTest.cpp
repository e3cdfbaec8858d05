// vvpd turns a printed health message that asks for RTF into a letter file, and prints the
// paper copy to the PDF printer.

#include "FileUtil.h"
#include "LetterTestSupport.h"
#include "QZStringManip.h"

#include <gtest/gtest.h>

namespace vvp {
namespace {

struct Vvpd {
    test::TempDir dir;
    std::string Cmd(const std::string& args) const {
        return "TMP=" + dir.Path() + "tmp TEMP= VVP_FIXED_TIME=20261208103115 " + test::BinDir() +
               "/vvpd --program-folder " + dir.Path() + "prog --registry " + dir.Path() +
               "reg/registry.reg " + args;
    }
    Vvpd() {
        (void)ForceDirectories(dir.Path() + "prog");
        (void)ForceDirectories(dir.Path() + "tmp");
        for (const std::string& set : std::vector<std::string>{
                 "\"Save Mode\" 1", "\"Print Folder\" " + dir.Path() + "printed", "\"Report Printer\" PDF"}) {
            test::CommandResult r = test::RunCommand(Cmd("set " + set));
            EXPECT_EQ(r.status, 0) << r.output;
        }
    }
    std::vector<std::string> Saved(const std::string& mask) const {
        return ListFolder(dir.Path() + "prog/VirtualPrinter", mask, false);
    }
};

const std::vector<std::string> kLetterValues = {"John Citizen",
                                                "john.citizen@harbour.example.com.au",
                                                "08/12/2026 10:30",
                                                "Dr Anne Specialist",
                                                "Suite 4 12 Harbour Street",
                                                "Level 2 Harbour Clinic",
                                                "Sydney NSW 2000",
                                                "anne.specialist@clinic.example.com.au",
                                                "SMITH, Mary Jane",
                                                "5 Beach Street Bondi NSW 2026",
                                                "01/02/1950 F",
                                                "Referral letter",
                                                "Thank you for seeing Mary"};

void ExpectLetter(const std::string& text, const std::string& source) {
    for (const auto& value : kLetterValues)
        EXPECT_NE(test::Squeezed(text).find(value), std::string::npos) << source << ": " << value << "\n"
                                                                       << text;
}

TEST(VvpdConvertRtf, RtfMessageIsSavedAsALetterOnTheLetterhead) {
    Vvpd v;
    test::CommandResult r =
        test::RunCommand(v.Cmd("convert " + test::TestDataPath("messages/referral_rtf.prn")));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("the built-in letterhead is used"), std::string::npos) << r.output;
    const auto saved = v.Saved("*.rtf");
    ASSERT_EQ(saved.size(), 1u) << r.output;
    EXPECT_EQ(saved[0].rfind("anne.specialist@clinic.example.com.au_", 0), 0u);
    EXPECT_TRUE(v.Saved("*.pit").empty());
    const std::string path = v.dir.Path() + "prog/VirtualPrinter/" + saved[0];
    const std::string rtf = v.dir.Read("prog/VirtualPrinter/" + saved[0]);
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    EXPECT_TRUE(ListFolder(v.dir.Path() + "printed", "*", false).empty()); // no paper copy asked for

    if (test::HaveTool("unrtf"))
        ExpectLetter(test::RunCommand("unrtf --text '" + path + "'").output, "unrtf");
    if (test::HaveTool("soffice")) {
        test::CommandResult lo = test::RunCommand("soffice -env:UserInstallation=file://" + v.dir.Path() +
                                                  "profile --headless --convert-to txt:Text --outdir '" +
                                                  v.dir.Path() + "txt' '" + path + "'");
        ASSERT_EQ(lo.status, 0) << lo.output;
        ExpectLetter(v.dir.Read("txt/" + ChangeFileExt(saved[0], ".txt")), "LibreOffice");
    }
}

TEST(VvpdConvertRtf, NamedLetterheadFromTheLetterheadFolderIsUsed) {
    Vvpd v;
    v.dir.Write("heads/practice.rtf", test::ReadTestData("letters/practice_letterhead.rtf"));
    ASSERT_EQ(test::RunCommand(v.Cmd("set \"Letterhead Path\" " + v.dir.Path() + "heads")).status, 0);
    const std::string job = StrReplace(test::ReadTestData("messages/referral_rtf.prn"),
                                       "Letter Head     :\r\n", "Letter Head     :practice.rtf\r\n");
    v.dir.Write("job.prn", job);
    test::CommandResult r = test::RunCommand(v.Cmd("convert " + v.dir.File("job.prn")));
    EXPECT_EQ(r.status, 0) << r.output;
    const auto saved = v.Saved("*.rtf");
    ASSERT_EQ(saved.size(), 1u) << r.output;
    const std::string rtf = v.dir.Read("prog/VirtualPrinter/" + saved[0]);
    EXPECT_NE(rtf.find("Harbour Medical Centre"), std::string::npos);
    EXPECT_EQ(r.output.find("built-in letterhead"), std::string::npos) << r.output;
}

TEST(VvpdConvertRtf, PaperCopyLandsInThePrintFolder) {
    if (!test::HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    Vvpd v;
    test::CommandResult r =
        test::RunCommand(v.Cmd("convert " + test::TestDataPath("messages/referral_rtf_paper_copy.prn")));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Printed SMITH for Anne Specialist"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("does not exist."), std::string::npos) << r.output; // "PDF" is a known printer
    ASSERT_EQ(v.Saved("*.rtf").size(), 1u);
    const auto printed = ListFolder(v.dir.Path() + "printed", "*.pdf", false);
    ASSERT_EQ(printed, std::vector<std::string>{"SMITH for Anne Specialist.pdf"}) << r.output;
    ExpectLetter(test::RunCommand("pdftotext '" + v.dir.Path() + "printed/" + printed[0] + "' -").output,
                 "pdftotext");
}

TEST(VvpdConvertRtf, PathologyRequestPrintsItsFormBeforeTheOrder) {
    if (!test::HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    Vvpd v;
    v.dir.Write("prog/ElectronicLabDetails.inf", test::ReadTestData("pathology/ElectronicLabDetails.inf"));
    v.dir.Write("prog/cREquestForm.rtf", test::ReadTestData("letters/request_form.rtf"));
    test::CommandResult r =
        test::RunCommand(v.Cmd("convert " + test::TestDataPath("pathology/single_request.prn")));
    EXPECT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(v.Saved("*.orm").size(), 1u) << r.output;
    const auto printed = ListFolder(v.dir.Path() + "printed", "*.pdf", false);
    ASSERT_EQ(printed.size(), 1u) << r.output;
    EXPECT_EQ(printed[0].rfind("Request Form SMITH", 0), 0u) << printed[0];
    const std::string text =
        test::RunCommand("pdftotext -layout '" + v.dir.Path() + "printed/" + printed[0] + "' -").output;
    for (const char* value : {"SMITH", "JOHN", "01/02/1960", "FBC;LFT;UEC"})
        EXPECT_NE(text.find(value), std::string::npos) << value << "\n" << text;
}

} // namespace
} // namespace vvp
