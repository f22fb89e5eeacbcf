#pragma once

#include <cstdint>

namespace korvit::definition {
class ADXObject;
}

namespace korvit::acquisition {

/// Statuses returned by acquisition operations and callbacks: 0 or positive is success.
inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusFail = static_cast<int32_t>(0x80004005u);
inline constexpr int32_t kStatusOutOfMemory = static_cast<int32_t>(0x8007000Eu);
inline constexpr int32_t kStatusRefused = static_cast<int32_t>(0x80004004u);

/// Wire outcome of one operation, carried in the event of its end notification.
enum class ResultCode : uint32_t {
    Success = 0,            // silence, chatter, reply, packet: whatever was asked for
    StartRefused = 1,       // 160-baud listen: its start notification said no
    Aborted = 2,            // a stop request was seen at a checkpoint
    TimedOut = 4,           // no silence or no chatter within the command's limit
    ShortWrite = 5,         // fewer bytes written than the command holds
    ShortRead = 6,          // echo or reply came short
    MalformedByte = 7,      // 160-baud: at least one data byte was malformed
    NoSync = 8,             // 160-baud: no synchronisation run found
    StoppedOnSuccess = 10,  // macro: a node asking to stop on success returned >= 0
    StoppedOnFailure = 11,  // macro: a node asking to stop on failure returned < 0
    ChecksumError = 12,     // reply checksum verification on: the reply's bytes do not sum to 0
};

/// Who raised a notification: the live engine or the datalog player.
enum class EventSource : uint32_t { Live = 0, Player = 1 };

/// The one notification record, reused by every operation and handed to the callback.
struct DataAcqEvent {
    EventSource source = EventSource::Live;
    definition::ADXObject* object = nullptr;
    uint32_t objectidhash = 0;
    ResultCode result = ResultCode::Success;
    uint32_t sampleindex = 0;  // written by the player only
};

/// Notifications of command execution, raised synchronously on the thread that runs the
/// command (or plays the datalog). Every slot returns a status; a negative status from a
/// start notification stops the operation.
class IDataAcqCallback {
  public:
    virtual ~IDataAcqCallback() = default;

    virtual int32_t OnRawData(const DataAcqEvent& event, const uint8_t* bytes, uint32_t count) = 0;
    virtual int32_t OnBytesRead(const DataAcqEvent& event, const uint8_t* bytes,
                                uint32_t count) = 0;
    virtual int32_t OnListenSilenceBegin(const DataAcqEvent& event) = 0;
    virtual int32_t OnListenSilenceEnd(const DataAcqEvent& event) = 0;
    virtual int32_t OnListenChatterBegin(const DataAcqEvent& event) = 0;
    virtual int32_t OnListenChatterEnd(const DataAcqEvent& event) = 0;
    virtual int32_t OnSendCommandBegin(const DataAcqEvent& event) = 0;
    /// `reply` holds `count` bytes as read after any echo; may be null when nothing was read.
    virtual int32_t OnSendCommandEnd(const DataAcqEvent& event, const uint8_t* reply,
                                     uint32_t count) = 0;
    virtual int32_t OnMacroBegin(const DataAcqEvent& event) = 0;
    virtual int32_t OnMacroEnd(const DataAcqEvent& event) = 0;
    virtual int32_t On160BaudListenBegin(const DataAcqEvent& event) = 0;
    /// `packet` is null when no buffer was made (start refused, packetsize 0).
    virtual int32_t On160BaudListenEnd(const DataAcqEvent& event, const uint8_t* packet,
                                       uint32_t count) = 0;
    virtual int32_t OnTrigger(const DataAcqEvent& event) = 0;
};

/// The player's extra notifications, on top of the reply notifications it shares with the engine.
class IDataLogCallback : public IDataAcqCallback {
  public:
    /// The player reached the end of the datalog.
    virtual int32_t OnLogEnd() = 0;
    /// Raised before a seek to `target` (flags as the seek was asked).
    virtual int32_t OnLogSeekBegin(uint32_t target, uint32_t flags) = 0;
    /// Raised during a seek, after the new position is found, for the records the displays
    /// show there: the latest record of each command shortly before the position, oldest
    /// first, the record at the position last. Not raised when no record was read yet.
    virtual void OnLogSeekRecord(const DataAcqEvent& /*event*/, const uint8_t* /*reply*/,
                                 uint32_t /*count*/) {}
    /// Raised after a seek, before any record from the new position is played.
    virtual int32_t OnLogSeekEnd() = 0;
    /// Raised after every record played: its time stamp and sample index.
    virtual int32_t OnLogPosition(uint32_t time_ms, uint32_t sampleindex) = 0;
    /// The player thread has left its loop (end, Stop or Pause): player_running() is false.
    virtual void OnPlayerStopped() {}
};

}  // namespace korvit::acquisition
