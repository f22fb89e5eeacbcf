// The window while it scans the demo: CPU time of the GUI thread and of the whole program, and
// how long a reply's status request takes to reach the status bar.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/view_bridge.h"

namespace {

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_ScanDemo(benchmark::State& state) {
    const double scan_seconds = 5.0;
    for (auto _ : state) {
        QProcess sim;
        sim.start(KORVIT_ECUSIM_PATH, {KORVIT_SOURCE_DIR "/samples/demo.adx"});
        if (!sim.waitForReadyRead(5000)) {
            state.SkipWithError("korvit-ecusim did not start");
            return;
        }
        const std::string port = QString::fromLocal8Bit(sim.readLine()).trimmed().toStdString();

        korvit::shell::Application app;
        app.settings_path.clear();  // leave the user's settings alone
        app.settings.loadlastdef = 0;
        korvit::shell::MainWindow window(app);
        window.show();
        if (!window.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx")) {
            state.SkipWithError("demo definition did not load");
            return;
        }
        app.settings.comport = port;
        window.ToggleScan();
        QTest::qWait(1000);  // connect and settle

        const double gui0 = ThreadCpuSeconds(), all0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(static_cast<int>(scan_seconds * 1000));
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double gui = ThreadCpuSeconds() - gui0, all = ProcessCpuSeconds() - all0;
        const float rate = app.engine.state().rate.Rate();

        const korvit::shell::StatusLatency latency = window.views()->latency();
        window.ToggleScan();
        app.engine.WaitIdle(std::chrono::seconds(5));
        sim.terminate();
        sim.waitForFinished(2000);

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
