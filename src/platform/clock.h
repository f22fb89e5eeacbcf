#pragma once

#include <chrono>
#include <cstdint>

namespace korvit::platform {

/// The monotonic clock every timing in the program uses (nanosecond ticks).
using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

/// Nanoseconds on the monotonic clock since an arbitrary fixed origin.
int64_t NowNanoseconds();

/// Seconds and milliseconds elapsed since a point on the monotonic clock.
double SecondsSince(TimePoint start);
double MillisecondsSince(TimePoint start);

/// True when the monotonic clock counts at least in microseconds; timing and pacing depend on it.
bool HighResolutionClockAvailable();

}  // namespace korvit::platform
