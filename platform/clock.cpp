#include "platform/clock.h"

#include <sys/time.h>
#include <time.h>

namespace Platform {

LocalTime GetLocalTime() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts {};
    localtime_r(&now.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                     parts.tm_min,         parts.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

std::uint64_t MonotonicMilliseconds() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

std::uint32_t GetTickCount() { return static_cast<std::uint32_t>(MonotonicMilliseconds()); }

std::int64_t WallClockSeconds() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec);
}

}  // namespace Platform
