// The current time and the time zone from Windows.
#include "engine/builtins/date_clock.h"

#include "platform/windows.h"

#include "engine/builtins/date_time.h"

namespace quill {

double current_time_value() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return make_date(make_day(now.wYear, now.wMonth - 1, now.wDay),
                     make_time(now.wHour, now.wMinute, now.wSecond, now.wMilliseconds));
}

int standard_time_zone_bias() {
    TIME_ZONE_INFORMATION zone{};
    // Bias alone is the standard offset; StandardBias and DaylightBias are never added.
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) {
        return 0;
    }
    return static_cast<int>(zone.Bias);
}

}  // namespace quill
