#include <unistd.h>
#include <atomic>
#include <chrono>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "acquisition/acquisition_engine.h"
#include "app/line_writer.h"
#include "app/output_log.h"
#include "app/views.h"
#include "command_registry.h"
#include "datalog/log_session.h"
#include "decode_json.h"
#include "definition/adx_definition.h"
#include "definition_json.h"
#include "json_text.h"
#include "option_checks.h"
#include "stop_signals.h"
#include "watch_table.h"

namespace korvit::cli {
namespace {

using acquisition::AcquisitionEngine;

/// The CLI's displays: counts processed replies and, with --json, prints each one's items.
class ScanViews : public app::IViews {
  public:
    ScanViews(const definition::ADXDefinition& definition, acquisition::AcquisitionState& state,
              bool json, app::LineWriter& out)
        : definition_(definition), state_(state), json_(json), out_(out) {}

    void ReplyDecoded(float t, uint32_t command_hash) override {
        replies_.fetch_add(1, std::memory_order_relaxed);
        if (watch_ != nullptr) {
            state_.last_packet.LoadInto(snapshot_);
            watch_->Update(snapshot_);
        }
        if (!json_) return;
        state_.last_packet.LoadInto(snapshot_);
        nlohmann::ordered_json line = DecodedItemsToJson(definition_, snapshot_);
        const auto* command = definition_.FindByHash(command_hash);
        line["time"] = t;
        line["command"] =
            command != nullptr ? nlohmann::ordered_json(Latin1ToUtf8(command->id())) : nullptr;
        out_.Write(DumpJson(line));
    }

    uint32_t replies() const { return replies_.load(); }
    void set_watch(WatchView* watch) { watch_ = watch; }

  private:
    const definition::ADXDefinition& definition_;
    acquisition::AcquisitionState& state_;
    bool json_;
    app::LineWriter& out_;
    evaluation::PacketSnapshot snapshot_;
    std::atomic<uint32_t> replies_{0};
    WatchView* watch_ = nullptr;
};

/// The live table's status line: the status bar's connection texts and the error count.
WatchStatus ScanStatus(const AcquisitionEngine& engine) {
    WatchStatus status;
    switch (engine.status()) {
        case acquisition::ConnectionStatus::Connected:
            status = {"ALDL: Connected", WatchStatus::Tone::kGood, ""};
            break;
        case acquisition::ConnectionStatus::Connecting:
            status = {"ALDL: Connecting...", WatchStatus::Tone::kBusy, ""};
            break;
        case acquisition::ConnectionStatus::Reconnecting:
            status = {"ALDL: Reconnecting", WatchStatus::Tone::kBusy, ""};
            break;
        default:
            status = {"ALDL: Not Connected", WatchStatus::Tone::kBad, ""};
            break;
    }
    status.detail = "Errors: " + std::to_string(engine.errors());
    return status;
}

/// Answers the save question with the --record path and prints the refusal box to stderr.
class RecordTarget : public datalog::ILogSessionUI {
  public:
    explicit RecordTarget(std::string path) : path_(std::move(path)) {}
    std::optional<std::string> AskSavePath() override { return path_; }
    void ShowError(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "korvit-cli: %s: %s\n", title.c_str(), text.c_str());
    }

  private:
    std::string path_;
};

struct ScanOptions {
    std::string path;
    std::string port;
    double seconds = 0;
    bool json = false;
    std::string record;
    bool watch = false;
    std::string verify_checksum = "auto";
    bool reconnect = false;
    uint32_t reconnect_seconds = 60;
};

/// Ends both writers and says how many lines a reader that stopped reading has missed.
void FinishOutput(app::LineWriter& out, app::LineWriter& err) {
    out.Finish(300);
    err.Finish(300);
    for (const auto& [writer, name] :
         {std::pair{&out, "standard output"}, std::pair{&err, "standard error"}}) {
        if (writer->dropped() == 0) continue;
        const std::string notice = std::string(name) +
                                   " is not being read: " + std::to_string(writer->dropped()) +
                                   " lines dropped\n";
        app::WriteWithTimeout(STDERR_FILENO, notice, 200);
    }
}

int RunScan(const ScanOptions& options) {
    const std::string& path = options.path;
    const std::string& port = options.port;
    const std::string& record = options.record;
    definition::ADXDefinition def;
    std::string error;
    if (def.Load(path, error) == 0) return Fail(LoadFailureMessage(path, error, def));
    WarnAboutLoad(def);

    // A reader that closes its end must not kill the scan before the recording is finished.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // Output goes through writers of its own, so a reader that stops reading never stalls the
    // engine; lines it cannot take are counted and dropped.
    app::LineWriter out(STDOUT_FILENO);
    app::LineWriter err_writer(STDERR_FILENO);
    app::OutputLog log;
    app::LineWriterSink err(err_writer);
    log.AddSink(&err);
    AcquisitionEngine engine(def, log);
    acquisition::ChecksumMode checksum = acquisition::ChecksumMode::kAuto;
    acquisition::ParseChecksumMode(options.verify_checksum, checksum);
    engine.set_options({checksum, options.reconnect, options.reconnect_seconds});
    ScanViews views(def, engine.state(), options.json, out);
    engine.set_views(&views);

    datalog::DataLog datalog;
    datalog::LogSession session(def, engine.state(), log, datalog);
    RecordTarget target(record);
    session.set_ui(&target);
    if (!record.empty()) {
        if (session.Record() != datalog::kDataLogOk) {
            FinishOutput(out, err_writer);
            return Fail("Cannot create the recording file " + session.recording_path());
        }
        engine.set_datalog(&session);
    }

    std::unique_ptr<WatchView> watch_view;
    if (options.watch) {
        watch_view = std::make_unique<WatchView>(
            def, stdout, [&engine] { return ScanStatus(engine); }, "Hz");
        views.set_watch(watch_view.get());
    }

    StopSignals signals;
    engine.StartAcquisition(port);
    // Wake a few times a second to notice a scan that ended by itself; the engine thread does
    // the work, this thread only waits.
    const double seconds = options.seconds;
    const auto deadline =
        seconds > 0 ? std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds)
                    : std::chrono::steady_clock::time_point::max();
    while (engine.running() && std::chrono::steady_clock::now() < deadline) {
        if (StopSignals::Wait(100)) break;
    }
    const double elapsed = engine.state().rate.Elapsed();
    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    bool saved = true;
    if (!record.empty()) {
        // A failed write already ended the recording; what was written before it is still saved.
        saved = !session.recording_failed();
        // Finishes the recording and moves it to the chosen name, never over an existing file.
        session.StopCommand();
        saved = saved && session.last_xdl_path() == record;
    }

    const uint32_t replies = views.replies();
    char summary[160];
    std::snprintf(summary, sizeof summary,
                  "Scan summary: %u replies, %u errors, %.2f replies/s over %.1f s", replies,
                  engine.errors(), elapsed > 0 ? replies / elapsed : 0.0, elapsed);
    err_writer.Write(summary);
    FinishOutput(out, err_writer);
    if (!saved) return 1;
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
    auto options = std::make_shared<ScanOptions>();
    cmd->add_option("DEF", options->path, "Definition file (.adx)")->required();
    cmd->add_option("--port", options->port, "Serial device, e.g. /dev/ttyUSB0")->required();
    cmd->add_option("--seconds", options->seconds, "Stop after this many seconds (default: Ctrl+C)")
        ->check(SecondsCheck());
    auto* json = cmd->add_flag("--json", options->json,
                               "Print each processed reply's items as one JSON line");
    cmd->add_option("--record", options->record,
                    "Record replies while connected, then save the datalog here (never replacing "
                    "a file)");
    cmd->add_flag("--watch", options->watch,
                  "Show the items as a live table in the terminal (plain lines when not a "
                  "terminal)")
        ->excludes(json);
    cmd->add_flag("--verify-checksum{always}", options->verify_checksum,
                  "Which replies must add up to 0 modulo 256 or fail (not decoded, not recorded, "
                  "counted as errors): off; auto (the default), a command's replies once its "
                  "first 3 did; always (also the bare flag)")
        ->check(CLI::IsMember({"off", "auto", "always"}));
    cmd->add_flag("--reconnect", options->reconnect,
                  "Reopen a lost port once a second; a recording continues in the same file");
    cmd->add_option("--reconnect-timeout", options->reconnect_seconds,
                    "Give up reconnecting after this many seconds (default 60)")
        ->check(CLI::Range(1u, 86400u));
    cmd->callback([options, &exit_code] { exit_code = RunScan(*options); });
});

}  // namespace
}  // namespace korvit::cli
