#include "Hl7Interop.h"
#include "LetterRecordFixture.h"
#include "QZStringManip.h"
#include "TestSupport.h"
#include "txttopitdefhb262.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace vvp {
namespace {

using letter::TPitFile;

StringList WriteBoth(TPitFile& record) {
    FixedClock clock(test::WriterTestNow());
    letter::WritePitReport(record, clock);
    letter::WriteHl7Letter(record, clock);
    return record.hl7Lines;
}

const std::string& Segment(const StringList& lines, const std::string& name) {
    static const std::string none;
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& s) { return s.rfind(name + "|", 0) == 0; });
    return it == lines.end() ? none : *it;
}

// Field n of a segment other than MSH/FHS/BHS, as a plain split at "|" sees it.
std::string Field(const std::string& segment, int n) {
    return StrField(segment, '|', n + 1);
}

// The golden batch was checked field by field by hand; segments end in CR as in the file.
TEST(Hl7LetterWriter, FullLetterBatch) {
    TPitFile record = test::FullLetterRecord();
    record.dobText.clear();
    const StringList lines = WriteBoth(record);
    ASSERT_EQ(lines.size(), 10u);
    std::string file;
    for (const auto& segment : lines)
        file += segment + "\r";
    test::ExpectMatchesGolden(file, "formats/full_letter.hl7");
}

TEST(Hl7LetterWriter, FormattedTextEscapesDelimitersOnce) {
    const StringList report = {"001 Practice", "301 A|B^C~D&E\\F", "999 END"};
    EXPECT_EQ(Hl7FormattedText(report), "\\.nf\\301 A\\F\\B\\S\\C\\R\\D\\T\\E\\E\\F\\.br\\\\.fi\\");
    EXPECT_EQ(Hl7EscapeFormattedText("a\tb\r\nc"), "a\\sk5\\b\\.br\\c");
    EXPECT_EQ(Hl7EscapeFormattedText("\\.br\\"), "\\E\\.br\\E\\");
}

TEST(Hl7LetterWriter, FormattedTextKeepsOnlyLinesCoded100To390) {
    const StringList report = {"001 a", "029 b", "099 c", "100 d", "301 e", "390 f",
                               "391 g", "399 h", "999 i", "30",    ""};
    EXPECT_EQ(Hl7FormattedText(report), "\\.nf\\100 d\\.br\\301 e\\.br\\390 f\\.br\\\\.fi\\");
    EXPECT_EQ(Hl7FormattedText({}), "\\.nf\\\\.fi\\");
}

TEST(Hl7LetterWriter, NameComponents) {
    const struct {
        std::string family, given, prefix, expected;
    } cases[] = {
        {"Smith", "John Paul", "Dr ", "Smith^John^Paul^^Dr "},
        {"Smith", "John", "Dr ", "Smith^John^^^Dr "},
        {"Smith", "John Paul Mark", "", "Smith^John^Paul Mark^^"},
        {"Smith", "", "", "Smith^^^^"},
        {"O^Brien|x~y\\z", "J.R.", "D^r|~", "O Brien x y z^J^R ^^Dr"},
        {"Lee", "Ann,Marie", "Ms\\", "Lee^Ann^Marie^^Ms\\E\\"},
        {"Smith & Co", "Ann & Bo", "", "Smith \\T\\ Co^Ann^\\T\\ Bo^^"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hl7PersonName(c.family, c.given, c.prefix), c.expected) << c.family << "/" << c.given;
    EXPECT_EQ(Hl7Doctor("123456AB", "Smith", "John", "Dr "), "123456AB^Smith^John^^^Dr ");
}

TEST(Hl7LetterWriter, PhoneComponents) {
    const struct {
        std::string phone, expected;
    } cases[] = {
        {"(02) 9555 1234", "^^^^^02^95551234"},
        {"9555 1234", "^^^^^^95551234"},
        {"9555  1234", "^^^^^^95551234"},
        {"1234567890123456", "^^^^^^1234567890123456"},
        {"(02) 9555-1234 ", "^^^^^^0295551234"}, // a separator before any digit gives up the structure
        {"+61 2 9555 1234", "^^^^6^12^95551234"},
        {"02 9555 1234", "^^^^^02^95551234"},
        {"", "^^^^^^"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hl7Phone(c.phone), c.expected) << c.phone;
}

TEST(Hl7LetterWriter, PatientIdentifiersAndAddress) {
    EXPECT_EQ(Hl7PatientIdentifiers("", ""), "");
    EXPECT_EQ(Hl7PatientIdentifiers("R1", ""), "R1^^^^SR");
    EXPECT_EQ(Hl7PatientIdentifiers("", "2123456701"), "2123456701^^^^MC");
    EXPECT_EQ(Hl7PatientIdentifiers("R1", "2123456701"), "R1^^^^SR~2123456701^^^^MC");

    EXPECT_EQ(Hl7Address("12 Beach Rd Bondi"), "^12 Beach Rd Bondi^^^^^");
    EXPECT_EQ(Hl7Address("12 Beach Rd\rUnit 4\rBondi"), "Unit 4^12 Beach Rd^Bondi^^^^");
    EXPECT_EQ(Hl7Address(""), "^^^^^^");
}

TEST(Hl7LetterWriter, EmptyIdentifiersLeavePid3Empty) {
    TPitFile record = test::FullLetterRecord();
    record.yourReference.clear();
    record.medicareNumber.clear();
    EXPECT_EQ(Field(Segment(WriteBoth(record), "PID"), 3), "");
}

TEST(Hl7LetterWriter, ServiceIsLetterForCorrespondenceTitles) {
    const struct {
        std::string title, expected;
    } cases[] = {
        {"Discharge summary", "^LETTER^^^^"},
        {"REFERAL", "^LETTER^^^^"},
        {"Referral to cardiology", "^LETTER^^^^"},
        {"letter", "^LETTER^^^^"},
        {"Correspondence", "^LETTER^^^^"},
        {"Echo report", "^Echo report^^^^"},
        {"", "^^^^^"},
    };
    for (const auto& c : cases) {
        TPitFile record = test::FullLetterRecord();
        record.messageTitle = c.title;
        const std::string obr = Segment(WriteBoth(record), "OBR");
        EXPECT_EQ(Field(obr, 4), c.expected) << c.title;
        EXPECT_EQ(Field(obr, 5), "") << c.title;
        EXPECT_EQ(Field(obr, 6), "20240305093000") << c.title;
    }
}

TEST(Hl7LetterWriter, DateOfBirthEmptyOrRejected) {
    TPitFile record = test::FullLetterRecord();
    record.dobText.clear();
    EXPECT_EQ(Field(Segment(WriteBoth(record), "PID"), 7), "");
    record.dobText = "not a date";
    EXPECT_EQ(Field(Segment(WriteBoth(record), "PID"), 7), "18991230000000000");
}

// Needs the free-text date reader.
TEST(Hl7LetterWriter, DateOfBirthIsConvertedFromItsText) {
    TPitFile record = test::FullLetterRecord();
    record.dobText = "01/02/1950";
    EXPECT_EQ(Field(Segment(WriteBoth(record), "PID"), 7), "19500201000000000");
}

TEST(Hl7LetterWriter, DefaultsAreStoredInTheRecord) {
    TPitFile record = test::FullLetterRecord();
    record.addressee.email.clear();
    record.orderSuffix = "R7";
    const StringList lines = WriteBoth(record);
    EXPECT_EQ(record.addressee.email, "UKN");
    EXPECT_EQ(StrField(lines[0], '|', 9), "UKN_20240305140709123.");
    EXPECT_EQ(Field(Segment(lines, "ORC"), 2), "2403051407^R7");
    EXPECT_EQ(Field(Segment(lines, "ORC"), 4), "2403051407^R7");

    TPitFile fresh = test::FullLetterRecord();
    WriteBoth(fresh);
    EXPECT_EQ(fresh.orderSuffix, "UNK");
}

TEST(Hl7LetterWriter, ReportKindTwoNamesDoctorOneAsThirdDoctor) {
    TPitFile record = test::FullLetterRecord();
    record.doctors[1].familyName = "Second";
    record.reportKind = 2;
    StringList lines = WriteBoth(record);
    EXPECT_EQ(Field(Segment(lines, "PV1"), 9), "2345678A^Smith^John^^^Dr ");
    EXPECT_EQ(Field(Segment(lines, "ORC"), 12), "2345678A^Second^John^^^Dr ");
    record.reportKind = 1;
    lines = WriteBoth(record);
    EXPECT_EQ(Field(Segment(lines, "PV1"), 9), "3456789B^Jones^Mary^^^Prof ");
}

TEST(Hl7LetterWriter, LineBreaksInsideFieldsNeverSplitASegment) {
    TPitFile record = test::FullLetterRecord();
    record.practiceName = "Harbour\r\nMedical";
    record.patientPhone = "9555 1234\r";
    record.copyTo = "Dr B\nBrown";
    const StringList lines = WriteBoth(record);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(StrField(lines[2], '|', 4), "HarbourMedical");
    EXPECT_EQ(Field(Segment(lines, "OBR"), 28), "Dr BBrown");
}

TEST(Hl7LetterWriter, LettersFromOneClockNeverShareAControlId) {
    FixedClock clock(test::WriterTestNow());
    std::set<std::string> ids;
    for (int i = 0; i < 3; ++i) {
        TPitFile record = test::FullLetterRecord();
        letter::WritePitReport(record, clock);
        letter::WriteHl7Letter(record, clock);
        ids.insert(StrField(Segment(record.hl7Lines, "MSH"), '|', 10));
    }
    EXPECT_EQ(ids, (std::set<std::string>{"20240305.140709123", "20240305.140709124", "20240305.140709125"}));
}

std::string WriteBatchFile(const test::TempDir& dir, const StringList& lines) {
    std::string text;
    for (const auto& segment : lines)
        text += segment + "\r";
    dir.Write("letter.hl7", text);
    return dir.File("letter.hl7");
}

TEST(Hl7LetterWriterInterop, IndependentParserReadsTheBatch) {
    VVP_REQUIRE_HL7_INTEROP();
    TPitFile record = test::FullLetterRecord();
    const StringList lines = WriteBoth(record);
    test::TempDir dir;
    const std::string file = WriteBatchFile(dir, lines);
    std::string error;
    const auto parsed = test::ReadHl7WithInterop(file, false, &error);
    ASSERT_TRUE(parsed) << error;

    EXPECT_EQ(parsed->order, (std::vector<std::string>{"FHS", "BHS", "MSH", "PID", "PV1", "ORC", "OBR", "OBX",
                                                       "BTS", "FTS"}));
    EXPECT_EQ(parsed->messages, 1);
    const struct {
        const char* segment;
        size_t n;
        std::string expected;
    } fields[] = {
        {"FHS", 4, "Harbour Medical Centre"},
        {"FHS", 9, "mary.jones@clinic.example_20240305140709123."},
        {"MSH", 2, "^~\\&"},
        {"MSH", 3, ""},
        {"MSH", 7, "20240305140709123"},
        {"MSH", 9, ""},
        {"MSH", 10, "20240305.140709123"},
        {"MSH", 11, "P"},
        {"MSH", 12, "2.3.1"},
        {"MSH", 15, "NE"},
        {"MSH", 17, "AU"},
        {"PID", 3, "YR-7^^^^SR~2123456701^^^^MC"},
        {"PID", 5, "CITIZEN^Jane^Anne^^Mrs"},
        {"PID", 8, "F"},
        {"PID", 13, "^^^^^02^95551234"},
        {"PV1", 2, "O"},
        {"ORC", 5, "IP"},
        {"ORC", 15, "20240305093000"},
        {"OBR", 4, "^LETTER^^^^"},
        {"OBR", 22, "20240305140709123"},
        {"OBX", 2, "FT"},
        {"OBX", 3, "^^PIT"},
        {"OBX", 5, Hl7FormattedText(record.reportLines)},
        {"OBX", 13, "F"},
    };
    for (const auto& f : fields)
        EXPECT_EQ(parsed->Field(f.segment, f.n), f.expected) << f.segment << "-" << f.n;
    EXPECT_EQ(parsed->FieldCount("OBX"), 13u);
}

TEST(Hl7LetterWriterInterop, EscapedTextReadsBackAsWritten) {
    VVP_REQUIRE_HL7_INTEROP();
    TPitFile record = test::FullLetterRecord();
    record.body = {"Dear Sir", "A|B^C~D&E\\F"};
    const StringList lines = WriteBoth(record);
    test::TempDir dir;
    std::string error;
    const auto parsed = test::ReadHl7WithInterop(WriteBatchFile(dir, lines), true, &error);
    ASSERT_TRUE(parsed) << error;
    const std::string text = parsed->Field("OBX", 5);
    EXPECT_NE(text.find("\\.br\\301 ~SUNDFG01~Dear Sir~EUNDFG99~\\.br\\301 A|B^C~D&E\\F\\.br\\"),
              std::string::npos)
        << text;
    EXPECT_EQ(parsed->FieldCount("OBX"), 13u);
}

// Delimiters typed into free text are escaped, so every field stays where the batch puts it (a
// practice "A|B Clinic" once moved MSH-12) and reads back as typed.
TEST(Hl7LetterWriterInterop, DelimitersInFreeTextStayInTheirFields) {
    VVP_REQUIRE_HL7_INTEROP();
    TPitFile record = test::FullLetterRecord();
    record.practiceName = "A|B Clinic";
    record.messageTitle = "Echo ^ stress~test";
    record.labReference = "LAB|42&7";
    record.copyTo = "Dr B Brown | Dr C ^ Green";
    record.patientAddress = "12 Beach Rd | Rear\\Side";
    record.yourReference = "YR~7";
    record.orderSuffix = "R&D";
    record.addressee.providerNumber = "3456|789B";
    const StringList lines = WriteBoth(record);
    test::TempDir dir;
    std::string error;
    const auto parsed = test::ReadHl7WithInterop(WriteBatchFile(dir, lines), true, &error);
    ASSERT_TRUE(parsed) << error;
    const struct {
        const char* segment;
        size_t n;
        std::string expected;
    } fields[] = {
        {"FHS", 4, "A|B Clinic"},
        {"FHS", 7, "20240305140709123"},
        {"MSH", 4, "A|B Clinic"},
        {"MSH", 10, "20240305.140709123"},
        {"MSH", 11, "P"},
        {"MSH", 12, "2.3.1"},
        {"MSH", 17, "AU"},
        {"PID", 3, "YR~7^^^^SR~2123456701^^^^MC"},
        {"PID", 5, "CITIZEN^Jane^Anne^^Mrs"},
        {"PID", 11, "^12 Beach Rd | Rear\\Side^^^^^"},
        {"PID", 13, "^^^^^02^95551234"},
        {"PV1", 9, "3456|789B^Jones^Mary^^^Prof "},
        {"ORC", 2, "2403051407^R&D"},
        {"ORC", 12, "2345678A^Smith^John^^^Dr "},
        {"OBR", 3, "LAB|42&7"},
        {"OBR", 4, "^Echo ^ stress~test^^^^"},
        {"OBR", 5, ""},
        {"OBR", 6, "20240305093000"},
        {"OBR", 22, "20240305140709123"},
        {"OBR", 28, "Dr B Brown | Dr C ^ Green"},
        {"OBX", 3, "^^PIT"},
        {"OBX", 13, "F"},
    };
    for (const auto& f : fields)
        EXPECT_EQ(parsed->Field(f.segment, f.n), f.expected) << f.segment << "-" << f.n;
    EXPECT_EQ(parsed->FieldCount("MSH"), 20u);
    EXPECT_EQ(parsed->FieldCount("OBR"), 29u);
}

} // namespace
} // namespace vvp
