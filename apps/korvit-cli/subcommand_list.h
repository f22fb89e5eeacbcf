#pragma once

#include <optional>

#include <CLI/CLI.hpp>

namespace korvit::cli {

/// Answers what CLI11 would answer with a bare error: no subcommand, `help [SUBCOMMAND]`, and
/// an unknown subcommand each print the list of subcommands (or the one asked about). Returns
/// the exit code when the command line was answered here, nothing when CLI11 should parse it.
std::optional<int> AnswerWithoutSubcommand(CLI::App& app, int argc, const char* const* argv);

}  // namespace korvit::cli
