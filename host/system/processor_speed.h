// The processor's clock, measured against the system's sleep timer.
#pragma once

#include <optional>

namespace tarpon::host {

// The clock in MHz: the time-stamp counter read across a 500 ms sleep, with the process at real-time
// priority and the thread at time-critical priority meanwhile (both put back on every path).
// Nothing when the processor has no CPUID instruction or no time-stamp counter. Blocks for about
// half a second.
std::optional<double> processor_speed_mhz();

} // namespace tarpon::host
