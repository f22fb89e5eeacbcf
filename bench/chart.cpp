// Monitor charts: repaint time of a 1000 x 300 chart with 4 series at 20 samples a second after
// one minute and after ten hours of history (the time view 20 s wide, or the whole history), the
// crowded walk alone, the cost of one appended point, the bytes each point holds, and the whole
// program's CPU while the demo scans with the Monitors page in front.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QTest>
#include <cmath>
#include <memory>

#include "controls/mm_data_chart.h"
#include "gui_bench.h"

using namespace korvit::controls;
using namespace korvit::bench;

namespace {

constexpr int kRate = 20;

/// The monitor page's chart shape: time axis at the bottom, four value axes alternating sides.
std::unique_ptr<MMDataChart> MakeChart(size_t seconds) {
    auto chart = std::make_unique<MMDataChart>();
    chart->resize(1000, 300);
    chart->SetTitle("Engine trace");
    DataChartAxis* time = chart->NewAxis();
    time->SetPosition(DataChartAxis::kBottom);
    time->SetDataRange(0, 20);
    time->SetViewRange(0, 20);
    time->SetTitle("Time (M:S)");
    time->SetLabelCallback(&TimeLabel);
    time->SetFlags(0x70);
    const QColor colors[] = {QColor(255, 0, 0), QColor(0, 160, 0), QColor(0, 0, 255),
                             QColor(0, 192, 192)};
    for (int s = 0; s < 4; ++s) {
        DataChartAxis* axis = chart->NewAxis();
        axis->SetPosition(s % 2);
        axis->SetDataRange(0, 100);
        axis->SetViewRange(0, 100);
        axis->SetTitle("units");
        DataChartSeries* series = chart->NewSeries();
        series->SetXAxis(time);
        series->SetYAxis(axis);
        series->SetLineColor(colors[s]);
        series->SetLineWidth(s == 0 ? 2 : 1);
    }
    const size_t n = seconds * kRate;
    for (size_t i = 0; i < n; ++i) {
        const float t = static_cast<float>(i) / kRate;
        for (int s = 0; s < 4; ++s) {
            chart->GetSeries(s)->AppendPoint(t, 50.0f + 40.0f * std::sin(t * 0.7f + s));
        }
    }
    chart->Recalc();
    return chart;
}

void BM_Repaint(benchmark::State& state) {
    const auto chart = MakeChart(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(chart->Frame().constBits());
    }
    const size_t points = chart->GetSeries(0)->points().size();
    state.counters["points_per_series"] = static_cast<double>(points);
    state.counters["bytes_per_point"] =
        static_cast<double>(chart->GetSeries(0)->points().MemoryBytes()) / points;
}
BENCHMARK(BM_Repaint)->Arg(60)->Arg(10 * 3600)->Unit(benchmark::kMicrosecond);

/// The whole history in view (10 h: 720,000 points in each of the four lines), drawn anew every
/// frame: each frame brings a new point to every line, so nothing of the last drawing is reused.
/// Crowded pixel columns are drawn from the envelopes.
void BM_RepaintAllInView(benchmark::State& state) {
    const auto chart = MakeChart(static_cast<size_t>(state.range(0)));
    DataChartAxis* time = chart->GetAxis(0);
    time->SetFlags(0x60);
    time->SetViewRange(0, static_cast<float>(state.range(0)));
    chart->Recalc();
    float t = static_cast<float>(state.range(0));
    for (auto _ : state) {
        for (size_t s = 0; s < chart->SeriesCount(); ++s) {
            chart->GetSeries(s)->AppendPoint(t, 50.0f);
        }
        t += 1.0f / kRate;
        benchmark::DoNotOptimize(chart->Frame().constBits());
    }
    state.counters["points_per_series"] = static_cast<double>(chart->GetSeries(0)->points().size());
}
BENCHMARK(BM_RepaintAllInView)->Arg(60)->Arg(10 * 3600)->Unit(benchmark::kMicrosecond);

/// The same with only the cursor moving: the lines' drawing is reused.
void BM_RepaintAllInViewCursorOnly(benchmark::State& state) {
    const auto chart = MakeChart(static_cast<size_t>(state.range(0)));
    DataChartAxis* time = chart->GetAxis(0);
    time->SetFlags(0x60);
    time->SetViewRange(0, static_cast<float>(state.range(0)));
    chart->Recalc();
    float t = 0.0f;
    for (auto _ : state) {
        time->SetCursor(t += 1.0f);
        benchmark::DoNotOptimize(chart->Frame().constBits());
    }
}
BENCHMARK(BM_RepaintAllInViewCursorOnly)->Arg(10 * 3600)->Unit(benchmark::kMicrosecond);

/// The crowded walk alone: one line of the whole history reduced to the plot's pixel columns.
void BM_TraceAllInView(benchmark::State& state) {
    const auto chart = MakeChart(static_cast<size_t>(state.range(0)));
    korvit::app::PlotMapping m;
    m.x_max = static_cast<float>(state.range(0));
    m.y_max = 100.0f;
    m.left = 100;
    m.right = 900;
    m.top = 20;
    m.bottom = 260;
    std::vector<korvit::app::PixelPoint> out;
    for (auto _ : state) {
        chart->GetSeries(0)->points().Trace(m, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["pixel_points"] = static_cast<double>(out.size());
}
BENCHMARK(BM_TraceAllInView)->Arg(60)->Arg(10 * 3600)->Unit(benchmark::kMicrosecond);

/// One sample into one series on the GUI thread: storage, auto-scroll, repaint request.
void BM_AppendPoint(benchmark::State& state) {
    auto chart = MakeChart(0);
    DataChartSeries* series = chart->GetSeries(0);
    float t = 0.0f;
    for (auto _ : state) {
        series->AppendPoint(t, 42.0f);
        t += 0.05f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendPoint);

void BM_DemoScanMonitorsVisible(benchmark::State& state) {
    for (auto _ : state) {
        DemoScan scan;
        if (const char* error = scan.Start("Monitors")) {
            state.SkipWithError(error);
            return;
        }
        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(10000);
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double cpu = ProcessCpuSeconds() - cpu0;
        state.counters["reply_rate_hz"] = scan.app.engine.state().rate.Rate();
        state.counters["process_cpu_pct"] = 100.0 * cpu / elapsed;
        scan.Stop();
    }
}
BENCHMARK(BM_DemoScanMonitorsVisible)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return korvit::bench::RunGuiBenchmarks(argc, argv);
}
