#include <cstdio>
#include <memory>
#include <string>

#include "command_registry.h"
#include "definition/adx_definition.h"
#include "definition_json.h"
#include "json_text.h"

namespace korvit::cli {
namespace {

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand("dump", "Load a definition and print it as one JSON object");
    auto path = std::make_shared<std::string>();
    cmd->add_option("DEF", *path, "Definition file (.adx)")->required();
    cmd->callback([path, &exit_code] {
        definition::ADXDefinition def;
        std::string error;
        if (def.Load(*path, error) == 0) {
            exit_code = Fail(LoadFailureMessage(*path, error, def));
            return;
        }
        WarnAboutLoad(def);
        const std::string text = DumpJson(DefinitionToJson(def), 2);
        std::printf("%s\n", text.c_str());
        exit_code = 0;
    });
});

}  // namespace
}  // namespace korvit::cli
