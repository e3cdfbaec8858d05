#include "PathNormalisation.h"

#include "QZStringManip.h"

#include <gtest/gtest.h>

#include <random>

namespace vvp::pathology {
namespace {

std::string Parts(const std::string& address) {
    std::string s = ParseAddress(address);
    for (auto& c : s)
        if (c == '\r') c = '|';
    return s;
}

TEST(PathNormalisation, TitlesAreWholeSingleWordEntries) {
    EXPECT_TRUE(IsTitle("dr"));
    EXPECT_TRUE(IsTitle("Prof"));
    EXPECT_TRUE(IsTitle("MONSEIGNEUR"));
    EXPECT_FALSE(IsTitle("ASSOC")); // only part of "ASSOC PROF"
    EXPECT_FALSE(IsTitle("D"));
    EXPECT_FALSE(IsTitle(""));
    EXPECT_TRUE(IsTitleExact("DR"));
    EXPECT_FALSE(IsTitleExact("Dr"));
}

TEST(PathNormalisation, PersonNameMovesSecondGivenNameToMiddleAndTitleToPrefix) {
    TPitFile r;
    r.Surname = "SMITH";
    r.GivenNames = " JOHN PAUL";
    r.Title = "DR";
    EXPECT_EQ(FormatPersonName(r, 0), "SMITH^JOHN^PAUL^^DR");
    r.GivenNames = "JOHN";
    EXPECT_EQ(FormatPersonName(r, 0), "SMITH^JOHN^^^DR");
    r.Surname = "O^BRIEN|X";
    r.GivenNames = "MARY.ANN";
    r.Title = "M^S";
    EXPECT_EQ(FormatPersonName(r, 0), "O BRIEN X^MARY^ANN^^MS");
}

TEST(PathNormalisation, ProviderNumberCheckCharacter) {
    const struct {
        const char* number;
        bool valid;
    } cases[] = {
        {"2426621B", true},  {" 2426621b ", true}, {"049960CT", true},  {"2426621A", false},
        {"242662B", false},  {"2426621BX", false}, {"24266X1B", false}, {"242662IB", false},
        {"+426621B", false}, {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidProviderNumber(c.number), c.valid) << c.number;
}

TEST(PathNormalisation, DoctorCarriesAssigningAuthorityOnlyWithValidProviderNumber) {
    TPitFile r;
    auto& d = r.Doctors[1];
    d.ProviderNo = "2426621B";
    d.FamilyName = "Citizen";
    d.GivenName = " John ";
    d.Title = "Dr";
    EXPECT_EQ(FormatDoctor(r, 1), "2426621B^Citizen^John^^^Dr^^^AUSHICPR");
    d.ProviderNo = "2426621";
    EXPECT_EQ(FormatDoctor(r, 1), "2426621^Citizen^John^^^Dr");
}

TEST(PathNormalisation, CopyToDoctors) {
    TPitFile r;
    r.CopyToText = "DR JANE DOE; Dr John Smith; SMITH, Cardiology Dept; ;PROF A B C; ";
    EXPECT_EQ(BuildCopyToDoctors(r), "^ DOE^JANE^^DR^^^^^~"
                                     "^ John Smith^Dr^^^^^^^~"
                                     "^^SMITH^^^^^^^Cardiology Dept~"
                                     "^ B C^A^^PROF^^^^^");
    r.CopyToText.clear();
    EXPECT_EQ(BuildCopyToDoctors(r), "");
}

TEST(PathNormalisation, AddressParserExamples) {
    const struct {
        const char* address;
        const char* parts; // other|street|suburb|state|postcode|country|type
    } cases[] = {
        {"12 SMITH ST, NORTH\x14SYDNEY NSW 2060", "|12 SMITH ST|NORTH SYDNEY|NSW|2060||C"},
        {"PO BOX 123, BRISBANE QLD 4001", "|PO BOX 123|BRISBANE|QLD|4001||M"},
        {"1 MAIN RD, CARLTON 3000", "|1 MAIN RD|CARLTON|VIC|3000||C"},
        {"1 MAIN RD, BARTON 2600", "|1 MAIN RD|BARTON|ACT|2600||C"},
        {"1 MAIN RD, SYDNEY 2000", "|1 MAIN RD|SYDNEY|NSW|2000||C"},
        {"1 MAIN RD, DARWIN 0800", " DARWIN 0800|1 MAIN RD|||||C"},
        {"1 MAIN RD, DARWIN 0810", "|1 MAIN RD|DARWIN|NT|0810||C"},
        {"14 VICTORIA ST, RICHMOND VIC 3121", "|14 VICTORIA ST|RICHMOND|VIC|3121||C"},
        {"LOCKED BAG 7, PARRAMATTA NSW 2124", "|LOCKED BAG 7|PARRAMATTA|NSW|2124||M"},
        {"UNIT 5, 12 SMITH ST, TOOWONG QLD 4066", " UNIT 5|12 SMITH ST|TOOWONG|QLD|4066||C"},
        {"--12 SMITH ST;NORTH\x14SYDNEY NSW 2060", "|12 SMITH ST|NORTH SYDNEY|NSW|2060||C"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Parts(c.address), c.parts) << c.address;
}

TEST(PathNormalisation, LaterStreetLineRestartsClassification) {
    EXPECT_EQ(Parts("THE GRANGE, 2 HILL RD, 4 LAKE ST, BOWRAL NSW 2576"),
              "THE GRANGE 2 HILL RD |4 LAKE ST|BOWRAL|NSW|2576||C");
}

// The classification walk as plainly stated: every later street line restarts from the top.
ParsedAddress ClassifyByRestarting(const std::vector<std::string>& lines) {
    static const char* const types[] = {" ST", " RD", " GRANGE", " TERR", " AVE"};
    auto hasType = [](const std::string& u) {
        for (const char* t : types)
            if (u.find(t) != std::string::npos) return true;
        return false;
    };
    ParsedAddress a;
    a.type = "C";
    size_t s = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string u = UpperCase(line);
        const bool digits = line.find_first_of("0123456789") != std::string::npos;
        if (a.state.empty() && IsStateName(u))
            a.state = line;
        else if (line.find(' ') == std::string::npos && a.postcode.empty() && IsPostcode(line))
            a.postcode = line;
        else if (hasType(u)) {
            if (a.street.empty()) {
                a.street = line;
                s = i;
            } else if (i < s) {
                a.other += line + " ";
            } else if (i > s) {
                a.street = line;
                s = i;
                a.other = a.country = a.postcode = a.suburb = a.state = "";
                i = static_cast<size_t>(-1);
            }
        } else if (!digits) {
            if (a.street.empty())
                a.other += " " + line;
            else if (a.suburb.empty() && i > s)
                a.suburb = line;
            else
                a.other += " " + line;
        } else if (a.street.empty() && u.find(" BOX ") != std::string::npos) {
            a.street = line;
            a.type = "M";
        } else {
            a.other += " " + line;
        }
    }
    return a;
}

TEST(PathNormalisation, AddressClassificationMatchesRestartingWalk) {
    const std::vector<std::string> vocabulary = {
        "12 SMITH ST", "THE GRANGE", "4 LAKE RD", "NORTHERN TERRITORY", "QLD", "4001", "0800",
        "BOWRAL",      "PO BOX 12",  "UNIT 5",    "2 HILL AVE",         "VIC", "ST",   "MOUNT ISA"};
    std::mt19937 random(20240301);
    for (int round = 0; round < 5000; ++round) {
        std::vector<std::string> lines(random() % 9);
        for (auto& l : lines)
            l = vocabulary[random() % vocabulary.size()];
        ParsedAddress fast;
        fast.type = "C";
        ClassifyAddressLines(lines, fast);
        const ParsedAddress plain = ClassifyByRestarting(lines);
        std::string shown;
        for (const auto& l : lines)
            shown += l + " | ";
        ASSERT_EQ(fast.other, plain.other) << shown;
        ASSERT_EQ(fast.street, plain.street) << shown;
        ASSERT_EQ(fast.suburb, plain.suburb) << shown;
        ASSERT_EQ(fast.state, plain.state) << shown;
        ASSERT_EQ(fast.postcode, plain.postcode) << shown;
        ASSERT_EQ(fast.type, plain.type) << shown;
    }
}

TEST(PathNormalisation, AddressesAsXad) {
    TPitFile r;
    r.Address = "12 SMITH ST;NORTH\x14SYDNEY NSW 2060";
    EXPECT_EQ(FormatPatientAddress(r), "12 SMITH ST^^NORTH SYDNEY^NSW^2060^^C");
    r.Address = "A\rB";
    EXPECT_EQ(FormatPatientAddress(r), "A^B");
    r.Doctors[1].Address = "Suite 4;1 MAIN RD;CARLTON VIC 3053";
    EXPECT_EQ(FormatDoctorAddress(r, 1), "1 MAIN RD^ Suite 4^CARLTON^VIC^3053^^C");
}

TEST(PathNormalisation, Phones) {
    const struct {
        const char* phone;
        const char* xtn;
    } cases[] = {
        {"", ""},
        {"(07) 3123 4567", "^^^^^07^31234567"},
        {"+61 7 3123 4567", "^^^^6^17^31234567"},
        {"61 7 3123 4567", "^^^^6^17^31234567"},
        {"0412 345 678", "^^^^0^412^345678"},
        {"3123-4567", "^^^^^^31234567"},
        {"07 3123 4567 ", "^^^^^^0731234567"},
        {"1234567890123456", "^^^^^^1234567890123456"},
        {"(07) 3123.4567|~^", "^^^^^07^31234567"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPhone(c.phone), c.xtn) << c.phone;
}

TEST(PathNormalisation, PatientIdentifiers) {
    TPitFile r;
    EXPECT_EQ(BuildPatientIdentifiers(r), "");
    r.YourRef = "1234";
    r.MedicareNo = "2123456701";
    r.MedicareIrn = 1;
    EXPECT_EQ(BuildPatientIdentifiers(r), "1234^^^^IP~21234567011^^^AUSHIC^MC");
    r.Ticks.PatientStatus = "InPatient";
    r.MedicareIrn = 0;
    r.Ticks.BillingNumber = "NX123";
    r.Ticks.Billing = 3;
    EXPECT_EQ(BuildPatientIdentifiers(r), "1234^^^^UR~2123456701^^^AUSHIC^MC~NX123^^^AUSDVA^DVA");
    r.Ticks.Billing = 7;
    r.Ticks.FundCode = "MBF";
    EXPECT_EQ(BuildPatientIdentifiers(r), "1234^^^^UR~2123456701^^^AUSHIC^MC~NX123^^^MBF^MEDIFUND");
    r.Ticks.Billing = 2; // bulk bill names no number, the repetition stays
    EXPECT_EQ(BuildPatientIdentifiers(r), "1234^^^^UR~2123456701^^^AUSHIC^MC~");
}

TEST(PathNormalisation, BillingCodes) {
    TPitFile r;
    const struct {
        int billing;
        const char* number;
        const char* status;
        const char* code;
    } cases[] = {
        {0, "", "", "03"},           {0, "X1", "", "02"},         {1, "", "", "01"},
        {2, "", "", "01"},           {3, "", "", "07"},           {4, "", "", "04"},
        {5, "", "", "05"},           {6, "", "", "08"},           {7, "", "", "12"},
        {7, "X1", "", "02"},         {-1, "", "", "99"},          {-1, "", "Emergency", "10"},
        {-1, "", "InPatient", "10"}, {-1, "", "inpatient", "99"},
    };
    for (const auto& c : cases) {
        r.Ticks.Billing = c.billing;
        r.Ticks.BillingNumber = c.number;
        r.Ticks.PatientStatus = c.status;
        EXPECT_EQ(BillingCode(r), c.code) << c.billing << " " << c.status;
    }
}

} // namespace
} // namespace vvp::pathology
