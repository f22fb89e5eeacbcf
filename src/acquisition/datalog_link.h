#pragma once

#include <cstdint>

namespace korvit::acquisition {

/// What the reply path and the stop work ask of the datalog. The datalog implements it; with
/// none attached, nothing is recorded and played times read as 0.
class IDatalogLink {
  public:
    virtual ~IDatalogLink() = default;
    /// True while a recording runs.
    virtual bool IsRecording() const = 0;
    /// Appends one processed live reply (the whole reply as read, after any echo).
    virtual void AppendReply(uint32_t command_hash, const uint8_t* reply, uint32_t count) = 0;
    /// Time stamp (ms) of the last record the player read.
    virtual uint32_t CurrentTimeMs() const = 0;
    /// Finishes a recording, or stops the player and waits until its thread has ended.
    virtual void Stop() = 0;
};

}  // namespace korvit::acquisition
