#include <windows.h>

#include <timeapi.h>

#include "platform/precise_wait.h"

namespace korvit::platform {
namespace {

// Sleep is cut into scheduler ticks; below this much time left the wait polls the clock.
constexpr auto kPollLast = std::chrono::milliseconds(2);

}  // namespace

void UsePreciseTimers() {
    // A 1 ms system timer period makes Sleep(1) last about a millisecond instead of a tick
    // (15.6 ms). Taken once for the life of the process.
    static const bool taken = [] { return ::timeBeginPeriod(1) == TIMERR_NOERROR; }();
    (void)taken;
}

void WaitUntil(TimePoint deadline) {
    UsePreciseTimers();
    // Sleep while more than the last stretch is left, then poll the clock.
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= std::chrono::nanoseconds::zero()) return;
        if (left > kPollLast) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left - kPollLast);
            ::Sleep(static_cast<DWORD>(ms.count() > 0 ? ms.count() : 1));
        } else {
            ::SwitchToThread();
        }
    }
}

void WaitFor(std::chrono::nanoseconds duration) {
    WaitUntil(Clock::now() + duration);
}

}  // namespace korvit::platform
