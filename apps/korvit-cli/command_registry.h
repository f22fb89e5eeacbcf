#pragma once

#include <functional>
#include <string>

#include <CLI/CLI.hpp>

namespace korvit::cli {

/// Adds one subcommand to the root app; its callback stores the process exit code.
using CommandSetup = std::function<void(CLI::App& root, int& exit_code)>;

/// Called from a static initialiser in each command's source file.
bool RegisterCommand(CommandSetup setup);

/// Prints one clear line to stderr and returns the failure exit code.
int Fail(const std::string& message);

}  // namespace korvit::cli
