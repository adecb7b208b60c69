// The platform seam for the clock: the local wall-clock time, broken into its fields, and a
// monotonic millisecond count for intervals.
#pragma once

#include <cstdint>

namespace plat {

struct LocalTime {
    uint16_t Year, Month, Day, Hour, Minute, Second, Millisecond;
};

// GetLocalTime on Windows; clock_gettime and localtime_r on the host.
LocalTime LocalNow();

// Milliseconds of a clock that never goes back and ignores changes of the wall clock
// (GetTickCount64 on Windows, CLOCK_MONOTONIC on the host); its zero is arbitrary.
uint64_t MonotonicMs();

}  // namespace plat
