// Windows file times (100-nanosecond ticks since 1601-01-01 00:00 UTC) and script time values
// (milliseconds since 1970-01-01 00:00 UTC).
#pragma once

#include <cstdint>

namespace tarpon::host {

// 1601-01-01 00:00 UTC as a time value.
inline constexpr int64_t file_time_epoch_ms = -11644473600000;

// Whole milliseconds, rounded toward zero.
inline int64_t file_time_to_time_value(uint64_t ticks) {
    return static_cast<int64_t>(ticks / 10000) + file_time_epoch_ms;
}
// False when the time lies before 1601 or too far ahead for a file time.
inline bool time_value_to_file_time(double time, uint64_t* ticks) {
    const double ms = time - static_cast<double>(file_time_epoch_ms);
    if (!(ms >= 0) || ms >= 1.8e15) {
        return false;
    }
    *ticks = static_cast<uint64_t>(ms) * 10000;
    return true;
}

}  // namespace tarpon::host
