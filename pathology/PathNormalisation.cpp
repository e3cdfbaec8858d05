#include "PathNormalisation.h"

#include "QZStringManip.h"
#include "txttopitdefhb262.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <vector>

namespace vvp::pathology {

namespace {

constexpr const char* kTitles[] = {"MR",
                                   "MISTER",
                                   "MRS",
                                   "MISS",
                                   "MS",
                                   "MASTER",
                                   "DR",
                                   "DOCTOR",
                                   "SISTER",
                                   "SR",
                                   "PROF",
                                   "PROFESSOR",
                                   "MONSIGNOR",
                                   "MONSEIGNEUR",
                                   "MSGR",
                                   "ASSOCIATE PROFESSOR",
                                   "ASSOC PROFFESSOR",
                                   "ASSOC PROF"};

constexpr const char* kStreetTypes[] = {
    "ALLEY",    "ARC",       "ARCADE",  "AVE",      "AVENUE",    "BEND",       "BLVD",         "BOULEVARDE",
    "BRACE",    "CENTRE",    "CHASE",   "CIRC",     "CIRCLE",    "CIRCUIT",    "CIRCUS",       "CL",
    "CLOSE",    "CONCOURSE", "CORNER",  "CORSO",    "COURT",     "CRES",       "CRESCENT",     "CROSSING",
    "CRT",      "DRIVE",     "DRV",     "ENTRANCE", "ESPL",      "ESPLANADE",  "EXPRESSWAY",   "FREEWAY",
    "FRONTAGE", "FWY",       "GARDEN",  "GATE",     "GLADE",     "GLEN",       "GRA",          "GRANGE",
    "GROUND",   "GROVE",     "GRV",     "HEIGHTS",  "HGHTS",     "HIGHWAY",    "HWY",          "JUNCT",
    "JUNCTION", "LA",        "LANE",    "LINK",     "LOOP",      "MEWS",       "MNT",          "MOUNT",
    "NOOK",     "OUTLOOK",   "PARADE",  "PARKWAY",  "PASS",      "PDE",        "PL",           "PLACE",
    "PLAZA",    "PNT",       "POINT",   "PORT",     "PROMENADE", "QUADRANGLE", "QUADRANT",     "QUAY",
    "QY",       "RD",        "RESERVE", "REST",     "RETREAT",   "RIDGE",      "RIGHT OF WAY", "RISE",
    "ROAD",     "ROADWAY",   "ROUND",   "ROW",      "SIDING",    "SQ",         "SQUARE",       "ST",
    "STREET",   "STREETS",   "TERR",    "TERRACE",  "TOLLWAY",   "TRACK",      "VIEW",         "WALK",
    "WALKWAY",  "WAY",       "WYND"};

struct StateEntry {
    const char* name;
    const char* abbreviation;
    const char* postcodePrefix;
};

// Sorted by name as the list compares them (letter case ignored), so ACT (26) is tried before
// NSW (2) when a postcode names the state.
constexpr StateEntry kStates[] = {
    {"ACT", "ACT", "26"},
    {"AUSTRALIAN CAPITAL TERRITORY", "ACT", "26"},
    {"NEW SOUTH WALES", "NSW", "2"},
    {"NORTHERN TERRITORY", "NT", "08"},
    {"NSW", "NSW", "2"},
    {"NT", "NT", "08"},
    {"QLD", "QLD", "4"},
    {"QUEENSLAND", "QLD", "4"},
    {"SA", "SA", "5"},
    {"SOUTH AUSTRALIA", "SA", "5"},
    {"TAS", "TAS", "7"},
    {"TASMANIA", "TAS", "7"},
    {"VIC", "VIC", "3"},
    {"VICTORIA", "VIC", "3"},
    {"WA", "WA", "6"},
    {"WESTERN AUSTRALIA", "WA", "6"},
};

const std::string kAddressSeparators = std::string(" .-:;\\/,(){}[]!@#$%^&*=+?<>") + '\r';
const std::string kLineBreakToken = "<LINE BREAK>";
constexpr char kHardBlank = '\x14';

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool HasDigit(const std::string& s) {
    return std::any_of(s.begin(), s.end(), IsDigit);
}

bool ValidSlot(int slot) {
    return slot >= 1 && slot <= TPitFile::kDoctorSlots;
}

const TDoctorRecord& Slot(const TPitFile& record, int slot) {
    static const TDoctorRecord empty;
    return ValidSlot(slot) ? record.Doctors[static_cast<size_t>(slot)] : empty;
}

std::vector<std::string> Tokenise(const std::string& text) {
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text) {
        if (kAddressSeparators.find(c) != std::string::npos) {
            tokens.push_back(current);
            current.clear();
            if (c == ',' || c == '\r') tokens.push_back(kLineBreakToken);
        } else {
            current += c;
        }
    }
    tokens.push_back(current);
    return tokens;
}

bool InBoxWords(const std::string& upper) {
    static const char* const words[] = {"BOX", "UNIT", "FLAT", "BUILDING", "RMB", "B", "BAG"};
    return std::any_of(std::begin(words), std::end(words), [&](const char* w) { return upper == w; });
}

bool EndsWithCr(const std::string& s) {
    return !s.empty() && s.back() == '\r';
}

// The lines of the address as the token rules break it up.
std::string BuildAddressLines(const std::vector<std::string>& tokens, std::string& type) {
    std::string lines = "\r";
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        if (token.empty()) continue;
        if (token == kLineBreakToken) {
            lines += '\r';
            continue;
        }
        const std::string prev = i > 0 ? UpperCase(tokens[i - 1]) : std::string();
        const std::string next = i + 1 < tokens.size() ? UpperCase(tokens[i + 1]) : std::string();
        const std::string upper = UpperCase(token);
        if (HasDigit(token) && !EndsWithCr(lines)) {
            if (token.size() != 4) {
                lines += token + '\r';
                continue;
            }
            if (IsPostcode(token)) {
                if (InBoxWords(prev)) {
                    lines += token + '\r';
                    if (prev == "BOX" || prev == "RMB" || prev == "BAG") type = "M";
                } else {
                    lines += '\r' + token + '\r';
                }
                continue;
            }
        }
        if (IsStreetType(upper) && !EndsWithCr(lines)) {
            lines += token + '\r';
            continue;
        }
        if (IsStateName(upper) && !EndsWithCr(lines) && !IsStreetType(next)) lines += '\r';
        lines += token + " ";
    }
    return lines;
}

bool ContainsStreetType(const std::string& upperLine) {
    for (const char* t : kStreetTypes)
        if (upperLine.find(std::string(" ") + t) != std::string::npos) return true;
    return false;
}

bool IsOneWord(const std::string& line) {
    return line.find(' ') == std::string::npos;
}

} // namespace

// Which line is what. A street line later than the current street line makes the street
// and restarts the walk from the first line with the other parts emptied. A restarted walk treats
// every line before the street the same way whatever the street is, so those lines are folded
// once (prefix) instead of once per restart; this keeps long addresses linear.
void ClassifyAddressLines(const std::vector<std::string>& lines, ParsedAddress& a) {
    const size_t n = lines.size();
    std::vector<char> isState(n), isPostcode(n), hasStreetType(n), hasDigit(n);
    std::vector<std::string> upper(n);
    for (size_t i = 0; i < n; ++i) {
        upper[i] = UpperCase(lines[i]);
        isState[i] = IsStateName(upper[i]);
        isPostcode[i] = IsOneWord(lines[i]) && IsPostcode(lines[i]);
        hasStreetType[i] = ContainsStreetType(upper[i]);
        hasDigit[i] = HasDigit(lines[i]);
    }

    // The first walk, until a later street line asks for a restart.
    size_t s = 0;
    std::optional<size_t> restart;
    for (size_t i = 0; i < n && !restart; ++i) {
        const std::string& line = lines[i];
        if (a.state.empty() && isState[i]) {
            a.state = line;
        } else if (isPostcode[i] && a.postcode.empty()) {
            a.postcode = line;
        } else if (hasStreetType[i]) {
            if (a.street.empty()) {
                a.street = line;
                s = i;
            } else if (i > s) {
                restart = i;
            }
        } else if (!hasDigit[i]) {
            if (a.street.empty())
                a.other += " " + line;
            else if (a.suburb.empty() && i > s)
                a.suburb = line;
            else
                a.other += " " + line;
        } else if (a.street.empty()) {
            const std::string& u = upper[i];
            if (u.find(" BOX ") != std::string::npos || u.find("LOCKED BAG ") != std::string::npos ||
                u.find("RMB ") != std::string::npos || u.find("R M B ") != std::string::npos) {
                a.street = line;
                a.type = "M";
            } else {
                a.other += " " + line;
            }
        } else {
            a.other += " " + line;
        }
    }
    if (!restart) return;

    struct {
        std::string state, postcode, other;
    } prefix;
    size_t folded = 0;
    std::string state, postcode, suburb, tail;
    while (restart) {
        s = *restart;
        restart.reset();
        a.street = lines[s];
        for (; folded < s; ++folded) {
            const std::string& line = lines[folded];
            if (prefix.state.empty() && isState[folded])
                prefix.state = line;
            else if (isPostcode[folded] && prefix.postcode.empty())
                prefix.postcode = line;
            else if (hasStreetType[folded])
                prefix.other += line + " ";
            else
                prefix.other += " " + line;
        }
        state = prefix.state;
        postcode = prefix.postcode;
        suburb.clear();
        tail.clear();
        for (size_t j = s; j < n && !restart; ++j) {
            const std::string& line = lines[j];
            if (state.empty() && isState[j])
                state = line;
            else if (isPostcode[j] && postcode.empty())
                postcode = line;
            else if (hasStreetType[j]) {
                if (j > s) restart = j;
            } else if (!hasDigit[j] && suburb.empty() && j > s)
                suburb = line;
            else
                tail += " " + line;
        }
    }
    a.state = state;
    a.postcode = postcode;
    a.suburb = suburb;
    a.other = prefix.other + tail;
    a.country.clear();
}

namespace {

std::string UnHardBlank(std::string s) {
    std::replace(s.begin(), s.end(), kHardBlank, ' ');
    return s;
}

} // namespace

bool IsTitleExact(const std::string& word) {
    if (word.empty()) return false;
    return std::any_of(std::begin(kTitles), std::end(kTitles), [&](const char* t) { return word == t; });
}

bool IsTitle(const std::string& word) {
    return IsTitleExact(UpperCase(word));
}

bool IsStreetType(const std::string& upperWord) {
    return std::any_of(std::begin(kStreetTypes), std::end(kStreetTypes),
                       [&](const char* t) { return upperWord == t; });
}

bool IsStateName(const std::string& upperWord) {
    return std::any_of(std::begin(kStates), std::end(kStates),
                       [&](const StateEntry& e) { return upperWord == e.name; });
}

bool IsPostcode(const std::string& token) {
    if (token.size() != 4) return false;
    auto n = StrToIntOpt(token);
    return n && *n > 800 && *n < 8000;
}

std::string FormatPersonName(const TPitFile& record, int slot) {
    if (slot == 0) return Hl7PersonName(Trim(record.Surname), Trim(record.GivenNames), Trim(record.Title));
    const TDoctorRecord& d = Slot(record, slot);
    return Hl7PersonName(d.FamilyName, Trim(d.GivenName), d.Title);
}

std::string FormatDoctor(const TPitFile& record, int slot) {
    const TDoctorRecord& d = Slot(record, slot);
    std::string xcn = Hl7Escape(d.ProviderNo) + "^" + Hl7PersonName(d.FamilyName, Trim(d.GivenName), d.Title);
    if (IsValidProviderNumber(d.ProviderNo)) xcn += "^^^AUSHICPR";
    return xcn;
}

bool IsValidProviderNumber(const std::string& providerNumber) {
    static const std::string kLocations = "0123456789ABCDEFGHJKLMNPQRTUVWXY";
    static const std::string kCheck = "YXWTLKJHFBA";
    static const int kWeights[] = {3, 5, 8, 4, 2, 1};
    const std::string p = UpperCase(Trim(providerNumber));
    if (p.size() != 8) return false;
    if (!StrToIntOpt(p.substr(0, 6))) return false;
    int sum = 0;
    for (size_t i = 0; i < 6; ++i) {
        if (!IsDigit(p[i])) return false;
        sum += (p[i] - '0') * kWeights[i];
    }
    auto location = kLocations.find(p[6]);
    if (location == std::string::npos) return false;
    sum += 6 * static_cast<int>(location);
    return p[7] == kCheck[static_cast<size_t>(sum % 11)];
}

std::string BuildCopyToDoctors(const TPitFile& record) {
    std::string out;
    const std::string& text = record.CopyToText;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string entry = Trim(text.substr(start, end - start));
        start = end + 1;
        if (entry.empty()) continue;
        std::string extra;
        if (entry.find(',') != std::string::npos) {
            extra = Trim(StrAfter(entry, ","));
            entry = Trim(StrBefore(entry, ","));
        }
        const std::string w1 = StrBefore(entry, " ");
        const std::string afterW1 = entry.size() > w1.size() ? entry.substr(w1.size()) : std::string();
        std::string title, given, family;
        if (IsTitleExact(w1)) {
            title = w1;
            const std::string rest = afterW1.empty() ? std::string() : afterW1.substr(1);
            given = StrBefore(rest, " ");
            family = rest.size() > given.size() ? rest.substr(given.size()) : std::string();
        } else {
            given = w1;
            family = afterW1;
        }
        out += "^" + Hl7Escape(family) + "^" + Hl7Escape(given) + "^^" + Hl7Escape(title) + "^^^^^" +
               Hl7Escape(extra) + "~";
    }
    if (!out.empty()) out.pop_back();
    return out;
}

ParsedAddress ParseAddressParts(const std::string& address) {
    std::string text = address;
    std::replace(text.begin(), text.end(), '\n', '\r');
    text = StrReplace(text, "\r\r", "\r");
    size_t lead = 0;
    while (lead < text.size() && kAddressSeparators.find(text[lead]) != std::string::npos)
        ++lead;
    text.erase(0, lead);

    ParsedAddress a;
    a.type = "C";
    const std::string built = BuildAddressLines(Tokenise(text), a.type);

    std::vector<std::string> lines;
    for (const auto& l : SplitLines(built)) {
        std::string t = Trim(l);
        if (!t.empty()) lines.push_back(std::move(t));
    }
    ClassifyAddressLines(lines, a);

    if (a.state.empty() && !a.postcode.empty()) {
        for (const auto& e : kStates) {
            std::string_view prefix = e.postcodePrefix;
            if (std::string_view(e.name).size() < 4 && a.postcode.compare(0, prefix.size(), prefix) == 0) {
                a.state = e.abbreviation;
                break;
            }
        }
    }
    a.other = UnHardBlank(a.other);
    a.street = UnHardBlank(a.street);
    a.suburb = UnHardBlank(a.suburb);
    a.state = UnHardBlank(a.state);
    a.postcode = UnHardBlank(a.postcode);
    return a;
}

std::string ParseAddress(const std::string& address) {
    const ParsedAddress a = ParseAddressParts(address);
    return a.other + '\r' + a.street + '\r' + a.suburb + '\r' + a.state + '\r' + a.postcode + '\r' +
           a.country + '\r' + a.type;
}

std::string FormatAddressText(const std::string& address) {
    if (address.find('\r') != std::string::npos) {
        std::string out;
        size_t start = 0;
        for (size_t cr; (cr = address.find('\r', start)) != std::string::npos; start = cr + 1)
            out += Hl7Escape(address.substr(start, cr - start)) + "^";
        return out + Hl7Escape(address.substr(start));
    }
    const ParsedAddress a = ParseAddressParts(address);
    return Hl7Escape(a.street) + "^" + Hl7Escape(a.other) + "^" + Hl7Escape(a.suburb) + "^" +
           Hl7Escape(a.state) + "^" + Hl7Escape(a.postcode) + "^" + Hl7Escape(a.country) + "^" + a.type;
}

std::string FormatPatientAddress(const TPitFile& record) {
    return FormatAddressText(record.Address);
}

std::string FormatDoctorAddress(const TPitFile& record, int slot) {
    std::string address = Slot(record, slot).Address;
    std::replace(address.begin(), address.end(), ';', ',');
    return FormatAddressText(address);
}

std::string FormatPhone(const std::string& phone) {
    if (phone.empty()) return {};
    std::string text = phone;
    while (text.find("  ") != std::string::npos)
        text = StrReplace(text, "  ", " ");
    const std::string fallback = "^^^^^^" + Hl7Escape(StrStrip(phone, " .,-()|~^"));
    std::string country, area, local;
    int n = 0;
    for (size_t i = text.size(); i-- > 0;) {
        const char c = text[i];
        if (IsDigit(c)) {
            ++n;
            if (n <= 8)
                local.insert(local.begin(), c);
            else if (n <= 11)
                area.insert(area.begin(), c);
            else if (n <= 15)
                country.insert(country.begin(), c);
            else
                return fallback;
        } else if (c == ')') {
            if (n < 9) n = 8;
        } else if (c == '(') {
            if (n < 12) n = 10;
        } else if (c == ' ' || c == ',' || c == '-') {
            if (n == 0) return fallback;
            if (n >= 6 && n <= 8)
                n = 8;
            else if (n >= 9 && n <= 11)
                n = 10;
        }
    }
    return "^^^^" + country + "^" + area + "^" + local;
}

std::string BuildPatientIdentifiers(const TPitFile& record) {
    const tReferralTicks& t = record.Ticks;
    std::string out;
    if (!record.YourRef.empty())
        out += Hl7Escape(record.YourRef) +
               (!t.PatientStatus.empty() && t.PatientStatus[0] == 'I' ? "^^^^UR" : "^^^^IP") + "~";
    if (!record.MedicareNo.empty()) {
        out += Hl7Escape(record.MedicareNo);
        if (record.MedicareIrn >= 1 && record.MedicareIrn <= 9)
            out += static_cast<char>('0' + record.MedicareIrn);
        out += "^^^AUSHIC^MC~";
    }
    if (!t.BillingNumber.empty()) {
        const std::string number = Hl7Escape(t.BillingNumber);
        switch (t.Billing) {
        case 0:
            out += number + "^^^^XR";
            break;
        case 1:
            out += number + "^^^^HC";
            break;
        case 3:
            out += number + "^^^AUSDVA^DVA";
            break;
        case 4:
            out += number + "^^^^WC";
            break;
        case 5:
            out += number + "^^^^TAC";
            break;
        case 6:
            out += number + "^^^^MSN";
            break;
        case 7:
            out += number + "^^^" + Hl7Escape(t.FundCode) + "^MEDIFUND";
            break;
        default:
            break;
        }
        out += "~";
    }
    if (!out.empty()) out.pop_back();
    return out;
}

std::string BillingCode(const TPitFile& record) {
    const tReferralTicks& t = record.Ticks;
    switch (t.Billing) {
    case 0:
        return t.BillingNumber.empty() ? "03" : "02";
    // Concession card holders are billed to Medicare like bulk-billed patients.
    case 1:
        return "01";
    case 2:
        return "01";
    case 3:
        return "07";
    case 4:
        return "04";
    case 5:
        return "05";
    case 6:
        return "08";
    case 7:
        return t.BillingNumber.empty() ? "12" : "02";
    default: {
        const char first = t.PatientStatus.empty() ? '\0' : t.PatientStatus[0];
        return first == 'E' || first == 'I' ? "10" : "99";
    }
    }
}

} // namespace vvp::pathology
