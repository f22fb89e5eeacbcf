#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace korvit::ecusim::test {

/// Reads 160-baud packets out of the one-byte-per-bit stream the way the receiver does: nine
/// consecutive 0x00 bytes synchronise, then each data byte is nine elements, a non-zero start
/// element and eight bits most significant first (0x00 is a 1 bit). Returns the packets found
/// whose every byte was well formed; `malformed` counts the others.
inline std::vector<std::vector<uint8_t>> DecodePackets(const std::vector<uint8_t>& stream,
                                                       size_t packet_size, int* malformed) {
    std::vector<std::vector<uint8_t>> packets;
    size_t i = 0;
    while (i < stream.size()) {
        int ones = 0;
        while (i < stream.size() && ones < 9) ones = stream[i++] == 0 ? ones + 1 : 0;
        if (ones < 9 || i + 9 * packet_size > stream.size()) break;
        std::vector<uint8_t> packet;
        bool good = true;
        for (size_t n = 0; n < packet_size; ++n, i += 9) {
            if (stream[i] == 0) good = false;
            uint8_t byte = 0;
            for (int k = 1; k <= 8; ++k) {
                if (stream[i + k] == 0) byte |= static_cast<uint8_t>(1u << (8 - k));
            }
            packet.push_back(byte);
        }
        if (good) {
            packets.push_back(packet);
        } else if (malformed != nullptr) {
            ++*malformed;
        }
    }
    return packets;
}

}  // namespace korvit::ecusim::test
