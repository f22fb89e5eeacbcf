// Reviewing a drive: the whole-log chart fill of a monitor (open, replay, lines in place) for
// 1-hour and 10-hour logs, the histogram rebuild of a 10-hour log, seeks anywhere in it from
// checkpoints, and a short seek forward.
// Each prints its figures as a line of its own.
//
// Logs are generated at 12.5 records per second (a busy 8192-baud stream), one mode-1 reply of
// the demo definition each. KORVIT_BENCH_HOURS (default 10) sets the long log's length.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/chart_fill.h"
#include "app/chart_points.h"
#include "datalog/data_log.h"
#include "datalog/log_replay.h"
#include "definition/definition.h"
#include "support/generated_log.h"

using namespace korvit;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kRecordsPerHour = 3600 * 25 / 2;
constexpr uint32_t kGapMs = 80;

const char* const kDemoPath = KORVIT_SOURCE_DIR "/samples/demo.adx";

uint32_t Hours() {
    const char* text = std::getenv("KORVIT_BENCH_HOURS");
    return text != nullptr && std::atoi(text) > 0 ? static_cast<uint32_t>(std::atoi(text)) : 10;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

/// Processor time of this process: the figure that a loaded machine does not inflate.
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

void LoadDemo(definition::ADXDefinition& def) {
    std::string error;
    if (def.Load(kDemoPath, error) == 0) {
        std::fprintf(stderr, "cannot load samples/demo.adx: %s\n", error.c_str());
        std::exit(1);
    }
}

struct Logs {
    std::filesystem::path dir;
    std::string one_hour;
    std::string long_log;

    Logs() {
        char tmpl[] = "/tmp/korvit-bench-review-XXXXXX";
        dir = ::mkdtemp(tmpl);
        definition::ADXDefinition def;
        LoadDemo(def);
        one_hour = Generate(def, "1h.xdl", kRecordsPerHour);
        long_log = Generate(def, "long.xdl", kRecordsPerHour * Hours());
    }
    ~Logs() { std::filesystem::remove_all(dir); }

    /// The table from a real (empty) recording, then `count` mode-1 records laid out after it.
    std::string Generate(const definition::ADXDefinition& def, const char* name, uint32_t count) {
        const std::string path = (dir / name).string();
        testing::WriteGeneratedLog(
            def, path, count, [](uint32_t) { return kGapMs; }, testing::RampByte);
        return path;
    }
};

Logs& TheLogs() {
    static Logs logs;
    return logs;
}

std::vector<uint32_t> MonitorSeries(const definition::ADXDefinition& def) {
    std::vector<uint32_t> hashes;
    for (const auto& object : def.objects()) {
        if (auto* monitor = definition::As<definition::ADXMonitor>(object.get())) {
            for (const auto& series : monitor->series()) hashes.push_back(series.itemidhash);
        }
    }
    return hashes;
}

/// Load Log to lines in view: open the log (its index), replay it into the monitor's series
/// and put every line in place.
void Overview(benchmark::State& st, const std::string& path, const char* label) {
    definition::ADXDefinition def;
    LoadDemo(def);
    const std::vector<uint32_t> hashes = MonitorSeries(def);
    std::vector<std::unique_ptr<app::ChartPoints>> lines;
    for (size_t k = 0; k < hashes.size(); ++k)
        lines.push_back(std::make_unique<app::ChartPoints>());
    double worst = 0, worst_cpu = 0;
    size_t points = 0;
    for (auto _ : st) {
        const auto start = Clock::now();
        const double cpu = CpuSeconds();
        datalog::LogReplay replay(def);
        if (replay.Open(path) != datalog::kDataLogOk) st.SkipWithError("cannot open the log");
        std::vector<std::vector<app::ChartPoint>> filled;
        app::FillSeriesFromLog(replay, hashes, filled);
        for (size_t k = 0; k < lines.size(); ++k) lines[k]->Replace(filled[k]);
        worst = std::max(worst, Seconds(start));
        worst_cpu = std::max(worst_cpu, CpuSeconds() - cpu);
        points = lines.empty() ? 0 : lines[0]->size();
    }
    std::printf("FIGURE overview fill %s: %zu series x %zu points, worst %.3f s (%.3f s CPU)\n",
                label, hashes.size(), points, worst, worst_cpu);
}

void BM_OverviewFill1h(benchmark::State& st) {
    Overview(st, TheLogs().one_hour, "1 h");
}
BENCHMARK(BM_OverviewFill1h)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OverviewFillLong(benchmark::State& st) {
    char label[32];
    std::snprintf(label, sizeof label, "%u h", Hours());
    Overview(st, TheLogs().long_log, label);
}
BENCHMARK(BM_OverviewFillLong)->Unit(benchmark::kMillisecond)->Iterations(2);

/// A seek back on the long log: every histogram rebuilt from its start to the end on a copy of
/// the definition, then copied into the one the page shows.
void BM_HistogramRebuildLong(benchmark::State& st) {
    definition::ADXDefinition live, scratch;
    LoadDemo(live);
    LoadDemo(scratch);
    datalog::LogReplay replay(scratch);
    const auto open_start = Clock::now();
    if (replay.Open(TheLogs().long_log) != datalog::kDataLogOk) {
        st.SkipWithError("cannot open the log");
        return;
    }
    const double open = Seconds(open_start);
    double worst = 0, worst_cpu = 0;
    for (auto _ : st) {
        const auto start = Clock::now();
        const double cpu = CpuSeconds();
        datalog::RebuildHistograms(replay, UINT32_MAX);
        datalog::CopyHistogramSamples(scratch, live);
        worst = std::max(worst, Seconds(start));
        worst_cpu = std::max(worst_cpu, CpuSeconds() - cpu);
    }
    std::printf(
        "FIGURE histogram rebuild %u h (%u records): worst %.3f s (%.3f s CPU), opening the log "
        "%.3f s\n",
        Hours(), replay.position(), worst, worst_cpu, open);
}
BENCHMARK(BM_HistogramRebuildLong)->Unit(benchmark::kMillisecond)->Iterations(3);

/// A cursor dragged anywhere on the long log: each seek restores the nearest checkpoint of the
/// histograms and feeds the records after it, then copies them into the page's histograms. The
/// first pass over the log, which saves the checkpoints, is not timed.
void BM_HistogramCursorSeekLong(benchmark::State& st) {
    definition::ADXDefinition live, scratch;
    LoadDemo(live);
    LoadDemo(scratch);
    datalog::LogReplay replay(scratch);
    if (replay.Open(TheLogs().long_log) != datalog::kDataLogOk) {
        st.SkipWithError("cannot open the log");
        return;
    }
    datalog::HistogramCheckpoints checkpoints;
    checkpoints.SeekTo(replay, UINT32_MAX);
    const uint32_t records = replay.position();
    uint32_t target = 12345;
    double worst = 0;
    for (auto _ : st) {
        target = static_cast<uint32_t>((target * 2654435761ull + 97) % records);
        const auto start = Clock::now();
        checkpoints.SeekTo(replay, target);
        datalog::CopyHistogramSamples(scratch, live);
        worst = std::max(worst, Seconds(start));
    }
    std::printf("FIGURE histogram seek anywhere in %u h: worst %.1f ms, %zu checkpoints\n", Hours(),
                worst * 1000, checkpoints.size());
}
BENCHMARK(BM_HistogramCursorSeekLong)->Unit(benchmark::kMillisecond)->Iterations(200);

/// A cursor step forward on the long log: 25 records (2 s) fed and copied into the page's
/// histograms.
void BM_HistogramStepForward(benchmark::State& st) {
    definition::ADXDefinition live, scratch;
    LoadDemo(live);
    LoadDemo(scratch);
    datalog::LogReplay replay(scratch);
    if (replay.Open(TheLogs().long_log) != datalog::kDataLogOk) {
        st.SkipWithError("cannot open the log");
        return;
    }
    datalog::RebuildHistograms(replay, replay.record_count() / 2);
    for (auto _ : st) {
        datalog::AdvanceHistograms(replay, replay.position() + 25);
        datalog::CopyHistogramSamples(scratch, live);
    }
}
BENCHMARK(BM_HistogramStepForward)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
