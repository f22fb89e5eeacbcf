#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "datalog/data_log.h"
#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXDefinition;
class ADXHistogram;
}  // namespace korvit::definition

namespace korvit::datalog {

/// A replay stopped by its progress callback.
inline constexpr uint32_t kReplayCancelled = 0x100;

/// Called now and then during a long replay with the records done and the records the log
/// holds; returning false stops the replay. May be called on any thread.
using ReplayProgress = std::function<bool(uint32_t done, uint32_t total)>;

/// One record after it was decoded.
struct ReplayedRecord {
    uint32_t sample = 0;   // records read so far, this one included (the log bar's position)
    uint32_t time_ms = 0;  // the record's time stamp
    /// The replying command; 0 when the record decoded nothing (a 160-baud listen, a command
    /// the definition lacks or one whose reply is not processed).
    uint32_t command_hash = 0;
    evaluation::Packet packet;  // the command's packet within the reply
    const uint8_t* reply = nullptr;
    uint32_t reply_size = 0;
    /// The last packet after this record, as the histograms read it.
    const evaluation::PacketSnapshot* last = nullptr;
};

/// Reads a datalog's records in order, without pacing and without a thread of its own, and
/// decodes each into a definition the way playback's reply path does: the reply's packet
/// becomes the last packet and the command's values and bitmasks take their raw numbers from
/// it. The definition is the replay's alone while it runs: give it a copy loaded for the
/// purpose when the displays show the one that playback feeds.
class LogReplay {
  public:
    explicit LogReplay(const definition::ADXDefinition& definition);

    /// Opens the log at its first record; the code of DataLog::Open.
    uint32_t Open(const std::string& path);
    /// Records the log holds (those that a seek can reach).
    uint32_t record_count() const { return record_count_; }
    /// Records decoded since the first.
    uint32_t position() const { return position_; }

    /// Back to the first record, with every value's and bitmask's raw number and the last
    /// packet at zero, as after loading the definition.
    void Rewind();
    /// Decodes the next record into `out`: kDataLogOk, kDataLogEnd after the last record, or
    /// the code that stopped playback at a damaged one.
    uint32_t Next(ReplayedRecord& out);
    /// Decodes records until `sample` records are done, passing each to `each` (may be empty).
    /// kDataLogOk when the position is reached or the log ended, kReplayCancelled, or the code
    /// of a damaged record.
    uint32_t RunTo(uint32_t sample, const std::function<void(const ReplayedRecord&)>& each,
                   const ReplayProgress& progress = {});

    const definition::ADXDefinition& definition() const { return definition_; }

    /// What decoding the records up to a position left behind: the last packet and every
    /// value's and bitmask's raw number, in the definition's order.
    struct State {
        uint32_t position = 0;
        evaluation::PacketSnapshot last;
        std::vector<uint32_t> raws;
    };
    State SaveState() const;
    /// Back to a state saved from this replay: the next record is the one after its position.
    /// The code of the seek.
    uint32_t RestoreState(const State& state);

  private:
    const definition::ADXDefinition& definition_;
    DataLog log_;
    std::string path_;
    uint32_t record_count_ = 0;
    uint32_t position_ = 0;
    std::vector<uint8_t> record_;
    std::vector<uint8_t> reply_;
    evaluation::PacketSnapshot last_;
};

/// Every histogram of the command (or of none) takes a sample from the record, as the reply
/// path feeds them. The record's last packet must be set.
void FeedHistograms(const definition::ADXDefinition& definition, const ReplayedRecord& record);

/// The histograms at a log position: empties every histogram of the replay's definition and
/// feeds records 1 to `sample` (all of them when the log is shorter), as a play from the
/// start of the log up to that position does. Filters set on the histograms apply.
uint32_t RebuildHistograms(LogReplay& replay, uint32_t sample, const ReplayProgress& progress = {});
/// A seek forward: feeds the records from the replay's position up to `sample` into the
/// histograms, which hold the records up to its position. A position behind the replay's
/// rebuilds instead.
uint32_t AdvanceHistograms(LogReplay& replay, uint32_t sample, const ReplayProgress& progress = {});
/// The histograms of a replay's definition saved every so many records, so that a seek back
/// restarts from the nearest saved position instead of the start of the log.
class HistogramCheckpoints {
  public:
    explicit HistogramCheckpoints(uint32_t every = 16384);
    ~HistogramCheckpoints();

    /// The histograms at `sample`, as RebuildHistograms gives them: from the replay's position
    /// when it is behind `sample` and no checkpoint is closer, otherwise from the last checkpoint
    /// at or before `sample`. Checkpoints are saved as the replay passes them. A cancelled seek
    /// leaves the histograms at the replay's position, as always.
    uint32_t SeekTo(LogReplay& replay, uint32_t sample, const ReplayProgress& progress = {});
    /// Forgets every checkpoint: needed when a filter changes or another log is opened.
    void Clear();
    size_t size() const { return checkpoints_.size(); }

  private:
    struct Checkpoint;
    void Save(const LogReplay& replay);

    uint32_t every_;
    std::map<uint32_t, std::unique_ptr<Checkpoint>> checkpoints_;
};

/// Copies the samples of every histogram of `from` into the histogram of the same idhash in
/// `to`; returns how many were copied.
size_t CopyHistogramSamples(const definition::ADXDefinition& from,
                            const definition::ADXDefinition& to);

}  // namespace korvit::datalog
