#pragma once

#include "Clock.h"
#include "DateTime.h"

#include <optional>
#include <string>

namespace vvp {

// String routines for cutting fields out of printed text. All take text by value, return new
// text and never fail.
std::string StrBefore(const std::string& text, const std::string& marker);
std::string StrAfter(const std::string& text, const std::string& marker);
std::string StrBetween(const std::string& text, const std::string& first, const std::string& second);
int StrCount(const std::string& text, const std::string& marker);
std::string StrStrip(const std::string& text, const std::string& characters);
std::string StrReplace(const std::string& text, const std::string& search, const std::string& replacement);
std::string StrField(const std::string& text, char delimiter, int index);

// The platform text routines the callers use with their usual meaning.
std::string UpperCase(std::string text);
std::string LowerCase(std::string text);
std::string Trim(const std::string& text); // blanks and control characters at both ends
std::string TrimLeft(const std::string& text);
std::string TrimRight(const std::string& text);
std::string ReplaceAllNoCase(const std::string& text, const std::string& search,
                             const std::string& replacement);
bool ContainsText(const std::string& text, const std::string& part); // letter case ignored
bool StartsText(const std::string& text, const std::string& prefix); // letter case ignored
bool SameText(const std::string& a, const std::string& b);
// Whole-number reading as the platform's StrToInt: leading blanks, optional sign, decimal
// digits or "$"/"0x" hex; nullopt for anything else or out of 32-bit range.
std::optional<int> StrToIntOpt(const std::string& text);
int StrToIntDef(const std::string& text, int fallback);
// Pads with blanks and cuts to exactly n characters.
std::string PadTo(const std::string& text, size_t n);

// Free-text date and time conversion. The general variant fails with -999999.0 and reads ISO
// dates; the report variant fails with 0.0 and does not.
inline constexpr TDateTime kGeneralDateFailure = -999999.0;
inline constexpr TDateTime kReportDateFailure = 0.0;
TDateTime FreeTextToDateTime(const std::string& text);
TDateTime FreeTextToDateTimeReport(const std::string& text);
// The general variant, except that a day, month and year that make no calendar date (31 FEB 1960,
// day 0) give nullopt: the platform's converter raised an error there, and readers that refuse
// such text rely on it. Other unreadable text still gives the failure value.
std::optional<TDateTime> FreeTextToDateTimeStrict(const std::string& text);

// The locale's date-and-time conversion (StrToDateTime): 1 to 3 numbers split by the date
// separator, an optional time after a blank, two-digit years in a 50-year window.
std::optional<TDateTime> LocaleStrToDateTime(const std::string& text);

// How the locale orders the numbers of a date. Practices write day-month-year, so that is the
// order unless LC_TIME (or LC_ALL/LANG) names a real locale that orders otherwise.
enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

struct LocaleDateFormat {
    DateOrder order = DateOrder::DayMonthYear;
    // The year of a date written without one, and the centre of the window for two-digit years.
    int currentYear = 2000;
};

// The process locale's order (cached per locale name) and the system clock's year, or the year of
// the given clock (so a date printed without its year takes the engine's time, fixed in tests).
LocaleDateFormat CurrentLocaleDateFormat();
LocaleDateFormat CurrentLocaleDateFormat(const Clock& clock);
// Order of a named locale: from its D_FMT when installed, else judged by its territory.
DateOrder LocaleDateOrder(const std::string& localeName);
// Order of an strftime date format such as "%m/%d/%Y": the first day, month or year field decides.
DateOrder DateOrderFromFormat(const std::string& strftimeFormat);

// The same conversions with the locale and year given, for reproducible results.
std::optional<TDateTime> LocaleStrToDateTime(const std::string& text, const LocaleDateFormat& format);
TDateTime FreeTextToDateTime(const std::string& text, const LocaleDateFormat& format);
TDateTime FreeTextToDateTimeReport(const std::string& text, const LocaleDateFormat& format);
std::optional<TDateTime> FreeTextToDateTimeStrict(const std::string& text, const LocaleDateFormat& format);

} // namespace vvp
