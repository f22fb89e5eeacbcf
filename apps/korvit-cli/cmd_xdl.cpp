#include <cstdio>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "command_registry.h"
#include "datalog/data_log.h"
#include "datalog/xdl_check.h"

namespace korvit::cli {
namespace {

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

nlohmann::ordered_json HeaderJson(const datalog::DataLogHeader& h) {
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

// Prints the JSON by hand around the record array so that a log of millions of records streams
// out without being held in memory.
int RunXdl(const std::string& path) {
    datalog::DataLog log;
    const uint32_t code = log.Open(path);
    if (code != datalog::kDataLogOk) return Fail(datalog::FormatOpenError(path, code));

    nlohmann::ordered_json commands = nlohmann::ordered_json::array();
    for (const auto& c : log.commands()) {
        commands.push_back({{"idhash", Hex32(c.idhash)},
                            {"id", std::string(c.IdText())},
                            {"type", Hex32(c.type)},
                            {"storedsize", c.storedsize},
                            {"replysize", c.replysize},
                            {"masklength", c.masklength},
                            {"mask", HexBytes(c.mask.bytes().data(), c.mask.bytes().size())}});
    }
    if (const auto check = datalog::CheckXdlFile(path)) {
        const std::string warning = check->Warning(path);
        if (!warning.empty()) std::fprintf(stderr, "korvit-cli: warning: %s\n", warning.c_str());
    }
    std::printf("{\"header\": %s,\n \"commands\": %s,\n \"records\": [",
                HeaderJson(log.header()).dump().c_str(), commands.dump().c_str());

    std::vector<uint8_t> buffer(std::max<uint32_t>(log.LargestStoredSize(), 1));
    uint32_t result = datalog::kDataLogOk;
    bool first = true;
    for (;;) {
        const uint64_t offset = log.file_position();
        const datalog::DataLogCommand* command = nullptr;
        result = log.ReadRecord(buffer.data(), buffer.size(), &command);
        if (result == datalog::kDataLogNoCommand) continue;
        if (result != datalog::kDataLogOk) break;
        nlohmann::ordered_json record = {{"sample", log.recordsread()},
                                         {"offset", offset},
                                         {"time_ms", log.currenttime()},
                                         {"command", command - log.commands().data()},
                                         {"id", std::string(command->IdText())},
                                         {"data", HexBytes(buffer.data(), command->storedsize)}};
        std::printf("%s\n  %s", first ? "" : ",", record.dump().c_str());
        first = false;
    }
    std::printf("]}\n");
    if (result != datalog::kDataLogEnd) {
        return Fail(path + ": reading stopped after record " + std::to_string(log.recordsread()) +
                    ": " + std::string(datalog::DescribeDataLogCode(result)));
    }
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd =
        root.add_subcommand("xdl", "Print a datalog's header, commands and records as JSON");
    auto path = std::make_shared<std::string>();
    cmd->add_option("LOG", *path, "Datalog (.xdl)")->required();
    cmd->callback([path, &exit_code] { exit_code = RunXdl(*path); });
});

}  // namespace
}  // namespace korvit::cli
