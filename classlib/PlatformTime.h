// The platform seam for the clock: the local wall-clock time, broken into its fields.
#pragma once

#include <cstdint>

namespace plat {

struct LocalTime {
    uint16_t Year, Month, Day, Hour, Minute, Second, Millisecond;
};

// GetLocalTime on Windows; clock_gettime and localtime_r on the host.
LocalTime LocalNow();

}  // namespace plat
