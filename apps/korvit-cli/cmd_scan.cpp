#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "acquisition/acquisition_engine.h"
#include "app/output_log.h"
#include "app/views.h"
#include "command_registry.h"
#include "definition/adx_definition.h"
#include "definition_json.h"
#include "items_json.h"

namespace korvit::cli {
namespace {

using acquisition::AcquisitionEngine;

// Ctrl+C and SIGTERM only write a byte here; the scan loop sees it and stops the engine.
int g_stop_pipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stop_pipe[1], &byte, 1);
}

/// Installs the stop handlers for the life of a scan and restores the old ones after it.
class StopSignals {
  public:
    StopSignals() {
        if (::pipe(g_stop_pipe) != 0) return;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &old_int_);
        sigaction(SIGTERM, &action, &old_term_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGTERM, &old_term_, nullptr);
        for (int& fd : g_stop_pipe) {
            if (fd >= 0) ::close(fd);
            fd = -1;
        }
    }
    /// Waits up to `timeout_ms` for a stop signal; true when one came.
    static bool Wait(int timeout_ms) {
        pollfd pfd{g_stop_pipe[0], POLLIN, 0};
        return ::poll(&pfd, 1, timeout_ms) > 0;
    }

  private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};

/// The CLI's displays: counts processed replies and, with --json, prints each one's items.
class ScanViews : public app::IViews {
  public:
    ScanViews(const definition::ADXDefinition& definition, acquisition::AcquisitionState& state,
              bool json)
        : definition_(definition), state_(state), json_(json) {}

    void ReplyDecoded(float t, uint32_t command_hash) override {
        replies_.fetch_add(1, std::memory_order_relaxed);
        if (!json_) return;
        state_.last_packet.LoadInto(snapshot_);
        nlohmann::json line = DecodedItemsJson(definition_, snapshot_);
        const auto* command = definition_.FindByHash(command_hash);
        line["time"] = t;
        line["command"] = command != nullptr ? nlohmann::json(std::string(command->id())) : nullptr;
        const std::string text = line.dump();
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    }

    uint32_t replies() const { return replies_.load(); }

  private:
    const definition::ADXDefinition& definition_;
    acquisition::AcquisitionState& state_;
    bool json_;
    evaluation::PacketSnapshot snapshot_;
    std::atomic<uint32_t> replies_{0};
};

int RunScan(const std::string& path, const std::string& port, double seconds, bool json) {
    definition::ADXDefinition def;
    std::string error;
    if (def.Load(path, error) == 0) return Fail(LoadFailureMessage(path, error));

    app::OutputLog log;
    app::StreamSink err(stderr);
    log.AddSink(&err);
    AcquisitionEngine engine(def, log);
    ScanViews views(def, engine.state(), json);
    engine.set_views(&views);

    StopSignals signals;
    engine.StartAcquisition(port);
    const auto deadline =
        seconds > 0 ? std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds)
                    : std::chrono::steady_clock::time_point::max();
    // Wake a few times a second to notice a scan that ended by itself; the engine thread does
    // the work, this thread only waits.
    while (engine.running() && std::chrono::steady_clock::now() < deadline) {
        if (StopSignals::Wait(100)) break;
    }
    const double elapsed = engine.state().rate.Elapsed();
    engine.StopWork(AcquisitionEngine::kStopAcquisition);

    const uint32_t replies = views.replies();
    std::fprintf(stderr, "Scan summary: %u replies, %u errors, %.2f replies/s over %.1f s\n",
                 replies, engine.errors(), elapsed > 0 ? replies / elapsed : 0.0, elapsed);
    switch (engine.last_end()) {
        case AcquisitionEngine::ScanEnd::OpenFailed:
        case AcquisitionEngine::ScanEnd::PortLost:
        case AcquisitionEngine::ScanEnd::CommandFailed:
            return 1;
        default:
            return 0;
    }
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand(
        "scan", "Run the acquisition engine on a serial port; Output lines go to stderr");
    struct Options {
        std::string path;
        std::string port;
        double seconds = 0;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    cmd->add_option("DEF", options->path, "Definition file (.adx)")->required();
    cmd->add_option("--port", options->port, "Serial device, e.g. /dev/ttyUSB0")->required();
    cmd->add_option("--seconds", options->seconds, "Stop after this many seconds (default: Ctrl+C)")
        ->check(CLI::NonNegativeNumber);
    cmd->add_flag("--json", options->json, "Print each processed reply's items as one JSON line");
    cmd->callback([options, &exit_code] {
        exit_code = RunScan(options->path, options->port, options->seconds, options->json);
    });
});

}  // namespace
}  // namespace korvit::cli
