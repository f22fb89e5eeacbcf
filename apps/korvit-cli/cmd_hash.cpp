#include <cstdio>
#include <string>
#include <vector>

#include "command_registry.h"
#include "definition/id_hash.h"

namespace korvit::cli {
namespace {

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd =
        root.add_subcommand("hash", "Print the id hash of each text, taken as an object id");
    auto texts = std::make_shared<std::vector<std::string>>();
    cmd->add_option("TEXT", *texts, "Object ids")->required();
    cmd->callback([texts, &exit_code] {
        for (const auto& text : *texts) {
            std::printf("0x%08X\n", definition::IDHashOf(text));
        }
        exit_code = 0;
    });
});

}  // namespace
}  // namespace korvit::cli
