#include "subcommand_list.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace korvit::cli {
namespace {

std::vector<const CLI::App*> Subcommands(const CLI::App& app) {
    auto list = app.get_subcommands([](const CLI::App*) { return true; });
    std::sort(list.begin(), list.end(),
              [](const CLI::App* a, const CLI::App* b) { return a->get_name() < b->get_name(); });
    return list;
}

const CLI::App* Find(const CLI::App& app, const std::string& name) {
    for (const CLI::App* sub : Subcommands(app)) {
        if (sub->get_name() == name) return sub;
    }
    return nullptr;
}

void PrintList(const CLI::App& app, std::FILE* out) {
    const auto list = Subcommands(app);
    size_t width = 4;
    for (const CLI::App* sub : list) width = std::max(width, sub->get_name().size());
    std::fprintf(out, "Usage: korvit-cli SUBCOMMAND ARGUMENTS...\n\nSubcommands:\n");
    for (const CLI::App* sub : list) {
        std::fprintf(out, "  %-*s  %s\n", static_cast<int>(width), sub->get_name().c_str(),
                     sub->get_description().c_str());
    }
    std::fprintf(out, "  %-*s  %s\n", static_cast<int>(width), "help",
                 "List the subcommands, or show one's arguments: help SUBCOMMAND");
}

}  // namespace

std::optional<int> AnswerWithoutSubcommand(CLI::App& app, int argc, const char* const* argv) {
    if (argc < 2) {
        std::fprintf(stderr, "korvit-cli: a subcommand is required\n\n");
        PrintList(app, stderr);
        return 1;
    }
    const std::string first = argv[1];
    if (first == "help") {
        if (argc < 3) {
            PrintList(app, stdout);
            return 0;
        }
        if (const CLI::App* sub = Find(app, argv[2])) {
            std::fputs(sub->help().c_str(), stdout);
            return 0;
        }
        std::fprintf(stderr, "korvit-cli: unknown subcommand '%s'\n\n", argv[2]);
        PrintList(app, stderr);
        return 1;
    }
    if (first.empty() || first[0] == '-' || Find(app, first) != nullptr) return std::nullopt;
    std::fprintf(stderr, "korvit-cli: unknown subcommand '%s'\n\n", first.c_str());
    PrintList(app, stderr);
    return 1;
}

}  // namespace korvit::cli
