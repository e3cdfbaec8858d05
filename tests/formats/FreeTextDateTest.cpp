#include "Clock.h"
#include "QZStringManip.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vvp {
namespace {

const LocaleDateFormat kDayFirst{DateOrder::DayMonthYear, 2025};
const LocaleDateFormat kMonthFirst{DateOrder::MonthDayYear, 2025};
const LocaleDateFormat kYearFirst{DateOrder::YearMonthDay, 2025};

TDateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0, int z = 0) {
    return EncodeDateTime(DateTimeParts{y, m, d, h, n, s, z}).value();
}

using Expected = std::optional<TDateTime>; // nullopt: the variant's failure value

struct Case {
    std::string text;
    Expected general, report;
};

void ExpectBothVariants(const Case& c, const LocaleDateFormat& format = kDayFirst) {
    const TDateTime general = FreeTextToDateTime(c.text, format);
    const TDateTime report = FreeTextToDateTimeReport(c.text, format);
    EXPECT_DOUBLE_EQ(general, c.general.value_or(kGeneralDateFailure))
        << "general: \"" << c.text << "\" gave " << FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", general);
    EXPECT_DOUBLE_EQ(report, c.report.value_or(kReportDateFailure))
        << "report: \"" << c.text << "\" gave " << FormatDateTime("dd/mm/yyyy hh:nn:ss.zzz", report);
}

void ExpectAll(const std::vector<Case>& cases) {
    for (const auto& c : cases)
        ExpectBothVariants(c);
}

// Cases where both variants agree.
Case Same(std::string text, Expected expected) {
    return {std::move(text), expected, expected};
}

TEST(FreeTextToDateTime, DocumentedExamples) {
    ExpectAll({
        Same("12 March 2005", At(2005, 3, 12)),
        Same("March 12, 2005", At(2005, 3, 12)),
        Same("Monday, 3rd of June 2004", At(2004, 6, 3)),
        Same("12 MAR 05", At(2005, 3, 12)),
        Same("12 MAR 99", At(1999, 3, 12)),
        Same("12 MAR 150", At(2050, 3, 12)),
        Same("MAR 12 1885", At(1885, 3, 12)),
        Same("12 MAR 1885", At(3785, 3, 12)),
        // Only the general variant reads ISO dates; the report variant ends with "2005 03 12",
        // whose month word is too short.
        {"2005-03-12", At(2005, 3, 12), std::nullopt},
        Same("12/03/2005 10:30", At(2005, 3, 12, 10, 30)),
        Same("12/03/2005 11:15:20 pm", At(2005, 3, 12, 23, 15, 20)),
        Same("12 MAR 2005 12:05 am", At(2005, 3, 12, 0, 5)),
        Same("10:30", std::nullopt),
        Same("", std::nullopt),
        Same("XY", std::nullopt),
        Same("12 XYZ 2005", std::nullopt),
        Same("12 FOO 2005", At(2005, 2, 12)),
    });
}

TEST(FreeTextToDateTime, IsoOnlyInTheGeneralVariant) {
    ExpectAll({
        {"2005-03-12T10:30:00", At(2005, 3, 12, 10, 30), std::nullopt},
        {"2005-03-12 anything after", At(2005, 3, 12), std::nullopt},
        {"1999-12-31", At(1999, 12, 31), std::nullopt},
        // Not a year below 3000: both read the dashes as separators and fail the same way.
        Same("3005-03-12", std::nullopt),
    });
    // In a year-first locale the report variant reads the rebuilt text itself.
    EXPECT_DOUBLE_EQ(FreeTextToDateTimeReport("2005-03-12", kYearFirst), At(2005, 3, 12));
}

TEST(FreeTextToDateTime, DatesThatAreNotOnTheCalendarFailInsteadOfRaising) {
    ExpectAll({
        Same("12 MAR 2005 EXTRA", std::nullopt), // unreadable year stays 0
        Same("31 FEB 2005", std::nullopt),
        Same("0 MAR 2005", std::nullopt),
        Same("12 MAR 0", At(2000, 3, 12)), // a year read as 0 is below 10
        Same("MAR 0 2005", std::nullopt),
        Same("MAR 12", std::nullopt),   // no year after the day
        Same("12 MARCH", std::nullopt), // no year after the month
        Same("31/02/2005", std::nullopt),
        Same("29 FEB 2004", At(2004, 2, 29)),
        Same("29 FEB 2005 10:30", std::nullopt),
        Same("12 MAR 99999", std::nullopt),
        Same("12 MAR 2147483647", std::nullopt),
        Same("12 MAR -2147483648", std::nullopt),
    });
}

TEST(FreeTextToDateTime, AmPmAndTimeParts) {
    ExpectAll({
        Same("12 MAR 2005 12:00 pm", At(2005, 3, 12, 12, 0)),
        Same("12 MAR 2005 00:30 pm", At(2005, 3, 12, 12, 30)),
        Same("12 MAR 2005 13:00 pm", At(2005, 3, 12, 13, 0)),    // a 24-hour time keeps its hour
        Same("12 MAR 2005 10:00 AM PM", At(2005, 3, 12, 10, 0)), // "am" wins
        Same("12 MAR 2005 10:00 am", At(2005, 3, 12, 10, 0)),
        Same("12/03/2005 10:30:15.250", At(2005, 3, 12, 10, 30, 15, 250)),
        // Out-of-range parts become 0 each.
        Same("12 MAR 2005 25:30", At(2005, 3, 12, 0, 30)),
        Same("12 MAR 2005 10:75", At(2005, 3, 12, 10, 0)),
        Same("12 MAR 2005 10:30:99", At(2005, 3, 12, 10, 30)),
        Same("12 MAR 2005 11:30 pm", At(2005, 3, 12, 23, 30)),
        // An unreadable time only loses the time.
        Same("12 MAR 2005 XX:YY", At(2005, 3, 12)),
        Same("12 MAR 2005 10:", At(2005, 3, 12, 10, 0)),
    });
}

TEST(FreeTextToDateTime, OneDigitHourReadsAsTwo) {
    ExpectAll({
        Same("12/03/2005 9:30", At(2005, 3, 12, 9, 30)),
        Same("12 MAR 2005 9:30 pm", At(2005, 3, 12, 21, 30)),
        Same("Monday 3rd June 2004 9:05:07", At(2004, 6, 3, 9, 5, 7)),
        Same("9:30", std::nullopt),
    });
}

TEST(FreeTextToDateTime, TimeBeforeItsDateFails) {
    ExpectAll({
        Same("10:30 12 MAR 2005", std::nullopt),
        Same("10:30 12/03/2005", std::nullopt),
        Same("at 10:30", std::nullopt),
    });
}

TEST(FreeTextToDateTime, DateBeforeTheEpochKeepsItsDayWithATime) {
    const TDateTime value = FreeTextToDateTime("MAR 12 1885 10:30", kDayFirst);
    const DateTimeParts p = DecodeDateTime(value);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn", value), "1885-03-12 10:30") << p.day;
}

TEST(FreeTextToDateTime, MonthInitialRepairs) {
    ExpectAll({
        Same("12 NOCTOBER 2005", At(2005, 10, 12)),
        Same("12 NOVEMBER 2005", At(2005, 11, 12)),
        Same("12 TMARCH 2005", At(2005, 3, 12)),
        Same("12 SAUGUST 2005", At(2005, 8, 12)),
        Same("12 RAPRIL 2005", At(2005, 4, 12)),
        Same("12 NJULY 2005", At(2005, 7, 12)),
        Same("12 SFEB 2005", At(2005, 2, 12)),
        Same("12 TDEC 2005", At(2005, 12, 12)),
    });
}

TEST(FreeTextToDateTime, DayNamesAndOrdinalEndings) {
    ExpectAll({
        Same("21st March 2005", At(2005, 3, 21)),
        Same("2nd March 2005", At(2005, 3, 2)),
        Same("23rd March 2005", At(2005, 3, 23)),
        Same("4th March 2005", At(2005, 3, 4)),
        Same("1st August 2005", At(2005, 8, 1)), // "AUGUST" loses its "ST" and still reads as August
        Same("Thursday, 1st of September 2005", At(2005, 9, 1)),
        Same("Wed 12 Oct 2005", At(2005, 10, 12)),
        Same("Thur 13 Oct 2005", At(2005, 10, 13)),
        Same("Sat, 12 Feb 2005", At(2005, 2, 12)),
        Same("Tuesday 12 April 2005", At(2005, 4, 12)),
    });
}

TEST(FreeTextToDateTime, WordFormsAndYearThresholds) {
    ExpectAll({
        Same("12 MAR 9", At(2009, 3, 12)),      Same("12 MAR 10", At(1910, 3, 12)),
        Same("12 MAR 1899", At(3799, 3, 12)),   Same("12 MAR 1900", At(1900, 3, 12)),
        Same("MAR 12 5", At(2005, 3, 12)),      Same("MAR 12 99", At(1999, 3, 12)),
        Same("MAR 12 1879", At(3779, 3, 12)),   Same("MAR 12 1880", At(1880, 3, 12)),
        Same("january 5 2005", At(2005, 1, 5)), Same("5 june 2005", At(2005, 6, 5)),
        Same("5 july 2005", At(2005, 7, 5)),    Same("5 jxn 2005", At(2005, 6, 5)),
        Same("5 may 2005", At(2005, 5, 5)),     Same("5 april 2005", At(2005, 4, 5)),
        Same("5 axx 2005", At(2005, 8, 5)),     Same("5 sep 2005", At(2005, 9, 5)),
        Same("5 oct 2005", At(2005, 10, 5)),    Same("5 nov 2005", At(2005, 11, 5)),
        Same("5 dec 2005", At(2005, 12, 5)),    Same("  12   mar   2005  ", At(2005, 3, 12)),
        Same("12.03.2005", At(2005, 3, 12)),    Same("12-03-2005", At(2005, 3, 12)),
        Same("12-MAR-2005", At(2005, 3, 12)),   Same("12 MA 2005", std::nullopt), // month word too short
    });
}

TEST(FreeTextToDateTime, SlashDatesFollowTheLocaleOrder) {
    EXPECT_DOUBLE_EQ(FreeTextToDateTime("12/03/2005", kMonthFirst), At(2005, 12, 3));
    EXPECT_DOUBLE_EQ(FreeTextToDateTimeReport("12/03/2005", kMonthFirst), At(2005, 12, 3));
    EXPECT_DOUBLE_EQ(FreeTextToDateTime("12/03", kDayFirst), At(2025, 3, 12));
    EXPECT_DOUBLE_EQ(FreeTextToDateTime("12/03/05", kDayFirst), At(2005, 3, 12));
    // An ISO date is rebuilt day first, which a month-first locale then reads the other way.
    EXPECT_DOUBLE_EQ(FreeTextToDateTime("2005-03-12", kMonthFirst), At(2005, 12, 3));
}

TEST(LocaleStrToDateTime, DateOrderAndYearWindow) {
    struct Row {
        std::string text;
        LocaleDateFormat format;
        Expected expected;
    };
    const LocaleDateFormat in2060{DateOrder::DayMonthYear, 2060};
    const Row rows[] = {
        {"12/03/2005", kDayFirst, At(2005, 3, 12)},
        {"12/03/2005", kMonthFirst, At(2005, 12, 3)},
        {"2005/03/12", kYearFirst, At(2005, 3, 12)},
        {"12/03", kDayFirst, At(2025, 3, 12)},
        {"12/03", kMonthFirst, At(2025, 12, 3)},
        {"03/12", kYearFirst, At(2025, 3, 12)},
        {"12/03/05", kDayFirst, At(2005, 3, 12)},
        {"12/03/74", kDayFirst, At(2074, 3, 12)},
        {"12/03/75", kDayFirst, At(1975, 3, 12)},
        {"12/03/99", kDayFirst, At(1999, 3, 12)},
        {"12/03/00", kDayFirst, At(2000, 3, 12)},
        {"12/03/05", in2060, At(2105, 3, 12)},
        {"12/03/10", in2060, At(2010, 3, 12)},
        {"05/03/12", kYearFirst, At(2005, 3, 12)},
        {"12/03/0005", kDayFirst, At(5, 3, 12)}, // four digits: no window
        {"29/02/2004", kDayFirst, At(2004, 2, 29)},
        {"31/02/2005", kDayFirst, std::nullopt},
        {"12/13/2005", kDayFirst, std::nullopt},
        {"12/03/20051", kDayFirst, std::nullopt},
        {" 12 / 03 / 2005 ", kDayFirst, At(2005, 3, 12)},
        {"12/03/2005/", kDayFirst, At(2005, 3, 12)},
        {"12/03/", kDayFirst, std::nullopt},
        {"12/03/2005X", kDayFirst, std::nullopt},
        {"12-03-2005", kDayFirst, std::nullopt},
        {"", kDayFirst, std::nullopt},
        {"/", kDayFirst, std::nullopt},
    };
    for (const auto& r : rows) {
        const auto value = LocaleStrToDateTime(r.text, r.format);
        ASSERT_EQ(value.has_value(), r.expected.has_value()) << r.text;
        if (value) {
            EXPECT_DOUBLE_EQ(*value, *r.expected) << r.text;
        }
    }
}

TEST(LocaleStrToDateTime, TimeAfterTheDate) {
    struct Row {
        std::string text;
        Expected expected;
    };
    const Row rows[] = {
        {"12/03/2005 10:30", At(2005, 3, 12, 10, 30)},
        {"12/03/2005 10:30:15", At(2005, 3, 12, 10, 30, 15)},
        {"12/03/2005 10:30:15.250", At(2005, 3, 12, 10, 30, 15, 250)},
        {"12/03/2005 9:05", At(2005, 3, 12, 9, 5)},
        {"12/03/2005 1:05 PM", At(2005, 3, 12, 13, 5)},
        {"12/03/2005 12:05 am", At(2005, 3, 12, 0, 5)},
        {"12/03/2005 12 PM", At(2005, 3, 12, 12, 0)},
        {"12/03/2005 PM 3:00", At(2005, 3, 12, 15, 0)},
        {"12/03/2005 10", At(2005, 3, 12, 10, 0)},
        {"12/03/2005 13:00 PM", std::nullopt},
        {"12/03/2005 0:30 AM", std::nullopt},
        {"12/03/2005 24:00", std::nullopt},
        {"12/03/2005 10:60", std::nullopt},
        {"12/03/2005 10:", std::nullopt},
        {"12/03/2005 10:30 X", std::nullopt}, // the whole text must be read
        {"10:30", At(1899, 12, 30, 10, 30)},  // a time alone
        {"12", At(1899, 12, 30, 12, 0)},      // a lone number is an hour
    };
    for (const auto& r : rows) {
        const auto value = LocaleStrToDateTime(r.text, kDayFirst);
        ASSERT_EQ(value.has_value(), r.expected.has_value()) << r.text;
        if (value) {
            EXPECT_DOUBLE_EQ(*value, *r.expected) << r.text;
        }
    }
}

TEST(LocaleDateOrder, FromStrftimeFormats) {
    EXPECT_EQ(DateOrderFromFormat("%m/%d/%Y"), DateOrder::MonthDayYear);
    EXPECT_EQ(DateOrderFromFormat("%-m/%-d/%y"), DateOrder::MonthDayYear);
    EXPECT_EQ(DateOrderFromFormat("%D"), DateOrder::MonthDayYear);
    EXPECT_EQ(DateOrderFromFormat("%d/%m/%y"), DateOrder::DayMonthYear);
    EXPECT_EQ(DateOrderFromFormat("%e.%m.%Y"), DateOrder::DayMonthYear);
    EXPECT_EQ(DateOrderFromFormat("%Y-%m-%d"), DateOrder::YearMonthDay);
    EXPECT_EQ(DateOrderFromFormat("%F"), DateOrder::YearMonthDay);
    EXPECT_EQ(DateOrderFromFormat("%Y\xe5\xb9\xb4%m\xe6\x9c\x88%d\xe6\x97\xa5"), DateOrder::YearMonthDay);
    EXPECT_EQ(DateOrderFromFormat("%%d %m"), DateOrder::MonthDayYear); // "%%" is a literal
    EXPECT_EQ(DateOrderFromFormat(""), DateOrder::DayMonthYear);
    EXPECT_EQ(DateOrderFromFormat("%"), DateOrder::DayMonthYear);
}

TEST(LocaleDateOrder, NamedLocales) {
    for (const char* neutral : {"", "C", "POSIX", "C.UTF-8", "C.utf8"})
        EXPECT_EQ(LocaleDateOrder(neutral), DateOrder::DayMonthYear) << neutral;
    EXPECT_EQ(LocaleDateOrder("en_US.UTF-8"), DateOrder::MonthDayYear);
    EXPECT_EQ(LocaleDateOrder("en_AU.UTF-8"), DateOrder::DayMonthYear);
    EXPECT_EQ(LocaleDateOrder("en_GB"), DateOrder::DayMonthYear);
    EXPECT_EQ(LocaleDateOrder("ja_JP.UTF-8"), DateOrder::YearMonthDay);
}

// Sets locale variables for one test and puts the old values back.
class LocaleEnvironment {
public:
    LocaleEnvironment() {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    ~LocaleEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    LocaleEnvironment(const LocaleEnvironment&) = delete;
    LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;

private:
    static constexpr const char* kNames[] = {"LC_ALL", "LC_TIME", "LANG"};
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST(LocaleDateOrder, ProcessLocaleFromTheEnvironment) {
    LocaleEnvironment environment;
    EXPECT_EQ(CurrentLocaleDateFormat().order, DateOrder::DayMonthYear);
    EXPECT_DOUBLE_EQ(FreeTextToDateTime("12/03/2005"), At(2005, 3, 12));

    setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(CurrentLocaleDateFormat().order, DateOrder::MonthDayYear);
    EXPECT_DOUBLE_EQ(FreeTextToDateTime("12/03/2005"), At(2005, 12, 3));
    EXPECT_DOUBLE_EQ(FreeTextToDateTimeReport("12/03/2005"), At(2005, 12, 3));

    setenv("LC_TIME", "en_AU.UTF-8", 1); // LC_TIME outranks LANG
    EXPECT_EQ(CurrentLocaleDateFormat().order, DateOrder::DayMonthYear);

    setenv("LC_ALL", "C", 1); // and LC_ALL outranks both; C is the practices' order
    EXPECT_EQ(CurrentLocaleDateFormat().order, DateOrder::DayMonthYear);
    EXPECT_EQ(LocaleStrToDateTime("12/03/2005"), At(2005, 3, 12));

    EXPECT_EQ(CurrentLocaleDateFormat().currentYear, DecodeDateTime(SystemClock().Now()).year);
}

} // namespace
} // namespace vvp
