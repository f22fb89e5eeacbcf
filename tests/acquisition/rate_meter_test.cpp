#include <gtest/gtest.h>

#include <thread>

#include "acquisition/rate_meter.h"

using korvit::acquisition::RateMeter;

namespace {

// The rate is the events counted since the last calculation divided by the time since then,
// recomputed only once more than half a second has passed.
TEST(RateMeter, RateIsTheCountOverItsHalfSecondWindow) {
    RateMeter meter;
    const double before_init = RateMeter::Now();
    meter.Init();
    const double after_init = RateMeter::Now();
    for (int i = 0; i < 50; ++i) meter.Count();
    EXPECT_EQ(meter.Rate(), 0.0f);  // the window has not passed yet

    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const double before_rate = RateMeter::Now();
    const float rate = meter.Rate();
    const double after_rate = RateMeter::Now();
    EXPECT_GE(rate, 50.0 / (after_rate - before_init) * 0.999);
    EXPECT_LE(rate, 50.0 / (before_rate - after_init) * 1.001);

    // Within the next window the last rate stands, whatever is counted.
    for (int i = 0; i < 10; ++i) meter.Count();
    EXPECT_EQ(meter.Rate(), rate);

    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const float next = meter.Rate();
    // Ten events over a little more than 0.6 s: the fifty of the first window are gone.
    EXPECT_GT(next, 5.0f);
    EXPECT_LE(next, 10.0f / 0.6f * 1.001f);
}

}  // namespace
