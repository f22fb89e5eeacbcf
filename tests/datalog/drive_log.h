#pragma once

// Generated drives for the review tests: the demo definition's mode-1 replies with changing
// bytes, so that histogram cells, bitmask states and chart lines all vary.

#include <cstdio>
#include <string>

#include "datalog/data_log.h"
#include "definition/definition.h"

namespace korvit::datalog::testing {

inline const std::string kDemoDefinition = KORVIT_SOURCE_DIR "/samples/demo.adx";

/// The byte k of record i: a mix that depends only on (i, k), so that a shorter drive is the
/// start of a longer one.
inline uint8_t DriveByte(uint32_t i, uint32_t k) {
    uint32_t h = i * 2654435761u ^ (k + 1) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return static_cast<uint8_t>(h);
}

/// Writes `count` records of every processed send command of `def` in turn, about 100 ms
/// apart (a few ms of jitter); the table comes from a real recording.
inline bool WriteDriveLog(const definition::ADXDefinition& def, const std::string& path,
                          uint32_t count) {
    {
        DataLog log;
        if (log.Record(path, def) != kDataLogOk) return false;
        log.Close();
    }
    DataLog reader;
    if (reader.Open(path) != kDataLogOk) return false;
    const std::vector<DataLogCommand> commands = reader.commands();
    DataLogHeader header = reader.header();
    reader.Close();
    std::vector<uint32_t> sends;
    for (uint32_t i = 0; i < commands.size(); ++i) {
        if (commands[i].type == definition::ADXTYPE_SENDCOMMAND) sends.push_back(i);
    }
    if (sends.empty()) return false;
    std::FILE* out = std::fopen(path.c_str(), "r+b");
    if (out == nullptr) return false;
    std::fseek(out, static_cast<long>(header.firstrecord), SEEK_SET);
    uint32_t offset = header.firstrecord;
    uint32_t time = 0;
    std::vector<uint8_t> record;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t index = sends[i % sends.size()];
        const DataLogCommand& command = commands[index];
        time += i == 0 ? 0 : 97 + DriveByte(i, 999) % 7;
        const RecordHead head{offset + 12 + command.storedsize, time, static_cast<uint8_t>(index)};
        const auto bytes = head.Serialize();
        record.assign(bytes.begin(), bytes.end());
        for (uint32_t k = 0; k < command.storedsize; ++k) record.push_back(DriveByte(i, k));
        std::fwrite(record.data(), 1, record.size(), out);
        offset = head.next;
    }
    header.recordcount = count;
    header.endmark = offset + 1;
    const auto bytes = header.Serialize();
    std::fseek(out, 0, SEEK_SET);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    return std::fclose(out) == 0;
}

}  // namespace korvit::datalog::testing
