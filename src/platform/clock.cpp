#include "platform/clock.h"

#ifndef _WIN32
#include <time.h>
#endif

namespace korvit::platform {

int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double SecondsSince(TimePoint start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double MillisecondsSince(TimePoint start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool HighResolutionClockAvailable() {
#ifdef _WIN32
    // steady_clock is QueryPerformanceCounter, which counts at least in microseconds.
    return true;
#else
    timespec resolution{};
    if (::clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return false;
    return resolution.tv_sec == 0 && resolution.tv_nsec <= 1000;
#endif
}

}  // namespace korvit::platform
