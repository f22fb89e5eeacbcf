#include "datalog/log_session.h"

#include <algorithm>
#include <cstring>

#include "app/output_log.h"
#include "app/views.h"
#include "datalog/xdl_check.h"
#include "platform/file_move.h"
#include "platform/move_failure.h"
#include "platform/recording_location.h"

namespace korvit::datalog {

using acquisition::ConnectionStatus;

LogSession::LogSession(const definition::ADXDefinition& definition,
                       acquisition::AcquisitionState& state, app::OutputLog& log, DataLog& datalog)
    : definition_(definition),
      state_(state),
      log_(log),
      datalog_(datalog),
      recording_path_(platform::RecordingPath()) {}

bool LogSession::IsRecording() const {
    return datalog_.state() == DataLogState::Recording;
}

void LogSession::AppendReply(uint32_t command_hash, const uint8_t* reply, uint32_t count) {
    if (datalog_.AppendRecord(command_hash, reply, count) != kDataLogIOError) return;
    // Said once per recording: the records before the failure stay in the file, and the
    // recording ends there, so the file never holds a gap.
    if (write_failure_reported_.exchange(true)) return;
    datalog_.FinishRecording();
    recording_failed_.store(true);
    log_.Print("Recording failed: %s. The %u records written before it are kept in %s",
               std::strerror(datalog_.write_error()), datalog_.header().recordcount,
               recording_path_.c_str());
    if (views_ != nullptr) views_->RecordingFailed();
    RefreshBar();
}

uint32_t LogSession::CurrentTimeMs() const {
    return datalog_.currenttime();
}

void LogSession::Stop() {
    if (datalog_.state() == DataLogState::Recording) {
        datalog_.FinishRecording();
    } else {
        datalog_.StopPlayer();
    }
}

uint32_t LogSession::Record() {
    write_failure_reported_.store(false);
    recording_failed_.store(false);
    // A recording that was killed before it could be finished is moved aside, not overwritten.
    if (datalog_.state() != DataLogState::Recording)
        RecoverUnfinishedRecording(recording_path_, log_);
    const uint32_t code = datalog_.Record(recording_path_, definition_);
    RefreshBar();
    return code;
}

void LogSession::StopCommand() {
    if (StopRecording()) {
        SaveRecording();
    } else if (datalog_.state() != DataLogState::Closed ||
               state_.status.load() == ConnectionStatus::LogPaused) {
        // Also a player that already ended at the end of the log, before Stop came.
        Stop();
        PlaybackStopped();
    }
    RefreshBar();
}

bool LogSession::StopRecording() {
    if (datalog_.state() != DataLogState::Recording && !recording_failed_.load()) return false;
    recording_failed_.store(false);
    datalog_.FinishRecording();
    datalog_.Close();
    log_.PrintLine("Recording stopped");
    return true;
}

bool LogSession::SaveRecording() {
    for (;;) {
        const std::optional<std::string> chosen =
            ui_ != nullptr ? ui_->AskSavePath() : std::nullopt;
        if (chosen) {
            const int error = platform::MoveFileNoReplace(recording_path_, *chosen);
            if (views_ != nullptr) views_->SetLogPosition(0);
            if (error == 0) {
                last_xdl_path_ = *chosen;
                log_.Print("Log saved to %s", chosen->c_str());
                return true;
            }
            if (ui_ != nullptr) {
                ui_->ShowError("Cannot overwrite",
                               "Log save failed. Log backup saved in install directory as "
                               "\"temp.xdl\"");
            }
            log_.Print("Cannot overwrite existing log: %s, error 0x%X", chosen->c_str(),
                       static_cast<unsigned>(error));
            log_.Print("The log was not saved: %s",
                       platform::MoveFailureReason(error, recording_path_, *chosen).c_str());
        }
        // Cancelled, or the move failed: the recording is still only in the recording file,
        // which the next Record overwrites.
        if (ui_ == nullptr || !ui_->AskSaveAgain()) return false;
    }
}

bool LogSession::PlayResumes() const {
    return state_.status.load() == ConnectionStatus::LogPaused &&
           (datalog_.state() == DataLogState::Open || datalog_.state() == DataLogState::Stopping);
}

uint32_t LogSession::Play(acquisition::IDataLogCallback* callback) {
    // A pause that has not yet reached the player: let its thread end so that Play resumes.
    if (state_.status.load() == ConnectionStatus::LogPaused &&
        datalog_.state() == DataLogState::Stopping) {
        datalog_.StopPlayer();
    }
    if (datalog_.state() == DataLogState::Open &&
        state_.status.load() == ConnectionStatus::LogPaused) {
        log_.PrintLine("Playback unpaused");
        datalog_.StartPlayer();
        RefreshBar();
        return kDataLogOk;
    }
    return Play(callback, *PrepareLog(last_xdl_path_));
}

std::unique_ptr<PreparedLog> LogSession::PrepareLog(const std::string& path,
                                                    const std::atomic<bool>* cancel) {
    auto prepared = std::make_unique<PreparedLog>();
    prepared->path = path;
    if (prepared->log.Open(path, cancel) == kDataLogOk) {
        prepared->check = CheckXdlFile(path, cancel);
    }
    return prepared;
}

uint32_t LogSession::Play(acquisition::IDataLogCallback* callback, PreparedLog& prepared) {
    const std::string& path = prepared.path;
    const float speed = datalog_.speed();
    datalog_.SetCallback(callback);
    const uint32_t code = datalog_.Open(path, prepared.log);
    if (code != kDataLogOk) {
        log_.PrintLine(FormatOpenError(path, code));
        RefreshBar();
        return code;
    }
    datalog_.SetSpeed(speed);
    state_.last_packet.Clear();  // the displays show no value until the first record
    state_.gauges.Clear();
    state_.charts.Reset();
    if (views_ != nullptr) views_->ResetCharts();
    // Said before the player starts, so that its lines never come between the warning's.
    if (prepared.check) {
        if (const std::string warning = prepared.check->Warning(path); !warning.empty()) {
            log_.PrintLine(warning);
        }
    }
    // Said before the player starts, so that it comes before the first record at any speed.
    log_.Print("Playing %s", path.c_str());
    datalog_.StartPlayer();
    RefreshBar();
    return kDataLogOk;
}

void LogSession::Pause() {
    if (datalog_.Pause()) {
        state_.status.store(ConnectionStatus::LogPaused);
        if (views_ != nullptr) views_->RefreshStatus();
        RefreshBar();
        log_.PrintLine("Playback paused");
    }
    RefreshBar();
}

void LogSession::Select(const std::string& path) {
    if (datalog_.Pause()) {
        state_.status.store(ConnectionStatus::LogPaused);
        if (views_ != nullptr) views_->RefreshStatus();
        RefreshBar();
    }
    last_xdl_path_ = path;
    RefreshBar();
}

void LogSession::PlaybackStopped() {
    datalog_.Close();
    log_.PrintLine("Playback stopped");
    state_.status.store(ConnectionStatus::NotConnected);
    if (views_ != nullptr) {
        views_->RefreshStatus();
        views_->SetLogPosition(0);
    }
    RefreshBar();
}

uint32_t LogSession::SeekTo(uint32_t sample) {
    return datalog_.Seek(sample, kSeekRewind);
}

uint32_t LogSession::SeekToTime(uint32_t time_ms) {
    // The time seek stops before the first record after the time; the records it passed are
    // the sample that a seek by sample then makes the last one read.
    const uint32_t code = datalog_.Seek(time_ms, kSeekRewind | kSeekByTime);
    if (code != kDataLogOk && code != kDataLogEnd) return code;
    return datalog_.Seek(std::max<uint32_t>(1, datalog_.recordsread()), kSeekRewind);
}

uint32_t LogSession::JumpForward() {
    return datalog_.Seek(datalog_.recordsread() + 10, 0);
}

uint32_t LogSession::JumpBackward() {
    const uint32_t read = datalog_.recordsread();
    return datalog_.Seek(read >= 10 ? read - 10 : 0, kSeekRewind);
}

LogBarButtons LogSession::Buttons() const {
    const ConnectionStatus status = state_.status.load();
    return LogBarButtonStates(datalog_.state(), status == ConnectionStatus::Connected,
                              status == ConnectionStatus::LogPaused);
}

void LogSession::RefreshBar() {
    if (views_ != nullptr) views_->UpdateLogBar();
}

}  // namespace korvit::datalog
