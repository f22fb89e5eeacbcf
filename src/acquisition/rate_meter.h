#pragma once

#include <atomic>
#include <cstdint>

namespace korvit::acquisition {

/// Elapsed time since a start, and a rate of counted events over windows of at least half a
/// second. Counting and reading the rate may happen on different threads.
class RateMeter {
  public:
    RateMeter();

    /// Reads the clock and sets every time to now; count and rate to 0.
    void Init();
    /// Starts, or resumes after Stop: the stop time (when set) becomes the new start time.
    void Start();
    /// Stops once; a second Stop changes nothing.
    void Stop();
    /// Seconds since the start time.
    double Elapsed() const;
    /// Adds one event.
    void Count() { count_.fetch_add(1, std::memory_order_relaxed); }
    /// Events per second over the window since the last calculation, recomputed at most every
    /// 0.5 s; between recomputations the last rate is returned.
    float Rate();

    /// When Init last ran, on the meter's clock.
    double created() const { return created_.load(std::memory_order_relaxed); }
    bool stopped() const { return stopped_.load(std::memory_order_relaxed) != 0; }
    /// Seconds on the meter's clock (a steady, high-resolution counter).
    static double Now();

  private:
    std::atomic<double> created_{0.0};
    std::atomic<double> last_start_stop_{0.0};
    std::atomic<double> start_{0.0};
    std::atomic<double> stop_{0.0};
    std::atomic<uint32_t> stopped_{0};
    std::atomic<uint32_t> count_{0};
    std::atomic<double> last_rate_calc_{0.0};
    std::atomic<float> rate_{0.0f};
};

}  // namespace korvit::acquisition
