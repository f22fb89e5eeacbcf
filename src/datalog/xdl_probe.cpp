#include "datalog/xdl_probe.h"

#include <fstream>

namespace korvit::datalog {

XdlProbe ProbeXdl(const std::string& path) {
    XdlProbe probe;
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in) {
        probe.code = kDataLogCannotOpen;
        return probe;
    }
    auto read = [&in](uint8_t* bytes, size_t count) {
        return static_cast<bool>(
            in.read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(count)));
    };
    uint8_t header[kXdlHeaderSize];
    if (!read(header, kXdlHeaderSize)) {
        probe.code = kDataLogIOError;
        return probe;
    }
    probe.header = DataLogHeader::Parse(header);
    if (probe.header.version != kXdlVersion) {
        probe.code = kDataLogBadVersion;
        return probe;
    }
    uint8_t count[4];
    if (!read(count, 4)) {
        probe.code = kDataLogIOError;
        return probe;
    }
    probe.commands = GetU32(count);
    for (uint32_t i = 0; i < probe.commands; ++i) {
        uint8_t entry[kXdlEntrySize];
        uint8_t mask[255];
        if (!read(entry, kXdlEntrySize)) {
            probe.code = kDataLogIOError;
            return probe;
        }
        const DataLogCommand command = DataLogCommand::ParseEntry(entry);
        if (!read(mask, command.masklength)) {
            probe.code = kDataLogIOError;
            return probe;
        }
        if (command.storedsize > kMaxRecordDataSize || command.replysize > kMaxRecordDataSize) {
            probe.code = kDataLogDamaged;
            return probe;
        }
    }
    if (probe.header.firstrecord < static_cast<uint64_t>(in.tellg())) probe.code = kDataLogDamaged;
    return probe;
}

}  // namespace korvit::datalog
