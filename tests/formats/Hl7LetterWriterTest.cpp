#include "Hl7Interop.h"
#include "LetterRecordFixture.h"
#include "QZStringManip.h"
#include "TestSupport.h"
#include "txttopitdefhb262.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    auto it = std::find_if(lines.begin(), lines.end(), [&](const std::string& s) { return s.rfind(name + "|", 0) == 0; });
    return it == lines.end() ? none : *it;
}

// Field n of a segment other than MSH/FHS/BHS, as a plain split at "|" sees it.
std::string Field(const std::string& segment, int n) { return StrField(segment, '|', n + 1); }

TEST(Hl7LetterWriter, FullLetterBatch) {
    TPitFile record = test::FullLetterRecord();
    record.dobText.clear();
    const StringList lines = WriteBoth(record);

    const std::string doctor = "2345678A^Smith^John^^^Dr ";
    const std::string formatted =
        "\\.nf\\"
        "100 Start Patient  :      CITIZEN,Jane Anne\\.br\\"
        "101                       12 Beach Rd Bondi NSW 2026\\.br\\"
        "104                       Birthdate:                Age: Y00.0 Sex: F\\.br\\"
        "109\\.br\\"
        "110 Your Reference :      YR-7\\.br\\"
        "111 Lab Reference  :      LAB42\\.br\\"
        "112 Medicare Number:      2123456701\\.br\\"
        "115 Phone Enquiries:      02 9555 0000\\.br\\"
        "119\\.br\\"
        "121 Referred By    :      Dr  John Smith                        2345678A\\.br\\"
        "122 Copy To        :      Dr B Brown\\.br\\"
        "123 Addressee      :      Prof  Mary Jones                        3456789B\\.br\\"
        "129\\.br\\"
        "200 Start of Result:      \\.br\\"
        "201        Specimen:      Referral\\.br\\"
        "203       Requested:      05/03/2024 09:30\\.br\\"
        "204       Collected:      05/03/2024 09:30\\.br\\"
        "205    Name of Test:      Referral letter\\.br\\"
        "206        Reported:      05/03/2024 14:07:09\\.br\\"
        "207    Confidential:      \\.br\\"
        "208   Test Category:      \\.br\\"
        "210   Normal Result:      \\.br\\"
        "299\\.br\\"
        "301 ------------------------------------------------------------------\\.br\\"
        "301 \\R\\SUNDFG01\\R\\Dear Mary,\\R\\EUNDFG99\\R\\\\.br\\"
        "301 \\.br\\"
        "301 Thank you for seeing Mrs Citizen, a 74 year old woman with a \\.br\\"
        "301 three month history of exertional chest pain and \\.br\\"
        "301 breathlessness.\\.br\\"
        "301 \\.br\\"
        "301 Current medications:\\.br\\"
        "301   Aspirin 100mg daily\\.br\\"
        "301 ============================================================\\.br\\"
        "301 Yours sincerely,\\.br\\"
        "301 \\.br\\"
        "301 John Smith\\.br\\"
        "301 <#SIGNATURE DETAILS>\\.br\\"
        "309\\.br\\"
        "390 End of Report  :\\.br\\"
        "\\.fi\\";
    const StringList expected = {
        "FHS|^~\\&||Harbour Medical Centre||UNK|20240305140709123||mary.jones@clinic.example_20240305140709123.||||",
        "BHS|^~\\&||Harbour Medical Centre||UNK|20240305140709123||mary.jones@clinic.example_20240305140709123.||||",
        "MSH|^~\\&||Harbour Medical Centre||UNK|20240305140709123|||20240305.140709123|P|2.3.1|1||NE|AL|AU|||",
        "PID|1||YR-7^^^^SR~2123456701^^^^MC||CITIZEN^Jane^Anne^^Mrs|||F|||Bondi NSW 2026^12 Beach Rd^^^^^||"
        "^^^^^02^95551234|||||||",
        "PV1|1|O|||||" + doctor + "|" + doctor + "|3456789B^Jones^Mary^^^Prof |",
        "ORC|NW|2403051407^UNK|3|2403051407^UNK|IP||||20240305093000|10|11|" + doctor + "|||20240305093000|||",
        "OBR|1|2403051407^^^|LAB42|^LETTER^^^^||20240305093000|20240305093000|20240305093000|O||||" + doctor +
            "|20240305093000||||||||20240305140709123||||||  Dr B Brown  |",
        "OBX|1|FT|^^PIT||" + formatted + "||||||||F",
        "BTS|1||",
        "FTS|1|",
    };
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "segment " << i + 1;
}

TEST(Hl7LetterWriter, FormattedTextEscapesDelimitersOnce) {
    const StringList report = {"001 Practice", "301 A|B^C~D&E\\F", "999 END"};
    EXPECT_EQ(Hl7FormattedText(report), "\\.nf\\301 A\\F\\B\\S\\C\\R\\D\\T\\E\\E\\F\\.br\\\\.fi\\");
    EXPECT_EQ(Hl7EscapeFormattedText("a\tb\r\nc"), "a\\sk5\\b\\.br\\c");
    EXPECT_EQ(Hl7EscapeFormattedText("\\.br\\"), "\\E\\.br\\E\\");
}

TEST(Hl7LetterWriter, FormattedTextKeepsOnlyLinesCoded100To390) {
    const StringList report = {"001 a", "029 b", "099 c", "100 d", "301 e", "390 f", "391 g", "399 h", "999 i", "30", ""};
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
        {"Lee", "Ann,Marie", "Ms\\", "Lee^Ann^Marie^^Ms\\"},
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
    for (const auto& c : cases) EXPECT_EQ(Hl7Phone(c.phone), c.expected) << c.phone;
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
        {"Discharge summary", "^LETTER^^^^"}, {"REFERAL", "^LETTER^^^^"},     {"Referral to cardiology", "^LETTER^^^^"},
        {"letter", "^LETTER^^^^"},            {"Correspondence", "^LETTER^^^^"}, {"Echo report", "^Echo report^^^^"},
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

std::string WriteBatchFile(const test::TempDir& dir, const StringList& lines) {
    std::string text;
    for (const auto& segment : lines) text += segment + "\r";
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

    EXPECT_EQ(parsed->order,
              (std::vector<std::string>{"FHS", "BHS", "MSH", "PID", "PV1", "ORC", "OBR", "OBX", "BTS", "FTS"}));
    EXPECT_EQ(parsed->messages, 1);
    EXPECT_EQ(parsed->Field("FHS", 4), "Harbour Medical Centre");
    EXPECT_EQ(parsed->Field("FHS", 9), "mary.jones@clinic.example_20240305140709123.");
    EXPECT_EQ(parsed->Field("MSH", 2), "^~\\&");
    EXPECT_EQ(parsed->Field("MSH", 3), "");
    EXPECT_EQ(parsed->Field("MSH", 7), "20240305140709123");
    EXPECT_EQ(parsed->Field("MSH", 9), "");
    EXPECT_EQ(parsed->Field("MSH", 10), "20240305.140709123");
    EXPECT_EQ(parsed->Field("MSH", 11), "P");
    EXPECT_EQ(parsed->Field("MSH", 12), "2.3.1");
    EXPECT_EQ(parsed->Field("MSH", 15), "NE");
    EXPECT_EQ(parsed->Field("MSH", 17), "AU");
    EXPECT_EQ(parsed->Field("PID", 3), "YR-7^^^^SR~2123456701^^^^MC");
    EXPECT_EQ(parsed->Field("PID", 5), "CITIZEN^Jane^Anne^^Mrs");
    EXPECT_EQ(parsed->Field("PID", 8), "F");
    EXPECT_EQ(parsed->Field("PID", 13), "^^^^^02^95551234");
    EXPECT_EQ(parsed->Field("PV1", 2), "O");
    EXPECT_EQ(parsed->Field("ORC", 5), "IP");
    EXPECT_EQ(parsed->Field("ORC", 15), "20240305093000");
    EXPECT_EQ(parsed->Field("OBR", 4), "^LETTER^^^^");
    EXPECT_EQ(parsed->Field("OBR", 22), "20240305140709123");
    EXPECT_EQ(parsed->Field("OBX", 2), "FT");
    EXPECT_EQ(parsed->Field("OBX", 3), "^^PIT");
    EXPECT_EQ(parsed->Field("OBX", 5), Hl7FormattedText(record.reportLines));
    EXPECT_EQ(parsed->Field("OBX", 13), "F");
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
    EXPECT_NE(text.find("\\.br\\301 ~SUNDFG01~Dear Sir~EUNDFG99~\\.br\\301 A|B^C~D&E\\F\\.br\\"), std::string::npos)
        << text;
    EXPECT_EQ(parsed->FieldCount("OBX"), 13u);
}

} // namespace
} // namespace vvp
