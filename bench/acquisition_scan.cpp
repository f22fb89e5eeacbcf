// Wire efficiency and CPU of a scan of korvit-ecusim at 8192 baud, and the accuracy of the
// engine's waits. KORVIT_SCAN_SECONDS shortens the scan (default 30 s).
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "acquisition/data_acq_engine.h"
#include "app/output_log.h"
#include "app/views.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"

namespace {

using namespace korvit;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBaud = 8192;
constexpr uint32_t kRequestSize = 5;
constexpr uint32_t kReplySize = 67;

// An echoing one-wire unit: the request's echo and the reply share the line.
const char* const kDefinition = KORVIT_SOURCE_DIR "/samples/scan-8192.adx";

class CountingSink : public app::IOutputSink {
  public:
    void AppendLine(std::string_view) override { ++lines; }
    void Clear() override {}
    std::atomic<uint64_t> lines{0};
};

class CountingViews : public app::IViews {
  public:
    void ReplyDecoded(float, uint32_t) override { ++replies; }
    std::atomic<uint64_t> replies{0};
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// Starts the simulator on the definition; returns its pid and the line's path.
pid_t StartSimulator(const std::string& definition, std::string& path) {
    int out[2];
    if (pipe(out) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execl(KORVIT_ECUSIM_PATH, KORVIT_ECUSIM_PATH, definition.c_str(), "--baud", "8192",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') path += c;
    close(out[0]);
    return pid;
}

struct Percentiles {
    double p50, p99, max;
};

Percentiles Summarise(std::vector<double> errors_ms) {
    std::sort(errors_ms.begin(), errors_ms.end());
    auto at = [&](double q) { return errors_ms[static_cast<size_t>(q * (errors_ms.size() - 1))]; };
    return {at(0.5), at(0.99), errors_ms.back()};
}

void ScanBenchmark(double seconds) {
    const std::string def_path = kDefinition;
    std::string port;
    const pid_t sim = StartSimulator(def_path, port);
    if (sim <= 0 || port.empty()) {
        std::printf("scan: could not start the simulator\n");
        return;
    }

    definition::ADXDefinition def;
    std::string error;
    if (def.Load(def_path, error) == 0) {
        std::printf("scan: definition did not load: %s\n", error.c_str());
        kill(sim, SIGTERM);
        return;
    }
    app::OutputLog log;
    CountingSink sink;
    log.AddSink(&sink);
    acquisition::AcquisitionEngine engine(def, log);
    CountingViews views;
    engine.set_views(&views);

    const double cpu_before = CpuSeconds();
    const auto began = Clock::now();
    engine.StartAcquisition(port);
    while (engine.running() &&
           std::chrono::duration<double>(Clock::now() - began).count() < seconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - began).count();
    const uint64_t replies = views.replies.load();
    engine.StopWork(acquisition::AcquisitionEngine::kStopAcquisition);
    const double cpu = CpuSeconds() - cpu_before;

    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);

    const double bytes_per_cycle = kRequestSize + kReplySize;  // echo + reply on one wire
    const double limit = kBaud / (bytes_per_cycle * 10.0);
    const double rate = replies / wall;
    std::printf("scan: %.1f s at %u baud, %llu replies, %u errors, %llu Output lines\n", wall,
                kBaud, static_cast<unsigned long long>(replies), engine.errors(),
                static_cast<unsigned long long>(sink.lines.load()));
    std::printf(
        "scan: %.3f replies/s against a line limit of %.3f/s (%.0f bytes per cycle): "
        "%.3f of the limit (target >= 0.97)\n",
        rate, limit, bytes_per_cycle, rate / limit);
    std::printf("scan: CPU %.3f s over %.1f s: %.2f %% of one core (target <= 5 %%)\n", cpu, wall,
                100.0 * cpu / wall);
}

/// Read time-outs and silence waits on a quiet line: how late each ends after its deadline.
void TimingBenchmark() {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    acquisition::DataAcqEngine engine;
    if (engine.port.Open(ptsname(master), kBaud) == 0) return;

    // The application's callback, writing to a log with no sink: the waits carry their real load.
    definition::ADXDefinition def;
    acquisition::AcquisitionState state;
    app::OutputLog log;
    acquisition::DAECallback callback(def, state, log);
    engine.callback = &callback;

    constexpr int kSamples = 200;
    auto measure = [&](const char* what, uint32_t deadline_ms, auto&& run) {
        std::vector<double> errors;
        const double cpu_before = CpuSeconds();
        const auto began = Clock::now();
        for (int i = 0; i < kSamples; ++i) {
            const auto start = Clock::now();
            run();
            const double took =
                std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            errors.push_back(took - deadline_ms);
        }
        const double wall = std::chrono::duration<double>(Clock::now() - began).count();
        const Percentiles p = Summarise(errors);
        std::printf("timing: %-34s p50 %+.3f ms, p99 %+.3f ms, max %+.3f ms, CPU %.1f %%\n", what,
                    p.p50, p.p99, p.max, 100.0 * (CpuSeconds() - cpu_before) / wall);
    };

    uint8_t byte = 0;
    engine.port.SetTimeouts(30, 0, 10, 0, 300);
    measure("read time-out (10 ms)", 10, [&] { engine.port.Read(&byte, 1); });

    definition::ADXCListenSilence pause;
    pause.silencelen = 0;
    pause.totaltimeout = 10;
    measure("silence wait, no length (10 ms)", 10, [&] { engine.Execute(&pause); });

    definition::ADXCListenSilence quiet;
    quiet.silencelen = 10;
    quiet.totaltimeout = 500;
    measure("listen for 10 ms of silence", 10, [&] { engine.Execute(&quiet); });
    close(master);
}

}  // namespace

int main() {
    const char* env = std::getenv("KORVIT_SCAN_SECONDS");
    const double seconds = env != nullptr ? std::atof(env) : 30.0;
    TimingBenchmark();
    ScanBenchmark(seconds > 0 ? seconds : 30.0);
    return 0;
}
