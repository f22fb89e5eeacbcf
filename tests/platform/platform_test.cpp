#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/auto_reset_event.h"
#include "platform/clock.h"
#include "platform/precise_wait.h"

namespace korvit::platform {
namespace {

using std::chrono::milliseconds;

TEST(AutoResetEvent, PassesOneWaiterPerSetThenResetsItself) {
    AutoResetEvent event;
    EXPECT_FALSE(event.WaitFor(milliseconds(10)));
    event.Set();
    EXPECT_TRUE(event.WaitFor(milliseconds(0)));
    EXPECT_FALSE(event.WaitFor(milliseconds(10)));

    event.Set();
    event.Reset();
    EXPECT_FALSE(event.WaitFor(milliseconds(10)));

    AutoResetEvent signalled(true);
    signalled.Wait();
    EXPECT_FALSE(signalled.WaitFor(milliseconds(10)));
}

TEST(AutoResetEvent, ReleasesAWaiterOnAnotherThreadExactlyOnce) {
    AutoResetEvent event;
    std::atomic<int> passed{0};
    std::thread a([&] { passed += event.WaitFor(std::chrono::seconds(30)) ? 1 : 0; });
    std::thread b([&] { passed += event.WaitFor(std::chrono::seconds(30)) ? 1 : 0; });
    event.Set();
    while (passed.load() == 0) std::this_thread::yield();
    // The second waiter is still blocked until the next Set.
    EXPECT_EQ(passed.load(), 1);
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(passed.load(), 2);
}

TEST(PreciseWait, NeverReturnsBeforeTheDeadlineAndTheClockCountsNanoseconds) {
    for (int i = 0; i < 5; ++i) {
        const TimePoint deadline = Clock::now() + milliseconds(3);
        WaitUntil(deadline);
        EXPECT_GE(Clock::now(), deadline);
    }
    const TimePoint start = Clock::now();
    WaitFor(milliseconds(5));
    EXPECT_GE(MillisecondsSince(start), 5.0);
    EXPECT_GE(SecondsSince(start), 0.005);

    const int64_t a = NowNanoseconds();
    WaitFor(milliseconds(1));
    EXPECT_GE(NowNanoseconds() - a, 1'000'000);
    // The start-up check passes on any machine whose waits above are precise.
    EXPECT_TRUE(HighResolutionClockAvailable());
}

#ifndef _WIN32
TEST(PreciseWait, PollEndsAtTheDeadlineOrWhenADescriptorIsReady) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pollfd pfd{fds[0], POLLIN, 0};
    const TimePoint deadline = Clock::now() + milliseconds(20);
    EXPECT_EQ(PollUntil(&pfd, 1, deadline), 0);
    EXPECT_GE(Clock::now(), deadline);

    ASSERT_EQ(write(fds[1], "x", 1), 1);
    EXPECT_EQ(PollUntil(&pfd, 1, TimePoint::max()), 1);
    EXPECT_NE(pfd.revents & POLLIN, 0);
    close(fds[0]);
    close(fds[1]);
}
#endif

}  // namespace
}  // namespace korvit::platform
