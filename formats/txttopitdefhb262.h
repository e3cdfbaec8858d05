#pragma once

// The letter form of the message record, the PIT report writer and the HL7 v2.3.1 letter writer.
// The pathology request has its own record of the same name with another layout, so this one
// lives in vvp::letter.

#include "Clock.h"
#include "DateTime.h"
#include "TextLines.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vvp {

namespace letter {

struct TDoctorRecord {
    std::string familyName; // the whole printed name when it had no comma
    std::string givenNames;
    std::string providerNumber;
    std::string address;
    std::string phone;
    std::string furtherText1;
    std::string furtherText2;
    std::string email;
    std::string title; // stored with one trailing space
    std::string code;  // ten characters, shown in PIT line 010
    bool flag = false; // set for the addressee by message creation
};

struct Theaderlistrecord {
    std::string text;
    int position = 0;
    int length = 0;
};

inline constexpr size_t kDoctorCount = 10;
inline constexpr const char* kResetAge = "00.0 ";

class TPitFile {
public:
    TPitFile() = default;

    // Empties the doctors' and addressee's personal parts, the patient, the body, copy-to and the
    // date texts; age goes back to "00.0 ".
    void ClearPatient();
    // Everything back to its initial state.
    void Clear();

    std::string practiceName;
    std::string enquiriesPhone;
    StringList listA;
    StringList reportLines;
    StringList hl7Lines;
    StringList listB;
    int smallCount = 0;
    std::array<TDoctorRecord, kDoctorCount> doctors; // doctor 1 is index 0
    TDoctorRecord addressee;

    // Filled and read by message creation only.
    std::string letterHead;
    std::string reportPrinter;
    std::string messageFormat;
    bool signingAsked = false;
    bool paperCopyAsked = false;

    uint8_t reportKind = 0; // 1 adds "Report data as at"; 2 sends doctor 1 as PV1-9
    std::string patientSurname;
    std::string patientGivenNames;
    std::string patientTitle;
    std::string dobText;
    TDateTime dob = 0;
    std::string labReference;
    std::string yourReference;
    std::string sex;
    std::string age = kResetAge;
    std::string patientAddress;
    std::string patientText1;
    std::string patientText2;
    std::string medicareNumber;
    std::string patientPhone;
    int patientNumber = 0;
    std::string messageTitle;
    uint8_t messageFlag1 = 0;
    uint8_t messageFlag2 = 0;
    std::string requestedDateText;
    TDateTime requestedDate = 0;
    std::string collectedDateText;
    TDateTime collectedDate = 0;
    std::string messageDateText;
    TDateTime messageDate = 0;
    StringList body;
    std::string copyTo;
    std::vector<Theaderlistrecord> headerList;
    std::string specimen;
    std::string orderSuffix;
    std::string spareText;
    uint8_t spareFlag = 0;
    bool acknowledgementFlag = false;
    bool signatureFlag = false;
    std::string resultFileText;
};

// Fills record.reportLines with the PIT report. The body is left as it was given.
void WritePitReport(TPitFile& record, const Clock& clock);

// Fills record.hl7Lines with the HL7 letter batch, one segment per item; needs the report lines
// of WritePitReport. An empty addressee e-mail becomes "UKN" and an empty order suffix "UNK".
// The control id names the millisecond; a repeat waits for the next one.
void WriteHl7Letter(TPitFile& record, const Clock& clock);

// XCN of a doctor record: provider number "^" family "^" given "^" middle "^^" title.
std::string Hl7DoctorComponents(const TDoctorRecord& doctor);

} // namespace letter

// Conventions the HL7 writers share. Free text inside a field is escaped, so a delimiter typed by
// the user never moves a field; the separators the writers place themselves stay.

// Backslash, "|", "^", "~" and "&" as "\E\", "\F\", "\S\", "\R\" and "\T\"; other text unchanged.
std::string Hl7Escape(const std::string& value);
// For a configured value that is a composite on purpose ("facility^id^type"): its "^" stay.
std::string Hl7EscapeKeepingComponents(const std::string& value);

// The text of OBX-5: report lines coded 100 to 390, escaped and wrapped in "\.nf\" ... "\.fi\".
std::string Hl7FormattedText(const StringList& reportLines);
// Escapes backslash, CR LF, "~", "|", "&", TAB and "^", in that order.
std::string Hl7EscapeFormattedText(const std::string& text);

std::string Hl7FamilyName(const std::string& family);
std::string Hl7GivenNames(const std::string& given); // "given^middle names", always with one "^"
std::string Hl7NamePrefix(const std::string& prefix);
// XPN: family "^" given "^" middle "^^" prefix.
std::string Hl7PersonName(const std::string& family, const std::string& given, const std::string& prefix);
std::string Hl7Doctor(const std::string& providerNumber, const std::string& family, const std::string& given,
                      const std::string& prefix);

// XTN of a free-text phone number: "^^^^" country "^" area "^" local.
std::string Hl7Phone(const std::string& phone);
// XAD of an address whose lines are split at CR: line 2 "^" line 1 "^" lines 3 to 6, each closed by "^".
std::string Hl7Address(const std::string& address);
// CX repetitions: your reference as "SR", Medicare number as "MC".
std::string Hl7PatientIdentifiers(const std::string& yourReference, const std::string& medicareNumber);

} // namespace vvp
