#pragma once

#ifndef _WIN32
#include <poll.h>
#endif

#include <chrono>
#include <cstddef>

#include "platform/clock.h"

namespace korvit::platform {

/// Deadline-based waits that end within a fraction of a millisecond of their deadline without
/// keeping a core busy. On POSIX the calling thread's timer slack is cut to a microsecond so the
/// kernel wakes it on time, and the wait itself blocks (absolute clock_nanosleep or ppoll); on
/// Windows it sleeps under a 1 ms timer period until shortly before the deadline, then polls.

/// Lets the calling thread's timed waits wake within about a microsecond of their deadline.
void UsePreciseTimers();

/// Returns at the deadline (never before it).
void WaitUntil(TimePoint deadline);
void WaitFor(std::chrono::nanoseconds duration);

#ifndef _WIN32
/// Waits until one of the descriptors is ready or the deadline passes (TimePoint::max() waits
/// without end). Returns the number of ready descriptors, 0 at the deadline, -1 on error.
int PollUntil(pollfd* fds, size_t count, TimePoint deadline);
#endif

}  // namespace korvit::platform
