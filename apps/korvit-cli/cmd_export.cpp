#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli_playback.h"
#include "command_registry.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"
#include "definition_json.h"
#include "evaluation/item_readout.h"

namespace korvit::cli {
namespace {

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

int RunExport(const std::string& def_path, const std::string& log_path, const std::string& csv) {
    definition::ADXDefinition def;
    std::string error;
    if (def.Load(def_path, error) == 0) return Fail(LoadFailureMessage(def_path, error, def));
    WarnAboutLoad(def);
    std::vector<definition::ADXValue*> values;
    std::vector<definition::ADXBitmask*> bitmasks;
    for (const auto& object : def.objects()) {
        if (auto* value = definition::As<definition::ADXValue>(object.get()))
            values.push_back(value);
        if (auto* mask = definition::As<definition::ADXBitmask>(object.get())) {
            bitmasks.push_back(mask);
        }
    }
    std::FILE* out = std::fopen(csv.c_str(), "w");
    if (out == nullptr) return Fail("Cannot write " + csv + ": " + std::strerror(errno));
    std::string header = "time";
    for (const auto* v : values) header += "," + CsvField(Latin1ToUtf8(v->id()));
    for (const auto* b : bitmasks) header += "," + CsvField(Latin1ToUtf8(b->id()));
    std::fprintf(out, "%s\n", header.c_str());

    evaluation::PacketSnapshot snapshot;
    std::string row;
    const int code = PlayDatalog(def, log_path, 0.0f, [&](const PlayedReply& reply) {
        reply.state->last_packet.LoadInto(snapshot);
        char number[64];
        std::snprintf(number, sizeof number, "%.3f", reply.time_ms / 1000.0);
        row = number;
        for (auto* v : values) {
            std::snprintf(number, sizeof number, ",%.10g",
                          evaluation::ReadValue(*v, def, snapshot).value);
            row += number;
        }
        for (auto* b : bitmasks)
            row += evaluation::ReadBitmask(*b, def, snapshot).state ? ",1" : ",0";
        std::fprintf(out, "%s\n", row.c_str());
    });
    if (std::fclose(out) != 0) return Fail("Cannot write " + csv + ": " + std::strerror(errno));
    return code;
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand(
        "export", "Write a datalog as CSV: time in seconds, then every value and bitmask");
    struct Options {
        std::string def;
        std::string log;
        std::string csv;
    };
    auto options = std::make_shared<Options>();
    cmd->add_option("DEF", options->def, "Definition file (.adx)")->required();
    cmd->add_option("LOG", options->log, "Datalog (.xdl)")->required();
    cmd->add_option("--csv", options->csv, "CSV file to write")->required();
    cmd->callback(
        [options, &exit_code] { exit_code = RunExport(options->def, options->log, options->csv); });
});

}  // namespace
}  // namespace korvit::cli
