#include <cstdio>
#include <memory>
#include <string>

#include "command_registry.h"
#include "datalog/data_log.h"
#include "datalog/xdl_check.h"
#include "xdl_json.h"

namespace korvit::cli {
namespace {

int RunXdl(const std::string& path) {
    datalog::DataLog log;
    const uint32_t code = log.Open(path);
    if (code != datalog::kDataLogOk) return Fail(datalog::FormatOpenError(path, code));

    if (const auto check = datalog::CheckXdlFile(path)) {
        const std::string warning = check->Warning(path);
        if (!warning.empty()) std::fprintf(stderr, "korvit-cli: warning: %s\n", warning.c_str());
    }
    const uint32_t result = PrintXdlJson(log, stdout);
    if (result != datalog::kDataLogEnd) {
        return Fail(path + ": reading stopped after record " + std::to_string(log.recordsread()) +
                    ": " + std::string(datalog::DescribeDataLogCode(result)));
    }
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd =
        root.add_subcommand("xdl", "Print a datalog's header, commands and records as JSON");
    auto path = std::make_shared<std::string>();
    cmd->add_option("LOG", *path, "Datalog (.xdl)")->required();
    cmd->callback([path, &exit_code] { exit_code = RunXdl(*path); });
});

}  // namespace
}  // namespace korvit::cli
