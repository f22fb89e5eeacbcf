#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/data_acq_callback.h"
#include "datalog/xdl_file.h"
#include "datalog/xdl_format.h"

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::datalog {

enum class DataLogState : uint32_t {
    Closed = 0,
    Open = 1,
    Created = 2,
    Playing = 3,
    Recording = 4,
    Stopping = 5,
};

/// Seek flags.
enum : uint32_t {
    kSeekRewind = 1,
    kSeekUnsupported = 4,
    kSeekByTime = 0x200,
};

/// Type mask of the commands that a recording's table lists: processed send commands and
/// 160-baud listens.
inline constexpr uint32_t kRecordedCommandTypes = 0x120000;

/// "Could not open %s, error 0x%X".
std::string FormatOpenError(const std::string& path, uint32_t code);

/// The recorder and player of one datalog file. Recording appends on the connect thread; the
/// player runs on a thread of its own and raises the reply notifications on the callback, so
/// that played records take the same path as live replies. Record reads and seeks are
/// serialised by one lock; the state and position words are atomics read without it.
class DataLog {
  public:
    DataLog() = default;
    ~DataLog();
    DataLog(const DataLog&) = delete;
    DataLog& operator=(const DataLog&) = delete;

    // File-level operations.

    /// Forgets the file and the table; speed 1.0, counters 0. Does not close an open file.
    void Reset();
    /// Reads the header and the command table from the start of the file. 0, 1, 13 or 14.
    uint32_t ReadHeaderAndTable();
    /// Writes the table (once, until tablewritten is set) and the header; leaves the position
    /// at firstrecord. 0 or 1.
    uint32_t WriteHeaderAndTable();
    /// Appends one record for the command `idhash`; only while recording. 0, 1, 3 or 4.
    uint32_t AppendRecord(uint32_t idhash, const uint8_t* reply, uint32_t count);
    /// Reads the next record's data into `buffer`; the entry it belongs to on success.
    uint32_t ReadRecord(uint8_t* buffer, size_t size, const DataLogCommand** entry);

    /// The table entry at `index`, or null.
    const DataLogCommand* CommandAt(size_t index) const;
    uint32_t LargestStoredSize() const;
    uint32_t LargestReplySize() const;

    // Recording.

    /// Creates `path` anew and builds the table from the definition; Recording on success,
    /// Closed (and 12) when the file cannot be created.
    uint32_t Record(const std::string& path, const definition::ADXDefinition& definition);
    /// Brings endmark up to date and writes the header; the file stays open (state Open).
    uint32_t FinishRecording();
    /// Finishes a recording or stops the player, writes the header and closes the file.
    /// 1 when closed (or nothing was open), 0 when the header could not be written.
    uint32_t Close();

    // Playback.

    /// Closes what is open, resets (speed 1.0) and opens `path` for playback. 0 and state Open,
    /// or the code (12 cannot open, 1 short read, 13 wrong version, 14 damaged) and Closed.
    /// Building the seek index reads every record; when `cancel` becomes true it stops early and
    /// the log is left without an index.
    uint32_t Open(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    /// Opens `path` as Open does, but takes the seek index from `opened`, which opened the same
    /// file (on another thread), instead of reading every record again. The index is rebuilt
    /// when the header read now differs from the one `opened` read.
    uint32_t Open(const std::string& path, DataLog& opened);
    /// Starts the player thread: 0, 6 (no callback), 3 (not Open) or 1 (still running).
    uint32_t StartPlayer();
    /// Playing -> Stopping; the player ends at its next check. True when it was playing.
    bool Pause();
    /// Asks a running player to stop and waits until its thread has ended.
    void StopPlayer();
    /// Moves the read position: by sample index, or by time with kSeekByTime; kSeekRewind starts
    /// from the first record. Results equal reading record by record from the position.
    /// With a callback, the records the displays show at the new position are raised
    /// (OnLogSeekRecord) before OnLogSeekEnd; a record the player read before the seek is not
    /// played after it.
    uint32_t Seek(uint32_t target, uint32_t flags);
    /// The sample the displays show: the last record played, or the position of the last seek.
    uint32_t shown() const { return shown_.load(); }
    /// Runs `work` with the sample the displays show, while no played record reaches them and
    /// no seek moves them: for handing something over that must match the position exactly.
    /// `work` must be short, since the player waits for it.
    void HoldDisplays(const std::function<void(uint32_t shown)>& work);

    void SetCallback(acquisition::IDataLogCallback* callback) { callback_ = callback; }
    void SetSpeed(float speed) { speed_.store(speed); }
    float speed() const { return speed_.load(); }

    DataLogState state() const { return state_.load(); }
    void SetState(DataLogState state) { state_.store(state); }
    const DataLogHeader& header() const { return header_; }
    const std::vector<DataLogCommand>& commands() const { return commands_; }
    uint32_t recordsread() const { return recordsread_.load(); }
    uint32_t currenttime() const { return currenttime_.load(); }
    uint32_t previoustime() const { return previoustime_.load(); }
    bool player_running() const { return playerthread_.load() != 0; }
    /// The code the last player run ended with (7 at the end of the datalog).
    uint32_t player_result() const { return player_result_.load(); }
    /// errno of the first failed append of this recording, 0 while every append succeeded.
    int write_error() const { return write_error_.load(); }
    uint64_t file_position() const { return file_.Tell(); }

  private:
    struct IndexEntry {
        uint32_t offset;  // where the record's head begins
        uint32_t end;     // the position after its data
        uint32_t time;
        uint8_t command;  // its entry in the command table
    };
    /// A record the displays show after a seek, with its reply rebuilt.
    struct ShownRecord {
        const DataLogCommand* command = nullptr;
        std::vector<uint8_t> reply;
    };

    uint32_t ReadRecordLocked(uint8_t* buffer, size_t size, const DataLogCommand** entry);
    /// Opens the file and reads its header and table; on failure closes it again.
    uint32_t OpenFile(const std::string& path);
    void BuildIndex(const std::atomic<bool>* cancel);
    uint32_t SeekByIndex(uint32_t target, uint32_t flags);
    uint32_t SeekByReading(uint32_t target, uint32_t flags);
    /// The records the displays show at the position (see Seek), oldest first. Needs the index.
    std::vector<ShownRecord> RecordsAtPosition();
    void PlayerThread();
    /// Waits until the clock reaches `deadline_ns`, or a seek after the `seeks`th came (true),
    /// or the state leaves Playing (false).
    bool WaitUntil(int64_t deadline_ns, uint32_t seeks);
    void JoinPlayer();
    bool OnPlayerThread() const;
    void RestartClock() {
        clock_origin_ns_.store(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    double ClockMs() const;

    DataLogHeader header_;
    std::vector<DataLogCommand> commands_;
    XdlFile file_;
    std::atomic<DataLogState> state_{DataLogState::Closed};
    acquisition::IDataLogCallback* callback_ = nullptr;
    uint32_t tablewritten_ = 0;
    // Time origin of record stamps while recording and of the pacing while playing; restarted
    // by the player and by seeks from another thread, hence atomic.
    std::atomic<int64_t> clock_origin_ns_{0};
    std::mutex lock_;
    // Held while a played record goes to the displays and for a whole seek, so that the two
    // never mix; taken before lock_ when both are held.
    std::mutex shown_lock_;
    std::atomic<uint32_t> shown_{0};
    /// Seeks so far: a record read before the latest seek is dropped, not played.
    std::atomic<uint32_t> seeks_{0};
    // Stop on the GUI thread finishes a recording while the connect thread may be appending:
    // the two never write at once.
    std::mutex write_lock_;
    std::vector<uint8_t> record_buffer_;
    std::vector<uint8_t> reply_buffer_;
    std::atomic<uint32_t> recordsread_{0};
    std::atomic<uint32_t> currenttime_{0};
    std::atomic<uint32_t> previoustime_{0};
    std::atomic<uint32_t> playerthread_{0};
    std::atomic<float> speed_{1.0f};
    std::atomic<uint32_t> player_result_{0};
    /// Set by a seek: the player's pacing starts from the new position.
    std::atomic<bool> reanchor_{false};
    std::atomic<int> write_error_{0};
    std::thread player_;
    // Held while the player thread is started or joined.
    std::mutex join_lock_;

    // Offsets of the records, built when a file is opened for playback. Complete only when
    // reading every record reached the normal end; otherwise seeks read record by record.
    std::vector<IndexEntry> index_;
    bool index_complete_ = false;
    bool index_times_ascending_ = false;
    uint64_t index_end_position_ = 0;
};

}  // namespace korvit::datalog
