#pragma once

// Generated datalogs of the demo definition for the playback benchmarks.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "datalog/data_log.h"
#include "datalog/xdl_format.h"
#include "definition/definition.h"

namespace korvit::bench {

/// Writes a log of `count` records of the definition's send commands in turn, `gap(i)` ms
/// apart, to `path`. The table comes from a real (empty) recording; the records are laid out
/// after it, their bytes a simple function of the record number.
inline void GenerateLog(const definition::ADXDefinition& def, const std::string& path,
                        uint32_t count, const std::function<uint32_t(uint32_t)>& gap) {
    datalog::DataLog log;
    log.Record(path, def);
    log.Close();
    datalog::DataLog reader;
    reader.Open(path);
    const auto commands = reader.commands();
    datalog::DataLogHeader header = reader.header();
    reader.Close();

    std::vector<uint32_t> sends;
    for (uint32_t i = 0; i < commands.size(); ++i) {
        if (commands[i].type == definition::ADXTYPE_SENDCOMMAND) sends.push_back(i);
    }
    std::FILE* out = std::fopen(path.c_str(), "r+b");
    if (out == nullptr || sends.empty()) {
        if (out != nullptr) std::fclose(out);
        return;
    }
    std::fseek(out, header.firstrecord, SEEK_SET);
    uint32_t offset = header.firstrecord;
    uint32_t time = 0;
    std::vector<uint8_t> record;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t index = sends[i % sends.size()];
        const auto& command = commands[index];
        time += i == 0 ? 0 : gap(i);
        datalog::RecordHead head{offset + 12 + command.storedsize, time,
                                 static_cast<uint8_t>(index)};
        const auto bytes = head.Serialize();
        record.assign(bytes.begin(), bytes.end());
        for (uint32_t k = 0; k < command.storedsize; ++k) {
            record.push_back(static_cast<uint8_t>(i * 3 + k * 7 + (i >> 4)));
        }
        std::fwrite(record.data(), 1, record.size(), out);
        offset = head.next;
    }
    header.recordcount = count;
    header.endmark = offset + 1;
    const auto bytes = header.Serialize();
    std::fseek(out, 0, SEEK_SET);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
}

}  // namespace korvit::bench
