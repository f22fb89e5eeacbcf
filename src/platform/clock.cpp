#include "platform/clock.h"

#include <time.h>

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
    timespec resolution{};
    if (::clock_getres(CLOCK_MONOTONIC, &resolution) != 0) return false;
    return resolution.tv_sec == 0 && resolution.tv_nsec <= 1000;
}

}  // namespace korvit::platform
