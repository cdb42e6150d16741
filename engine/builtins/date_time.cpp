// Day and time arithmetic of Date time values, and their two text forms.
#include "engine/builtins/date_time.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace quill {

namespace {

constexpr const char* day_names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* month_names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days before the first of each month in a common year.
constexpr int days_before_month[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

// split_time takes anything beyond this as 0: past any local time near the limit, and small enough
// that day numbers and years fit their integer fields.
constexpr double split_limit = 1e16;

bool is_leap_year(double year) {
    return std::fmod(year, 4) == 0 && (std::fmod(year, 100) != 0 || std::fmod(year, 400) == 0);
}

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }

}  // namespace

double day_from_year(double year) {
    return 365 * (year - 1970) + std::floor((year - 1969) / 4) - std::floor((year - 1901) / 100) +
           std::floor((year - 1601) / 400);
}

double make_day(double year, double month, double date) {
    if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    month = std::floor(month);
    double whole_years = std::floor(month / 12);
    double y = std::floor(year) + whole_years;
    double m = month - whole_years * 12;
    // m is a whole number in 0..11, unless the month is so large that the subtraction rounded; the
    // year is then far beyond the limit and the result is out of range anyway.
    int index = m >= 0 && m <= 11 ? static_cast<int>(m) : 0;
    double days = days_before_month[index] + (index >= 2 && is_leap_year(y) ? 1 : 0);
    return day_from_year(y) + days + std::floor(date) - 1;
}

double make_time(double hours, double minutes, double seconds, double ms) {
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + ms;
}

double make_date(double day, double time) { return day * ms_per_day + time; }

DateFields split_time(double t) {
    if (!(std::fabs(t) <= split_limit)) {
        t = 0;
    }
    double day = std::floor(t / ms_per_day);
    double in_day = std::floor(t - day * ms_per_day);
    if (in_day >= ms_per_day) {  // a fraction just below a day boundary rounded up
        day += 1;
        in_day -= ms_per_day;
    }
    auto days = static_cast<int64_t>(day);
    auto ms = static_cast<int64_t>(in_day);

    DateFields f{};
    f.weekday = static_cast<int>(((days + 4) % 7 + 7) % 7);
    f.ms = static_cast<int>(ms % 1000);
    f.seconds = static_cast<int>(ms / 1000 % 60);
    f.minutes = static_cast<int>(ms / 60000 % 60);
    f.hours = static_cast<int>(ms / 3600000);

    // The civil date of a day number, by 400-year eras counted from 0000-03-01.
    int64_t z = days + 719468;
    int64_t era = floor_div(z, 146097);
    int64_t day_of_era = z - era * 146097;
    int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    int64_t shifted_month = (5 * day_of_year + 2) / 153;  // 0 = March
    f.date = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    f.month = static_cast<int>(shifted_month < 10 ? shifted_month + 2 : shifted_month - 10);
    f.year = static_cast<int>(year_of_era + era * 400 + (f.month <= 1 ? 1 : 0));
    return f;
}

std::string local_time_text(double local_time, int bias_minutes) {
    DateFields f = split_time(local_time);
    int offset = -(bias_minutes / 60) * 100 - bias_minutes % 60;
    bool before_christ = f.year < 1;
    char text[96];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d GMT%+04d %04d%s", day_names[f.weekday],
                  month_names[f.month], f.date, f.hours, f.minutes, f.seconds, offset,
                  before_christ ? 1 - f.year : f.year, before_christ ? " B.C." : "");
    return text;
}

std::string utc_time_text(double t) {
    DateFields f = split_time(t);
    bool before_christ = f.year < 1;
    char text[96];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT%s", day_names[f.weekday], f.date,
                  month_names[f.month], before_christ ? 1 - f.year : f.year, f.hours, f.minutes, f.seconds,
                  before_christ ? " B.C." : "");
    return text;
}

}  // namespace quill
