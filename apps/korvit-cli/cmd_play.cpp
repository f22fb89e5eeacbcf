#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "cli_playback.h"
#include "command_registry.h"
#include "decode_json.h"
#include "definition/adx_definition.h"
#include "definition_json.h"
#include "json_text.h"
#include "option_checks.h"
#include "watch_table.h"

namespace korvit::cli {
namespace {

int RunPlay(const std::string& def_path, const std::string& log_path, float speed, bool json,
            bool watch) {
    definition::ADXDefinition def;
    std::string error;
    if (def.Load(def_path, error) == 0) return Fail(LoadFailureMessage(def_path, error, def));
    WarnAboutLoad(def);
    evaluation::PacketSnapshot snapshot;
    // The live table's status line: where the playback stands.
    std::atomic<uint32_t> sample{0};
    std::atomic<uint32_t> time_ms{0};
    std::unique_ptr<WatchView> watch_view;
    if (watch) {
        watch_view = std::make_unique<WatchView>(
            def, stdout,
            [&] {
                char detail[64];
                std::snprintf(detail, sizeof detail, "sample %u at %.3f s", sample.load(),
                              time_ms.load() / 1000.0);
                return WatchStatus{"Log Playing", WatchStatus::Tone::kGood, detail};
            },
            "Hz");
    }
    return PlayDatalog(
        def, log_path, speed,
        [&](const PlayedReply& reply) {
            if (watch_view) {
                sample = reply.sample;
                time_ms = reply.time_ms;
                reply.state->last_packet.LoadInto(snapshot);
                watch_view->Update(snapshot);
            }
            if (!json) return;
            reply.state->last_packet.LoadInto(snapshot);
            nlohmann::ordered_json line = DecodedItemsToJson(def, snapshot);
            const auto* command = def.FindByHash(reply.command_hash);
            line["sample"] = reply.sample;
            line["time_ms"] = reply.time_ms;
            line["command"] =
                command != nullptr ? nlohmann::json(Latin1ToUtf8(command->id())) : nullptr;
            const std::string text = DumpJson(line);
            std::fprintf(stdout, "%s\n", text.c_str());
        },
        false, def_path);
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand("play", "Play a datalog through the reply path");
    struct Options {
        std::string def;
        std::string log;
        float speed = 1.0f;
        bool json = false;
        bool watch = false;
    };
    auto options = std::make_shared<Options>();
    cmd->add_option("DEF", options->def, "Definition file (.adx)")->required();
    cmd->add_option("LOG", options->log, "Datalog (.xdl)")->required();
    cmd->add_option("--speed", options->speed, "Speed factor, 0 plays unpaced (default 1)")
        ->check(SpeedCheck());
    auto* json =
        cmd->add_flag("--json", options->json, "Print each played record's items as one JSON line");
    cmd->add_flag("--watch", options->watch,
                  "Show the items as a live table in the terminal (plain lines when not a "
                  "terminal)")
        ->excludes(json);
    cmd->callback([options, &exit_code] {
        exit_code =
            RunPlay(options->def, options->log, options->speed, options->json, options->watch);
    });
});

}  // namespace
}  // namespace korvit::cli
