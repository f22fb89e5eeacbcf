#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "drive_cycle_replies.h"
#include "fault.h"
#include "platform/clock.h"

namespace korvit::ecusim {

struct SimOptions {
    /// Echo every received byte; also on when the definition's header says the line echoes.
    bool echo = false;
    /// Line rate for pacing (10 bits per byte); none: the definition's baud; 0: unpaced.
    std::optional<uint32_t> baud;
    std::vector<Fault> faults;
    uint64_t seed = 1;
    std::chrono::milliseconds late_delay{250};
    /// Every Nth reply is late by late_delay, besides any random late fault; 0: none.
    uint32_t late_every = 0;
    std::chrono::milliseconds stall_time{3000};
};

/// An engine-control unit on the master side of a pseudo-terminal. It answers each send command
/// of the definition (matched by its bytes) with a reply of replysize bytes, echoes when asked,
/// paces its output at the line rate, streams the 160-baud bit stream when the definition
/// listens for one, chatters between commands when the definition listens for chatter, and
/// injects the requested faults.
class EcuSimulator {
  public:
    /// The definition must outlive the simulator. The demo's definition gets the replies of an
    /// engine on a drive cycle (their bytes are found by decoding through the definition, which
    /// writes its items' last raw numbers); any other gets the drifting signals of EcuSignals.
    EcuSimulator(definition::ADXDefinition& definition, SimOptions options);
    ~EcuSimulator();
    EcuSimulator(const EcuSimulator&) = delete;
    EcuSimulator& operator=(const EcuSimulator&) = delete;

    /// Opens the pseudo-terminal in raw mode; false with a message.
    bool Open(std::string& error);
    /// The slave device that clients open.
    const std::string& path() const { return path_; }

    /// Serves the line until Stop or a hang-up fault, then closes the pseudo-terminal.
    void Run();
    /// Ends Run; safe from any thread and from a signal handler.
    void Stop();

    /// The pacing rate in use (0: unpaced).
    uint32_t baud() const { return baud_; }
    bool streams_160_baud() const { return stream_size_ > 0; }
    /// True when the replies come from the drive-cycle model.
    bool drives_a_cycle() const { return drive_cycle_ != nullptr; }
    /// Commands recognised so far.
    uint64_t commands_seen() const { return commands_seen_.load(); }

  private:
    using TimePoint = platform::TimePoint;
    struct Later {
        TimePoint at;
        std::vector<uint8_t> bytes;
    };

    double Seconds() const;
    bool Chance(FaultKind kind);
    /// Queues bytes for the wire, losing or altering them as the byte faults say.
    void Emit(const std::vector<uint8_t>& bytes, TimePoint now);
    void Receive(TimePoint now);
    void Answer(const definition::ADXCSendCommand& command, TimePoint now);
    void FeedTheLine(TimePoint now);
    /// Writes the bytes whose time on the line has come; false when the line is gone.
    bool Flush(TimePoint now);
    TimePoint NextWake(TimePoint now) const;
    void LetTheClientDrain();
    void CloseAll();

    const definition::ADXDefinition& definition_;
    SimOptions options_;
    std::unique_ptr<DriveCycleReplies> drive_cycle_;
    std::vector<const definition::ADXCSendCommand*> commands_;  // longest byte string first
    size_t longest_command_ = 0;
    bool echo_ = false;
    uint32_t baud_ = 0;
    std::chrono::nanoseconds byte_time_{0};
    size_t stream_size_ = 0;  // data bytes per 160-baud packet; 0: no stream
    std::vector<uint8_t> chatter_;
    std::chrono::milliseconds chatter_gap_{30};

    int master_ = -1;
    int slave_ = -1;  // held open so the master never sees a hang-up between clients
    int stop_fd_ = -1;
    std::string path_;
    TimePoint start_;
    std::mt19937_64 rng_;

    std::vector<uint8_t> received_;
    std::deque<uint8_t> line_;  // bytes waiting for their time on the wire
    TimePoint next_due_{};      // when the front byte has been fully sent
    TimePoint line_free_{};     // when the last written byte finished
    std::vector<Later> later_;
    std::optional<TimePoint> last_command_;
    TimePoint stalled_until_{};
    TimePoint next_chatter_{};
    bool hang_up_when_sent_ = false;
    std::atomic<uint64_t> commands_seen_{0};
    uint64_t replies_started_ = 0;  // replies the unit set out to send, for late_every
};

}  // namespace korvit::ecusim
