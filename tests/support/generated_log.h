#pragma once

// Generated datalogs for tests and benchmarks: a definition's table from a real (empty)
// recording, then records laid out after it whose bytes and gaps the caller chooses.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "datalog/data_log.h"
#include "datalog/xdl_format.h"
#include "definition/definition.h"

namespace korvit::testing {

/// The gap in ms before record i (i > 0).
using RecordGap = std::function<uint32_t(uint32_t i)>;
/// Byte k of record i's stored data.
using RecordByte = std::function<uint8_t(uint32_t i, uint32_t k)>;

/// Writes `count` records of the definition's send commands in turn to `path`, the first at
/// 0 ms and record i `gap(i)` ms after the one before. False when the file cannot be written or
/// the definition has no send command.
inline bool WriteGeneratedLog(const definition::ADXDefinition& def, const std::string& path,
                              uint32_t count, const RecordGap& gap, const RecordByte& byte) {
    {
        datalog::DataLog log;
        if (log.Record(path, def) != datalog::kDataLogOk) return false;
        log.Close();
    }
    datalog::DataLog reader;
    if (reader.Open(path) != datalog::kDataLogOk) return false;
    const std::vector<datalog::DataLogCommand> commands = reader.commands();
    datalog::DataLogHeader header = reader.header();
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
        const datalog::DataLogCommand& command = commands[index];
        time += i == 0 ? 0 : gap(i);
        const datalog::RecordHead head{offset + 12 + command.storedsize, time,
                                       static_cast<uint8_t>(index)};
        const auto bytes = head.Serialize();
        record.assign(bytes.begin(), bytes.end());
        for (uint32_t k = 0; k < command.storedsize; ++k) record.push_back(byte(i, k));
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

/// Slowly changing engine data: every byte of a record follows a ramp of its own.
inline uint8_t RampByte(uint32_t i, uint32_t k) {
    return static_cast<uint8_t>((i >> (k % 5)) + k * 29);
}

}  // namespace korvit::testing
