#include "ecu_signals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvit::ecusim {

std::vector<uint8_t> EcuSignals::DataBytes(size_t count, double seconds) {
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i) {
        // Periods from 4 to 20 s so that values move visibly but never jump between replies.
        const double period = 4.0 + static_cast<double>((i * 7) % 17);
        const double phase = 0.9 * static_cast<double>(i);
        const double level =
            128.0 + 100.0 * std::sin(2.0 * std::numbers::pi * seconds / period + phase);
        out[i] = static_cast<uint8_t>(std::lround(level));
    }
    return out;
}

bool EcuSignals::SumsToZero(const std::vector<uint8_t>& bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
    return sum == 0;
}

namespace {

bool HasChecksum(const definition::ADXCSendCommand& command) {
    return command.replysize >= 2 && !command.bytes().empty() &&
           EcuSignals::SumsToZero(command.bytes());
}

size_t HeaderSize(const definition::ADXCSendCommand& command) {
    return std::min<size_t>(command.packetoffset, command.replysize);
}

}  // namespace

size_t EcuSignals::DataSize(const definition::ADXCSendCommand& command) {
    const size_t end = HasChecksum(command) ? command.replysize - 1 : command.replysize;
    return end > HeaderSize(command) ? end - HeaderSize(command) : 0;
}

std::vector<uint8_t> EcuSignals::Reply(const definition::ADXCSendCommand& command, double seconds) {
    return Frame(command, DataBytes(DataSize(command), seconds));
}

std::vector<uint8_t> EcuSignals::Frame(const definition::ADXCSendCommand& command,
                                       std::vector<uint8_t> data) {
    const size_t size = command.replysize;
    std::vector<uint8_t> reply(size);
    if (size == 0) return reply;
    const size_t header = HeaderSize(command);
    for (size_t i = 0; i < header; ++i) {
        reply[i] = i < command.bytes().size() ? command.bytes()[i] : 0;
    }
    data.resize(DataSize(command));
    std::copy(data.begin(), data.end(), reply.begin() + static_cast<ptrdiff_t>(header));
    if (HasChecksum(command)) {
        uint8_t sum = 0;
        for (size_t i = 0; i + 1 < size; ++i) sum = static_cast<uint8_t>(sum + reply[i]);
        reply[size - 1] = static_cast<uint8_t>(0x100 - sum);
    }
    return reply;
}

std::vector<uint8_t> EcuSignals::Encode160Baud(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    out.reserve(10 + 9 * data.size());
    // The leading 0 element bounds the run of 1 bits, so the previous packet's trailing 1 bits
    // never lengthen the synchronisation run.
    out.push_back(kZeroBit);
    out.insert(out.end(), 9, kOneBit);
    for (uint8_t byte : data) {
        out.push_back(kZeroBit);
        for (int bit = 7; bit >= 0; --bit) out.push_back((byte >> bit) & 1 ? kOneBit : kZeroBit);
    }
    return out;
}

}  // namespace korvit::ecusim
