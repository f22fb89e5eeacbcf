#pragma once

#include <cstdint>
#include <vector>

#include "definition/adx_commands.h"

namespace korvit::ecusim {

/// What the simulated unit sends: reply packets whose data bytes drift smoothly like engine
/// values, and the 160-baud bit stream as the interface delivers it.
class EcuSignals {
  public:
    /// A reply of replysize bytes to `command` at `seconds` since the start. The bytes before
    /// packetoffset repeat the command's header; the data bytes follow slow sine waves, each
    /// with its own period and phase; when the command carries a checksum (its bytes sum to 0
    /// modulo 256) the last byte makes the reply sum to 0 as well.
    static std::vector<uint8_t> Reply(const definition::ADXCSendCommand& command, double seconds);

    /// A reply to `command` around the given data bytes: the header, the data (cut or padded
    /// with zeros to DataSize) and the checksum byte when the command carries one.
    static std::vector<uint8_t> Frame(const definition::ADXCSendCommand& command,
                                      std::vector<uint8_t> data);
    /// How many data bytes a reply to `command` carries between its header and its checksum.
    static size_t DataSize(const definition::ADXCSendCommand& command);

    /// n data bytes at `seconds` (the same waves as a reply's data).
    static std::vector<uint8_t> DataBytes(size_t count, double seconds);

    /// True when the bytes sum to 0 modulo 256.
    static bool SumsToZero(const std::vector<uint8_t>& bytes);

    /// One byte per bit of a 160-baud packet: a 0 element, nine 1 elements (synchronisation),
    /// then per data byte a 0 start element and its eight bits, most significant first.
    /// A 1 bit is the byte 0x00, a 0 bit the byte kZeroBit.
    static std::vector<uint8_t> Encode160Baud(const std::vector<uint8_t>& data);

    static constexpr uint8_t kZeroBit = 0xF8;
    static constexpr uint8_t kOneBit = 0x00;
};

}  // namespace korvit::ecusim
