// Date arithmetic, text forms and the parser on their own, with time-zone offsets that the script
// tests (which run in whatever zone the machine has) cannot choose.
#include "engine/builtins/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/builtins/date_parse.h"

namespace quill::testing {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

double utc(double year, double month, double date, double hours = 0, double minutes = 0) {
    return make_date(make_day(year, month, date), make_time(hours, minutes, 0, 0));
}

TEST(DateArithmetic, YearsAndLeapDays) {
    EXPECT_EQ(day_from_year(1970), 0);
    EXPECT_EQ(day_from_year(2000), 10957);
    EXPECT_EQ(day_from_year(1900), -25567);
    EXPECT_EQ(day_from_year(0), -719528);
    EXPECT_EQ(day_from_year(-1), -719528 - 365);  // year 0 is a leap year, -1 is not
    EXPECT_EQ(make_day(2000, 2, 1) - make_day(2000, 1, 1), 29);
    EXPECT_EQ(make_day(1900, 2, 1) - make_day(1900, 1, 1), 28);
    EXPECT_EQ(make_day(2100, 2, 1) - make_day(2100, 1, 1), 28);
    EXPECT_EQ(make_day(-4, 2, 1) - make_day(-4, 1, 1), 29);
    // Months reduce into the year either way; dates run past the month.
    EXPECT_EQ(make_day(2004, 13, 1), make_day(2005, 1, 1));
    EXPECT_EQ(make_day(2004, -1, 1), make_day(2003, 11, 1));
    EXPECT_EQ(make_day(2004, -12, 1), make_day(2003, 0, 1));
    EXPECT_EQ(make_day(2004, 0, 0), make_day(2003, 11, 31));
    EXPECT_EQ(make_day(2004, 0, 367), make_day(2005, 0, 1));
}

TEST(DateArithmetic, SplitGivesBackTheFieldsOfEveryDay) {
    // Two whole 400-year cycles either side of 1970, then samples out to the limit.
    auto check_day = [](int64_t day) {
        double t = static_cast<double>(day) * ms_per_day + 45296789;  // 12:34:56.789
        DateFields f = split_time(t);
        ASSERT_EQ(make_day(f.year, f.month, f.date), static_cast<double>(day)) << day;
        ASSERT_EQ(f.weekday, ((day + 4) % 7 + 7) % 7) << day;
        ASSERT_EQ(f.hours * 10000 + f.minutes * 100 + f.seconds, 123456) << day;
        ASSERT_EQ(f.ms, 789) << day;
    };
    for (int64_t day = -292194; day <= 292194; ++day) {
        check_day(day);
    }
    for (int64_t day = -100000000; day < 100000000; day += 9973) {
        check_day(day);
    }
}

TEST(DateArithmetic, NegativeTimesCorrectTheirRemaindersUpward) {
    DateFields f = split_time(-1);
    EXPECT_EQ(f.year, 1969);
    EXPECT_EQ(f.month, 11);
    EXPECT_EQ(f.date, 31);
    EXPECT_EQ(f.weekday, 3);
    EXPECT_EQ(f.hours, 23);
    EXPECT_EQ(f.minutes, 59);
    EXPECT_EQ(f.seconds, 59);
    EXPECT_EQ(f.ms, 999);
    f = split_time(-0.5);  // a fraction of a millisecond floors too
    EXPECT_EQ(f.ms, 999);
    f = split_time(1.75);
    EXPECT_EQ(f.ms, 1);
}

TEST(DateArithmetic, TheLimits) {
    EXPECT_TRUE(time_value_in_range(8.64e15));
    EXPECT_TRUE(time_value_in_range(-8.64e15));
    EXPECT_FALSE(time_value_in_range(8.64e15 + 1));
    EXPECT_FALSE(time_value_in_range(nan));
    EXPECT_FALSE(time_value_in_range(-inf));
    EXPECT_EQ(utc(275760, 8, 13), 8.64e15);
    EXPECT_EQ(utc(-271821, 3, 20), -8.64e15);
    DateFields f = split_time(8.64e15 + 14 * 3600000.0);  // a local time beyond the limit
    EXPECT_EQ(f.year, 275760);
    EXPECT_EQ(f.hours, 14);
}

TEST(DateArithmetic, FieldsOfAnySizeGiveAnOutOfRangeResult) {
    // Any field that is not finite makes the day NaN; huge fields go out of range.
    for (double bad : {nan, inf, -inf}) {
        EXPECT_TRUE(std::isnan(make_day(bad, 0, 1)));
        EXPECT_TRUE(std::isnan(make_day(2004, bad, 1)));
        EXPECT_TRUE(std::isnan(make_day(2004, 0, bad)));
        EXPECT_FALSE(time_value_in_range(make_date(make_day(2004, 0, 1), make_time(bad, 0, 0, 0))));
    }
    for (double huge : {1e300, -1e300, 9.3e18, -9.3e18, 1e17}) {
        EXPECT_FALSE(time_value_in_range(utc(huge, 0, 1))) << huge;
        EXPECT_FALSE(time_value_in_range(utc(2004, huge, 1))) << huge;
        EXPECT_FALSE(time_value_in_range(utc(2004, 0, huge))) << huge;
        EXPECT_FALSE(time_value_in_range(utc(2004, 0, 1, huge))) << huge;
    }
    // Large fields that cancel out still give the exact day.
    EXPECT_EQ(make_day(1000000, (2004 - 1000000) * 12, 1), make_day(2004, 0, 1));
    // Splitting something that is no time value at all gives the fields of 0.
    for (double bad : {nan, inf, -inf, 1e300}) {
        DateFields f = split_time(bad);
        EXPECT_EQ(f.year, 1970);
        EXPECT_EQ(f.date, 1);
        EXPECT_EQ(f.hours, 0);
    }
}

TEST(DateText, LocalFormShowsTheOffsetAsSignedHoursAndMinutes) {
    // The local time is the time value minus the offset: bias -60 is one hour east.
    EXPECT_EQ(local_time_text(3600000, -60), "Thu Jan 01 01:00:00 GMT+100 1970");
    EXPECT_EQ(local_time_text(-5 * 3600000.0, 300), "Wed Dec 31 19:00:00 GMT-500 1969");
    EXPECT_EQ(local_time_text(0, -330), "Thu Jan 01 00:00:00 GMT+530 1970");
    EXPECT_EQ(local_time_text(0, 210), "Thu Jan 01 00:00:00 GMT-330 1970");
    EXPECT_EQ(local_time_text(0, -30), "Thu Jan 01 00:00:00 GMT+030 1970");
    EXPECT_EQ(local_time_text(0, -840), "Thu Jan 01 00:00:00 GMT+1400 1970");
}

TEST(DateText, YearsBeforeOneAndAtTheLimits) {
    EXPECT_EQ(local_time_text(utc(0, 0, 1), 0), "Sat Jan 01 00:00:00 GMT+000 0001 B.C.");
    EXPECT_EQ(local_time_text(-8.64e15 - 14 * 3600000.0, 840), "Mon Apr 19 10:00:00 GMT-1400 271822 B.C.");
    EXPECT_EQ(local_time_text(8.64e15 + 14 * 3600000.0, -840), "Sat Sep 13 14:00:00 GMT+1400 275760");
}

// The time value of a text, or NaN when it is not a date.
double parse(const char* text, double local_tza = 0) {
    double t = 0;
    return parse_date_text(text, local_tza, &t) ? t : nan;
}

TEST(DateParse, TheUsualForms) {
    EXPECT_EQ(parse("Tuesday, 6 January 2004 7:08:09 pm"), utc(2004, 0, 6, 19, 8) + 9000);
    EXPECT_EQ(parse("1/5/04 12:00 AM"), utc(1904, 0, 5));
    EXPECT_EQ(parse("1/5/2004 12:00 pm"), utc(2004, 0, 5, 12));
    EXPECT_EQ(parse("1/5/2004 (the (first) Monday) 10:00"), utc(2004, 0, 5, 10));
    EXPECT_EQ(parse("Jan 5 2004 (unterminated"), utc(2004, 0, 5));
    EXPECT_EQ(parse("\t Jan,5,,2004\r\n"), utc(2004, 0, 5));
    EXPECT_EQ(parse("0/5/2004"), utc(2004, -1, 5));  // month 0 is set, as -1
    // The longest month names, and the last entry a prefix matches wins ("ma" is May, "ju" July).
    EXPECT_EQ(parse("september 5 2004"), utc(2004, 8, 5));
    EXPECT_EQ(parse("Ma 5 2004"), utc(2004, 4, 5));
    EXPECT_EQ(parse("jU 5 2004"), utc(2004, 6, 5));
}

TEST(DateParse, ZonesAndTheLocalOffset) {
    constexpr double hour = 3600000;
    // Without a zone the local offset is added: -1 hour for UTC+1, +5 hours for UTC-5.
    EXPECT_EQ(parse("1/5/2004", -hour), utc(2004, 0, 5) - hour);
    EXPECT_EQ(parse("1/5/2004 10:00", 5 * hour), utc(2004, 0, 5, 15));
    // With one, the local offset plays no part.
    EXPECT_EQ(parse("Jan 5 2004 10:00 GMT", 5 * hour), utc(2004, 0, 5, 10));
    EXPECT_EQ(parse("Jan 5 2004 10:00 EDT", -hour), utc(2004, 0, 5, 14));
    EXPECT_EQ(parse("Jan 5 2004 10:00 mst"), utc(2004, 0, 5, 17));
    EXPECT_EQ(parse("Jan 5 2004 10:00 +0530"), utc(2004, 0, 5, 4, 30));
    EXPECT_EQ(parse("Jan 5 2004 10:00 -23"), utc(2004, 0, 6, 9));
    EXPECT_EQ(parse("Jan 5 2004 10:00 +24"), utc(2004, 0, 5, 10, -24));  // 24 and up is hhmm
    EXPECT_EQ(parse("Jan 5 2004 10:00 GMT+5 30"), utc(2004, 0, 5, 4, 30));
    EXPECT_EQ(parse("Jan 5 2004 10:00 GMT-5 30"), utc(2004, 0, 5, 15, 30));
    EXPECT_EQ(parse("Jan 5 2004 10:00 +0 30"), utc(2004, 0, 5, 10, 30));  // an offset of 0 grows upward
    // A zone name may follow an offset, and an offset a zone of 0, but not two offsets.
    EXPECT_EQ(parse("Jan 5 2004 10:00 +1 EST"), utc(2004, 0, 5, 15));
    EXPECT_TRUE(std::isnan(parse("Jan 5 2004 10:00 EST +1")));
    EXPECT_TRUE(std::isnan(parse("Jan 5 2004 10:00 +1 -2")));
    EXPECT_EQ(parse("Jan 5 2004 10:00 +0 -2"), utc(2004, 0, 5, 12));
}

TEST(DateParse, WhatIsNotADate) {
    for (const char* text :
         {"", "hello", "Jan 2004", "5 2004", "Jan 5", "2004-01-05", "Jan 5 2004 x", "Jan 5 2004 Mondays",
          "Jan 5 2004 13 pm", "Jan 5 2004 am", "Jan Feb 5 2004", "Jan 5 2004 1999", "1/2/3/2004",
          "1:2:3:4 Jan 5 2004", "Jan 5 2004 #", "Jan 5 2004.", "Jan 5 6 2004", "2004x Jan 5",
          "Jan 5 2004 \xC3\xA9t\xC3\xA9", "Jan 5 2004 \xE9", "Jan 5 2004 10:00 pm pm"}) {
        EXPECT_TRUE(std::isnan(parse(text))) << text;
    }
}

TEST(DateParse, NumbersOfManyDigitsMakeTheTextInvalid) {
    EXPECT_EQ(parse("Jan 5 2147483647 gmt"), utc(2147483647.0, 0, 5));  // parsed, far beyond the limit
    EXPECT_TRUE(std::isnan(parse("Jan 5 2147483648 gmt")));
    EXPECT_TRUE(std::isnan(parse("Jan 5 2004 +99999999999999999999999999")));
    EXPECT_EQ(parse("Jan 00000000000000000000000000005 2004"), utc(2004, 0, 5));
}

}  // namespace
}  // namespace quill::testing
