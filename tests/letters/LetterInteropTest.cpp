// The letters we write are read by other programs: word processors open the RTF files, and a
// printed letter carries the same values as the file.

#include "FileUtil.h"
#include "LetterTestSupport.h"
#include "PdfPrintService.h"
#include "uPrintGenericRequest.h"
#include "VNLetterForm.h"

#include <gtest/gtest.h>

namespace vvp {
namespace {

struct WrittenFile {
    std::string name;                // file stem in the folder
    std::vector<std::string> values; // what a reader must find in it
};

struct MergedLetters {
    test::TempDir dir;
    FixedClock clock{*EncodeDate(2026, 12, 8), 600};
    ActivityLog log{clock};
    HeadlessPrompter prompter;
    NullPrintService noPrinter;

    // The default template and a practice letterhead with formatting inside its placeholders,
    // both merged with the full record, and a filled request form.
    std::vector<WrittenFile> Write() {
        LetterEnvironment env{log, prompter, noPrinter, dir.Path(), dir.Path(), ""};
        std::string rtf;
        EXPECT_TRUE(MakeLetter(test::FullLetterRecord(), true, &rtf, "", env));
        dir.Write("default_merged.rtf", rtf);
        dir.Write("practice.rtf", test::ReadTestData("letters/practice_letterhead.rtf"));
        EXPECT_TRUE(MakeLetter(test::FullLetterRecord(), true, &rtf, "practice.rtf", env));
        dir.Write("practice_merged.rtf", rtf);

        test::RecordingPrintService recorder;
        recorder.printers = {"Reports"};
        dir.Write(pathology::kGeneralRequestForm, test::ReadTestData("letters/request_form.rtf"));
        pathology::TPitFile request;
        request.Surname = "SMITH";
        request.GivenNames = "JOHN";
        request.Tests = "FBC;LFT;UEC;TFT;HBA1C";
        EXPECT_TRUE(pathology::PrintRequestForm("Reports", request, {recorder, prompter, &log, dir.Path()}));
        dir.Write("request_form_filled.rtf", recorder.jobs.empty() ? std::string() : recorder.jobs[0].rtf);
        return {{"default_merged", test::FullLetterValues()},
                {"practice_merged", test::FullLetterValues()},
                {"request_form_filled", {"SMITH, JOHN", "FBC;LFT;UEC;TFT;", "HBA1C"}}};
    }
};

void ExpectValues(const std::string& text, const WrittenFile& file) {
    const std::string squeezed = test::Squeezed(text);
    for (const auto& value : file.values)
        EXPECT_NE(squeezed.find(test::Squeezed(value)), std::string::npos)
            << file.name << ": " << value << "\n"
            << text;
    EXPECT_EQ(text.find("<<"), std::string::npos) << file.name << "\n" << text;
}

TEST(LetterInterop, UnrtfReadsTheMergedValues) {
    if (!test::HaveTool("unrtf")) GTEST_SKIP() << "unrtf is not installed";
    MergedLetters m;
    for (const auto& file : m.Write()) {
        test::CommandResult r = test::RunCommand("unrtf --text '" + m.dir.File(file.name + ".rtf") + "'");
        ASSERT_EQ(r.status, 0) << r.output;
        ExpectValues(r.output, file);
    }
}

TEST(LetterInterop, LibreOfficeOpensTheMergedLetters) {
    if (!test::HaveTool("soffice")) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    MergedLetters m;
    const auto files = m.Write();
    std::string paths;
    for (const auto& file : files)
        paths += " '" + m.dir.File(file.name + ".rtf") + "'";
    test::CommandResult r = test::RunCommand("soffice -env:UserInstallation=file://" + m.dir.Path() +
                                             "profile --headless --convert-to txt:Text --outdir '" +
                                             m.dir.Path() + "txt'" + paths);
    ASSERT_EQ(r.status, 0) << r.output;
    for (const auto& file : files)
        ExpectValues(m.dir.Read("txt/" + file.name + ".txt"), file);
}

TEST(LetterInterop, PrintedLetterCarriesTheSameValues) {
    if (!test::HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    MergedLetters m;
    PdfPrintService printing([&] { return m.dir.Path() + "printed"; });
    LetterEnvironment env{m.log, m.prompter, printing, m.dir.Path(), m.dir.Path(), "PDF"};
    m.dir.Write("practice.rtf", test::ReadTestData("letters/practice_letterhead.rtf"));
    for (const char* head : {"", "practice.rtf"}) {
        ASSERT_TRUE(MakeLetter(test::FullLetterRecord(), true, nullptr, head, env)) << head;
        const std::string file = printing.LastFile();
        EXPECT_EQ(ExtractFileName(file).rfind("SMITH for Specialist", 0), 0u) << file;
        test::CommandResult r = test::RunCommand("pdftotext '" + file + "' -");
        ASSERT_EQ(r.status, 0) << r.output;
        ExpectValues(r.output, {file, test::FullLetterValues()});
    }
}

TEST(LetterInterop, PrintedRequestFormShowsItsValues) {
    if (!test::HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    test::TempDir dir;
    FixedClock clock{*EncodeDate(2026, 12, 8), 600};
    ActivityLog log{clock};
    HeadlessPrompter prompter;
    PdfPrintService printing([&] { return dir.Path() + "printed"; });
    dir.Write(pathology::kGeneralRequestForm, test::ReadTestData("letters/request_form.rtf"));
    pathology::TPitFile r;
    r.Surname = "SMITH";
    r.GivenNames = "JOHN";
    r.Sex = "M";
    r.Dob = *EncodeDate(1950, 2, 1);
    r.RequestDate = *EncodeDate(2026, 12, 8);
    r.Address = "5 Beach Street;BONDI NSW 2026";
    r.Tests = "FBC;LFT;UEC;TFT;HBA1C";
    r.Doctors[1].FamilyName = "Citizen";
    r.Doctors[1].GivenName = "John";
    r.Doctors[1].Title = "Dr";
    r.Ticks.Urgent = true;
    ASSERT_TRUE(pathology::PrintRequestForm("PDF", r, {printing, prompter, &log, dir.Path()}));
    EXPECT_EQ(ExtractFileName(printing.LastFile()), "Request Form SMITH, JOHN.pdf");
    const std::string text = test::RunCommand("pdftotext -layout '" + printing.LastFile() + "' -").output;
    for (const char* value : {"SMITH, JOHN", "01/02/1950", "08/12/2026", "5 Beach Street", "BONDI NSW 2026",
                              "FBC;LFT;UEC;TFT;", "HBA1C", "Dr CITIZEN,John", "X"})
        EXPECT_NE(text.find(value), std::string::npos) << value << "\n" << text;
}

} // namespace
} // namespace vvp
