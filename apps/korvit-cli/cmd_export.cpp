#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/log_csv.h"
#include "cli_playback.h"
#include "command_registry.h"
#include "definition/adx_definition.h"
#include "definition_json.h"
#include "platform/file_io.h"
#include "platform/file_move.h"
#include "platform/move_failure.h"

namespace korvit::cli {
namespace {

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
    const app::LogCsv columns(def);
    const std::string part = csv + ".part" + std::to_string(::getpid());
    const int fd = platform::OpenFile(part, O_WRONLY | O_CREAT | O_EXCL, 0666);
    std::FILE* out = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (out == nullptr) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        return Fail("Cannot write " + csv + ": " + std::strerror(error));
    }
    std::fprintf(out, "%s\n", columns.Header().c_str());

    evaluation::PacketSnapshot snapshot;
    std::string row;
    uint32_t rows = 0;
    const int code = PlayDatalog(
        def, log_path, 0.0f,
        [&](const PlayedReply& reply) {
            reply.state->last_packet.LoadInto(snapshot);
            row = columns.Row(reply.time_ms, snapshot);
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
                columns.valueCount(), columns.bitmaskCount());
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
