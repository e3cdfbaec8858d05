#include "PdfPrintService.h"

#include "FileUtil.h"
#include "LetterTestSupport.h"
#include "RtfDocument.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vvp {
namespace {

RtfDocument Doc(const std::string& rtf) {
    auto doc = RtfDocument::FromString(rtf);
    EXPECT_TRUE(doc.ok());
    return doc.ok() ? std::move(doc.value()) : RtfDocument{};
}

std::string PdfText(const std::string& path) {
    return test::RunCommand("pdftotext -layout '" + path + "' -").output;
}

TEST(PdfFileName, JobTitlesBecomeSafeFileNames) {
    struct Case {
        std::string title, expected;
    } cases[] = {
        {"SMITH for Specialist", "SMITH for Specialist.pdf"},
        {"Request Form SMITH, JOHN", "Request Form SMITH, JOHN.pdf"},
        {"../../etc/passwd", "_.._etc_passwd.pdf"},
        {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j.pdf"},
        {" . ", "Printout.pdf"},
        {"", "Printout.pdf"},
        {".hidden", "hidden.pdf"},
        {"caf\xE9", "caf_.pdf"},
        {std::string(300, 'x'), std::string(100, 'x') + ".pdf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PdfFileName(c.title), c.expected) << c.title;
}

TEST(PdfPrintService, OnePrinterWhoseJobsLandAsNumberedPdfFiles) {
    test::TempDir dir;
    const std::string folder = dir.Path() + "printed/out";
    PdfPrintService printing([&] { return folder; });
    EXPECT_EQ(printing.PrinterNames(), std::vector<std::string>{"PDF"});
    EXPECT_EQ(printing.DefaultPrinter(), "PDF");
    EXPECT_TRUE(printing.HasPrinter("PDF"));

    const RtfDocument doc = Doc(R"({\rtf1 Hello\par})");
    ASSERT_TRUE(printing.Print(doc, "Letter", "PDF").ok());
    ASSERT_TRUE(printing.Print(doc, "Letter", "").ok());
    EXPECT_EQ(printing.LastFile(), folder + "/Letter (2).pdf");
    ASSERT_TRUE(printing.Print(doc, "Letter", "PDF").ok());
    auto files = ListFolder(folder, "*", false);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"Letter (2).pdf", "Letter (3).pdf", "Letter.pdf"}));
    EXPECT_EQ(dir.Read("printed/out/Letter.pdf").rfind("%PDF-", 0), 0u);

    auto refused = printing.Print(doc, "Letter", "Front Desk");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "Printer \"Front Desk\" is not available");
    EXPECT_EQ(ListFolder(folder, "*", false).size(), 3u);

    PdfPrintService nowhere([] { return std::string(); });
    EXPECT_FALSE(nowhere.Print(doc, "Letter", "PDF").ok());
}

TEST(PdfPrintService, RendersTextFormatsAndPages) {
    if (!test::HaveTool("pdftotext")) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    test::TempDir dir;
    std::string body;
    for (int i = 1; i <= 120; ++i)
        body += "Line " + std::to_string(i) + "\\par\n";
    const RtfDocument doc =
        Doc(std::string(R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}{\f1\fmodern Courier New;}})"
                        R"({\colortbl;\red255\green0\blue0;})"
                        R"(\qc\b Centred bold\b0\par\pard\li1440 \i Indented\i0\tab \ul tabbed\ulnone\par)"
                        R"(\cf1 Red \'e9t\'e9 \'80 5\par\f1\fs16 Fixed\line pitch\par)") +
            body + "}");
    ASSERT_TRUE(RenderRtfToPdf(doc, "Format test", dir.File("f.pdf")).ok());
    const std::string text = PdfText(dir.File("f.pdf"));
    for (const char* part : {"Centred bold", "Indented", "tabbed", "Red \xC3\xA9t\xC3\xA9 \xE2\x82\xAC 5",
                             "Fixed", "pitch", "Line 1", "Line 120"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_GE(std::count(text.begin(), text.end(), '\f'), 2) << "120 lines fill more than one page";
    const std::string info = test::RunCommand("pdfinfo " + dir.File("f.pdf")).output;
    EXPECT_NE(info.find("Title:           Format test"), std::string::npos) << info;
    EXPECT_NE(info.find("A4"), std::string::npos) << info;

    EXPECT_FALSE(RenderRtfToPdf(doc, "x", dir.Path() + "missing/folder/f.pdf").ok());
}

} // namespace
} // namespace vvp
