// How closely serial read time-outs and precise waits end at their deadlines, and what CPU the
// waiting costs. Each case reports p50, p99 and max lateness in microseconds and the waiting
// thread's CPU time as a share of the wall time. Target: p99 within 1000 us, CPU near 0.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "acquisition/mm_serial.h"
#include "platform/clock.h"
#include "platform/precise_wait.h"

namespace {

using korvit::acquisition::MMSerial;
using korvit::platform::Clock;

/// A pseudo-terminal whose master stays silent (or sends one byte on request).
struct QuietLine {
    QuietLine() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        port.Open(ptsname(master), 8192);
    }
    ~QuietLine() {
        port.Close();
        close(master);
    }
    int master = -1;
    MMSerial port;
};

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// Lateness samples (us) and CPU share, written into the benchmark's counters.
class Lateness {
  public:
    void Start() {
        wall_start_ = Clock::now();
        cpu_start_ = ThreadCpuSeconds();
    }
    void Add(double us) { samples_.push_back(us); }
    void Report(benchmark::State& state) {
        const double wall = korvit::platform::SecondsSince(wall_start_);
        const double cpu = ThreadCpuSeconds() - cpu_start_;
        std::sort(samples_.begin(), samples_.end());
        auto at = [this](double q) {
            return samples_[std::min(
                samples_.size() - 1,
                static_cast<size_t>(q * static_cast<double>(samples_.size())))];
        };
        state.counters["p50_us"] = at(0.50);
        state.counters["p99_us"] = at(0.99);
        state.counters["max_us"] = samples_.back();
        state.counters["min_us"] = samples_.front();
        state.counters["cpu_pct"] = wall > 0 ? 100.0 * cpu / wall : 0.0;
    }

  private:
    std::vector<double> samples_;
    Clock::time_point wall_start_;
    double cpu_start_ = 0;
};

double MicrosLate(Clock::time_point deadline) {
    return std::chrono::duration<double, std::micro>(Clock::now() - deadline).count();
}

// A read in which no byte comes ends at its total time-out (multiplier 0, constant = arg ms).
void BM_ReadTotalTimeout(benchmark::State& state) {
    QuietLine line;
    const auto ms = static_cast<uint32_t>(state.range(0));
    line.port.SetTimeouts(0, 0, ms, 0, 300);
    Lateness lateness;
    lateness.Start();
    uint8_t buf[16];
    for (auto _ : state) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        benchmark::DoNotOptimize(line.port.Read(buf, sizeof buf));
        lateness.Add(MicrosLate(deadline));
    }
    lateness.Report(state);
}
BENCHMARK(BM_ReadTotalTimeout)->Arg(2)->Arg(30)->Iterations(300)->UseRealTime();

// A read that got one byte and waits for more ends at the interval time-out (arg ms).
void BM_ReadIntervalTimeout(benchmark::State& state) {
    QuietLine line;
    const auto ms = static_cast<uint32_t>(state.range(0));
    line.port.SetTimeouts(ms, 0, 60000, 0, 300);
    Lateness lateness;
    lateness.Start();
    uint8_t buf[16];
    const uint8_t byte = 0x5A;
    for (auto _ : state) {
        state.PauseTiming();
        if (write(line.master, &byte, 1) != 1) state.SkipWithError("write failed");
        korvit::platform::WaitFor(std::chrono::milliseconds(1));  // let the byte land
        state.ResumeTiming();
        const auto start = Clock::now();
        benchmark::DoNotOptimize(line.port.Read(buf, sizeof buf));
        // The byte was queued, so the interval runs from the start of the read.
        lateness.Add(MicrosLate(start + std::chrono::milliseconds(ms)));
    }
    lateness.Report(state);
}
BENCHMARK(BM_ReadIntervalTimeout)->Arg(30)->Iterations(200)->UseRealTime();

// The precise wait used for pacing and for silence waits of zero length.
void BM_WaitUntil(benchmark::State& state) {
    const auto us = state.range(0);
    Lateness lateness;
    lateness.Start();
    for (auto _ : state) {
        const auto deadline = Clock::now() + std::chrono::microseconds(us);
        korvit::platform::WaitUntil(deadline);
        lateness.Add(MicrosLate(deadline));
    }
    lateness.Report(state);
}
BENCHMARK(BM_WaitUntil)->Arg(1220)->Arg(10000)->Iterations(500)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
