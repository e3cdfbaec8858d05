#include "QZStringManip.h"
#include "txttopitdefhb262.h"

#include <algorithm>

namespace vvp::letter {

namespace {

constexpr size_t kLineColumns = 64; // "301 " plus 60 columns of text
constexpr size_t kTextColumns = 60;
const std::string kTextPrefix = "301 ";
const std::string kFirstLineStart = "~SUNDFG01~"; // marks the first line for the receiving system
const std::string kFirstLineEnd = "~EUNDFG99~";

std::string Dashes(size_t n) {
    return std::string(n, '-');
}

std::string NameOf(const TDoctorRecord& doctor) {
    return doctor.givenNames + " " + doctor.familyName;
}

std::string TitleOf(const TDoctorRecord& doctor) {
    return doctor.title.empty() ? "" : doctor.title + " ";
}

// Columns a word takes: "~S...~" and "~E...~" tags take none; any other "~x" shows as two.
size_t VisibleWidth(const std::string& word) {
    size_t width = 0;
    for (size_t i = 0; i < word.size();) {
        if (word[i] == '~' && i + 1 < word.size()) {
            if (word[i + 1] == 'S' || word[i + 1] == 'E') {
                const auto close = word.find('~', i + 1);
                if (close != std::string::npos) {
                    i = close + 1;
                    continue;
                }
            }
            width += 2;
            i += 2;
            continue;
        }
        ++width;
        ++i;
    }
    return width;
}

bool IsRule(const std::string& word) {
    return !word.empty() && word.find_first_not_of(word[0]) == std::string::npos;
}

// Fills 64-column "301 " lines word by word. A CR ends a printed line; blanks separate words.
class BodyWrapper {
public:
    explicit BodyWrapper(StringList& out) : m_out(out) {}

    void Wrap(const std::string& text) {
        size_t pos = 0;
        while (pos < text.size()) {
            const auto separator = text.find_first_of(" \r", pos);
            if (separator == std::string::npos) {
                Place(text.substr(pos), false);
                pos = text.size();
            } else {
                Place(text.substr(pos, separator - pos), text[separator] == '\r');
                pos = separator + 1;
            }
        }
        // Whatever is still open holds text (a rule waits here for what follows it) and must not
        // be lost; a bare prefix is only the start of a line nobody wrote.
        if (m_line != kTextPrefix) m_out.push_back(m_line);
    }

private:
    void Emit() {
        m_out.push_back(m_line);
        StartLine();
    }

    void StartLine() {
        m_line = kTextPrefix;
        m_column = kTextPrefix.size();
    }

    void Place(const std::string& word, bool endsLine) {
        const size_t width = VisibleWidth(word);
        if (m_column + width <= kLineColumns) {
            if (!endsLine) {
                m_line += word + " ";
                m_column += width + 1;
            } else {
                m_line += word;
                Emit();
            }
        } else if (width >= kTextColumns) {
            if (IsRule(word))
                PlaceRule(word);
            else
                SplitWord(word, endsLine);
        } else {
            Emit();
            if (!endsLine) {
                m_line = kTextPrefix + word + " ";
                m_column = width + kTextPrefix.size() + 1;
            } else {
                m_out.push_back(kTextPrefix + word);
            }
        }
    }

    // A row of one character is a rule: it gets a line of its own, cut to the text width, and
    // keeps the line open so that a following blank line closes it.
    void PlaceRule(const std::string& word) {
        const std::string rule = word.substr(0, kTextColumns);
        if (m_line == kTextPrefix) {
            m_line += rule;
        } else {
            Emit();
            m_line = kTextPrefix + rule;
        }
        m_column = kLineColumns;
    }

    void SplitWord(const std::string& word, bool endsLine) {
        // Room left on this line, less the hyphen: none when the line is already (nearly) full.
        const long room = static_cast<long>(kLineColumns) - 5 - static_cast<long>(m_column);
        const size_t head = room > 0 ? static_cast<size_t>(room) : 0;
        m_line += word.substr(0, head) + "-";
        m_out.push_back(m_line);
        std::string rest = word.substr(std::min(head, word.size()));
        // A word longer than two lines goes on being split rather than overflowing the line.
        const size_t fullHead = kLineColumns - 5 - kTextPrefix.size();
        while (VisibleWidth(rest) > kTextColumns) {
            m_out.push_back(kTextPrefix + rest.substr(0, fullHead) + "-");
            rest.erase(0, fullHead);
        }
        m_line = kTextPrefix + rest;
        m_column = m_line.size();
        if (endsLine) Emit();
    }

    StringList& m_out;
    std::string m_line = kTextPrefix;
    size_t m_column = kTextPrefix.size();
};

StringList WrapBody(StringList body) {
    if (!body.empty() && body.front().find(kFirstLineStart) == std::string::npos)
        body.front() = kFirstLineStart + Trim(body.front()) + kFirstLineEnd;
    const std::string text = StrReplace(JoinLines(body), "\n", "");
    StringList wrapped;
    BodyWrapper(wrapped).Wrap(text);
    return wrapped;
}

std::string OneLine(const std::string& address) {
    return Trim(StrReplace(StrReplace(address, "\n", ""), "\r", " "));
}

} // namespace

void WritePitReport(TPitFile& record, const Clock& clock) {
    if (record.addressee.familyName.empty() && record.addressee.givenNames.empty()) {
        const std::string keptEmail = record.addressee.email;
        record.addressee = record.doctors[0];
        if (!keptEmail.empty()) record.addressee.email = keptEmail;
    }
    const TDateTime now = clock.Now();
    const std::string date = FormatDateTime("dd/mm/yyyy", now);
    const std::string time = FormatDateTime("hh:nn:ss", now);
    const TDoctorRecord& doctor = record.doctors[0];
    const TDoctorRecord& addressee = record.addressee;
    const std::string patientName = record.patientSurname + "," + record.patientGivenNames;

    StringList& out = record.reportLines;
    out.clear();
    out.push_back("001 " + PadTo(record.practiceName, 64) + "05");
    out.push_back("002");
    out.push_back("003 Report Run Number :0001 Created:    " + date + "      at    " + time);
    out.push_back("004 Surgery: T       Reports:");
    out.push_back(record.acknowledgementFlag ? "009 " + Dashes(56) + "-- ACK ---" : "009 " + Dashes(66));
    out.push_back("010 " + PadTo(NameOf(doctor), 34) + PadTo(doctor.code, 10) + doctor.providerNumber);
    out.push_back("019 " + Dashes(66));
    out.push_back("020 Your Ref.   Patient Name                   Lab Ref.       Test");
    out.push_back("021 " + PadTo(record.yourReference, 12) + PadTo(patientName, 31) +
                  PadTo(record.labReference, 15) + record.messageTitle);
    out.push_back("029 " + Dashes(66));
    out.push_back("100 Start Patient  :      " + patientName);
    out.push_back("101                       " + OneLine(record.patientAddress));
    out.push_back("104                       Birthdate: " + PadTo(record.dobText, 15) + "Age: Y" +
                  PadTo(record.age, 5) + "Sex: " + record.sex);
    out.push_back("109");
    out.push_back("110 Your Reference :      " + record.yourReference);
    out.push_back("111 Lab Reference  :      " + record.labReference);
    out.push_back("112 Medicare Number:      " + record.medicareNumber);
    out.push_back("115 Phone Enquiries:      " + record.enquiriesPhone);
    out.push_back("119");
    out.push_back("121 Referred By    :      " + TitleOf(doctor) + PadTo(NameOf(doctor), 34) +
                  doctor.providerNumber);
    out.push_back("122 Copy To        :      " + Trim(record.copyTo));
    out.push_back("123 Addressee      :      " + TitleOf(addressee) + PadTo(NameOf(addressee), 34) +
                  addressee.providerNumber);
    out.push_back("129");
    out.push_back("200 Start of Result:      ");
    out.push_back("201        Specimen:      " + record.specimen);
    out.push_back("203       Requested:      " + Trim(record.requestedDateText));
    out.push_back("204       Collected:      " + Trim(record.collectedDateText));
    out.push_back("205    Name of Test:      " + record.messageTitle);
    out.push_back("206        Reported:      " + date + " " + time);
    out.push_back("207    Confidential:      ");
    out.push_back("208   Test Category:      ");
    out.push_back("210   Normal Result:      ");
    out.push_back("299");
    if (record.reportKind == 1)
        out.push_back("301 Report data as at:  " + time + " " + date + " for Request on  " +
                      record.requestedDateText);
    out.push_back("301 " + Dashes(66));
    // The wrapper never hands back the empty line it would open after the last word, so there is
    // nothing to take off the end here and no letter text can go.
    for (auto& line : WrapBody(record.body))
        out.push_back(std::move(line));
    if (record.signatureFlag) out.push_back("301 <#SIGNATURE DETAILS>");
    out.push_back("309");
    out.push_back("390 End of Report  :");
    out.push_back("399 " + Dashes(66));
    out.push_back("999 END OF LISTING - Run Number:0001  " + date + "  " + time);
}

} // namespace vvp::letter
