#include "Clock.h"
#include "QZStringManip.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <locale.h>
#include <mutex>
#include <string_view>

namespace vvp {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool ContainsDigit(const std::string& text) {
    return std::any_of(text.begin(), text.end(), IsDigit);
}

// Characters pos..pos+count-1 (1-based), cut short at the end of the text.
std::string Mid(const std::string& text, size_t pos, size_t count) {
    if (pos < 1 || pos > text.size()) return {};
    return text.substr(pos - 1, count);
}

// Replaces every occurrence in place; most texts hold none of the patterns, so no copy is made then.
void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    size_t p = text.find(from);
    if (p == std::string::npos) return;
    std::string out;
    out.reserve(text.size());
    size_t start = 0;
    for (; p != std::string::npos; p = text.find(from, start)) {
        out.append(text, start, p - start);
        out.append(to);
        start = p + from.size();
    }
    out.append(text, start, std::string::npos);
    text.swap(out);
}

// The time of day belongs away from zero, so a date before 30 December 1899 keeps its day.
TDateTime CombineDateTime(TDateTime date, TDateTime time) {
    return date >= 0 ? date + time : date - time;
}

// ---- the locale's date-and-time reader ----

class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    void Blanks() {
        while (m_pos < m_text.size() && m_text[m_pos] == ' ')
            ++m_pos;
    }
    // Up to four digits' worth (the reading stops once the value reaches 1000).
    bool Number(int& value, int& digits) {
        Blanks();
        size_t i = m_pos;
        int n = 0;
        while (i < m_text.size() && IsDigit(m_text[i]) && n < 1000)
            n = n * 10 + (m_text[i++] - '0');
        if (i == m_pos) return false;
        digits = static_cast<int>(i - m_pos);
        value = n;
        m_pos = i;
        return true;
    }
    bool Number(int& value) {
        int digits = 0;
        return Number(value, digits);
    }
    bool Char(char c) {
        Blanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != c) return false;
        ++m_pos;
        return true;
    }
    bool Word(std::string_view word) {
        Blanks();
        if (m_text.size() - m_pos < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i) {
            char c = m_text[m_pos + i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            if (c != word[i]) return false;
        }
        m_pos += word.size();
        return true;
    }
    bool AtEnd() const { return m_pos >= m_text.size(); }
    bool AfterBlank() const { return m_pos > 0 && m_text[m_pos - 1] == ' '; }

private:
    std::string_view m_text;
    size_t m_pos = 0;
};

constexpr char kDateSeparator = '/';
constexpr int kTwoDigitYearWindow = 50;

bool ScanDate(Scanner& in, const LocaleDateFormat& format, TDateTime& date) {
    int n1 = 0, n2 = 0, n3 = 0, len1 = 0, len3 = 0, unused = 0;
    if (!(in.Number(n1, len1) && in.Char(kDateSeparator) && in.Number(n2, unused))) return false;
    int year = 0, month = 0, day = 0;
    if (in.Char(kDateSeparator)) {
        if (!in.Number(n3, len3)) return false;
        int yearLength = len3;
        switch (format.order) {
        case DateOrder::MonthDayYear:
            year = n3;
            month = n1;
            day = n2;
            break;
        case DateOrder::DayMonthYear:
            year = n3;
            month = n2;
            day = n1;
            break;
        case DateOrder::YearMonthDay:
            year = n1;
            month = n2;
            day = n3;
            yearLength = len1;
            break;
        }
        if (yearLength <= 2) {
            const int centuryBase = format.currentYear - kTwoDigitYearWindow;
            year += centuryBase / 100 * 100;
            if (year < centuryBase) year += 100;
        }
    } else {
        year = format.currentYear;
        const bool dayFirst = format.order == DateOrder::DayMonthYear;
        day = dayFirst ? n1 : n2;
        month = dayFirst ? n2 : n1;
    }
    in.Char(kDateSeparator); // a trailing separator is allowed
    in.Blanks();
    auto encoded = EncodeDate(year, month, day);
    if (!encoded) return false;
    date = *encoded;
    return true;
}

bool ScanTime(Scanner& in, TDateTime& time) {
    int baseHour = -1;
    if (in.Word("AM"))
        baseHour = 0;
    else if (in.Word("PM"))
        baseHour = 12;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    if (!in.Number(hour)) return false;
    if (in.Char(':')) {
        if (!in.Number(minute)) return false;
        if (in.Char(':')) {
            if (!in.Number(second)) return false;
            if (in.Char('.') && !in.Number(millisecond)) return false;
        }
    }
    if (baseHour < 0) {
        if (in.Word("AM"))
            baseHour = 0;
        else if (in.Word("PM"))
            baseHour = 12;
    }
    if (baseHour >= 0) {
        if (hour == 0 || hour > 12) return false;
        if (hour == 12) hour = 0;
        hour += baseHour;
    }
    in.Blanks();
    auto encoded = EncodeTime(hour, minute, second, millisecond);
    if (!encoded) return false;
    time = *encoded;
    return true;
}

// ---- the locale's date order ----

bool IsNeutralLocale(std::string_view name) {
    return name.empty() || name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

std::string EnvironmentTimeLocale() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    return {};
}

// For a locale whose data is not installed: the territories whose locales do not write day first.
DateOrder OrderByTerritory(const std::string& name) {
    const auto underscore = name.find('_');
    if (underscore == std::string::npos) return DateOrder::DayMonthYear;
    const std::string territory = name.substr(underscore + 1, 2);
    if (territory == "US") return DateOrder::MonthDayYear;
    for (const char* t : {"CN", "JP", "KR", "TW", "HU", "LT", "SE"})
        if (territory == t) return DateOrder::YearMonthDay;
    return DateOrder::DayMonthYear;
}

// ---- the free-text converter ----

struct MonthRepair {
    std::string_view from, to;
};

constexpr MonthRepair kMonthRepairs[] = {
    {" SJ", " J"},   {" NJ", " J"},   {" RJ", " J"},   {" TJ", " J"},   //
    {" SF", " F"},   {" NF", " F"},   {" RF", " F"},   {" TF", " F"},   //
    {" SM", " M"},   {" NM", " M"},   {" RM", " M"},   {" TM", " M"},   //
    {" SD", " D"},   {" ND", " D"},   {" RD", " D"},   {" TD", " D"},   //
    {" SO", " O"},   {" NOC", " OC"}, {" RO", " O"},   {" TO", " O"},   //
    {" SN", " N"},   {" NN", " N"},   {" RN", " N"},   {" TN", " N"},   //
    {" SAP", " AP"}, {" NAP", " AP"}, {" RAP", " AP"}, {" TAP", " AP"}, //
    {" SAU", " AU"}, {" NAU", " AU"}, {" RAU", " AU"}, {" TAU", " AU"},
};

constexpr std::string_view kRemovedWords[] = {
    "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY", "SUNDAY", "THUR", "MON", "TUE",
    "WED",    "THU",     "FRI",       "SAT",      "SUN",    "RD",       "TH",     "ND",   "ST",
};

struct TimeOfDay {
    bool ok = true; // false: no date text precedes the time
    TDateTime value = 0;
};

// Cuts the time of day off the working text. Two-digit hours sit at fixed positions before the
// first ':'; a one-digit hour after a blank ("9:30") is read as if written "09:30" rather than
// losing the time.
TimeOfDay CutTimeOfDay(std::string& text) {
    TimeOfDay result;
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return result;
    const bool oneDigitHour = colon >= 2 && IsDigit(text[colon - 1]) && text[colon - 2] == ' ';
    const size_t tokenStart = oneDigitHour ? colon - 1 : (colon >= 2 ? colon - 2 : 0);
    std::string token = text.substr(tokenStart);

    int adjust = 0;
    if (token.find("PM") != std::string::npos) adjust = 12;
    if (token.find("AM") != std::string::npos) adjust = -12;

    std::string dateText = text.substr(0, tokenStart);
    if (!ContainsDigit(Trim(dateText))) {
        result.ok = false;
        return result;
    }
    text = std::move(dateText);

    token = Trim(StrBefore(token, " "));
    if (oneDigitHour) token.insert(token.begin(), '0');
    int hour = StrToIntDef(Mid(token, 1, 2), 0);
    int minute = StrToIntDef(Mid(token, 4, 2), 0);
    int second = StrToIntDef(Mid(token, 7, 2), 0);
    int millisecond = StrToIntDef(Mid(token, 10, 3), 0);

    if (adjust == -12) {
        adjust = 0;
        if (hour == 12) hour = 0;
    } else if (adjust == 12) {
        if (hour > 12) adjust = 0;
        if (hour == 12) hour = 0;
    }
    hour += adjust;
    if (hour < 0 || hour > 23) hour = 0;
    if (minute < 0 || minute > 59) minute = 0;
    if (second < 0 || second > 59) second = 0;
    if (millisecond < 0 || millisecond > 999) millisecond = 0;
    result.value = EncodeTime(hour, minute, second, millisecond).value_or(0);
    return result;
}

int MonthFromWord(const std::string& word) {
    switch (word[0]) {
    case 'J':
        return word[1] == 'A' ? 1 : word[2] == 'N' ? 6 : 7;
    case 'F':
        return 2;
    case 'M':
        return word[2] == 'R' ? 3 : 5;
    case 'A':
        return word[1] == 'P' ? 4 : 8;
    case 'S':
        return 9;
    case 'O':
        return 10;
    case 'N':
        return 11;
    case 'D':
        return 12;
    default:
        return 0;
    }
}

// noCalendarDate, when given, is set when the text names a day, month and year that make no date.
TDateTime ConvertFreeText(const std::string& input, bool readIso, TDateTime failure,
                          const LocaleDateFormat& format, bool* noCalendarDate = nullptr) {
    if (input.empty()) return failure;
    std::string text = Trim(UpperCase(input));

    const TimeOfDay time = CutTimeOfDay(text);
    if (!time.ok) return failure;

    if (readIso && text.size() >= 5 && text[4] == '-') {
        const auto year = StrToIntOpt(Mid(text, 1, 4));
        if (year && *year > 0 && *year < 3000)
            text = Mid(text, 9, 2) + "/" + Mid(text, 6, 2) + "/" + Mid(text, 1, 4);
    }

    for (const auto& repair : kMonthRepairs)
        ReplaceAll(text, repair.from, repair.to);
    for (auto word : kRemovedWords)
        ReplaceAll(text, word, "");

    ReplaceAll(text, ",", " ");
    ReplaceAll(text, ".", "/");
    ReplaceAll(text, "-", "/");
    ReplaceAll(text, "OF", "");
    ReplaceAll(text, "\t", "");
    ReplaceAll(text, "\n", "");
    ReplaceAll(text, "\r", " ");
    while (text.find("  ") != std::string::npos)
        ReplaceAll(text, "  ", " ");
    text = Trim(UpperCase(text));

    if (text.find('/') != std::string::npos) {
        if (auto value = LocaleStrToDateTime(text, format)) return CombineDateTime(*value, time.value);
        std::replace(text.begin(), text.end(), '/', ' ');
    }

    const std::string first = StrBefore(text, " ");
    std::string monthWord;
    int day = 0, year = 0;
    if (auto dayFirst = StrToIntOpt(first)) {
        // 12 MAR 2005
        monthWord = StrBetween(text, " ", " ");
        day = *dayFirst;
        if (auto y = StrToIntOpt(StrAfter(StrAfter(text, " "), " "))) {
            year = *y;
            if (year < 1900) year += year < 10 ? 2000 : 1900;
        }
    } else {
        // MAR 12 2005
        monthWord = first;
        if (auto d = StrToIntOpt(StrBetween(text, " ", " "))) {
            day = *d;
            if (auto y = StrToIntOpt(StrAfter(text, std::to_string(day) + " "))) {
                year = *y;
                if (year < 1880) year += year < 10 ? 2000 : 1900;
            }
        }
    }

    if (monthWord.size() < 3) return failure;
    const int month = MonthFromWord(monthWord);
    if (month == 0) return LocaleStrToDateTime(text, format).value_or(failure);

    // Day, month and year that make no calendar date (day 0, 31 February) fail like any other
    // unreadable text rather than raising to the caller.
    const auto date = EncodeDate(year, month, day);
    if (!date && noCalendarDate) *noCalendarDate = true;
    return date ? CombineDateTime(*date, time.value) : failure;
}

} // namespace

DateOrder DateOrderFromFormat(const std::string& strftimeFormat) {
    const std::string& f = strftimeFormat;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        size_t j = i + 1;
        while (j < f.size() && (std::strchr("EO_-0^#", f[j]) || IsDigit(f[j])))
            ++j;
        if (j >= f.size()) break;
        switch (f[j]) {
        case 'd':
        case 'e':
            return DateOrder::DayMonthYear;
        case 'm':
        case 'b':
        case 'B':
        case 'h':
        case 'D':
            return DateOrder::MonthDayYear;
        case 'y':
        case 'Y':
        case 'C':
        case 'G':
        case 'g':
        case 'F':
            return DateOrder::YearMonthDay;
        default:
            break;
        }
        i = j;
    }
    return DateOrder::DayMonthYear;
}

DateOrder LocaleDateOrder(const std::string& localeName) {
    if (IsNeutralLocale(localeName)) return DateOrder::DayMonthYear;
    locale_t loc = newlocale(LC_TIME_MASK, localeName.c_str(), nullptr);
    if (!loc) return OrderByTerritory(localeName);
    const char* dateFormat = nl_langinfo_l(D_FMT, loc);
    const DateOrder order = DateOrderFromFormat(dateFormat ? dateFormat : "");
    freelocale(loc);
    return order;
}

LocaleDateFormat CurrentLocaleDateFormat() {
    std::string name;
    if (const char* current = setlocale(LC_TIME, nullptr)) name = current;
    if (IsNeutralLocale(name)) name = EnvironmentTimeLocale();

    // Loading a locale costs far more than a conversion, so the last answer is kept.
    static std::mutex mutex;
    static std::string cachedName;
    static DateOrder cachedOrder = DateOrder::DayMonthYear;
    LocaleDateFormat format;
    {
        std::lock_guard lock(mutex);
        if (name != cachedName) {
            cachedOrder = LocaleDateOrder(name);
            cachedName = name;
        }
        format.order = cachedOrder;
    }
    format.currentYear = DecodeDateTime(SystemClock().Now()).year;
    return format;
}

LocaleDateFormat CurrentLocaleDateFormat(const Clock& clock) {
    LocaleDateFormat format = CurrentLocaleDateFormat();
    format.currentYear = DecodeDateTime(clock.Now()).year;
    return format;
}

std::optional<TDateTime> LocaleStrToDateTime(const std::string& text, const LocaleDateFormat& format) {
    Scanner in(text);
    TDateTime date = 0, time = 0;
    // The time must stand apart from the date: "12/03/20051" is no date with one o'clock.
    if (ScanDate(in, format, date) && (in.AtEnd() || (in.AfterBlank() && ScanTime(in, time) && in.AtEnd())))
        return CombineDateTime(date, time);
    // A text without a date may still be a time of day alone, a lone number being an hour.
    Scanner timeOnly(text);
    time = 0;
    if (ScanTime(timeOnly, time) && timeOnly.AtEnd()) return time;
    return std::nullopt;
}

std::optional<TDateTime> LocaleStrToDateTime(const std::string& text) {
    return LocaleStrToDateTime(text, CurrentLocaleDateFormat());
}

TDateTime FreeTextToDateTime(const std::string& text, const LocaleDateFormat& format) {
    return ConvertFreeText(text, true, kGeneralDateFailure, format);
}

TDateTime FreeTextToDateTimeReport(const std::string& text, const LocaleDateFormat& format) {
    return ConvertFreeText(text, false, kReportDateFailure, format);
}

TDateTime FreeTextToDateTime(const std::string& text) {
    return FreeTextToDateTime(text, CurrentLocaleDateFormat());
}

std::optional<TDateTime> FreeTextToDateTimeStrict(const std::string& text, const LocaleDateFormat& format) {
    bool noCalendarDate = false;
    const TDateTime value = ConvertFreeText(text, true, kGeneralDateFailure, format, &noCalendarDate);
    if (noCalendarDate) return std::nullopt;
    return value;
}

std::optional<TDateTime> FreeTextToDateTimeStrict(const std::string& text) {
    return FreeTextToDateTimeStrict(text, CurrentLocaleDateFormat());
}

TDateTime FreeTextToDateTimeReport(const std::string& text) {
    return FreeTextToDateTimeReport(text, CurrentLocaleDateFormat());
}

} // namespace vvp
