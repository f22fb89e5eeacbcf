#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace korvit::platform {

/// An event that releases one waiter per Set and then resets itself.
class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool initially_set = false) : set_(initially_set) {}
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    /// Signals the event; one current or future waiter passes and clears it.
    void Set();
    /// Clears the event without releasing anyone.
    void Reset();
    /// Waits until the event is set, then clears it.
    void Wait();
    /// Waits at most the time-out; true when the event was set (and is now cleared).
    bool WaitFor(std::chrono::nanoseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool set_;
};

}  // namespace korvit::platform
