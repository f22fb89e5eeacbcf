#include "platform/auto_reset_event.h"

#include "platform/clock.h"

namespace korvit::platform {

void AutoResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    condition_.notify_one();
}

void AutoResetEvent::Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

void AutoResetEvent::Wait() {
    std::unique_lock lock(mutex_);
    condition_.wait(lock, [this] { return set_; });
    set_ = false;
}

bool AutoResetEvent::WaitFor(std::chrono::nanoseconds timeout) {
    const TimePoint deadline = Clock::now() + timeout;
    std::unique_lock lock(mutex_);
    if (!condition_.wait_until(lock, deadline, [this] { return set_; })) return false;
    set_ = false;
    return true;
}

}  // namespace korvit::platform
