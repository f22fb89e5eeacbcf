#pragma once

#include <atomic>
#include <cstdint>

#include "evaluation/last_packet.h"

namespace korvit::evaluation {

/// Reads sizeinbits / 8 bytes (at most 4) from the packet at `start` into a number whose least
/// significant byte is the first packet byte. With `swap`, a 2-byte number has its bytes swapped
/// and a 4-byte number reversed (most significant byte first on the wire); 3 bytes stay as read.
/// Bytes outside the packet read as 0.
inline uint32_t ReadPacketWord(Packet packet, uint64_t start, uint32_t sizeinbits, bool swap) {
    const uint32_t count = sizeinbits / 8 < 4 ? sizeinbits / 8 : 4;
    uint32_t word = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = start + i;
        if (at < packet.size) word |= static_cast<uint32_t>(packet.data[at]) << (8 * i);
    }
    if (swap && sizeinbits > 8) {
        if (count == 2) {
            word = ((word & 0xFFu) << 8) | (word >> 8);
        } else if (count == 4) {
            word =
                (word >> 24) | ((word >> 8) & 0xFF00u) | ((word << 8) & 0xFF0000u) | (word << 24);
        }
    }
    return word;
}

/// The raw extraction shared by values and bitmasks: no packet returns `last_raw`; otherwise the
/// bytes at packetoffset (or at `offset` with kUseGivenOffset), swapped unless the item keeps the
/// packet's order or kNeverSwap is given, and stored as `last_raw`.
inline uint32_t ExtractItemRaw(Packet packet, uint32_t offset, uint32_t options,
                               uint32_t packetoffset, uint32_t sizeinbits, bool packet_order,
                               std::atomic<uint32_t>& last_raw) {
    if (!packet.present()) return last_raw.load(std::memory_order_relaxed);
    const uint32_t start = (options & kUseGivenOffset) ? offset : packetoffset;
    const bool swap = !(options & kNeverSwap) && !packet_order;
    const uint32_t raw = ReadPacketWord(packet, start, sizeinbits, swap);
    last_raw.store(raw, std::memory_order_relaxed);
    return raw;
}

}  // namespace korvit::evaluation
