// What Date asks the platform: the current time and the time zone.
#pragma once

namespace quill {

// The current UTC time as a time value, in whole milliseconds.
double current_time_value();

// The standard time-zone bias in minutes: what to add to local standard time to get UTC (positive
// west of Greenwich). Daylight saving is never taken into account.
int standard_time_zone_bias();

}  // namespace quill
