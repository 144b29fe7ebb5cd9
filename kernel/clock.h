#pragma once

// Clocks and sleeping. Every clock reads the host's wall clock.

#include "kernel/status.h"

#include <cstdint>

namespace fssh {

// Microseconds of the wall clock (not monotonic); used for time-outs.
int64_t clock_usecs();

// Same computation; used for time stamps.
int64_t wall_clock_usecs();

// Whole seconds of the wall clock.
int64_t wall_clock_secs();

// Host time(); also stored through `out` when it is not null.
int64_t host_time(int64_t* out);

// Sleeps whole seconds, then the remaining microseconds. Zero or negative
// durations return at once.
status_code sleep_usecs(int64_t microseconds);

// Sleeps until clock_usecs() reaches `instant`; the time base is ignored.
status_code sleep_until_usecs(int64_t instant, int32_t time_base);

}  // namespace fssh
