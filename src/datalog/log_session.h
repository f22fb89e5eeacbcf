#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "acquisition/acquisition_state.h"
#include "acquisition/datalog_link.h"
#include "datalog/data_log.h"
#include "datalog/log_bar.h"
#include "datalog/xdl_check.h"

namespace korvit::app {
class IViews;
class OutputLog;
}  // namespace korvit::app

namespace korvit::datalog {

/// The questions the logger asks the user; the GUI shows dialogs, the CLI answers from its
/// arguments.
class ILogSessionUI {
  public:
    virtual ~ILogSessionUI() = default;
    /// Where to save a finished recording ("Select/Create file to save..."); none on cancel.
    virtual std::optional<std::string> AskSavePath() = 0;
    /// The message box shown when the recording cannot be moved to the chosen name.
    virtual void ShowError(const std::string& title, const std::string& text) = 0;
    /// The recording was not saved (no name, or the move failed): true asks for a name again,
    /// false leaves it in the recording file.
    virtual bool AskSaveAgain() { return false; }
};

/// A log opened, indexed and checked ahead of Play, on any thread: reading a long log takes
/// seconds, which the window spends away from its own thread.
struct PreparedLog {
    std::string path;
    DataLog log;
    std::optional<XdlCheck> check;
};

/// The logger's user commands (Record, Stop, Play, Pause, seeks and jumps) over one DataLog,
/// with their Output lines, connection status changes and log bar updates. It is also the
/// reply path's link to the datalog: live replies are appended through it.
class LogSession : public acquisition::IDatalogLink {
  public:
    LogSession(const definition::ADXDefinition& definition, acquisition::AcquisitionState& state,
               app::OutputLog& log, DataLog& datalog);

    void set_views(app::IViews* views) { views_ = views; }
    void set_ui(ILogSessionUI* ui) { ui_ = ui; }
    /// The recording file ("temp.xdl" in the recording directory by default).
    void set_recording_path(std::string path) { recording_path_ = std::move(path); }
    const std::string& recording_path() const { return recording_path_; }
    /// The datalog that Play opens and a saved recording becomes.
    void set_last_xdl_path(std::string path) { last_xdl_path_ = std::move(path); }
    const std::string& last_xdl_path() const { return last_xdl_path_; }

    // The reply path's link.
    bool IsRecording() const override;
    void AppendReply(uint32_t command_hash, const uint8_t* reply, uint32_t count) override;
    uint32_t CurrentTimeMs() const override;
    /// Finishes a recording, or stops the player and waits for its thread (stop work).
    void Stop() override;

    /// Starts recording into the recording file; the code of DataLog::Record.
    uint32_t Record();
    /// Stops a recording and saves it under the name the user picks, or stops playback.
    /// Must not run on the player thread.
    void StopCommand();
    /// Finishes and closes the recording (also one that a failed write ended). False when there
    /// was none.
    bool StopRecording();
    /// Moves the finished recording to the name the user picks, asking again while the user
    /// wants; true when it was saved.
    bool SaveRecording();
    /// True from a failed write until the recording is stopped: the recording has ended, and
    /// the records before the failure wait in the recording file.
    bool recording_failed() const { return recording_failed_.load(); }
    /// Plays the last datalog from its start, or resumes a paused one. 0 or the open code.
    uint32_t Play(acquisition::IDataLogCallback* callback);
    /// True when Play would resume a paused playback rather than open the log.
    bool PlayResumes() const;
    /// Opens, indexes and checks `path`; touches no session state, so it may run on a worker
    /// thread. Stops early, leaving the log unindexed, when `cancel` becomes true.
    static std::unique_ptr<PreparedLog> PrepareLog(const std::string& path,
                                                   const std::atomic<bool>* cancel = nullptr);
    /// Plays a prepared log from its start, as Play does for the last datalog.
    uint32_t Play(acquisition::IDataLogCallback* callback, PreparedLog& prepared);
    /// Pauses playback; Play resumes it.
    void Pause();
    /// Makes `path` the datalog to play, pausing a running playback first.
    void Select(const std::string& path);
    /// After the player has stopped: closes the datalog and reports it.
    void PlaybackStopped();
    /// The slider and the ten-sample jumps.
    uint32_t SeekTo(uint32_t sample);
    /// Moves to the last record stamped at or before `time_ms` (the first record when none is),
    /// so that it is the one just read, as after playing up to it.
    uint32_t SeekToTime(uint32_t time_ms);
    uint32_t JumpForward();
    uint32_t JumpBackward();

    LogBarButtons Buttons() const;

  private:
    void RefreshBar();

    const definition::ADXDefinition& definition_;
    acquisition::AcquisitionState& state_;
    app::OutputLog& log_;
    DataLog& datalog_;
    app::IViews* views_ = nullptr;
    ILogSessionUI* ui_ = nullptr;
    std::string recording_path_;
    std::string last_xdl_path_;
    std::atomic<bool> write_failure_reported_{false};
    std::atomic<bool> recording_failed_{false};
};

}  // namespace korvit::datalog
