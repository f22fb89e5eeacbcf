#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
#include "platform/file_io.h"
#include "platform/file_move.h"
#include "platform/move_failure.h"

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

// Writes into a new file beside the CSV and puts it in place only when the export succeeded, so
// a failed export never leaves a half-written CSV or damages the one that was there.
int RunExport(const std::string& def_path, const std::string& log_path, const std::string& csv,
              bool force) {
    std::error_code ec;
    if (!force && std::filesystem::exists(csv, ec)) {
        return Fail(csv + " already exists and was not replaced (--force replaces it)");
    }
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
    const std::string part = csv + ".part" + std::to_string(::getpid());
    const int fd = platform::OpenFile(part, O_WRONLY | O_CREAT | O_EXCL, 0666);
    std::FILE* out = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (out == nullptr) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        return Fail("Cannot write " + csv + ": " + std::strerror(error));
    }
    std::string header = "time";
    for (const auto* v : values) header += "," + CsvField(Latin1ToUtf8(v->id()));
    for (const auto* b : bitmasks) header += "," + CsvField(Latin1ToUtf8(b->id()));
    std::fprintf(out, "%s\n", header.c_str());

    evaluation::PacketSnapshot snapshot;
    std::string row;
    uint32_t rows = 0;
    const int code = PlayDatalog(
        def, log_path, 0.0f,
        [&](const PlayedReply& reply) {
            reply.state->last_packet.LoadInto(snapshot);
            char number[64];
            std::snprintf(number, sizeof number, "%.3f", reply.time_ms / 1000.0);
            row = number;
            for (auto* v : values) {
                // A value with no number (its command has not answered yet, or its equation
                // divides by zero) is an empty cell, which spreadsheets read as missing.
                const double value = evaluation::ReadValue(*v, def, snapshot).value;
                if (!std::isfinite(value)) {
                    row += ',';
                    continue;
                }
                std::snprintf(number, sizeof number, ",%.10g", value);
                row += number;
            }
            for (auto* b : bitmasks)
                row += evaluation::ReadBitmask(*b, def, snapshot).state ? ",1" : ",0";
            std::fprintf(out, "%s\n", row.c_str());
            ++rows;
        },
        /*quiet=*/true);
    const bool written = std::ferror(out) == 0;
    const int write_error = errno;
    if (std::fclose(out) != 0 || !written) {
        std::remove(part.c_str());
        return Fail("Cannot write " + csv + ": " + std::strerror(write_error));
    }
    if (code != 0) {
        std::remove(part.c_str());
        return Fail(csv + " was not written");
    }
    const int move_error =
        force ? platform::MoveFileReplacing(part, csv) : platform::MoveFileNoReplace(part, csv);
    if (move_error != 0) {
        std::remove(part.c_str());
        return Fail("Cannot write " + csv + ": " +
                    platform::MoveFailureReason(move_error, part, csv));
    }
    std::printf("Exported %u records to %s: time, %zu values, %zu bitmasks\n", rows, csv.c_str(),
                values.size(), bitmasks.size());
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand(
        "export", "Write a datalog as CSV: time in seconds, then every value and bitmask");
    struct Options {
        std::string def;
        std::string log;
        std::string csv;
        bool force = false;
    };
    auto options = std::make_shared<Options>();
    cmd->add_option("DEF", options->def, "Definition file (.adx)")->required();
    cmd->add_option("LOG", options->log, "Datalog (.xdl)")->required();
    cmd->add_option("--csv", options->csv, "CSV file to write (never replaced without --force)")
        ->required();
    cmd->add_flag("--force", options->force, "Replace an existing CSV file");
    cmd->callback([options, &exit_code] {
        exit_code = RunExport(options->def, options->log, options->csv, options->force);
    });
});

}  // namespace
}  // namespace korvit::cli
