// The window while it scans the demo: CPU time of the GUI thread and of the whole program, and
// how long a reply's status request takes to reach the status bar.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QTest>

#include "gui_bench.h"
#include "shell/view_bridge.h"

namespace {

using namespace korvit::bench;

void BM_ScanDemo(benchmark::State& state) {
    const double scan_seconds = 5.0;
    for (auto _ : state) {
        DemoScan scan;
        if (const char* error = scan.Start()) {
            state.SkipWithError(error);
            return;
        }

        const double gui0 = ThreadCpuSeconds(), all0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        RunFor(static_cast<int>(scan_seconds * 1000));
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double gui = ThreadCpuSeconds() - gui0, all = ProcessCpuSeconds() - all0;
        const float rate = scan.app.engine.state().rate.Rate();

        const korvit::shell::StatusLatency latency = scan.window->views()->latency();
        scan.Stop();

        state.counters["reply_rate_hz"] = rate;
        state.counters["gui_cpu_pct"] = 100.0 * gui / elapsed;
        state.counters["process_cpu_pct"] = 100.0 * all / elapsed;
        state.counters["status_latency_mean_ms"] =
            latency.updates ? latency.total_ms / static_cast<double>(latency.updates) : 0.0;
        state.counters["status_latency_max_ms"] = latency.max_ms;
        state.counters["status_updates"] = static_cast<double>(latency.updates);
    }
}
BENCHMARK(BM_ScanDemo)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return korvit::bench::RunGuiBenchmarks(argc, argv);
}
