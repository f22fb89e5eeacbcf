// Reviewing a long log in the window. One run prints, side by side: `korvit-cli play` of the log
// unpaced (its CPU is the yardstick), the window playing it unpaced with each page shown, the
// longest GUI event-loop stall on Play, Load Log, a seek and a page switch, and the program's
// peak memory; and dragging the Monitors cursor across the paused log, each step seeking the log
// and bringing every page up to the new position (target: 30 steps a second or more).
//
// KORVIT_BENCH_HOURS (default 10) sets the length of the generated log: one record per 50 ms.

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "controls/chart_navigation.h"
#include "controls/mm_data_chart.h"
#include "datalog/data_log.h"
#include "demo_log.h"
#include "gui_bench.h"
#include "pages/display_page.h"
#include "pages/monitor_page.h"
#include "pages/monitor_review.h"
#include "shell/log_bar.h"

using namespace korvit;

namespace {

constexpr const char* kPages[] = {"Dash", "Item Lists", "Histograms", "Monitors"};

/// The longest gap between two turns of the GUI event loop since the last Reset, seen by a 5 ms
/// timer (so the figure is at most 5 ms above the real stall, and the meter costs little CPU).
class StallMeter {
  public:
    StallMeter() {
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            worst_ = std::max(worst_, now - last_);
            last_ = now;
        });
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.start(5);
    }
    void Reset() {
        QCoreApplication::processEvents();
        last_ = clock_.nsecsElapsed();
        worst_ = 0;
    }
    double WorstMs() const { return static_cast<double>(worst_) / 1e6; }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

/// The demo definition with its data request processed, and a long log of it.
struct ReviewFiles {
    std::filesystem::path dir;
    std::string adx;
    std::string xdl;
    uint32_t records = 0;

    ReviewFiles() {
        char pattern[] = "/tmp/korvit-bench-review-XXXXXX";
        dir = ::mkdtemp(pattern);
        definition::ADXDefinition def;
        std::string error;
        def.Load(KORVIT_SOURCE_DIR "/samples/demo.adx", error);
        for (const auto& object : def.objects()) {
            if (auto* send = definition::As<definition::ADXCSendCommand>(object.get())) {
                send->flags |= 1;
            }
        }
        adx = (dir / "demo.adx").string();
        def.Save(adx);
        const char* hours = std::getenv("KORVIT_BENCH_HOURS");
        const double h = hours != nullptr && std::atof(hours) > 0 ? std::atof(hours) : 10.0;
        records = static_cast<uint32_t>(h * 3600 * 20);
        xdl = (dir / "review.xdl").string();
        bench::GenerateLog(def, xdl, records, [](uint32_t) { return 50u; });
    }
    ~ReviewFiles() { std::filesystem::remove_all(dir); }
};

ReviewFiles& Files() {
    static ReviewFiles files;
    return files;
}

double ChildrenCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

/// A window with the definition loaded and `page` in front.
struct ReviewWindow {
    shell::Application app;
    std::unique_ptr<shell::MainWindow> window;

    explicit ReviewWindow(const char* page) {
        app.settings_path.clear();
        app.settings.loadlastdef = 0;
        window = std::make_unique<shell::MainWindow>(app);
        window->show();
        window->LoadDefinition(Files().adx);
        window->tabs()->Select(window->tabs()->IndexOf(page));
        app.settings.lastxdlpath = Files().xdl;
        window->choose_file = [](const QString&, const QString&, const QString&, bool) {
            return Files().xdl;
        };
    }
    ~ReviewWindow() {
        window->Stop();
        WaitClosed();
    }
    void WaitClosed() {
        bench::RunUntil([&] {
            return app.datalog.state() == datalog::DataLogState::Closed &&
                   !app.datalog.player_running();
        });
    }
};

double g_cli_cpu = 0;

void BM_CliPlay(benchmark::State& state) {
    for (auto _ : state) {
        QProcess cli;
        cli.setStandardOutputFile(QProcess::nullDevice());
        cli.setStandardErrorFile(QProcess::nullDevice());
        const double cpu0 = ChildrenCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        cli.start(KORVIT_CLI_PATH, {"play", QString::fromStdString(Files().adx),
                                    QString::fromStdString(Files().xdl), "--speed", "0"});
        cli.waitForFinished(-1);
        g_cli_cpu = ChildrenCpuSeconds() - cpu0;
        std::printf("korvit-cli play: %u records, %.2f s wall, %.2f s CPU (exit %d)\n",
                    Files().records, wall.elapsed() / 1000.0, g_cli_cpu, cli.exitCode());
    }
}

void BM_WindowPlay(benchmark::State& state) {
    const char* page = kPages[state.range(0)];
    for (auto _ : state) {
        ReviewWindow w(page);
        w.app.datalog.SetSpeed(0);
        StallMeter meter;
        meter.Reset();
        const double cpu0 = bench::ProcessCpuSeconds(), gui0 = bench::ThreadCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        w.window->Play();
        const double play_ms = wall.nsecsElapsed() / 1e6;
        bench::RunUntil([&] {
            return !w.window->opening() && (w.app.datalog.recordsread() >= Files().records ||
                                            w.app.datalog.state() == datalog::DataLogState::Closed);
        });
        w.WaitClosed();
        const double cpu = bench::ProcessCpuSeconds() - cpu0;
        const double gui = bench::ThreadCpuSeconds() - gui0;
        std::printf(
            "window play, %s shown: %.2f s wall, %.2f s CPU (GUI thread %.2f s) = %.2fx "
            "korvit-cli play; Play returned in %.0f ms, longest stall %.0f ms\n",
            page, wall.elapsed() / 1000.0, cpu, gui, g_cli_cpu > 0 ? cpu / g_cli_cpu : 0.0, play_ms,
            meter.WorstMs());
    }
}

void BM_Stalls(benchmark::State& state) {
    for (auto _ : state) {
        std::printf("before the window: peak memory %.0f MB\n", PeakMegabytes());
        ReviewWindow w("Dash");
        StallMeter meter;
        meter.Reset();
        w.window->SelectLog();
        // KORVIT_BENCH_WAIT_OVERVIEW: Play and the seek come after the whole-log overview is in,
        // instead of while it fills (the worst case for memory).
        QTest::qWait(std::getenv("KORVIT_BENCH_WAIT_OVERVIEW") != nullptr ? 3000 : 50);
        std::printf("Load Log: longest stall %.0f ms (peak memory %.0f MB)\n", meter.WorstMs(),
                    PeakMegabytes());

        meter.Reset();
        w.window->Play();
        // The log opens on a worker; the stall counts from Play until it plays and beyond.
        while (w.window->opening()) QTest::qWait(5);
        QTest::qWait(300);
        std::printf("Play (paced): longest stall %.0f ms (peak memory %.0f MB)\n", meter.WorstMs(),
                    PeakMegabytes());

        meter.Reset();
        emit w.window->logBar()->seekRequested(static_cast<int>(Files().records * 3 / 4));
        QTest::qWait(300);
        std::printf("seek to 3/4: longest stall %.0f ms (peak memory %.0f MB)\n", meter.WorstMs(),
                    PeakMegabytes());

        double worst = 0;
        for (const char* page : kPages) {
            meter.Reset();
            w.window->tabs()->Select(w.window->tabs()->IndexOf(page));
            QTest::qWait(100);
            worst = std::max(worst, meter.WorstMs());
        }
        std::printf("page switch: longest stall %.0f ms\n", worst);
        std::printf("peak memory so far: %.0f MB\n", PeakMegabytes());
    }
}

void BM_CursorDrag(benchmark::State& state) {
    ReviewWindow w("Monitors");
    w.window->resize(1200, 800);
    w.window->SelectLog();  // Load Log: the charts fill from the whole log
    w.window->Play();
    while (w.window->opening()) QTest::qWait(5);
    while (w.app.datalog.recordsread() < 10) QTest::qWait(5);
    w.window->Pause();
    while (w.app.datalog.player_running()) QTest::qWait(5);
    pages::MonitorPage* page = w.window->monitorPage();
    // The charts hold the whole drive (filled on a worker) and show it all, as a reviewer
    // drags across it.
    const double length = (Files().records - 1) / 20.0;
    QElapsedTimer fill;
    fill.start();
    const auto filled_to = [&] {
        const app::ChartPoints& points = page->entry(0).series[0]->points();
        return points.size() > 0 ? static_cast<double>(points.extent().max_x) : 0.0;
    };
    while (filled_to() < length - 1 && fill.elapsed() < 120000) QTest::qWait(20);
    page->review()->SetView({0.0, length});
    const double filled = filled_to();
    controls::MMDataChart* chart = page->entry(0).chart;
    controls::ChartInput* input = page->review()->input(0);
    const int y = chart->plotRect().top + 10;
    constexpr int kSteps = 300;
    int steps = 0;
    QElapsedTimer wall;
    for (auto _ : state) {
        wall.start();
        QTest::mousePress(chart, Qt::LeftButton, {}, QPoint(input->PixelAt(0.0), y));
        for (int i = 1; i <= kSteps; ++i) {
            const double t = length * i / kSteps;
            QMouseEvent move(QEvent::MouseMove, QPointF(input->PixelAt(t), y),
                             chart->mapToGlobal(QPointF(input->PixelAt(t), y)), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(chart, &move);
            // Every page draws the record at the new position: each is shown in turn and drawn.
            QCoreApplication::processEvents();
            for (int p = 0; p < w.window->tabs()->count(); ++p) {
                w.window->tabs()->Select(p);
                w.window->tabs()->widget(p)->grab();
            }
            ++steps;
        }
        QTest::mouseRelease(chart, Qt::LeftButton, {}, QPoint(input->PixelAt(length), y));
    }
    const double seconds = wall.nsecsElapsed() / 1e9;
    state.counters["steps_per_s"] = kSteps / seconds;
    std::printf(
        "cursor drag over %u records (charts filled to %.0f s of %.0f s): %d steps, %.1f "
        "steps/s (target 30), at %u read\n",
        Files().records, filled, length, steps, kSteps / seconds, w.app.datalog.recordsread());
}

/// Load Log to the whole log in view on the Monitors page: the fill runs on a worker while the
/// window keeps turning; then one repaint of a chart with the whole drive in view.
void BM_LoadLogOverview(benchmark::State& state) {
    for (auto _ : state) {
        ReviewWindow w("Monitors");
        StallMeter meter;
        meter.Reset();
        QElapsedTimer wall;
        wall.start();
        w.window->SelectLog();
        pages::MonitorPage* page = w.window->monitorPage();
        while (!page->overview() || w.window->logOverview()->busy()) QTest::qWait(1);
        const double fill = wall.nsecsElapsed() / 1e9;
        controls::MMDataChart* chart = page->entry(0).chart;
        const size_t points = chart->GetSeries(0)->points().size();
        // The first paint draws the lines; later ones (the cursor moving) reuse them.
        QElapsedTimer paint;
        paint.start();
        chart->Recalc();
        chart->Frame();
        const double first_ms = paint.nsecsElapsed() / 1e6;
        constexpr int kPaints = 20;
        paint.restart();
        for (int i = 0; i < kPaints; ++i) {
            page->SetCursorTime(i * 10.0);
            chart->Frame();
        }
        const double paint_ms = paint.nsecsElapsed() / 1e6 / kPaints;
        std::printf(
            "Load Log to whole log in view (%u records, %zu series x %zu points): %.3f s wall, "
            "longest stall %.0f ms; whole-log repaint %.2f ms drawn, %.2f ms with the cursor "
            "moving, "
            "at %dx%d\n",
            Files().records, chart->SeriesCount(), points, fill, meter.WorstMs(), first_ms,
            paint_ms, chart->width(), chart->height());
    }
}

}  // namespace

BENCHMARK(BM_CursorDrag)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_LoadLogOverview)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_CliPlay)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_WindowPlay)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Stalls)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv) {
    return korvit::bench::RunGuiBenchmarks(argc, argv);
}
