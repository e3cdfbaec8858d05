#include "LetterRecordFixture.h"
#include "TestSupport.h"
#include "TextLines.h"
#include "txttopitdefhb262.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vvp {
namespace {

using letter::TPitFile;
using letter::WritePitReport;

const std::string kDashes66(66, '-');

StringList Report(TPitFile& record) {
    FixedClock clock(test::WriterTestNow());
    WritePitReport(record, clock);
    return record.reportLines;
}

const std::string* LineWithCode(const StringList& report, const std::string& code) {
    auto it = std::find_if(report.begin(), report.end(),
                           [&](const std::string& l) { return l.rfind(code, 0) == 0; });
    return it == report.end() ? nullptr : &*it;
}

// The wrapped letter text: what stands between the "301 ----" opener and line 309.
StringList BodyLines(const StringList& report) {
    auto open = std::find(report.begin(), report.end(), "301 " + kDashes66);
    auto close = std::find(report.begin(), report.end(), "309");
    if (open == report.end() || close == report.end() || close < open) return {"<no body section>"};
    return StringList(open + 1, close);
}

TEST(PitReportWriter, FullLetterMatchesGoldenFile) {
    TPitFile record = test::FullLetterRecord();
    test::ExpectMatchesGolden(JoinLines(Report(record)), "formats/full_letter.pit");
}

TEST(PitReportWriter, LeavesBodyAsGivenAndWritesTheSameReportTwice) {
    TPitFile record = test::FullLetterRecord();
    const StringList body = record.body;
    const StringList first = Report(record);
    EXPECT_EQ(record.body, body);
    EXPECT_EQ(Report(record), first);
}

TEST(PitReportWriter, PracticeNameFillsSeventyColumnsWithCodeAtTheEnd) {
    const struct {
        std::string practice, expected;
    } cases[] = {
        {"", "001 " + std::string(64, ' ') + "05"},
        {"Harbour", "001 Harbour" + std::string(57, ' ') + "05"},
        {std::string(64, 'P'), "001 " + std::string(64, 'P') + "05"},
        {std::string(80, 'P'), "001 " + std::string(64, 'P') + "05"},
    };
    for (const auto& c : cases) {
        TPitFile record = test::FullLetterRecord();
        record.practiceName = c.practice;
        EXPECT_EQ(Report(record).front(), c.expected) << c.practice.size();
    }
}

TEST(PitReportWriter, AcknowledgementShowsInLine009) {
    TPitFile record = test::FullLetterRecord();
    EXPECT_EQ(*LineWithCode(Report(record), "009"), "009 " + kDashes66);
    record.acknowledgementFlag = true;
    const std::string line = *LineWithCode(Report(record), "009");
    EXPECT_EQ(line, "009 " + std::string(56, '-') + "-- ACK ---");
    EXPECT_EQ(line.size(), 70u);
}

TEST(PitReportWriter, AddresseeWithoutNameTakesDoctorOneButKeepsItsEmail) {
    TPitFile record = test::FullLetterRecord();
    record.addressee = {};
    record.addressee.email = "own@clinic.example";
    const StringList report = Report(record);
    EXPECT_EQ(*LineWithCode(report, "123"),
              "123 Addressee      :      Dr  John Smith                        2345678A");
    EXPECT_EQ(record.addressee.familyName, "Smith");
    EXPECT_EQ(record.addressee.email, "own@clinic.example");

    TPitFile noEmail = test::FullLetterRecord();
    noEmail.addressee = {};
    Report(noEmail);
    EXPECT_EQ(noEmail.addressee.email, "john.smith@harbour.example");

    TPitFile givenOnly = test::FullLetterRecord();
    givenOnly.addressee.familyName.clear();
    Report(givenOnly);
    EXPECT_EQ(givenOnly.addressee.givenNames, "Mary"); // a given name alone is a name
}

TEST(PitReportWriter, TitleIsFollowedByOneMoreBlankOnlyWhenPresent) {
    TPitFile record = test::FullLetterRecord();
    record.doctors[0].title.clear();
    EXPECT_EQ(*LineWithCode(Report(record), "121"),
              "121 Referred By    :      John Smith                        2345678A");
}

TEST(PitReportWriter, ReportKindOneAddsDataAsAtLineBeforeTheText) {
    TPitFile record = test::FullLetterRecord();
    record.reportKind = 1;
    const StringList report = Report(record);
    auto at = std::find(report.begin(), report.end(), "299");
    ASSERT_NE(at, report.end());
    EXPECT_EQ(*(at + 1), "301 Report data as at:  14:07:09 05/03/2024 for Request on  05/03/2024 09:30 ");
    EXPECT_EQ(*(at + 2), "301 " + kDashes66);
}

TEST(PitReportWriter, SignaturePlaceholderFollowsTheTextOnlyWhenAsked) {
    TPitFile record = test::FullLetterRecord();
    StringList report = Report(record);
    auto close = std::find(report.begin(), report.end(), "309");
    EXPECT_EQ(*(close - 1), "301 <#SIGNATURE DETAILS>");
    EXPECT_EQ(*(close - 2), "301 John Smith");

    record.signatureFlag = false;
    report = Report(record);
    EXPECT_EQ(std::count(report.begin(), report.end(), "301 <#SIGNATURE DETAILS>"), 0);
    EXPECT_EQ(BodyLines(report).back(), "301 John Smith");
}

std::string Words(int fours, const std::string& last) {
    std::string text;
    for (int i = 0; i < fours; ++i)
        text += "abcd ";
    return text + last;
}

std::string Digits(size_t n) {
    std::string text;
    for (size_t i = 0; i < n; ++i)
        text += static_cast<char>('0' + i % 10);
    return text;
}

TEST(PitReportWriter, WrapsTheLetterTextIntoSixtyFourColumns) {
    const std::string tagged = "301 ~SUNDFG01~Dear Sir~EUNDFG99~";
    const std::string words60 = Words(11, "abcde");  // 60 columns exactly
    const std::string words61 = Words(11, "abcdef"); // one too many
    const std::string digits100 = Digits(100), digits200 = Digits(200);
    const std::string paragraph = test::FullLetterRecord().body[2];
    const struct {
        const char* name;
        StringList body, expected;
    } cases[] = {
        {"first line tags take no columns", {"Dear Sir"}, {tagged}},
        {"tagged first line of sixty columns", {words60}, {"301 ~SUNDFG01~" + words60 + "~EUNDFG99~"}},
        {"first line already tagged", {"~SUNDFG01~ Hi~EUNDFG99~"}, {"301 ~SUNDFG01~ Hi~EUNDFG99~"}},
        {"line of exactly 64 columns", {"Dear Sir", words60}, {tagged, "301 " + words60}},
        {"line one column too long", {"Dear Sir", words61}, {tagged, "301 " + Words(11, ""), "301 abcdef"}},
        {"sixty-character word fits",
         {"Dear Sir", digits100.substr(0, 60)},
         {tagged, "301 " + digits100.substr(0, 60)}},
        {"100-character word is split",
         {"Dear Sir", digits100},
         {tagged, "301 " + digits100.substr(0, 55) + "-", "301 " + digits100.substr(55)}},
        {"long word split after text",
         {"Dear Sir", "See " + digits100},
         {tagged, "301 See " + digits100.substr(0, 51) + "-", "301 " + digits100.substr(51)}},
        {"word longer than two lines keeps splitting",
         {"Dear Sir", digits200},
         {tagged, "301 " + digits200.substr(0, 55) + "-", "301 " + digits200.substr(55, 55) + "-",
          "301 " + digits200.substr(110, 55) + "-", "301 " + digits200.substr(165)}},
        {"80 equals signs become one rule",
         {"Dear Sir", std::string(80, '='), "Regards"},
         {tagged, "301 " + std::string(60, '='), "301 Regards"}},
        {"rule after text goes on a line of its own",
         {"Dear Sir", "Notes " + std::string(70, '-'), "Regards"},
         {tagged, "301 Notes ", "301 " + std::string(60, '-'), "301 Regards"}},
        {"rule as the last line is kept",
         {"Dear Sir", std::string(80, '=')},
         {tagged, "301 " + std::string(60, '=')}},
        {"short last line is kept", {"Dear Sir", "Yours"}, {tagged, "301 Yours"}},
        {"long last line is kept",
         {"Dear Sir", paragraph},
         {tagged, "301 Thank you for seeing Mrs Citizen, a 74 year old woman with a ",
          "301 three month history of exertional chest pain and ", "301 breathlessness."}},
        {"blank last line is kept", {"Dear Sir", "Yours", ""}, {tagged, "301 Yours", "301 "}},
        {"paragraphs keep their blank lines",
         {"Dear Sir", "", "First.", "", "Second."},
         {tagged, "301 ", "301 First.", "301 ", "301 Second."}},
        {"leading blanks are kept", {"Dear Sir", "  Aspirin 100mg"}, {tagged, "301   Aspirin 100mg"}},
        {"no text", {}, {}},
    };
    for (const auto& c : cases) {
        TPitFile record = test::FullLetterRecord();
        record.signatureFlag = false;
        record.body = c.body;
        EXPECT_EQ(BodyLines(Report(record)), c.expected) << c.name;
    }
}

TEST(PitReportWriter, ClearPatientKeepsPracticeAndDoctorContactDetails) {
    TPitFile record = test::FullLetterRecord();
    record.doctors[0].phone = "02 9555 0001";
    record.reportLines = {"kept"};
    record.ClearPatient();
    EXPECT_EQ(record.practiceName, "Harbour Medical Centre");
    EXPECT_EQ(record.doctors[0].code, "JS01");
    EXPECT_EQ(record.doctors[0].phone, "02 9555 0001");
    EXPECT_TRUE(record.doctors[0].familyName.empty());
    EXPECT_TRUE(record.doctors[1].email.empty());
    EXPECT_TRUE(record.addressee.title.empty());
    EXPECT_FALSE(record.addressee.flag);
    EXPECT_TRUE(record.patientSurname.empty());
    EXPECT_TRUE(record.body.empty());
    EXPECT_TRUE(record.copyTo.empty());
    EXPECT_TRUE(record.requestedDateText.empty());
    EXPECT_EQ(record.age, "00.0 ");
    EXPECT_EQ(record.specimen, "Referral");
    EXPECT_TRUE(record.signatureFlag);

    record.Clear();
    EXPECT_TRUE(record.practiceName.empty());
    EXPECT_TRUE(record.reportLines.empty());
    EXPECT_FALSE(record.signatureFlag);
    EXPECT_EQ(record.age, "00.0 ");
}

} // namespace
} // namespace vvp
