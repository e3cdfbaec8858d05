#pragma once

#include <optional>
#include <string>

namespace vvp {

// Days since 30 December 1899; the fraction is the time of day. The persisted and formatted
// values of the system all go through this representation.
using TDateTime = double;

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

std::optional<TDateTime> EncodeDate(int year, int month, int day);
std::optional<TDateTime> EncodeTime(int hour, int minute, int second, int millisecond);
std::optional<TDateTime> EncodeDateTime(const DateTimeParts& parts);
DateTimeParts DecodeDateTime(TDateTime value);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Formats with the patterns the system uses: yyyy yy mmmm mmm mm m dd d ddd hh h nn n ss s zzz;
// "mm" directly after an hour token means minutes. Text in double or single quotes is literal;
// other characters are copied. Day and month names are English whatever the locale.
std::string FormatDateTime(const std::string& pattern, TDateTime value);

const char* ShortMonthName(int month); // 1..12
const char* ShortDayName(int weekday); // 1 = Sunday .. 7 = Saturday
int DayOfWeek(TDateTime value);        // 1 = Sunday .. 7 = Saturday

} // namespace vvp
