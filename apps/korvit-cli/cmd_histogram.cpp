#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/histogram_csv.h"
#include "command_registry.h"
#include "datalog/log_replay.h"
#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"
#include "definition_json.h"
#include "evaluation/histogram_filter.h"

namespace korvit::cli {
namespace {

struct Options {
    std::string def;
    std::string log;
    std::string name;
    std::string stat;
    std::string when;
};

std::string StatisticChoices() {
    std::string list;
    for (const uint32_t code : app::HistogramViewStatistics()) {
        if (!list.empty()) list += ", ";
        list.append("\"").append(definition::HistogramStatisticName(code)).append("\"");
    }
    return list;
}

definition::ADXHistogram* ChooseHistogram(const definition::ADXDefinition& def,
                                          const std::string& name, std::string& error) {
    if (!name.empty()) {
        auto* histogram = definition::As<definition::ADXHistogram>(def.FindByID(name));
        if (histogram == nullptr) error = "the definition has no histogram \"" + name + "\"";
        return histogram;
    }
    for (const auto& object : def.objects()) {
        if (auto* histogram = definition::As<definition::ADXHistogram>(object.get())) {
            return histogram;
        }
    }
    error = "the definition has no histogram";
    return nullptr;
}

int RunHistogram(const Options& options) {
    uint32_t statistic = app::HistogramViewStatistics().front();
    if (!options.stat.empty()) {
        const auto code = app::HistogramStatisticByName(options.stat);
        if (!code) {
            return Fail("unknown statistic \"" + options.stat + "\"; one of " + StatisticChoices());
        }
        statistic = *code;
    }
    std::optional<evaluation::HistogramFilter> when;
    std::string error;
    if (!options.when.empty()) {
        when = evaluation::HistogramFilter::Parse(options.when, &error);
        if (!when) return Fail("--when " + error);
    }
    definition::ADXDefinition def;
    if (def.Load(options.def, error) == 0) {
        return Fail(LoadFailureMessage(options.def, error, def));
    }
    WarnAboutLoad(def);
    definition::ADXHistogram* histogram = ChooseHistogram(def, options.name, error);
    if (histogram == nullptr) return Fail(error + " (" + options.def + ")");
    if (when) {
        auto resolved = evaluation::ResolvedHistogramFilter::Resolve(*when, def, &error);
        if (!resolved) return Fail("--when: " + error);
        histogram->SetFilter(
            std::make_shared<const evaluation::ResolvedHistogramFilter>(std::move(*resolved)));
    }

    datalog::LogReplay replay(def);
    const uint32_t open = replay.Open(options.log);
    if (open != datalog::kDataLogOk) return Fail(datalog::FormatOpenError(options.log, open));
    uint32_t decoded = 0;
    histogram->ClearHistogram();
    const uint32_t code = replay.RunTo(UINT32_MAX, [&](const datalog::ReplayedRecord& record) {
        if (record.command_hash != 0) ++decoded;
        datalog::FeedHistograms(def, record);
    });
    const std::string csv = app::HistogramCsv(*histogram, statistic);
    std::fwrite(csv.data(), 1, csv.size(), stdout);
    std::fflush(stdout);
    const uint32_t read = replay.position();
    std::fprintf(stderr, "%s: %u of %u records sampled, %s\n", std::string(histogram->id()).c_str(),
                 histogram->sample_count(), read, definition::HistogramStatisticName(statistic));
    if (code != datalog::kDataLogOk) {
        std::fprintf(stderr, "korvit-cli: %s ends early after record %u: %s (error 0x%X)\n",
                     options.log.c_str(), read,
                     std::string(datalog::DescribeDataLogCode(code)).c_str(), code);
        return 1;
    }
    if (read > 0 && decoded == 0) {
        std::fprintf(stderr,
                     "korvit-cli: 0 of %u records match a command of %s (wrong definition?)\n",
                     read, options.def.c_str());
        return 3;
    }
    return 0;
}

const bool registered = RegisterCommand([](CLI::App& root, int& exit_code) {
    auto* cmd =
        root.add_subcommand("histogram", "Fill a histogram from a datalog and print it as CSV");
    cmd->footer(
        "The first row holds the column labels, the first column the row labels; cells without "
        "a sample are empty. Summary on standard error.");
    auto options = std::make_shared<Options>();
    cmd->add_option("DEF", options->def, "Definition file (.adx)")->required();
    cmd->add_option("LOG", options->log, "Datalog (.xdl)")->required();
    cmd->add_option("--name", options->name, "Id of the histogram (default: the first one)");
    cmd->add_option("--stat", options->stat,
                    "Statistic of each cell, by name or number (default \"Most Recent Sample\"): " +
                        StatisticChoices());
    cmd->add_option("--when", options->when,
                    "Only records that meet it: ID=true or ID=false for a bitmask, ID=LOW..HIGH "
                    "for a value within an inclusive range");
    cmd->callback([options, &exit_code] { exit_code = RunHistogram(*options); });
});

}  // namespace
}  // namespace korvit::cli
