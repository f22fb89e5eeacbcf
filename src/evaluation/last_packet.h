#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace korvit::evaluation {

/// Option bits of every decoding call.
enum DecodeOptions : uint32_t {
    kDecodeDefault = 0,
    kUseGivenOffset = 1,  // take the bytes at the offset passed with the call
    kNeverSwap = 2,       // keep the packet's byte order whatever the item's flags say
    kNoLookup = 4,        // do not map the value through its lookup table
};

/// Packet bytes handed to a decoding call. A null `data` means "no packet": the item reuses
/// its last raw number. Bytes at or past `size` read as zero, so no offset can read outside.
struct Packet {
    const uint8_t* data = nullptr;
    size_t size = 0;

    static constexpr Packet None() { return {}; }
    constexpr bool present() const { return data != nullptr; }
};

/// A copy of the most recent reply packet, with its length and the idhash of the command
/// that produced it.
struct PacketSnapshot {
    static constexpr size_t kCapacity = 300;

    std::array<uint8_t, kCapacity> bytes{};
    uint32_t length = 0;
    uint32_t ReplyCommandHash = 0;

    /// The whole 300-byte record: offsets past `length` read what an earlier reply left there.
    Packet packet() const { return {bytes.data(), bytes.size()}; }
    /// The packet-selection rule: the bytes when the item belongs to the replying command (or
    /// to none), otherwise no packet so that the item shows its last raw number.
    Packet PacketFor(uint32_t parentcmdidhash) const {
        return parentcmdidhash == 0 || parentcmdidhash == ReplyCommandHash ? packet()
                                                                           : Packet::None();
    }
};

/// The application's last-packet record. The reply path writes it on the acquisition or player
/// thread while displays read it on the GUI thread; a short lock makes every read see one whole
/// packet, never a mix of two.
class LastPacket {
  public:
    /// Copies `count` bytes (at most 300; the rest of the record keeps its old bytes) and the
    /// command hash. Returns the number of bytes copied.
    uint32_t Store(const uint8_t* bytes, size_t count, uint32_t command_hash);
    /// A consistent copy of the record.
    PacketSnapshot Load() const;
    /// Copies the record into `out` (no allocation; for callers that keep a snapshot around).
    void LoadInto(PacketSnapshot& out) const;
    /// Zero bytes, length 0, hash 0.
    void Clear();

  private:
    mutable std::mutex lock_;
    PacketSnapshot data_;
};

}  // namespace korvit::evaluation
