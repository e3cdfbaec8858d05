#include "OrmWriter.h"

#include "FileUtil.h"
#include "PathNormalisation.h"
#include "QZStringManip.h"
#include "txttopitdefhb262.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vvp::pathology {

namespace {

TDateTime ReportDate(const std::string& text, const Clock& clock) {
    try {
        return FreeTextToDateTimeReport(text, CurrentLocaleDateFormat(clock));
    } catch (...) {
        return kReportDateFailure;
    }
}

// Length after HL7 escaping: each delimiter becomes a three-character sequence.
size_t EscapedSize(const std::string& text) {
    size_t size = text.size();
    for (char c : text)
        if (c == '\\' || c == '|' || c == '^' || c == '~' || c == '&') size += 2;
    return size;
}

std::string PhoneItem(const std::string& phones, int n) {
    return FormatPhone(StrField(phones, ';', n));
}

std::string SecondsSinceMidnight(TDateTime now) {
    const double fraction = now - std::floor(now);
    return std::to_string(static_cast<long>(std::floor(fraction * 86400.0 + 1e-6)));
}

} // namespace

std::string BuildClinicalNotes(tReferralTicks& t) {
    std::string n = t.Notes;
    if (t.Fasting)
        n += "Fasting;";
    else if (t.Random)
        n += "Random (non-Fasting);";

    if (t.Pregnant) {
        n += "Pregnant";
        if (!t.Lnmp.empty()) n += " LNMP " + t.Lnmp;
        if (!t.Edc.empty()) n += " EDC " + t.Edc;
        n += ";";
    } else {
        if (t.OnHormones) n += "On Hormones;";
        if (!t.Lnmp.empty()) n += " LNMP " + t.Lnmp + ";";
        if (t.PostNatal) n += "Post Natal;";
        if (t.PostMenopausal) n += "PostMenopausal;";
    }

    static const char* const sites[] = {"Gynae Cytology Site: Cervix;", "Gynae Cytology Site: Vaginal Vault;",
                                        "Gynae Cytology Site: Endometrium;", "Gynae Cytology Site: Other;"};
    if (t.CytologySite >= 0 && t.CytologySite <= 3) n += sites[t.CytologySite];

    if (t.PastRadiotherapy) n += "Past Radiotherapy;";
    if (t.Iucd) n += "IUCD;";
    if (t.AbnormalBleeding) n += "Abnormal Bleeding;";

    if (t.CervixAppearance == 0)
        n += "Cervical Appearance: Benign;";
    else if (t.CervixAppearance == 1)
        n += "Cervical Appearance: SUSPICIOUS;";

    if (t.Urgent) n += "URGENT ";
    if (!t.FaxResultsTo.empty()) n += "PLEASE FAX RESULTS TO " + t.FaxResultsTo + " ";
    if (!t.PhoneResultsTo.empty()) n += "PLEASE PHONE RESULTS TO " + t.PhoneResultsTo + " ";
    if (!t.ResultsBy.empty()) {
        if (t.FaxResultsTo.empty() && t.PhoneResultsTo.empty()) n += " PLEASE SEND RESULTS ";
        n += "BY " + t.ResultsBy;
    }
    n += ";";

    static const char* const billing[] = {"Billing:Private;",      "Billing:Concession;",
                                          "Billing:BULKBILL;",     "Billing:Veterans;",
                                          "Billing:Work Related;", "Billing:Motor Vehicle Injury;",
                                          "Billing:Defence Force;"};
    if (t.Billing >= 0 && t.Billing <= 6)
        n += billing[t.Billing];
    else if (t.Billing == 7)
        n += "Billing:FUND " + Trim(t.FundCode + " " + t.BillingNumber) + ";";

    if (t.PatientStatus.empty()) t.PatientStatus = "Outpatient";
    if (UpperCase(t.PatientStatus.substr(0, 1)) != "O") n += "Patient Status-" + t.PatientStatus + ";";

    if (t.SelfDetermined) n += "Some Tests are SELF DETERMINED;";
    if (t.Rule3Exempt) n += "Some Tests are RULE 3 EXEMPTED;";
    return StrReplace(n, ";;", ";");
}

size_t EstimateOrderSize(const TPitFile& r) {
    const TDoctorRecord& d = r.Doctors[1];
    const tReferralTicks& t = r.Ticks;
    const size_t doctor = EscapedSize(d.ProviderNo) + EscapedSize(d.FamilyName) + EscapedSize(d.GivenName) +
                          EscapedSize(d.Title) + 32;
    const size_t notes = EscapedSize(t.Notes) + EscapedSize(t.Lnmp) * 2 + EscapedSize(t.Edc) +
                         EscapedSize(t.FaxResultsTo) + EscapedSize(t.PhoneResultsTo) +
                         EscapedSize(t.ResultsBy) + EscapedSize(t.FundCode) + EscapedSize(t.BillingNumber) +
                         EscapedSize(t.PatientStatus) + 600;
    const size_t number = std::max(EscapedSize(r.OrderNo), EscapedSize(r.YourRef)) + 12;
    const size_t perPair = doctor * 3 + EscapedSize(d.Address) * 2 + notes + EscapedSize(r.CopyToText) * 2 +
                           number * 4 + EscapedSize(r.SendingFacility) * 2 + EscapedSize(r.SendingApp) + 200;
    size_t tests = 0;
    for (char c : r.Tests)
        tests += c == ';';
    return (tests + 1) * perPair + EscapedSize(r.Tests) + EscapedSize(r.Address) * 2 +
           EscapedSize(r.Phones) * 2 + 4096;
}

void WriteOrmMessage(TPitFile& r, const std::string& orderNumber, const Clock& clock) {
    const TDateTime now = clock.TakeStamp(StampUnit::Second);
    const std::string zone = FormatZoneSuffix(clock.UtcOffsetMinutes());
    const std::string stamp = FormatDateTime("yyyymmddhhnnss", now);
    const std::string t1 = FormatDateTime("yyyymmddhhnnss.zzz", now) + zone;
    const std::string t2 = stamp + zone;

    std::string n = orderNumber;
    if (n.empty()) n = r.OrderNo;
    if (n.empty()) n = SecondsSinceMidnight(now);
    n = Hl7Escape(n);
    const std::string priority = r.Ticks.Urgent ? "S" : "R";
    // The laboratory file's HL7 values may be composites on purpose; names and addresses are not.
    const std::string f1 = Hl7Escape(StrBefore(r.SendingFacility, "^"));
    const std::string sendingFacility = Hl7EscapeKeepingComponents(r.SendingFacility);
    const std::string sendingApp = Hl7EscapeKeepingComponents(r.SendingApp);
    const std::string receivingApp = Hl7EscapeKeepingComponents(r.ReceivingApp);
    const std::string receivingFacility =
        r.ReceivingFacility.empty() ? Hl7Escape(r.LabName) : Hl7EscapeKeepingComponents(r.ReceivingFacility);
    const std::string labAddress = r.LabEAddress().empty() ? "UKN" : Hl7Escape(r.LabEAddress());

    std::string text;
    auto segment = [&text](const std::string& s) { text += s + "\n"; };

    const std::string fhs = "FHS|^~\\&|" + sendingApp + "|" + f1 + "|" + receivingApp + "|" +
                            receivingFacility + "|" + t1 + "||" + labAddress + "_" + t1 + ".ORM||" + n;
    segment(fhs);
    segment("BHS" + fhs.substr(3));
    segment("MSH|^~\\&|" + sendingApp + "|" + sendingFacility + "|" + receivingApp + "|" + receivingFacility +
            "|" + t1 + "||ORM^O01^ORM_O01|" + f1 + "_" + t1.substr(0, 8) + "." + t1.substr(8, 6) +
            "|P|2.3.1|" + n + "||AL|AL|AUS|||");

    std::string dob;
    if (!r.DobText.empty()) dob = FormatDateTime("yyyymmddhhnnsszzz", ReportDate(r.DobText, clock));
    segment("PID|1||" + BuildPatientIdentifiers(r) + "||" + FormatPersonName(r, 0) + "||" + dob + "|" +
            Hl7Escape(r.Sex) + "|||" + FormatPatientAddress(r) + "||" + PhoneItem(r.Phones, 1) + "|" +
            PhoneItem(r.Phones, 2) + "||||||");

    if (r.Ticks.PatientStatus.empty()) r.Ticks.PatientStatus = "O";
    const std::string patientClass = UpperCase(r.Ticks.PatientStatus.substr(0, 1));
    const std::string doctor = FormatDoctor(r, 1);
    segment("PV1|1|" + Hl7Escape(patientClass) + "|" +
            (patientClass == "I" || patientClass == "E" ? "^^^" + f1 : "") + "||||||" + doctor + "|" +
            doctor + "|||||||||||" + BillingCode(r));

    const std::string doctorAddress = FormatDoctorAddress(r, 1);
    const std::string copyTo = BuildCopyToDoctors(r);
    int j = 0;
    size_t start = 0;
    while (start <= r.Tests.size()) {
        size_t end = r.Tests.find(';', start);
        if (end == std::string::npos) end = r.Tests.size();
        const std::string test = r.Tests.substr(start, end - start);
        start = end + 1;
        if (test.empty()) continue;
        const std::string placer = n + "-" + std::to_string(j) + "^" + f1;
        segment("ORC|NW|" + placer + "||" + n + "^" + sendingFacility + "|IP||||" + t2 + "|||" + doctor +
                "||||" + doctorAddress);
        segment("OBR|" + std::to_string(j + 1) + "|" + placer + "||^" + Hl7Escape(test) + "^" +
                Hl7Escape(r.SendingApp) + "||||||L|L||" + Hl7Escape(BuildClinicalNotes(r.Ticks)) + "|||" +
                doctor + "|||||||||||^^^" + t2 + "^^" + priority + "|" + copyTo);
        ++j;
    }
    segment("BTS|1||");
    segment("FTS|1|" + n + "|");
    r.Lines = SplitLines(text);
}

namespace {

std::mutex g_counterMutex;

// Opens and locks the counter file; reopens when another process replaced it while we waited.
Result<int> OpenLocked(const std::string& path) {
    for (;;) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) return ErrnoError("Cannot open " + path, errno);
        if (flock(fd, LOCK_EX) != 0) {
            int err = errno;
            close(fd);
            return ErrnoError("Cannot lock " + path, err);
        }
        struct stat opened {
        }, current{};
        if (fstat(fd, &opened) == 0 && stat(path.c_str(), &current) == 0 && opened.st_ino == current.st_ino &&
            opened.st_dev == current.st_dev)
            return fd;
        close(fd);
    }
}

Result<int> TakeOnce(const std::string& path) {
    auto fd = OpenLocked(path);
    if (!fd) return fd.error();
    std::string content;
    char buffer[256];
    ssize_t got;
    while ((got = read(*fd, buffer, sizeof buffer)) > 0 && content.size() < 4096)
        content.append(buffer, static_cast<size_t>(got));
    if (got < 0) {
        int err = errno;
        close(*fd);
        return ErrnoError("Cannot read " + path, err);
    }
    const StringList lines = SplitLines(content);
    const int number = StrToIntDef(lines.empty() ? "1" : lines.front(), 1);
    auto written = WriteFileAtomically(path, std::to_string(static_cast<long long>(number) + 1) + "\r\n");
    close(*fd);
    if (!written) return written.error();
    return number;
}

} // namespace

Result<int> TakeGroupCounter(const std::string& programFolder) {
    const std::string path =
        ResolveFileNameNoCase(IncludeTrailingSeparator(programFolder), kGroupCounterFileName);
    std::lock_guard lock(g_counterMutex);
    Error last;
    for (int attempt = 0; attempt < 6; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(150));
        auto n = TakeOnce(path);
        if (n) return n;
        last = n.error();
    }
    return last;
}

int NextGroupCounter(const std::string& programFolder) {
    return TakeGroupCounter(programFolder).value_or(-1);
}

} // namespace vvp::pathology
