#include "platform/precise_wait.h"

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#include <cstdint>

namespace korvit::platform {
namespace {

timespec ToTimespec(std::chrono::nanoseconds d) {
    const int64_t ns = d.count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

void UsePreciseTimers() {
    thread_local bool done = false;
    if (done) return;
    // The default slack (50 us) is small, but under load it adds to scheduling delay; 1 ns asks
    // the kernel to fire the timer exactly.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    done = true;
}

void WaitUntil(TimePoint deadline) {
    UsePreciseTimers();
    // steady_clock is CLOCK_MONOTONIC, so its epoch count is an absolute CLOCK_MONOTONIC time.
    const timespec at = ToTimespec(deadline.time_since_epoch());
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

void WaitFor(std::chrono::nanoseconds duration) {
    WaitUntil(Clock::now() + duration);
}

int PollUntil(pollfd* fds, size_t count, TimePoint deadline) {
    UsePreciseTimers();
    for (;;) {
        int ready;
        if (deadline == TimePoint::max()) {
            ready = ppoll(fds, count, nullptr, nullptr);
        } else {
            const auto left = deadline - Clock::now();
            const timespec ts =
                left.count() > 0 ? ToTimespec(std::chrono::nanoseconds(left)) : timespec{0, 0};
            ready = ppoll(fds, count, &ts, nullptr);
        }
        if (ready >= 0) return ready;
        if (errno != EINTR) return -1;
    }
}

}  // namespace korvit::platform
