#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "command_registry.h"
#include "subcommand_list.h"

namespace korvit::cli {
namespace {

std::vector<CommandSetup>& Registry() {
    static std::vector<CommandSetup> commands;
    return commands;
}

}  // namespace

bool RegisterCommand(CommandSetup setup) {
    Registry().push_back(std::move(setup));
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "korvit-cli: %s\n", message.c_str());
    return 1;
}

}  // namespace korvit::cli

int main(int argc, char** argv) {
#ifdef _WIN32
    // Output is the same bytes as on every other system: "\n" line ends, UTF-8.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
#endif
    CLI::App app{"korvit-cli: load, inspect, scan, record and play ALDL datastreams headless"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("korvit-cli ") + KORVIT_VERSION);
    int exit_code = 0;
    for (auto& setup : korvit::cli::Registry()) setup(app, exit_code);
    if (auto answered = korvit::cli::AnswerWithoutSubcommand(app, argc, argv)) return *answered;
    CLI11_PARSE(app, argc, argv);
    return exit_code;
}
