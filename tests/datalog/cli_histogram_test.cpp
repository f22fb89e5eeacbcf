// korvit-cli histogram against the core's histograms, decode of a logged record, and the order
// of playback's first lines.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/histogram_csv.h"
#include "datalog/log_replay.h"
#include "drive_log.h"
#include "evaluation/histogram_filter.h"
#include "evaluation/item_readout.h"
#include "xdl_test_support.h"

using namespace korvit;
using namespace korvit::datalog;
using namespace korvit::datalog::testing;

namespace {

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

CliRun RunCli(const TempDir& dir, const std::string& args) {
    const std::string out = dir.File("stdout"), err = dir.File("stderr");
    const std::string command =
        std::string(KORVIT_CLI_PATH) + " " + args + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    const auto slurp = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

/// Plain CSV as the histogram export writes it: no quoted fields in a grid of numbers.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (;;) {
            const size_t comma = line.find(',', start);
            fields.push_back(line.substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        rows.push_back(std::move(fields));
    }
    return rows;
}

class CliHistogram : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_EQ(def_.Load(kDemoDefinition, error), 1) << error;
        log_ = dir_.File("drive.xdl");
        ASSERT_TRUE(WriteDriveLog(def_, log_, kRecords));
    }

    /// The core's grid for the histogram with the filter over the whole log.
    definition::ADXHistogram& CoreHistogram(const std::string& id, const std::string& when) {
        auto* histogram = definition::As<definition::ADXHistogram>(def_.FindByID(id));
        EXPECT_NE(histogram, nullptr);
        if (!when.empty()) {
            auto resolved = evaluation::ResolvedHistogramFilter::Resolve(
                *evaluation::HistogramFilter::Parse(when), def_);
            EXPECT_TRUE(resolved);
            histogram->SetFilter(
                std::make_shared<const evaluation::ResolvedHistogramFilter>(*resolved));
        }
        LogReplay replay(def_);
        EXPECT_EQ(replay.Open(log_), kDataLogOk);
        EXPECT_EQ(RebuildHistograms(replay, kRecords), kDataLogOk);
        return *histogram;
    }

    static constexpr uint32_t kRecords = 600;
    TempDir dir_;
    definition::ADXDefinition def_;
    std::string log_;
};

TEST_F(CliHistogram, PrintsTheCoreGridAndReadsBackEqual) {
    const CliRun run = RunCli(dir_, "histogram " + kDemoDefinition + " " + log_ +
                                        " --name sparktable --stat running-average"
                                        " --when closedloop=true");
    ASSERT_EQ(run.code, 0) << run.err;
    definition::ADXHistogram& h = CoreHistogram("sparktable", "closedloop=true");
    EXPECT_EQ(run.out, app::HistogramCsv(h, definition::kRunningAverage));
    EXPECT_NE(run.err.find(std::to_string(h.sample_count()) + " of 600 records"), std::string::npos)
        << run.err;

    const auto rows = ReadCsv(run.out);
    ASSERT_EQ(rows.size(), h.rows() + 1);
    ASSERT_EQ(rows[0].size(), h.cols() + 1);
    EXPECT_EQ(rows[0][0], "");
    size_t empty = 0, filled = 0;
    for (uint32_t j = 0; j < h.cols(); ++j) {
        EXPECT_FLOAT_EQ(std::stof(rows[0][j + 1]), h.AxisBreakPoint(true, j));
    }
    for (uint32_t i = 0; i < h.rows(); ++i) {
        ASSERT_EQ(rows[i + 1].size(), h.cols() + 1);
        EXPECT_FLOAT_EQ(std::stof(rows[i + 1][0]), h.AxisBreakPoint(false, i));
        for (uint32_t j = 0; j < h.cols(); ++j) {
            const std::string& cell = rows[i + 1][j + 1];
            if (h.GetStatistic(definition::kRunningSampleCount, i, j, nullptr, 0) == 0.0f) {
                EXPECT_EQ(cell, "") << i << "," << j;
                ++empty;
            } else {
                EXPECT_NEAR(std::stod(cell),
                            h.GetStatistic(definition::kRunningAverage, i, j, nullptr, 0),
                            0.0005001)
                    << i << "," << j;
                ++filled;
            }
        }
    }
    EXPECT_GT(empty, 0u);
    EXPECT_GT(filled, 0u);
}

TEST_F(CliHistogram, DefaultsToTheFirstHistogramAndThePagesFirstStatistic) {
    const CliRun run = RunCli(dir_, "histogram " + kDemoDefinition + " " + log_);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out,
              app::HistogramCsv(CoreHistogram("vetable", ""), definition::kMostRecentSample));
    EXPECT_NE(run.err.find("vetable: 600 of 600 records sampled"), std::string::npos) << run.err;

    const CliRun range = RunCli(dir_, "histogram " + kDemoDefinition + " " + log_ +
                                          " --stat 'History Sample Count' --when rpm=1000..2000.5");
    ASSERT_EQ(range.code, 0) << range.err;
    EXPECT_EQ(range.out, app::HistogramCsv(CoreHistogram("vetable", "rpm=1000..2000.5"),
                                           definition::kHistorySampleCount));
}

TEST_F(CliHistogram, BadArgumentsFailWithAClearMessageAndNoGrid) {
    struct Case {
        std::string args;
        std::string message;
    };
    const std::string files = kDemoDefinition + " " + log_;
    for (const Case& c : {
             Case{"--stat median", "unknown statistic \"median\"; one of \"Most Recent Sample\""},
             Case{"--when closedloop=maybe", "neither true, false nor a range"},
             Case{"--when rpm=3..1", "ends below its start"},
             Case{"--when rpm=true", "\"rpm\" is not a bitmask"},
             Case{"--when closedloop=1..2", "\"closedloop\" is not a value"},
             Case{"--when nothing=true", "no item \"nothing\""},
             Case{"--name rpm", "no histogram \"rpm\""},
         }) {
        SCOPED_TRACE(c.args);
        const CliRun run = RunCli(dir_, "histogram " + files + " " + c.args);
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    const CliRun missing =
        RunCli(dir_, "histogram " + kDemoDefinition + " " + dir_.File("none.xdl"));
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("Could not open"), std::string::npos) << missing.err;
}

TEST_F(CliHistogram, DecodingTheRecordAtAPositionGivesTheValuesThere) {
    LogReplay replay(def_);
    ASSERT_EQ(replay.Open(log_), kDataLogOk);
    ReplayedRecord at;
    std::string hex;
    ASSERT_EQ(replay.RunTo(345,
                           [&](const ReplayedRecord& r) {
                               at = r;
                               hex.clear();
                               char byte[3];
                               for (uint32_t k = 0; k < r.reply_size; ++k) {
                                   std::snprintf(byte, sizeof byte, "%02X", r.reply[k]);
                                   hex += byte;
                               }
                           }),
              kDataLogOk);
    ASSERT_EQ(at.sample, 345u);
    const CliRun run = RunCli(dir_, "decode " + kDemoDefinition + " --reply mode1=" + hex);
    ASSERT_EQ(run.code, 0) << run.err;
    const auto decoded = nlohmann::json::parse(run.out);
    size_t compared = 0;
    for (const auto& item : decoded["values"]) {
        auto* value =
            definition::As<definition::ADXValue>(def_.FindByID(item["id"].get<std::string>()));
        ASSERT_NE(value, nullptr);
        const auto readout = evaluation::ReadValue(*value, def_, *at.last);
        EXPECT_EQ(item["raw"].get<uint32_t>(), readout.raw) << item["id"];
        EXPECT_EQ(item["text"].get<std::string>(), std::string(readout.text.data())) << item["id"];
        ++compared;
    }
    EXPECT_GT(compared, 20u);
}

TEST(CliPlayback, PlayingIsSaidBeforeTheFirstRecordAtFullSpeed) {
    TempDir dir;
    definition::ADXDefinition def;
    std::string error;
    ASSERT_EQ(def.Load(kDemoDefinition, error), 1) << error;
    const std::string log = dir.File("drive.xdl");
    ASSERT_TRUE(WriteDriveLog(def, log, 300));
    for (const char* speed : {"0", "1000"}) {
        SCOPED_TRACE(speed);
        const CliRun run = RunCli(dir, "play " + kDemoDefinition + " " + log + " --speed " + speed);
        ASSERT_EQ(run.code, 0) << run.err;
        const size_t playing = run.err.find("Playing " + log);
        const size_t first = run.err.find("Command/Reply Success");
        ASSERT_NE(playing, std::string::npos) << run.err;
        ASSERT_NE(first, std::string::npos) << run.err;
        EXPECT_LT(playing, first);
    }
}

}  // namespace
