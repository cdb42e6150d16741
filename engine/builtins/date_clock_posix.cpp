// The current time and the time zone from the C library.
#include "engine/builtins/date_clock.h"

#include <time.h>

namespace quill {

double current_time_value() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec / 1000000);
}

int standard_time_zone_bias() {
    tzset();
    // `timezone` holds the standard zone's seconds west of Greenwich, whatever daylight saving does.
    return static_cast<int>(timezone / 60);
}

}  // namespace quill
