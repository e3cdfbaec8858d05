#include "RequestPages.h"
#include "txttopitdefUnit.h"

#include "DateTime.h"

#include <gtest/gtest.h>

namespace vvp::pathology {
namespace {

using pages::AtColumn50;
using pages::Join;
using pages::Right;
using pages::StandardLines;

TPitFile Parse(const std::vector<std::string>& lines) {
    TPitFile r;
    r.Error = "left over";
    ParsePrintedRequest(Join(lines), r);
    return r;
}

// Index of the first line equal to text in the standard page.
size_t LineOf(const std::vector<std::string>& lines, const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == text) return i;
    ADD_FAILURE() << "no line " << text;
    return 0;
}

TEST(RequestParser, StandardPageFillsTheRecord) {
    const TPitFile r = Parse(StandardLines());
    EXPECT_EQ(r.Error, "");
    EXPECT_EQ(r.MedicareNo, "2123456701");
    EXPECT_EQ(r.MedicareIrn, 1);
    EXPECT_EQ(r.Surname, "SMITH");
    EXPECT_EQ(r.Title, "MR");
    EXPECT_EQ(r.GivenNames, " JOHN");
    EXPECT_EQ(r.Sex, "M");
    EXPECT_EQ(r.DobText, "01/02/1960");
    EXPECT_EQ(r.Dob, *EncodeDate(1960, 2, 1));
    EXPECT_EQ(r.YourRef, "1234");
    EXPECT_EQ(r.Address, "12 SMITH ST;NORTH\x14SYDNEY NSW 2060");
    EXPECT_EQ(r.Phones, "(07) 3123 4567;0412 345 678");
    EXPECT_EQ(r.Tests, "FBC;LFT;UEC ");
    EXPECT_EQ(r.Ticks.Notes, "Chest pain for two days ");
    EXPECT_TRUE(r.Ticks.Urgent);
    EXPECT_EQ(r.Ticks.ResultsBy, "14:30");
    EXPECT_EQ(r.RequestDateText, "01/03/2024");
    EXPECT_EQ(r.RequestDate, *EncodeDate(2024, 3, 1));
    EXPECT_EQ(r.CopyToText, "DR JANE DOE; Dr Paul Brown, Cardiology; ");
    const TDoctorRecord& d = r.Doctors[1];
    EXPECT_EQ(d.ProviderNo, "049960CT");
    EXPECT_EQ(d.Title, "Dr");
    EXPECT_EQ(d.GivenName, "John");
    EXPECT_EQ(d.FamilyName, "Citizen");
    EXPECT_EQ(d.Address, "Suite 4;1 MAIN RD;CARLTON VIC 3053");
    EXPECT_EQ(d.Phone, "0391234567");
    EXPECT_EQ(d.Fax, "0391234568");
}

TEST(RequestParser, MedicareLineVariants) {
    auto lines = StandardLines();
    lines[0] = "2123 456701 1";
    EXPECT_EQ(Parse(lines).MedicareNo, "2123456701");
    lines[0] = "2123456701 A";
    EXPECT_EQ(Parse(lines).MedicareIrn, 9);
    lines[0] = "2123456701";
    EXPECT_EQ(Parse(lines).MedicareIrn, 0);

    // Not two five-digit numbers: the first line is read again as the patient line.
    auto l = StandardLines();
    l.erase(l.begin(), l.begin() + 2);
    const TPitFile r = Parse(l);
    EXPECT_EQ(r.MedicareNo, "");
    EXPECT_EQ(r.Surname, "SMITH");
    EXPECT_EQ(r.Error, "");
}

TEST(RequestParser, ValuesMustBeRepeatedInTheSecondSection) {
    const struct {
        const char* removed;
        const char* error;
    } cases[] = {
        {"2123456701", "Medicare Card number not Duplicated in second section"},
        {"12 SMITH ST", "Patient Surname not Duplicated in second section"},
    };
    for (const auto& c : cases) {
        auto lines = StandardLines();
        lines.erase(lines.begin() + static_cast<long>(LineOf(lines, c.removed)));
        EXPECT_EQ(Parse(lines).Error, c.error) << c.removed;
    }
    // A surname found only on the very next line does not count.
    auto lines = StandardLines();
    lines[2] = "JONES, MR JOHN, M, 01/02/1960, 1234";
    lines[3] = "JONES ST 12   (07) 3123 4567";
    EXPECT_EQ(Parse(lines).Error, "Patient Surname not Duplicated in second section");
}

TEST(RequestParser, PatientLineVariants) {
    auto lines = StandardLines();
    lines[2] = "SMITH, JOHN, 01/02/1960";
    TPitFile r = Parse(lines);
    EXPECT_EQ(r.Sex, "U");
    EXPECT_EQ(r.DobText, "01/02/1960");
    EXPECT_EQ(r.Title, "");
    EXPECT_EQ(r.GivenNames, "JOHN");
    EXPECT_EQ(r.Error, "");

    lines[2] = "SMITH  JOHN  F  1234, 01/02/1960";
    r = Parse(lines);
    EXPECT_EQ(r.Sex, "F");
    EXPECT_EQ(r.DobText, "01/02/1960");
    EXPECT_EQ(r.YourRef, "");

    lines[2] = "SMITH, JOHN, M, unknown, 1234";
    r = Parse(lines);
    EXPECT_EQ(r.DobText, "01/01/1800");
    EXPECT_EQ(r.Dob, *EncodeDate(1800, 1, 1));
    EXPECT_EQ(r.YourRef, "unknown"); // an empty date item is inserted before it

    lines[2] = "SMITH,";
    EXPECT_EQ(Parse(lines).Error, "Patient Data is not in expected format");
    // Read as day, month and year that make no date: refused rather than sent as 01/01/1800.
    for (const char* dob : {"31/FEB/1960", "29/Feb/1961", "0/MAR/1960"}) {
        lines[2] = "SMITH, MR JOHN, M, " + std::string(dob) + ", 1234";
        EXPECT_EQ(Parse(lines).Error, "Patient Data is not in expected format") << dob;
    }

    lines[2] = "SMITH MR JOHN";
    EXPECT_EQ(Parse(lines).Error, "Insufficient data to Create Request");
}

TEST(RequestParser, AddressWithoutPhoneIsReportedButParsingGoesOn) {
    auto lines = StandardLines();
    lines[3] = "12 SMITH ST";
    const TPitFile r = Parse(lines);
    EXPECT_EQ(r.Error, "Address and phone data is not in expected format");
    EXPECT_EQ(r.Tests, "FBC;LFT;UEC ");
    EXPECT_EQ(r.Doctors[1].FamilyName, "Citizen");
}

TEST(RequestParser, SecondAddressLineKeepsTwoWordSuburbTogether) {
    auto lines = StandardLines();
    lines[4] = "SYDNEY 2000";
    EXPECT_EQ(Parse(lines).Address, "12 SMITH ST;SYDNEY 2000");
    lines[4] = "MOUNT  NEBO QLD 4520";
    EXPECT_EQ(Parse(lines).Address, "12 SMITH ST;MOUNT\x14 NEBO QLD 4520");
}

TEST(RequestParser, TestsAreSplitOnSemicolonBlank) {
    const struct {
        std::vector<std::string> printed;
        const char* tests;
    } cases[] = {
        {{"FBC; LFT"}, "FBC;LFT "},
        {{"FBC;LFT"}, "FBC-LFT "},
        {{"FBC;", "LFT"}, "FBC;LFT "},
        {{"U&E (renal)   copy to GP", "HbA1c."}, "UE renal HbA1c "},
    };
    for (const auto& c : cases) {
        auto lines = StandardLines();
        const size_t at = LineOf(lines, "FBC; LFT;");
        lines.erase(lines.begin() + static_cast<long>(at), lines.begin() + static_cast<long>(at) + 2);
        lines.insert(lines.begin() + static_cast<long>(at), c.printed.begin(), c.printed.end());
        EXPECT_EQ(Parse(lines).Tests, c.tests) << c.printed[0];
    }
}

TEST(RequestParser, ResultsByTimeRule) {
    const struct {
        const char* line;
        bool urgent;
        const char* by;
        const char* notes;
    } cases[] = {
        {"14:30", true, "14:30", "Chest pain for two days "},
        {"25:00", false, "", "Chest pain for two days 25:00 "},
        {"9:15", true, "9:15", "Chest pain for two days "},
        {"xx:15", false, "", "Chest pain for two days xx:15 "},
        {"14:30    call me", true, "14:30", "Chest pain for two days "},
    };
    for (const auto& c : cases) {
        auto lines = StandardLines();
        lines[LineOf(lines, "14:30")] = c.line;
        const TPitFile r = Parse(lines);
        EXPECT_EQ(r.Ticks.Urgent, c.urgent) << c.line;
        EXPECT_EQ(r.Ticks.ResultsBy, c.by) << c.line;
        EXPECT_EQ(r.Ticks.Notes, c.notes) << c.line;
    }
}

TEST(RequestParser, DoctorBlockNeedsSixBlankLinesAfterIt) {
    auto lines = StandardLines();
    lines.erase(lines.begin() + static_cast<long>(LineOf(lines, "2123456701")) - 1);
    const TPitFile r = Parse(lines);
    EXPECT_EQ(r.Doctors[1].FamilyName, "");
    EXPECT_EQ(r.Error, "Insufficient data to Create Request");
}

TEST(RequestParser, DoctorPhoneAndFaxFromTheContactLines) {
    auto lines = StandardLines();
    lines[LineOf(lines, Right("", "Ph: 03 9123 4567  Fax: 03 9123 4568"))] = Right("", "Fax (03) 9123-4568");
    const TPitFile r = Parse(lines);
    EXPECT_EQ(r.Doctors[1].Phone, "");
    EXPECT_EQ(r.Doctors[1].Fax, "0391234568");
}

TEST(RequestParser, NotARequest) {
    TPitFile r;
    ParsePrintedRequest("", r);
    EXPECT_EQ(r.Error, "Insufficient data to Create Request");
    ParsePrintedRequest("Dear Doctor\r\n\r\n\r\n", r);
    EXPECT_EQ(r.Error, "Insufficient data to Create Request");
}

// Decides whether a page inside a job of letters is a request of its own.
TEST(RequestParser, IsPrintedRequestWhenRequestCreationWouldTakeThePage) {
    auto lines = StandardLines();
    EXPECT_TRUE(IsPrintedRequest(Join(lines)));
    std::string bareReturns; // lines ended by bare CRs, as the spool gives them
    for (const auto& l : lines)
        bareReturns += l + "\xFF";
    EXPECT_TRUE(IsPrintedRequest(bareReturns));
    lines[3] = "12 SMITH ST"; // no phone: still made into a request, with an error
    EXPECT_TRUE(IsPrintedRequest(Join(lines)));
    EXPECT_FALSE(IsPrintedRequest("0412 345 678 is Mary's mobile.\r\nPage two of the letter.\r\n"));
    EXPECT_FALSE(IsPrintedRequest("Dear Doctor\r\n\r\n\r\n"));
}

TEST(RequestParser, LinefeedOnlyLineEndsAndMarkersAreAccepted) {
    std::string text;
    for (const auto& l : StandardLines())
        text += l + "\xFC\n";
    TPitFile r;
    ParsePrintedRequest(text, r);
    EXPECT_EQ(r.Error, "");
    EXPECT_EQ(r.Surname, "SMITH");
}

TEST(RequestParser, IsRepeatedBelowSkipsTheNextLine) {
    const StringList lines = {"a", "SMITH", "b", "xxSMITHxx"};
    EXPECT_TRUE(IsRepeatedBelow(lines, "SMITH", 0));
    EXPECT_TRUE(IsRepeatedBelow(lines, "SMITH", 1));
    EXPECT_FALSE(IsRepeatedBelow(lines, "SMITH", 2));
    EXPECT_FALSE(IsRepeatedBelow(lines, "", 0));
    EXPECT_FALSE(IsRepeatedBelow(lines, "a", 5));
}

} // namespace
} // namespace vvp::pathology
