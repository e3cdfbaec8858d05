#include "QZStringManip.h"
#include "txttopitdefhb262.h"

#include <cctype>

namespace vvp {

namespace {

bool KeptInFormattedText(const std::string& line) {
    if (line.size() < 3) return false;
    for (size_t i = 0; i < 3; ++i)
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
    const int code = std::stoi(line.substr(0, 3));
    return code >= 100 && code <= 390;
}

std::string ReplaceChars(std::string text, const std::string& characters, char replacement) {
    for (auto& c : text)
        if (characters.find(c) != std::string::npos) c = replacement;
    return text;
}

// What a phone number becomes when it cannot be read as country, area and local parts.
std::string UnstructuredPhone(const std::string& phone) {
    return "^^^^^^" + Hl7Escape(StrStrip(phone, " .,-()|~^"));
}

const char* EscapeSequence(char c) {
    switch (c) {
    case '\\':
        return "\\E\\";
    case '|':
        return "\\F\\";
    case '^':
        return "\\S\\";
    case '~':
        return "\\R\\";
    case '&':
        return "\\T\\";
    default:
        return nullptr;
    }
}

std::string EscapeExcept(const std::string& value, char kept) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const char* sequence = c == kept ? nullptr : EscapeSequence(c);
        if (sequence)
            out += sequence;
        else
            out += c;
    }
    return out;
}

} // namespace

std::string Hl7Escape(const std::string& value) {
    return EscapeExcept(value, '\0');
}

std::string Hl7EscapeKeepingComponents(const std::string& value) {
    return EscapeExcept(value, '^');
}

std::string Hl7EscapeFormattedText(const std::string& text) {
    std::string out = StrReplace(text, "\\", "\\E\\");
    out = StrReplace(out, "\r\n", "\\.br\\");
    out = StrReplace(out, "~", "\\R\\");
    out = StrReplace(out, "|", "\\F\\");
    out = StrReplace(out, "&", "\\T\\");
    out = StrReplace(out, "\t", "\\sk5\\");
    return StrReplace(out, "^", "\\S\\");
}

std::string Hl7FormattedText(const StringList& reportLines) {
    StringList kept;
    for (const auto& line : reportLines)
        if (KeptInFormattedText(line)) kept.push_back(line);
    return "\\.nf\\" + Hl7EscapeFormattedText(JoinLines(kept)) + "\\.fi\\";
}

std::string Hl7FamilyName(const std::string& family) {
    return Hl7Escape(ReplaceChars(family, "\\^|~", ' '));
}

std::string Hl7GivenNames(const std::string& given) {
    std::string out = Hl7Escape(ReplaceChars(given, "^.,~\\|", ' '));
    const auto space = out.find(' ');
    if (space != std::string::npos)
        out[space] = '^';
    else
        out += '^';
    return out;
}

std::string Hl7NamePrefix(const std::string& prefix) {
    return Hl7Escape(StrStrip(prefix, "^|~"));
}

std::string Hl7PersonName(const std::string& family, const std::string& given, const std::string& prefix) {
    return Hl7FamilyName(family) + "^" + Hl7GivenNames(given) + "^^" + Hl7NamePrefix(prefix);
}

std::string Hl7Doctor(const std::string& providerNumber, const std::string& family, const std::string& given,
                      const std::string& prefix) {
    return Hl7Escape(providerNumber) + "^" + Hl7PersonName(family, given, prefix);
}

std::string Hl7Phone(const std::string& phone) {
    std::string text = phone;
    while (text.find("  ") != std::string::npos)
        text = StrReplace(text, "  ", " ");

    std::string country, area, local;
    int counter = 0;
    for (size_t i = text.size(); i-- > 0;) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            ++counter;
            if (counter >= 1 && counter <= 8)
                local.insert(local.begin(), c);
            else if (counter >= 9 && counter <= 11)
                area.insert(area.begin(), c);
            else if (counter >= 12 && counter <= 15)
                country.insert(country.begin(), c);
            else
                return UnstructuredPhone(text);
        } else if (c == ')') {
            if (counter < 9) counter = 8;
        } else if (c == '(') {
            if (counter < 12) counter = 10;
        } else if (c == ' ' || c == ',' || c == '-') {
            if (counter == 0) return UnstructuredPhone(text);
            if (counter >= 6 && counter <= 8)
                counter = 8;
            else if (counter >= 9 && counter <= 11)
                counter = 10;
        }
    }
    return "^^^^" + country + "^" + area + "^" + local;
}

std::string Hl7Address(const std::string& address) {
    std::string field[6];
    for (int i = 0; i < 6; ++i)
        field[i] = Hl7Escape(StrField(address, '\r', i + 1));
    return field[1] + "^" + field[0] + "^" + field[2] + "^" + field[3] + "^" + field[4] + "^" + field[5] +
           "^";
}

std::string Hl7PatientIdentifiers(const std::string& yourReference, const std::string& medicareNumber) {
    std::string out;
    if (!yourReference.empty()) out = Hl7Escape(yourReference) + "^^^^SR";
    if (!medicareNumber.empty()) out += (out.empty() ? "" : "~") + Hl7Escape(medicareNumber) + "^^^^MC";
    return out;
}

namespace letter {

namespace {

bool IsLetterTitle(const std::string& title) {
    const std::string upper = UpperCase(title);
    for (const char* word : {"REFERAL", "REFERRAL", "LETTER", "SUMMARY", "CORRESPONDENCE"})
        if (upper.find(word) != std::string::npos) return true;
    return false;
}

// A line break inside a field would end the segment early wherever the batch is read.
std::string OneSegment(std::string segment) {
    std::erase(segment, '\r');
    std::erase(segment, '\n');
    return segment;
}

} // namespace

std::string Hl7DoctorComponents(const TDoctorRecord& doctor) {
    return Hl7Doctor(doctor.providerNumber, doctor.familyName, doctor.givenNames, doctor.title);
}

void WriteHl7Letter(TPitFile& record, const Clock& clock) {
    const std::string ts17 = FormatDateTime("yyyymmddhhnnsszzz", clock.TakeStamp(StampUnit::Millisecond));
    const std::string ts10 = ts17.substr(2, 10);
    const std::string req14 = FormatDateTime("yyyymmddhhnnss", record.requestedDate);
    const std::string coll14 = FormatDateTime("yyyymmddhhnnss", record.collectedDate);

    if (record.addressee.email.empty()) record.addressee.email = "UKN";
    if (record.orderSuffix.empty()) record.orderSuffix = "UNK";

    const std::string doctor1 = Hl7DoctorComponents(record.doctors[0]);
    const std::string doctor2 = Hl7DoctorComponents(record.doctors[1]);
    const std::string pv1Third = record.reportKind == 2 ? doctor1 : Hl7DoctorComponents(record.addressee);
    const std::string dob =
        record.dobText.empty()
            ? std::string()
            : FormatDateTime("yyyymmddhhnnsszzz",
                             FreeTextToDateTimeReport(record.dobText, CurrentLocaleDateFormat(clock)));
    const std::string service =
        IsLetterTitle(record.messageTitle) ? "^LETTER^^^^|" : "^" + Hl7Escape(record.messageTitle) + "^^^^|";
    const std::string order = ts10 + "^" + Hl7Escape(record.orderSuffix);
    const std::string practice = Hl7Escape(record.practiceName);

    const std::string fhs = "FHS|^~\\&|" + std::string("|") + practice + "|" + "|UNK|" + ts17 + "||" +
                            Hl7Escape(record.addressee.email) + "_" + ts17 + "." + "||||";
    StringList& out = record.hl7Lines;
    out.clear();
    out.push_back(fhs);
    out.push_back("BHS" + fhs.substr(3));
    out.push_back("MSH|^~\\&|" + std::string("|") + practice + "|" + "|UNK|" + ts17 + "||" + "|" +
                  ts17.substr(0, 8) + "." + ts17.substr(8) + "|P|2.3.1|1||NE|AL|AU|||");
    out.push_back("PID|1||" + Hl7PatientIdentifiers(record.yourReference, record.medicareNumber) + "||" +
                  Hl7PersonName(record.patientSurname, record.patientGivenNames, record.patientTitle) + "||" +
                  dob + "|" + Hl7Escape(record.sex) + "|||" + Hl7Address(record.patientAddress) + "||" +
                  Hl7Phone(record.patientPhone) + "|||||||");
    out.push_back("PV1|1|O|||||" + doctor1 + "|" + doctor1 + "|" + pv1Third + "|");
    out.push_back("ORC|NW|" + order + "|3|" + order + "|IP||||" + req14 + "|10|11|" + doctor2 + "|||" +
                  req14 + "|||");
    out.push_back("OBR|1|" + ts10 + "^^^|" + Hl7Escape(record.labReference) + "|" + service + "|" + req14 +
                  "|" + coll14 + "|" + coll14 + "|O||||" + doctor1 + "|" + coll14 + "||||||||" + ts17 +
                  "||||||" + Hl7Escape(record.copyTo) + "|");
    out.push_back("OBX|1|FT|^^PIT||" + Hl7FormattedText(record.reportLines) + "||||||||F");
    out.push_back("BTS|1||");
    out.push_back("FTS|1|");
    for (auto& segment : out)
        segment = OneSegment(std::move(segment));
}

} // namespace letter

} // namespace vvp
