#pragma once

// The order form of the request record, the printed-request parser and request creation.
// The letter form of TPitFile lives in formats/txttopitdefhb262.h (namespace vvp::letter); the two
// share names, not layout, so this one sits in vvp::pathology.

#include "Clock.h"
#include "DateTime.h"
#include "TextLines.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace vvp::pathology {

// Tick boxes and free fields of the request form, edited in the pathology details dialog.
struct tReferralTicks {
    bool Fasting = false;
    bool Random = false;
    bool Pregnant = false;
    bool OnHormones = false;
    std::string Lnmp;
    std::string Edc;
    int CytologySite = -1; // 0 cervix, 1 vaginal vault, 2 endometrium, 3 other
    bool PostNatal = false;
    bool PostMenopausal = false;
    bool PastRadiotherapy = false;
    bool Iucd = false;
    bool AbnormalBleeding = false;
    int CervixAppearance = -1; // 0 benign, 1 suspicious
    int Billing = -1;          // 0 private .. 7 health fund, see BillingCode
    bool Urgent = false;
    std::string PhoneResultsTo;
    std::string FaxResultsTo;
    std::string ResultsBy;
    std::string BillingNumber;
    std::string Notes;
    bool SelfDetermined = false;
    std::string PatientStatus;
    bool Rule3Exempt = false;
    std::string FundCode;

    void Reset() { *this = tReferralTicks{}; }
};

struct TDoctorRecord {
    std::string FamilyName;
    std::string GivenName;
    std::string ProviderNo;
    std::string Address; // up to three lines joined by ";"
    std::string Phone;
    std::string Fax;
    std::string Title;
    std::string EAddress; // electronic address; for the Recipient record this is LabEAddress
};

// One printed pathology request and the order made from it.
class TPitFile {
public:
    static constexpr int kDoctorSlots = 10;

    StringList Lines; // HL7 segments of the order, one per entry
    // Slots 1 to 10 are used; slot 1 is the requesting doctor. Index 0 stays empty.
    std::array<TDoctorRecord, kDoctorSlots + 1> Doctors;
    TDoctorRecord Recipient;
    std::string LabName;
    std::string Surname;
    std::string GivenNames;
    std::string Title;
    std::string DobText;
    TDateTime Dob = 0;
    std::string YourRef;
    std::string Sex;
    std::string Address; // patient address lines joined by ";"
    std::string Phones;  // up to two phone texts joined by ";"
    std::string MedicareNo;
    std::uint8_t MedicareIrn = 0;
    std::string Tests; // ";"-separated after parsing
    std::string RequestDateText;
    TDateTime RequestDate = 0;
    std::string CopyToText;
    std::string Error;
    tReferralTicks Ticks;
    std::string SendingFacility;
    std::string SendingApp;
    std::string ReceivingFacility;
    std::string ReceivingApp;
    std::string OrderNo;

    std::string& LabEAddress() { return Recipient.EAddress; }
    const std::string& LabEAddress() const { return Recipient.EAddress; }
};

// The reasons the parser gives; the caller maps them to its result words.
inline constexpr const char* kInsufficientData = "Insufficient data to Create Request";
inline constexpr const char* kUserCancelled = "User Cancelled";

// True when value occurs in any of lines[index + 2 ..]; the line right after index is not searched.
bool IsRepeatedBelow(const StringList& lines, const std::string& value, size_t index);

// Reads the printout into the record without asking anybody: clears and then sets Error, ends with
// the completeness check. Safe on arbitrary bytes.
void ParsePrintedRequest(const std::string& jobText, TPitFile& record);

// Whether request creation would make a request of this page before asking the user anything:
// the parser reads it through (a missing phone only is still a request). Shows nothing.
bool IsPrintedRequest(std::string_view page);

class PathologyDialogs;

// Prints the paper request form after the user confirmed the request; it may trim the record's tests.
using RequestFormPrinter = std::function<void(const std::string& reportPrinter, TPitFile& record)>;

// State that outlives one request: the practice's section of the laboratory file.
class PathologyModuleState {
public:
    std::string PracticeText() const {
        std::lock_guard lock(m_mutex);
        return m_practiceText;
    }
    void SetPracticeText(const std::string& text) {
        std::lock_guard lock(m_mutex);
        m_practiceText = text;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_practiceText;
};

// What request creation needs from the program; one per program, shared by the job threads.
struct PathologyContext {
    PathologyContext(const Clock& clock, PathologyDialogs& dialogs, std::string programFolder,
                     RequestFormPrinter printRequestForm = {})
        : clock(clock), dialogs(dialogs), programFolder(std::move(programFolder)),
          printRequestForm(std::move(printRequestForm)) {}

    const Clock& clock;
    PathologyDialogs& dialogs;
    std::string programFolder; // with a trailing separator
    RequestFormPrinter printRequestForm;
    PathologyModuleState state;
};

// Parses, then lets the user complete the request (details dialog, laboratory and practice
// sections). Error is "User Cancelled" on Cancel, or the reason the dialogs could not complete it.
void ParsePrintedRequest(const std::string& jobText, TPitFile& record, PathologyContext& context);

// The whole request: parse, complete, print the form, write the order. Returns
// LabEAddress + ":ORM" CR LF + the segments each ended by CR; "" when the page is not a request;
// "User Cancelled"; or "ERROR: " + reason, also when the chosen laboratory has no electronic
// address (the paper form is printed all the same).
std::string CreatePathologyRequest(const std::string& jobText, const std::string& reportPrinter,
                                   PathologyContext& context);

} // namespace vvp::pathology
