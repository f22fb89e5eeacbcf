#include "cli_playback.h"

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>

#include "acquisition/dae_callback.h"
#include "app/output_log.h"
#include "app/views.h"
#include "datalog/log_session.h"
#include "datalog/xdl_check.h"
#include "definition/adx_definition.h"
#include "stop_signals.h"
#include "trouble_sink.h"

namespace korvit::cli {
namespace {

class PlaybackViews : public app::IViews {
  public:
    PlaybackViews(const datalog::DataLog& log, acquisition::AcquisitionState& state,
                  const std::function<void(const PlayedReply&)>& on_reply)
        : log_(log), state_(state), on_reply_(on_reply) {}

    void ReplyDecoded(float t, uint32_t command_hash) override {
        ++replies_;
        if (!on_reply_) return;
        on_reply_(PlayedReply{t, command_hash, log_.recordsread(), log_.currenttime(), &state_});
    }
    void PlaybackEnded() override {
        ended_.store(true);
        StopSignals::Wake();
    }

    bool ended() const { return ended_.load(); }
    uint32_t replies() const { return replies_.load(); }

  private:
    const datalog::DataLog& log_;
    acquisition::AcquisitionState& state_;
    const std::function<void(const PlayedReply&)>& on_reply_;
    std::atomic<bool> ended_{false};
    std::atomic<uint32_t> replies_{0};
};

}  // namespace

int PlayDatalog(const definition::ADXDefinition& definition, const std::string& log_path,
                float speed, const std::function<void(const PlayedReply&)>& on_reply, bool quiet,
                const std::string& def_path) {
    app::OutputLog log;
    app::StreamSink stream(stderr);
    // A log played with the wrong definition says the same thing for every record.
    app::RepeatCollapsingSink err(stream);
    TroubleSink trouble(err);
    log.AddSink(quiet ? static_cast<app::IOutputSink*>(&trouble) : &err);
    const std::optional<datalog::XdlCheck> check = datalog::CheckXdlFile(log_path);
    acquisition::AcquisitionState state;
    datalog::DataLog datalog;
    acquisition::DAECallback callback(definition, state, log);
    datalog::LogSession session(definition, state, log, datalog);
    PlaybackViews views(datalog, state, on_reply);
    callback.set_views(&views);
    callback.set_datalog(&session);
    session.set_views(&views);
    session.set_last_xdl_path(log_path);

    StopSignals signals;
    datalog.SetSpeed(speed);
    if (session.Play(&callback) != datalog::kDataLogOk) return 1;
    bool interrupted = false;
    while (!views.ended()) {
        if (StopSignals::Wait(200)) {
            interrupted = true;
            break;
        }
    }
    const uint32_t result = datalog.player_result();
    const uint32_t read = datalog.recordsread();
    session.StopCommand();
    err.Flush();
    std::string note;
    if (check && check->CountMismatch() && !interrupted) {
        note = " (the header counts " + std::to_string(check->header.recordcount) + ")";
    }
    if (!quiet || !note.empty()) {
        std::fprintf(stderr, "Played %u records, %u replies decoded%s\n", read, views.replies(),
                     note.c_str());
    }
    if (!interrupted && result != datalog::kDataLogEnd) {
        std::fprintf(stderr,
                     "korvit-cli: playback of %s ended early after record %u: %s (error 0x%X)\n",
                     log_path.c_str(), read,
                     std::string(datalog::DescribeDataLogCode(result)).c_str(), result);
        return 1;
    }
    if (!def_path.empty() && !interrupted && read > 0 && views.replies() == 0) {
        std::fprintf(stderr,
                     "korvit-cli: 0 of %u records match a command of %s (wrong definition?)\n",
                     read, def_path.c_str());
        return 3;
    }
    return 0;
}

}  // namespace korvit::cli
