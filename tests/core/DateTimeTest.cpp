#include "DateTime.h"

#include <gtest/gtest.h>

using namespace vvp;

TEST(DateTime, EncodesAgainstTheEpochAndRoundTrips) {
    EXPECT_EQ(*EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(*EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(*EncodeDate(2005, 3, 12), 38423.0);
    EXPECT_EQ(*EncodeDate(1800, 1, 1), -36522.0);
    for (int y : {1, 1600, 1899, 1900, 2000, 2024, 9999}) {
        for (int m : {1, 2, 12}) {
            auto d = EncodeDate(y, m, DaysInMonth(y, m));
            ASSERT_TRUE(d);
            auto p = DecodeDateTime(*d);
            EXPECT_EQ(p.year, y);
            EXPECT_EQ(p.month, m);
            EXPECT_EQ(p.day, DaysInMonth(y, m));
        }
    }
}

TEST(DateTime, RejectsImpossibleDatesAndTimes) {
    EXPECT_FALSE(EncodeDate(2005, 2, 29));
    EXPECT_TRUE(EncodeDate(2004, 2, 29));
    EXPECT_FALSE(EncodeDate(1900, 2, 29));
    EXPECT_FALSE(EncodeDate(0, 1, 1));
    EXPECT_FALSE(EncodeDate(2005, 13, 1));
    EXPECT_FALSE(EncodeDate(2005, 1, 0));
    EXPECT_FALSE(EncodeTime(24, 0, 0, 0));
    EXPECT_FALSE(EncodeTime(23, 60, 0, 0));
    EXPECT_FALSE(EncodeTime(0, 0, 0, 1000));
}

TEST(DateTime, FormatsTheSystemPatterns) {
    TDateTime t = *EncodeDate(2009, 12, 8) + *EncodeTime(14, 5, 9, 7);
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy", t), "08/12/2009");
    EXPECT_EQ(FormatDateTime("hh:nn:ss", t), "14:05:09");
    EXPECT_EQ(FormatDateTime("yyyymmddhhnnsszzz", t), "20091208140509007");
    EXPECT_EQ(FormatDateTime("yyyymmddhhnnss.zzz", t), "20091208140509.007");
    EXPECT_EQ(FormatDateTime("yymmddhhnnss", t), "091208140509");
    EXPECT_EQ(FormatDateTime("dd-mmm-yyyy", t), "08-Dec-2009");
    EXPECT_EQ(FormatDateTime("ddd, dd mmm yyyy hh:nn:ss ", t), "Tue, 08 Dec 2009 14:05:09 ");
    EXPECT_EQ(FormatDateTime("hh:mm", t), "14:05"); // minutes after an hour
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", t), "08/12/2009 14:05");
}

TEST(DateTime, ZeroFormatsAsTheEpoch) {
    EXPECT_EQ(FormatDateTime("yyyymmddhhnnsszzz", 0.0), "18991230000000000");
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy", -36522.0), "01/01/1800");
}

TEST(DateTime, MillisecondsRoundWithoutOverflowingTheDay) {
    TDateTime almost = *EncodeDate(2020, 1, 1) + 0.99999999999;
    auto p = DecodeDateTime(almost);
    EXPECT_EQ(p.day, 2);
    EXPECT_EQ(p.hour, 0);
}
