// Datalog figures: unpaced playback through the whole reply path, seeks, paced playback timing
// and CPU, and the cost of recording one reply. Each prints its figures as a line of its own.
//
// KORVIT_BENCH_RECORDS (default 1000000) sets the size of the generated playback log and
// KORVIT_BENCH_PACED_SECONDS (default 10) the length of the paced run.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/dae_callback.h"
#include "app/output_log.h"
#include "app/views.h"
#include "datalog/data_log.h"
#include "datalog/log_session.h"
#include "definition/definition.h"
#include "demo_log.h"

using namespace korvit;
using Clock = std::chrono::steady_clock;

namespace {

uint32_t EnvNumber(const char* name, uint32_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && std::atoi(text) > 0 ? static_cast<uint32_t>(std::atoi(text))
                                                  : fallback;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

struct Demo {
    definition::ADXDefinition def;
    std::filesystem::path dir;

    Demo() {
        std::string error;
        if (def.Load(KORVIT_SOURCE_DIR "/samples/demo.adx", error) == 0) {
            std::fprintf(stderr, "cannot load samples/demo.adx: %s\n", error.c_str());
            std::exit(1);
        }
        // The bundled file leaves the mode-1 request's flags at 0 (reply not processed); mark
        // it processed so that playback decodes every record.
        for (const auto& object : def.objects()) {
            if (auto* send = definition::As<definition::ADXCSendCommand>(object.get())) {
                send->flags |= 1;
            }
        }
        char tmpl[] = "/tmp/korvit-bench-datalog-XXXXXX";
        dir = ::mkdtemp(tmpl);
    }
    ~Demo() { std::filesystem::remove_all(dir); }

    /// A log of `count` records of the demo's commands in turn, `gap(i)` ms apart. The table
    /// comes from a real (empty) recording; the records are laid out after it.
    std::string Generate(const std::string& name, uint32_t count,
                         const std::function<uint32_t(uint32_t)>& gap) {
        const std::string path = (dir / name).string();
        bench::GenerateLog(def, path, count, gap);
        return path;
    }
};

Demo& TheDemo() {
    static Demo demo;
    return demo;
}

const std::string& BigLog() {
    static const std::string path = TheDemo().Generate(
        "big.xdl", EnvNumber("KORVIT_BENCH_RECORDS", 1000000), [](uint32_t) { return 10u; });
    return path;
}

/// The displays without a GUI: every chart series of the replying command takes its value into
/// a buffer, as the chart's series buffers do; the callback itself decodes and feeds histograms.
class HeadlessViews : public app::IViews {
  public:
    explicit HeadlessViews(const definition::ADXDefinition& def) : def_(def) {
        for (const auto& object : def.objects()) {
            if (auto* monitor = definition::As<definition::ADXMonitor>(object.get())) {
                for (const auto& series : monitor->series()) {
                    if (auto* value = definition::As<definition::ADXValue>(series.item)) {
                        series_.push_back(value);
                    }
                }
            }
        }
        points_.resize(series_.size() * kPoints);
    }
    void AddChartPoint(float, evaluation::Packet packet, uint32_t command_hash) override {
        for (size_t s = 0; s < series_.size(); ++s) {
            auto* value = series_[s];
            if (value->parentcmdidhash != command_hash && value->parentcmdidhash != 0) continue;
            points_[s * kPoints + cursor_ % kPoints] =
                static_cast<float>(value->ComputeValue(def_, packet));
        }
        ++cursor_;
    }
    void ReplyDecoded(float, uint32_t) override {
        dispatch_.push_back(Clock::now());
        ++replies;
    }
    void PlaybackEnded() override { ended.store(true); }

    static constexpr size_t kPoints = 4096;
    std::atomic<bool> ended{false};
    std::atomic<uint64_t> replies{0};
    std::vector<Clock::time_point> dispatch_;

  private:
    const definition::ADXDefinition& def_;
    std::vector<definition::ADXValue*> series_;
    std::vector<float> points_;
    size_t cursor_ = 0;
};

struct Player {
    app::OutputLog output;  // no sink: lines are formatted and dropped
    acquisition::AcquisitionState state;
    datalog::DataLog log;
    acquisition::DAECallback callback;
    datalog::LogSession session;
    HeadlessViews views;

    explicit Player(const definition::ADXDefinition& def)
        : callback(def, state, output), session(def, state, output, log), views(def) {
        callback.set_views(&views);
        callback.set_datalog(&session);
        log.SetCallback(&callback);
    }
    void PlayToEnd() {
        log.StartPlayer();
        while (!views.ended.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        log.StopPlayer();
    }
};

void BM_UnpacedPlayback(benchmark::State& st) {
    const std::string& path = BigLog();
    for (auto _ : st) {
        Player player(TheDemo().def);
        player.views.dispatch_.reserve(EnvNumber("KORVIT_BENCH_RECORDS", 1000000));
        player.log.Open(path);
        player.log.SetSpeed(0);
        const double cpu0 = CpuSeconds();
        const auto start = Clock::now();
        player.PlayToEnd();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = CpuSeconds() - cpu0;
        const double rate = player.log.recordsread() / seconds;
        st.SetIterationTime(seconds);
        st.counters["records_per_s"] = rate;
        // On a shared machine the wall-clock rate depends on the other load; records per CPU
        // second is what the code itself achieves.
        std::printf(
            "unpaced playback: %u records (%llu decoded) in %.3f s = %.0f records/s "
            "wall; %.3f s CPU = %.0f records per CPU second\n",
            player.log.recordsread(), static_cast<unsigned long long>(player.views.replies.load()),
            seconds, rate, cpu, player.log.recordsread() / cpu);
    }
}
BENCHMARK(BM_UnpacedPlayback)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Seek(benchmark::State& st) {
    const std::string& path = BigLog();
    datalog::DataLog log;
    const auto open_start = Clock::now();
    log.Open(path);
    const double open_ms =
        std::chrono::duration<double, std::milli>(Clock::now() - open_start).count();
    const uint32_t count = log.header().recordcount;
    std::mt19937 random(7);
    std::vector<double> by_index, by_time;
    for (auto _ : st) {
        for (int i = 0; i < 2000; ++i) {
            const uint32_t target = 1 + random() % count;
            auto t0 = Clock::now();
            log.Seek(target, datalog::kSeekRewind);
            by_index.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            t0 = Clock::now();
            log.Seek(target * 10, datalog::kSeekRewind | datalog::kSeekByTime);
            by_time.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
    }
    st.counters["index_p99_ms"] = Percentile(by_index, 0.99);
    st.counters["time_p99_ms"] = Percentile(by_time, 0.99);
    std::printf(
        "seek in %u records (open with index %.1f ms): by sample p50 %.4f / p99 %.4f / "
        "max %.4f ms; by time p50 %.4f / p99 %.4f / max %.4f ms\n",
        count, open_ms, Percentile(by_index, 0.5), Percentile(by_index, 0.99),
        Percentile(by_index, 1.0), Percentile(by_time, 0.5), Percentile(by_time, 0.99),
        Percentile(by_time, 1.0));
}
BENCHMARK(BM_Seek)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PacedPlayback(benchmark::State& st) {
    const uint32_t seconds = EnvNumber("KORVIT_BENCH_PACED_SECONDS", 10);
    // Gaps of 12 to 30 ms, as a mode-1 scan at 8192 baud produces.
    std::mt19937 random(3);
    const uint32_t count = seconds * 1000 / 21;
    std::vector<uint32_t> gaps(count);
    for (auto& g : gaps) g = 12 + random() % 19;
    const std::string path =
        TheDemo().Generate("paced.xdl", count, [&](uint32_t i) { return gaps[i]; });
    for (auto _ : st) {
        Player player(TheDemo().def);
        player.views.dispatch_.reserve(count);
        player.log.Open(path);
        const double cpu0 = CpuSeconds();
        const auto wall0 = Clock::now();
        player.PlayToEnd();
        const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
        const double cpu = CpuSeconds() - cpu0;

        // Dispatch time against time stamp, both from the first record.
        std::vector<double> errors;
        uint32_t stamp = 0;
        const auto& d = player.views.dispatch_;
        for (size_t i = 1; i < d.size(); ++i) {
            stamp += gaps[i];
            const double actual = std::chrono::duration<double, std::milli>(d[i] - d[0]).count();
            errors.push_back(std::abs(actual - stamp));
        }
        st.counters["p99_error_ms"] = Percentile(errors, 0.99);
        st.counters["cpu_percent"] = 100 * cpu / wall;
        std::printf(
            "paced playback at 1.0: %zu records over %.2f s; dispatch error vs time stamp "
            "p50 %.3f / p99 %.3f / max %.3f ms; CPU %.2f %% of one core\n",
            d.size(), wall, Percentile(errors, 0.5), Percentile(errors, 0.99),
            Percentile(errors, 1.0), 100 * cpu / wall);
    }
}
BENCHMARK(BM_PacedPlayback)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_RecordCost(benchmark::State& st) {
    Demo& demo = TheDemo();
    app::OutputLog output;
    acquisition::AcquisitionState state;
    datalog::DataLog log;
    datalog::LogSession session(demo.def, state, output, log);
    session.set_recording_path((demo.dir / "temp.xdl").string());
    session.Record();
    const auto* command = log.commands().front().idhash ? &log.commands().front() : nullptr;
    std::vector<uint8_t> reply(command != nullptr ? command->replysize : 1, 0x5A);
    uint64_t n = 0;
    std::vector<double> each;
    for (auto _ : st) {
        const auto t0 = Clock::now();
        session.AppendReply(command->idhash, reply.data(), static_cast<uint32_t>(reply.size()));
        each.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        ++n;
    }
    log.Close();
    st.counters["p99_us"] = Percentile(each, 0.99);
    std::printf(
        "recording: %llu records of %zu bytes, per record on the connect thread p50 "
        "%.2f / p99 %.2f / max %.1f us\n",
        static_cast<unsigned long long>(n), reply.size(), Percentile(each, 0.5),
        Percentile(each, 0.99), Percentile(each, 1.0));
}
BENCHMARK(BM_RecordCost)->Iterations(200000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
