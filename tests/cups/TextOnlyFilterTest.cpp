// The vvp-textonly filter as CUPS runs it, on PDFs whose text is laid out like practice software
// prints it.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vvp::test;

namespace {

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + separator.size();
    }
}

// A PDF of the pages (Windows-1252 lines) in a standard font at 10 pt on a 12 pt line pitch.
std::string MakePdf(const std::vector<std::vector<std::string>>& pages, const std::string& font) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "",
                                        "<< /Type /Font /Subtype /Type1 /BaseFont /" + font +
                                            " /Encoding /WinAnsiEncoding >>"};
    std::string kids;
    for (const auto& lines : pages) {
        std::string content = "BT /F1 10 Tf 12 TL 56 798 Td\n";
        for (const auto& line : lines) {
            std::string escaped;
            for (char c : line) {
                if (c == '(' || c == ')' || c == '\\') escaped += '\\';
                escaped += c;
            }
            content += "T* (" + escaped + ") Tj\n";
        }
        content += "ET";
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                          "\nendstream");
        const size_t contentObject = objects.size();
        objects.push_back(
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R "
            ">> >> /Contents " +
            std::to_string(contentObject) + " 0 R >>");
        kids += std::to_string(objects.size()) + " 0 R ";
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>";
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

CommandResult RunFilter(const TempDir& dir, const std::string& contentType, const std::string& input) {
    dir.Write("input", input);
    return RunCommand("(CONTENT_TYPE='" + contentType + "' " + BinDir() + "/vvp-textonly 7 user title 1 '' " +
                      dir.File("input") + " 2>" + dir.File("log") + " >" + dir.File("output") + ")");
}

} // namespace

TEST(TextOnlyFilter, MonospacePdfPagesBecomeThePrintedTextAgain) {
    // Three requests, one page each; trailing blanks and blank lines at a page's end leave no
    // mark in a PDF.
    std::vector<std::vector<std::string>> pages;
    std::string expected;
    for (const auto& page : Split(ReadTestData("pathology/three_pages.prn"), "\f")) {
        auto lines = Split(page, "\r\n");
        for (auto& line : lines)
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
        while (!lines.empty() && lines.back().empty())
            lines.pop_back();
        lines.front() = lines.front() + "  M\xDCLLER, Zo\xEB";
        if (!expected.empty()) expected += "\f";
        for (const auto& line : lines)
            expected += line + "\r\n";
        pages.push_back(lines);
    }
    TempDir dir;
    CommandResult run = RunFilter(dir, "application/pdf", MakePdf(pages, "Courier"));
    ASSERT_EQ(run.status, 0) << dir.Read("log");
    EXPECT_EQ(Visible(dir.Read("output")), Visible(expected));
}

TEST(TextOnlyFilter, ProportionalPdfKeepsWordsAndLines) {
    TempDir dir;
    CommandResult run = RunFilter(
        dir, "application/pdf",
        MakePdf({{"Dear Anne,", "", "Thank you for seeing Mary.", "Kind regards,", "John"}}, "Helvetica"));
    ASSERT_EQ(run.status, 0) << dir.Read("log");
    const auto lines = Split(dir.Read("output"), "\r\n");
    ASSERT_EQ(lines.size(), 6u) << Visible(dir.Read("output"));
    EXPECT_EQ(lines[0].substr(0, 4), "Dear");
    EXPECT_NE(lines[0].find(" Anne,"), std::string::npos);
    EXPECT_EQ(lines[1], "");
    EXPECT_NE(lines[2].find(" Mary."), std::string::npos);
}

TEST(TextOnlyFilter, PlainTextAndRefusals) {
    TempDir dir;
    ASSERT_EQ(RunFilter(dir, "text/plain", "Zo\xC3\xAB\n").status, 0) << dir.Read("log");
    EXPECT_EQ(dir.Read("output"), "Zo\xEB\r\n");

    const struct {
        const char* type;
        std::string input;
        const char* error;
    } refused[] = {
        {"image/png", "\x89PNG", "(image/png) is neither plain text nor PDF"},
        {"application/pdf", "%PDF-1.4\n1 0 obj << /Type /Catalog", "not a readable PDF"},
        {"application/postscript", "", "is neither plain text nor PDF"},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(RunFilter(dir, r.type, r.input).status, 1) << r.error;
        EXPECT_NE(dir.Read("log").find(r.error), std::string::npos) << dir.Read("log");
    }
}
