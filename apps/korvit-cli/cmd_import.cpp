#include <memory>
#include <string>

#include "command_registry.h"
#include "definition/adx_definition.h"
#include "definition/legacy/ads_import.h"

namespace korvit::cli {
namespace {

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd = root.add_subcommand("import", "Import a legacy ADS definition and save it as ADX");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    cmd->add_option("IN", *in, "ADS file to import")->required();
    cmd->add_option("OUT", *out, "ADX file to write")->required();
    cmd->callback([in, out, &exit_code] {
        definition::ADXDefinition definition;
        std::string error;
        if (definition::legacy::ImportADS(*in, definition, error) == 0) {
            exit_code = Fail(*in + ": " + error);
            return;
        }
        if (definition.Save(*out) == 0) {
            exit_code = Fail(*out + ": cannot write the definition");
            return;
        }
        exit_code = 0;
    });
});

}  // namespace
}  // namespace korvit::cli
