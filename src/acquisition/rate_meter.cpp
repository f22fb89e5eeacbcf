#include "acquisition/rate_meter.h"

#include <chrono>

namespace korvit::acquisition {

namespace {
using Clock = std::chrono::steady_clock;
constexpr double kRateWindow = 0.5;
}  // namespace

double RateMeter::Now() {
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

RateMeter::RateMeter() {
    Init();
}

void RateMeter::Init() {
    const double now = Now();
    created_ = now;
    last_start_stop_ = now;
    start_ = now;
    last_rate_calc_ = now;
    stop_ = 0.0;
    stopped_ = 0;
    count_ = 0;
    rate_ = 0.0f;
}

void RateMeter::Start() {
    const double stop = stop_.load();
    const double t = stop != 0.0 ? stop : Now();
    start_ = t;
    last_start_stop_ = t;
    stopped_ = 0;
    stop_ = 0.0;
}

void RateMeter::Stop() {
    const double stop = stop_.load();
    const double t = stop != 0.0 ? stop : Now();
    if (stopped_.load() != 0) return;
    stop_ = t;
    stopped_ = 1;
    last_start_stop_ = t;
}

double RateMeter::Elapsed() const {
    return Now() - start_.load(std::memory_order_relaxed);
}

float RateMeter::Rate() {
    const double now = Now();
    const double d = now - last_rate_calc_.load(std::memory_order_relaxed);
    if (d > kRateWindow) {
        const uint32_t count = count_.exchange(0, std::memory_order_relaxed);
        rate_.store(static_cast<float>(count / d), std::memory_order_relaxed);
        last_rate_calc_.store(now, std::memory_order_relaxed);
    }
    return rate_.load(std::memory_order_relaxed);
}

}  // namespace korvit::acquisition
