#include "DateTime.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace vvp {
namespace {

constexpr long long kMsPerDay = 86400000LL;
constexpr int kDaysTo1899_12_30 = 693594; // days from 0001-01-01 (day 1) to 1899-12-30

const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

std::string Pad(int value, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    return buf;
}

} // namespace

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<TDateTime> EncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return std::nullopt;
    long long y = year - 1;
    long long days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    days += day;
    return static_cast<double>(days - kDaysTo1899_12_30);
}

std::optional<TDateTime> EncodeTime(int hour, int minute, int second, int millisecond) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return std::nullopt;
    long long ms = ((hour * 60LL + minute) * 60LL + second) * 1000LL + millisecond;
    return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

std::optional<TDateTime> EncodeDateTime(const DateTimeParts& p) {
    auto date = EncodeDate(p.year, p.month, p.day);
    auto time = EncodeTime(p.hour, p.minute, p.second, p.millisecond);
    if (!date || !time) return std::nullopt;
    // Negative dates keep the time as a positive fraction away from zero, as the platform did.
    return *date >= 0 ? *date + *time : *date - *time;
}

DateTimeParts DecodeDateTime(TDateTime value) {
    DateTimeParts p;
    if (!std::isfinite(value) || std::fabs(value) > 3e6) return p;
    double whole = std::trunc(value);
    long long days = static_cast<long long>(whole);
    long long ms = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        days += value < 0 ? -1 : 1;
    }
    long long n = days + kDaysTo1899_12_30 - 1; // days since 0001-01-01
    if (n < 0) return p;
    long long y400 = n / 146097, r = n % 146097;
    long long y100 = r / 36524;
    if (y100 == 4) y100 = 3;
    r -= y100 * 36524;
    long long y4 = r / 1461;
    r %= 1461;
    long long y1 = r / 365;
    if (y1 == 4) y1 = 3;
    r -= y1 * 365;
    p.year = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
    p.month = 1;
    while (r >= DaysInMonth(p.year, p.month)) {
        r -= DaysInMonth(p.year, p.month);
        ++p.month;
    }
    p.day = static_cast<int>(r) + 1;
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return p;
}

int DayOfWeek(TDateTime value) {
    long long days = static_cast<long long>(std::trunc(value));
    // 30 December 1899 was a Saturday (7).
    long long dow = ((days % 7) + 7 + 6) % 7;
    return static_cast<int>(dow) + 1;
}

const char* ShortMonthName(int month) {
    return month >= 1 && month <= 12 ? kShortMonths[month - 1] : "";
}
const char* ShortDayName(int weekday) {
    return weekday >= 1 && weekday <= 7 ? kShortDays[weekday - 1] : "";
}

std::string FormatDateTime(const std::string& pattern, TDateTime value) {
    const DateTimeParts p = DecodeDateTime(value);
    std::string out;
    bool afterHour = false;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + n])) == c)
            ++n;
        return n;
    };
    while (i < pattern.size()) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
        if (pattern[i] == '"' || pattern[i] == '\'') {
            char q = pattern[i++];
            while (i < pattern.size() && pattern[i] != q)
                out += pattern[i++];
            if (i < pattern.size()) ++i;
            continue;
        }
        size_t n = run(c);
        switch (c) {
        case 'y':
            out += n <= 2 ? Pad(p.year % 100, 2) : Pad(p.year, 4);
            break;
        case 'm':
            if (afterHour && n <= 2) {
                out += n == 1 ? std::to_string(p.minute) : Pad(p.minute, 2);
            } else if (n >= 4) {
                out += kLongMonths[p.month - 1];
            } else if (n == 3) {
                out += kShortMonths[p.month - 1];
            } else {
                out += n == 1 ? std::to_string(p.month) : Pad(p.month, 2);
            }
            break;
        case 'd':
            if (n >= 3)
                out += kShortDays[DayOfWeek(value) - 1];
            else
                out += n == 1 ? std::to_string(p.day) : Pad(p.day, 2);
            break;
        case 'h':
            out += n == 1 ? std::to_string(p.hour) : Pad(p.hour, 2);
            break;
        case 'n':
            out += n == 1 ? std::to_string(p.minute) : Pad(p.minute, 2);
            break;
        case 's':
            out += n == 1 ? std::to_string(p.second) : Pad(p.second, 2);
            break;
        case 'z':
            out += n >= 3 ? Pad(p.millisecond, 3) : std::to_string(p.millisecond);
            break;
        default:
            out.append(n ? n : 1, pattern[i]);
            if (!n) n = 1;
            break;
        }
        if (c != 'm' && std::isalpha(static_cast<unsigned char>(c)))
            afterHour = (c == 'h');
        else if (c == 'm')
            afterHour = false;
        i += n;
    }
    return out;
}

} // namespace vvp
