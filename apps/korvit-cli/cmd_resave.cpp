#include <memory>
#include <string>

#include "command_registry.h"
#include "definition/adx_definition.h"
#include "definition_json.h"

namespace korvit::cli {
namespace {

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand("resave", "Load a definition and save it again");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("IN", *in, "Definition to read (.adx)")->required();
    cmd->add_option("OUT", *out, "Definition to write (.adx)")->required();
    cmd->callback([in, out, &exit_code] {
        definition::ADXDefinition def;
        std::string error;
        if (def.Load(*in, error) == 0) {
            exit_code = Fail(LoadFailureMessage(*in, error, def));
            return;
        }
        if (def.Save(*out) == 0) {
            exit_code = Fail(*out + ": cannot write the definition");
            return;
        }
        exit_code = 0;
    });
});

}  // namespace
}  // namespace korvit::cli
