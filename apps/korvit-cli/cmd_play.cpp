#include <cstdio>
#include <memory>
#include <string>

#include "cli_playback.h"
#include "command_registry.h"
#include "decode_json.h"
#include "definition/adx_definition.h"
#include "definition_json.h"

namespace korvit::cli {
namespace {

int RunPlay(const std::string& def_path, const std::string& log_path, float speed, bool json) {
    definition::ADXDefinition def;
    std::string error;
    if (def.Load(def_path, error) == 0) return Fail(LoadFailureMessage(def_path, error, def));
    WarnAboutLoad(def);
    evaluation::PacketSnapshot snapshot;
    return PlayDatalog(
        def, log_path, speed,
        [&](const PlayedReply& reply) {
            if (!json) return;
            reply.state->last_packet.LoadInto(snapshot);
            nlohmann::ordered_json line = DecodedItemsToJson(def, snapshot);
            const auto* command = def.FindByHash(reply.command_hash);
            line["sample"] = reply.sample;
            line["time_ms"] = reply.time_ms;
            line["command"] =
                command != nullptr ? nlohmann::json(std::string(command->id())) : nullptr;
            const std::string text = line.dump();
            std::fprintf(stdout, "%s\n", text.c_str());
        },
        def_path);
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand("play", "Play a datalog through the reply path");
    struct Options {
        std::string def;
        std::string log;
        float speed = 1.0f;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    cmd->add_option("DEF", options->def, "Definition file (.adx)")->required();
    cmd->add_option("LOG", options->log, "Datalog (.xdl)")->required();
    cmd->add_option("--speed", options->speed, "Speed factor, 0 plays unpaced (default 1)")
        ->check(CLI::Range(0.0f, 1000.0f));
    cmd->add_flag("--json", options->json, "Print each played record's items as one JSON line");
    cmd->callback([options, &exit_code] {
        exit_code = RunPlay(options->def, options->log, options->speed, options->json);
    });
});

}  // namespace
}  // namespace korvit::cli
