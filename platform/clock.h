#pragma once
// Clocks: local calendar time for log lines, a monotonic tick count for intervals,
// and the wall clock in whole seconds.

#include <cstdint>

namespace Platform {

struct LocalTime {
    int year, month, day, hour, minute, second, milliseconds;
};

LocalTime GetLocalTime();

// Milliseconds of the monotonic clock, wrapping like the Windows tick count.
std::uint32_t GetTickCount();

// Milliseconds of the monotonic clock without wrapping.
std::uint64_t MonotonicMilliseconds();

// Seconds since 1970 (the wall clock).
std::int64_t WallClockSeconds();

}  // namespace Platform
