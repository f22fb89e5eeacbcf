#include "xdl_json.h"

#include <algorithm>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_text.h"

namespace korvit::cli {
namespace {

using json = nlohmann::ordered_json;

std::string Hex32(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

std::string HexBytes(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i != 0) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

json HeaderJson(const datalog::DataLogHeader& h) {
    char start[64];
    const auto& t = h.starttime;
    std::snprintf(start, sizeof start, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t[0], t[1], t[3], t[4],
                  t[5], t[6], t[7]);
    return {{"version", h.version},
            {"firstrecord", h.firstrecord},
            {"endmark", Hex32(h.endmark)},
            {"starttime", start},
            {"dayofweek", t[2]},
            {"recordcount", h.recordcount},
            {"finished", h.endmark != datalog::kXdlRecordingEndmark}};
}

}  // namespace

uint32_t PrintXdlJson(datalog::DataLog& log, std::FILE* out) {
    json commands = json::array();
    for (const auto& c : log.commands()) {
        commands.push_back({{"idhash", Hex32(c.idhash)},
                            {"id", Latin1ToUtf8(c.IdText())},
                            {"type", Hex32(c.type)},
                            {"storedsize", c.storedsize},
                            {"replysize", c.replysize},
                            {"masklength", c.masklength},
                            {"mask", HexBytes(c.mask.bytes().data(), c.mask.bytes().size())}});
    }
    std::fprintf(out, "{\"header\": %s,\n \"commands\": %s,\n \"records\": [",
                 DumpJson(HeaderJson(log.header())).c_str(), DumpJson(commands).c_str());

    std::vector<uint8_t> buffer(std::max<uint32_t>(log.LargestStoredSize(), 1));
    uint32_t result = datalog::kDataLogOk;
    bool first = true;
    for (;;) {
        const uint64_t offset = log.file_position();
        const datalog::DataLogCommand* command = nullptr;
        result = log.ReadRecord(buffer.data(), buffer.size(), &command);
        if (result == datalog::kDataLogNoCommand) continue;
        if (result != datalog::kDataLogOk) break;
        const json record = {{"sample", log.recordsread()},
                             {"offset", offset},
                             {"time_ms", log.currenttime()},
                             {"command", command - log.commands().data()},
                             {"id", Latin1ToUtf8(command->IdText())},
                             {"data", HexBytes(buffer.data(), command->storedsize)}};
        std::fprintf(out, "%s\n  %s", first ? "" : ",", DumpJson(record).c_str());
        first = false;
    }
    std::fprintf(out, "]}\n");
    return result;
}

}  // namespace korvit::cli
