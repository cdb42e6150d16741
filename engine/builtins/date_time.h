// Day and time arithmetic of Date time values, and their two text forms.
//
// A time value counts milliseconds since 1970-01-01 00:00:00 UTC in a double; the calendar is the
// proleptic Gregorian one with no leap seconds. The arithmetic works in doubles throughout, so
// fields of any size (and NaN or infinities) give a result that is simply out of range, never an
// undefined conversion; only time values within the limit are ever split into integer fields.
#pragma once

#include <cstdint>
#include <string>

namespace quill {

inline constexpr double ms_per_day = 86400000.0;
// The largest magnitude of a time value: 100,000,000 days either side of 1970.
inline constexpr double time_value_limit = 8.64e15;

// Whether a time value lies within the limit (false for NaN).
inline bool time_value_in_range(double t) { return t >= -time_value_limit && t <= time_value_limit; }

// Days from 1970-01-01 to the first day of the year.
double day_from_year(double year);
// The day number of the given date. The month is reduced modulo 12 into the year; the date counts
// from 1 and may run past the month either way. NaN when a field is not finite.
double make_day(double year, double month, double date);
// Milliseconds from the hours, minutes, seconds and milliseconds; any of them may be out of range.
double make_time(double hours, double minutes, double seconds, double ms);
double make_date(double day, double time);

// The fields of a time value.
struct DateFields {
    int year;     // within about 317,000 years of 1970
    int month;    // 0..11
    int date;     // 1..31
    int weekday;  // 0 (Sunday)..6
    int hours;
    int minutes;
    int seconds;
    int ms;
};

// Splits a time value into its fields. Meant for time values within the limit (local times may lie
// a time-zone offset beyond it); anything not finite or far beyond it is taken as 0.
DateFields split_time(double t);

// The local text form, "Thu Jan 01 00:00:00 GMT+000 1970", from the local time and the time-zone
// bias in minutes (positive west of Greenwich). A year below 1 prints as 1 - year with " B.C.".
std::string local_time_text(double local_time, int bias_minutes);
// The UTC text form, "Thu, 01 Jan 1970 00:00:00 GMT" (with " B.C." likewise).
std::string utc_time_text(double t);

}  // namespace quill
