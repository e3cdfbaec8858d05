// The printed-request parser: a line state machine over the shape of the printout.

#include "PathNormalisation.h"
#include "QZStringManip.h"
#include "txttopitdefUnit.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace vvp::pathology {

namespace {

constexpr const char* kMedicareNotRepeated = "Medicare Card number not Duplicated in second section";
constexpr const char* kPatientFormat = "Patient Data is not in expected format";
constexpr const char* kSurnameNotRepeated = "Patient Surname not Duplicated in second section";
constexpr const char* kAddressFormat = "Address and phone data is not in expected format";

const std::string kTestPunctuation = std::string("?><,.=+-_)(*&^%$#@!~:'/\\[]|") + '"' + '`';
const std::string kPhonePunctuation = std::string(":;.()_-+=\\|?/><,][}{&^%$#@!~") + '"' + '`';
constexpr char kHardBlank = '\x14';

enum class Handled { Consumed, Left, Stop };

TDateTime GeneralDate(const std::string& text) {
    try {
        return FreeTextToDateTime(text);
    } catch (...) {
        return kGeneralDateFailure;
    }
}

// Text with every "from" turned into a line break and repeated line breaks collapsed, read back
// as a list (a trailing break adds no item).
StringList SplitItems(const std::string& text, const std::vector<std::string>& separators) {
    std::string s = text;
    for (const auto& sep : separators)
        s = StrReplace(s, sep, "\n");
    std::string collapsed;
    collapsed.reserve(s.size());
    for (char c : s)
        if (!(c == '\n' && !collapsed.empty() && collapsed.back() == '\n')) collapsed += c;
    return SplitLines(collapsed);
}

const std::string& Item(const StringList& items, size_t n) {
    if (n >= items.size()) throw std::out_of_range("item");
    return items[n];
}

std::string OptionalItem(const StringList& items, size_t n) {
    return n < items.size() ? items[n] : std::string();
}

std::string Column(const std::string& raw, size_t from, size_t count = std::string::npos) {
    return from < raw.size() ? raw.substr(from, count) : std::string();
}

bool LeftColumnsBlank(const std::string& raw) {
    return Trim(Column(raw, 0, 20)).empty();
}

// A results-by time such as 14:30: at most five characters with an hour below 24 before the ":".
bool IsResultsTime(const std::string& text) {
    if (text.size() > 5 || text.find(':') == std::string::npos) return false;
    return StrToIntDef(StrBefore(text, ":"), 99) < 24;
}

std::string WithoutBlanks(const std::string& s) {
    return StrStrip(s, " ");
}

std::string Word(const std::string& s, int n) {
    return StrField(s, ' ', n);
}

class Parser {
public:
    Parser(const std::string& text, TPitFile& record) : m_lines(SplitLines(text)), m_r(record) {}

    void Run() {
        int state = 0, previousState = 0, sameState = 0;
        for (size_t i = 0; i < m_lines.size(); ++i) {
            m_index = i;
            m_raw = m_lines[i];
            m_l = Trim(StrStrip(m_raw, "\xFC"));
            bool consumed = false;
            if (m_l.empty()) {
                ++m_blank;
                consumed = true;
                if (m_blank > 5 && state >= 7 && m_doctorBlock.size() >= 2) {
                    ReadDoctorBlock();
                    state = 8;
                }
            } else {
                while (!consumed) {
                    Handled h = Handle(state);
                    if (h == Handled::Stop) return;
                    consumed = h == Handled::Consumed;
                    sameState = state == previousState ? sameState + 1 : 0;
                    previousState = state;
                    if (sameState > 4) consumed = true;
                }
            }
            if (consumed && state > 7) break;
        }
        Finish();
    }

private:
    Handled Handle(int& state) {
        switch (state) {
        case 0:
            return MedicareLine(state);
        case 1:
            return PatientLine(state);
        case 2:
            return AddressLine(state);
        case 3:
            return SecondAddressLine(state);
        case 4:
            return TestLine(state);
        case 5:
            return NotesLine(state);
        case 6:
            return UpToRequestDate(state);
        case 7:
            return FootLine();
        default:
            return Handled::Consumed;
        }
    }

    bool RepeatedBelow(const std::string& value) const { return IsRepeatedBelow(m_lines, value, m_index); }

    Handled Stop(const char* error) {
        m_r.Error = error;
        return Handled::Stop;
    }

    Handled MedicareLine(int& state) {
        const std::string m = WithoutBlanks(m_l);
        state = 1;
        if (m.size() < 10 || !StrToIntOpt(m.substr(0, 5)) || !StrToIntOpt(m.substr(5, 5))) {
            m_r.MedicareNo.clear();
            return Handled::Left;
        }
        if (m.size() > 10) {
            const char last = m.back();
            m_r.MedicareIrn = static_cast<std::uint8_t>(last >= '0' && last <= '9' ? last - '0' : 9);
        }
        m_r.MedicareNo = m.substr(0, 10);
        if (!RepeatedBelow(m_r.MedicareNo)) return Stop(kMedicareNotRepeated);
        return Handled::Consumed;
    }

    Handled PatientLine(int& state) {
        state = 2;
        if (m_l.find(',') == std::string::npos) return Handled::Consumed;
        try {
            StringList items = SplitItems(m_l, {",", "  "});
            m_r.Surname = Trim(Item(items, 0));
            m_r.GivenNames = Trim(Item(items, 1));
            const std::string first = Word(m_r.GivenNames, 1);
            if (IsTitle(first)) {
                m_r.Title = first;
                m_r.GivenNames = m_r.GivenNames.substr(first.size());
            }
            m_r.Sex = Trim(OptionalItem(items, 2));
            const char sex = m_r.Sex.empty() ? '\0' : UpperCase(m_r.Sex.substr(0, 1))[0];
            if (sex != 'M' && sex != 'F' && sex != 'U' && sex != 'O') {
                items.insert(items.begin() + static_cast<long>(std::min<size_t>(2, items.size())), "U");
                m_r.Sex = "U";
            }
            if (OptionalItem(items, 3).find('/') != std::string::npos) {
                m_r.DobText = Trim(items[3]);
            } else if (OptionalItem(items, 4).find('/') != std::string::npos) {
                items.erase(items.begin() + 3);
                m_r.DobText = Trim(items[3]);
            } else {
                items.insert(items.begin() + static_cast<long>(std::min<size_t>(3, items.size())), "");
                m_r.DobText.clear();
            }
            // A date of birth that is no calendar date (31/FEB/1960) refuses the page; one that is
            // not a date at all stands for "unknown".
            const auto dob = FreeTextToDateTimeStrict(m_r.DobText);
            if (!dob) return Stop(kPatientFormat);
            m_r.Dob = *dob;
            if (m_r.Dob == kGeneralDateFailure) {
                m_r.Dob = *EncodeDate(1800, 1, 1);
                m_r.DobText = "01/01/1800";
            }
            m_r.YourRef = Trim(OptionalItem(items, 4));
        } catch (const std::exception&) {
            return Stop(kPatientFormat);
        }
        if (!RepeatedBelow(m_r.Surname)) return Stop(kSurnameNotRepeated);
        return Handled::Consumed;
    }

    Handled AddressLine(int& state) {
        state = 3;
        const StringList items = SplitItems(m_l, {"   "});
        m_r.Address = Trim(OptionalItem(items, 0));
        if (items.size() < 2) {
            m_r.Error = kAddressFormat;
        } else {
            m_r.Phones = items[1] + ";";
            if (items.size() > 2) m_r.Phones += items[2];
        }
        if (!RepeatedBelow(m_r.Address)) return Stop(kSurnameNotRepeated);
        return Handled::Consumed;
    }

    Handled SecondAddressLine(int& state) {
        std::string line = m_l;
        if (!StrToIntOpt(Word(line, 2))) {
            auto blank = line.find(' ');
            if (blank != std::string::npos) line[blank] = kHardBlank;
        }
        m_r.Address = Trim(m_r.Address + ";" + line);
        m_blank = 0;
        state = 4;
        return Handled::Consumed;
    }

    Handled TestLine(int& state) {
        if (LeftColumnsBlank(m_raw)) {
            ++m_blank;
            if (!m_r.Tests.empty()) state = 5;
            return Handled::Left;
        }
        if (!m_r.Tests.empty() && m_blank > 1) {
            state = 5;
            return Handled::Left;
        }
        m_r.Tests += StrStrip(StrBefore(m_l, "   "), kTestPunctuation) + " ";
        m_blank = 0;
        return Handled::Consumed;
    }

    Handled NotesLine(int& state) {
        if (m_blank > 2 && m_l.size() == 10 && StrCount(Trim(Column(m_raw, 49)).substr(0, 10), "/") == 2) {
            state = 6;
            return Handled::Left;
        }
        if (LeftColumnsBlank(m_raw)) {
            ++m_blank;
            if (m_blank > 1) state = 6;
            return Handled::Left;
        }
        const std::string n = StrBefore(m_l, "    ");
        if (IsResultsTime(n)) {
            m_r.Ticks.Urgent = true;
            m_r.Ticks.ResultsBy = n;
        } else {
            m_r.Ticks.Notes += n + " ";
        }
        return Handled::Consumed;
    }

    Handled UpToRequestDate(int& state) {
        if (IsResultsTime(m_l)) {
            m_r.Ticks.Urgent = true;
            m_r.Ticks.ResultsBy = m_l;
        }
        if (StrCount(m_l, "/") == 2) {
            m_r.RequestDateText = Trim(Column(m_raw, 49)).substr(0, 10);
            m_r.RequestDate = GeneralDate(m_r.RequestDateText);
            m_doctorBlock.clear();
            state = 7;
        }
        return Handled::Consumed;
    }

    Handled FootLine() {
        m_blank = 0;
        std::string right = Column(m_raw, 42);
        if (right.empty()) right = Trim(StrAfter(m_l, "   "));
        m_doctorBlock.push_back(right);
        const std::string left = Trim(Column(m_raw, 0, 42));
        if (!left.empty()) m_r.CopyToText += left + "; ";
        return Handled::Consumed;
    }

    void ReadDoctorBlock() {
        TDoctorRecord& d = m_r.Doctors[1];
        const auto& b = m_doctorBlock;
        d.ProviderNo = Trim(b[0]);
        const std::string name = Trim(b[1]);
        d.Title = Word(name, 1);
        d.GivenName = Word(name, 2);
        d.FamilyName = StrAfter(name, " " + d.GivenName + " ");
        std::string address;
        for (size_t k = 2; k <= 4 && k < b.size(); ++k)
            address += (k > 2 ? ";" : "") + Trim(b[k]);
        d.Address = address;
        std::string contact;
        for (size_t k = 5; k < b.size(); ++k)
            contact += b[k];
        contact = LowerCase(contact);
        std::string kept;
        for (char c : contact) {
            if (c == ' ' || (c >= 'a' && c <= 'z' && c != 'f' && c != 'p')) continue;
            if (kPhonePunctuation.find(c) != std::string::npos) continue;
            kept += c;
        }
        d.Phone = StrBetween(kept, "p", "f");
        d.Fax = StrBetween(kept, "f", "p");
    }

    void Finish() {
        // "; " separates tests; a ";" inside a test name becomes "-".
        const std::string tests = TrimRight(m_r.Tests) + " ";
        std::string joined;
        for (size_t k = 0; k < tests.size(); ++k) {
            if (tests[k] != ';') {
                joined += tests[k];
            } else if (k + 1 < tests.size() && tests[k + 1] == ' ') {
                joined += ';';
                ++k;
            } else {
                joined += '-';
            }
        }
        m_r.Tests = joined;
        if (Trim(m_r.Surname).empty() || m_r.Doctors[1].FamilyName.empty() || Trim(m_r.Tests).empty())
            m_r.Error = kInsufficientData;
    }

    StringList m_lines;
    TPitFile& m_r;
    size_t m_index = 0;
    std::string m_raw;
    std::string m_l;
    int m_blank = 0;
    std::vector<std::string> m_doctorBlock;
};

} // namespace

bool IsRepeatedBelow(const StringList& lines, const std::string& value, size_t index) {
    if (value.empty()) return false;
    for (size_t k = index + 2; k < lines.size(); ++k)
        if (lines[k].find(value) != std::string::npos) return true;
    return false;
}

void ParsePrintedRequest(const std::string& jobText, TPitFile& record) {
    record.Error.clear();
    if (jobText.empty()) {
        record.Error = kInsufficientData;
        return;
    }
    Parser(jobText, record).Run();
}

bool IsPrintedRequest(std::string_view page) {
    std::string text(page);
    std::replace(text.begin(), text.end(), '\xFF', '\n');
    TPitFile record;
    ParsePrintedRequest(text, record);
    return record.Error.empty() || record.Error == kAddressFormat;
}

} // namespace vvp::pathology
