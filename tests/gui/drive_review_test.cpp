// Reviewing a recorded drive in the window: the Monitors charts fill from the whole log in the
// background, show it whole, and playing or seeking in it never adds a point twice.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/chart_fill.h"
#include "app/histogram_csv.h"
#include "app/histogram_filters.h"
#include "controls/mm_data_chart.h"
#include "controls/mm_grid_control.h"
#include "controls/mm_tab_sheet.h"
#include "datalog/data_log.h"
#include "datalog/log_replay.h"
#include "definition/adx_histogram.h"
#include "definition/definition.h"
#include "evaluation/histogram_filter.h"
#include "pages/histogram_page.h"
#include "pages/monitor_page.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "shell/view_bridge.h"
#include "support/generated_log.h"

#include "wait_until.h"
#include "window_fixture.h"

namespace {

using korvit::app::ChartPoint;
using korvit::datalog::DataLogState;
using korvit::shell::MainWindow;
namespace definition = korvit::definition;
namespace datalog = korvit::datalog;

constexpr const char* kDemo = KORVIT_SOURCE_DIR "/samples/demo.adx";
constexpr uint32_t kGapMs = 80;

/// A log of the demo definition: its table from a real (empty) recording, then `count` mode-1
/// records, one every 80 ms, each byte on a ramp of its own.
std::string WriteDemoLog(const std::string& path, uint32_t count) {
    definition::ADXDefinition def;
    std::string error;
    if (def.Load(kDemo, error) == 0) return {};
    const bool written = korvit::testing::WriteGeneratedLog(
        def, path, count, [](uint32_t) { return kGapMs; }, korvit::testing::RampByte);
    return written ? path : std::string();
}

/// What the line of a value holds after a straight play of the whole log, decoded apart from
/// the window.
std::vector<ChartPoint> StraightPlay(const std::string& log, uint32_t hash) {
    definition::ADXDefinition def;
    std::string error;
    def.Load(kDemo, error);
    datalog::LogReplay replay(def);
    if (replay.Open(log) != datalog::kDataLogOk) return {};
    std::vector<std::vector<ChartPoint>> lines;
    korvit::app::FillSeriesFromLog(replay, {hash}, lines);
    return lines.at(0);
}

std::vector<ChartPoint> Points(const korvit::controls::DataChartSeries* series) {
    std::vector<ChartPoint> out;
    for (size_t i = 0; i < series->points().size(); ++i) out.push_back(series->points().at(i));
    return out;
}

bool Same(const std::vector<ChartPoint>& a, const std::vector<ChartPoint>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
    }
    return true;
}

class DriveReviewTest : public WindowTest {
  protected:
    void ConfigureWindow(MainWindow& w) override {
        w.choose_file = [this](const QString&, const QString&, const QString&, bool) {
            return chosen_;
        };
    }
    std::string chosen_;
};

TEST_F(DriveReviewTest, LoadLogFillsTheChartsWithTheWholeDriveAndPlayingAddsNothingTwice) {
    constexpr uint32_t kRecords = 3000;  // four minutes
    const std::string log = WriteDemoLog(dir_ + "drive.xdl", kRecords);
    ASSERT_FALSE(log.empty());
    MainWindow& w = Window();
    ASSERT_TRUE(w.LoadDefinition(kDemo));
    korvit::pages::MonitorPage* page = w.monitorPage();
    ASSERT_GE(page->chartCount(), 1u);
    const auto& chart = page->entry(0);
    ASSERT_FALSE(chart.series.empty());
    korvit::controls::DataChartSeries* series = chart.series[0];
    ASSERT_NE(series, nullptr);
    const uint32_t hash = chart.monitor->series()[0].itemidhash;
    const std::vector<ChartPoint> straight = StraightPlay(log, hash);
    ASSERT_EQ(straight.size(), kRecords);

    chosen_ = log;
    w.SelectLog();
    ASSERT_TRUE(WaitUntil([&] { return page->overview() && !w.logOverview()->busy(); }, 30000));
    EXPECT_TRUE(Same(Points(series), straight));
    // The whole drive is in view, first record to last.
    const auto view = chart.chart->VisibleSpan();
    EXPECT_DOUBLE_EQ(view.begin, 0.0);
    EXPECT_NEAR(view.end, (kRecords - 1) * kGapMs / 1000.0, 1e-3);
    EXPECT_EQ(chart.chart->ValueAt(0, 1.0), straight[12].y);

    // Play part of it, seek back, play to the end: the lines stay those of one straight play.
    w.SetPlaybackSpeed(0.0f);
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.recordsread() > kRecords / 2; }, 30000));
    w.Pause();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.state() != DataLogState::Playing; }, 10000));
    w.logBar()->seekRequested(100);
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.state() != DataLogState::Playing; }, 30000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Same(Points(series), straight))
        << Points(series).size() << " points against " << straight.size();
    EXPECT_EQ(chart.chart->VisibleSpan(), view);

    // A series added while the log is shown fills from the log as well.
    auto* added = definition::As<definition::ADXValue>(app_.definition.FindByID("battery"));
    ASSERT_NE(added, nullptr);
    page->AddValue(0, added);
    korvit::controls::DataChartSeries* late = page->entry(0).series.back();
    ASSERT_NE(late, nullptr);
    const std::vector<ChartPoint> late_straight = StraightPlay(log, added->idhash());
    ASSERT_FALSE(late_straight.empty());
    ASSERT_TRUE(WaitUntil([&] { return late->points().size() == late_straight.size(); }, 30000));
    EXPECT_TRUE(Same(Points(late), late_straight));
    EXPECT_EQ(chart.chart->VisibleSpan(), view);  // filling a new line keeps the view
}

/// The samples the histogram takes in one straight play of the whole log with the filter.
uint32_t FilteredCount(const std::string& log, const char* histogram,
                       const std::optional<korvit::evaluation::HistogramFilter>& filter) {
    definition::ADXDefinition def;
    std::string error;
    def.Load(kDemo, error);
    korvit::app::HistogramFilters filters;
    if (filter) filters.Set(histogram, *filter);
    filters.Apply(def);
    datalog::LogReplay replay(def);
    if (replay.Open(log) != datalog::kDataLogOk) return 0;
    datalog::RebuildHistograms(replay, UINT32_MAX);
    return definition::As<definition::ADXHistogram>(def.FindByID(histogram))->sample_count();
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, ',')) cells.push_back(cell);
        if (!line.empty() && line.back() == ',') cells.emplace_back();
        rows.push_back(cells);
    }
    return rows;
}

// The "Only when" row sets a range on a value or a state on a bitmask: playback then counts
// only the records that meet it, the filter is kept in korvit-histograms.ini, and the CSV
// export reads back as the grid the page shows.
TEST_F(DriveReviewTest, OnlyWhenCountsOnlyMatchingRecordsAndTheExportIsTheGrid) {
    constexpr uint32_t kRecords = 600;
    const std::string log = WriteDemoLog(dir_ + "drive.xdl", kRecords);
    MainWindow& w = Window();
    ASSERT_TRUE(w.LoadDefinition(kDemo));
    korvit::pages::HistogramPage* page = w.histogramPage();
    ASSERT_NE(page->current(), nullptr);
    const std::string id(page->current()->id());

    // A range that is not two numbers is refused and changes nothing.
    page->whenList()->setCurrentIndex(page->whenList()->findData(QString("rpm")));
    page->whenLowEdit()->setText("4000");
    page->whenHighEdit()->setText("lots");
    page->whenApplyButton()->click();
    EXPECT_FALSE(w.histogramFilters().Get(id).has_value());
    EXPECT_NE(lines_.Text().find("the range needs two numbers"), std::string::npos);

    page->whenHighEdit()->setText("4400");
    page->whenApplyButton()->click();
    const auto rpm = w.histogramFilters().Get(id);
    ASSERT_TRUE(rpm.has_value());
    EXPECT_EQ(rpm->Format(), "rpm=4000..4400");
    EXPECT_NE(Slurp(dir_ + "korvit-histograms.ini").find(id + "=rpm=4000..4400"),
              std::string::npos);

    const uint32_t every = FilteredCount(log, id.c_str(), std::nullopt);
    const uint32_t matching = FilteredCount(log, id.c_str(), rpm);
    ASSERT_GT(matching, 0u);
    ASSERT_LT(matching, every);  // the log's engine speed ramps through the range

    chosen_ = log;
    w.SelectLog();
    w.SetPlaybackSpeed(0.0f);
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.recordsread() == kRecords; }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.state() != DataLogState::Playing; }, 30000));
    EXPECT_EQ(page->current()->sample_count(), matching);

    // A bitmask state: chosen in the row, shown again when the histogram is chosen again.
    page->whenList()->setCurrentIndex(page->whenList()->findData(QString("closedloop")));
    page->whenStateList()->setCurrentIndex(1);
    page->whenApplyButton()->click();
    EXPECT_EQ(w.histogramFilters().Get(id)->Format(), "closedloop=false");
    page->histogramList()->setCurrentIndex(1);
    EXPECT_EQ(page->whenList()->currentData().toString(), QString());
    page->histogramList()->setCurrentIndex(0);
    EXPECT_EQ(page->whenList()->currentData().toString(), QString("closedloop"));
    EXPECT_EQ(page->whenStateList()->currentIndex(), 1);

    // The export, read back, is the grid: labels and the statistic shown.
    QCoreApplication::processEvents();
    page->RefreshHistogramView();
    chosen_ = dir_ + "grid.csv";
    w.ExportHistogramCsv();
    const auto rows = ReadCsv(chosen_);
    const korvit::controls::MMGridControl& grid = *page->grid();
    ASSERT_EQ(rows.size(), static_cast<size_t>(grid.dataRowCount() + 1));
    size_t filled = 0;
    for (int r = 0; r <= grid.dataRowCount(); ++r) {
        ASSERT_EQ(rows[r].size(), static_cast<size_t>(grid.dataColumnCount() + 1)) << r;
        for (int c = 0; c <= grid.dataColumnCount(); ++c) {
            if (r == 0 && c == 0) continue;
            const std::string shown = grid.CellText(r, c).trimmed().toStdString();
            if (r > 0 && c > 0 && !shown.empty()) ++filled;
            if (shown.empty() || rows[r][c].empty()) {
                EXPECT_EQ(rows[r][c].empty(), shown.empty()) << r << "," << c;
            } else {
                EXPECT_DOUBLE_EQ(std::stod(rows[r][c]), std::stod(shown)) << r << "," << c;
            }
        }
    }
    EXPECT_GT(filled, 0u);

    // Back to every record.
    page->whenList()->setCurrentIndex(0);
    page->whenApplyButton()->click();
    EXPECT_FALSE(w.histogramFilters().Get(id).has_value());
    EXPECT_EQ(page->current()->filter(), nullptr);
}

/// Every statistic of the histogram as CSV, after a straight play of records 1 to `sample`.
std::string StraightHistograms(const std::string& log, const std::string& id, uint32_t sample) {
    definition::ADXDefinition def;
    std::string error;
    def.Load(kDemo, error);
    datalog::LogReplay replay(def);
    if (replay.Open(log) != datalog::kDataLogOk) return {};
    datalog::RebuildHistograms(replay, sample);
    auto* h = definition::As<definition::ADXHistogram>(def.FindByID(id));
    std::string all;
    for (uint32_t code : korvit::app::HistogramViewStatistics())
        all += korvit::app::HistogramCsv(*h, code);
    return all;
}

std::string LiveHistograms(definition::ADXHistogram& h) {
    std::string all;
    for (uint32_t code : korvit::app::HistogramViewStatistics())
        all += korvit::app::HistogramCsv(h, code);
    return all;
}

// Seeks back and forth, by the slider and by the jump keys, leave the histograms as a straight
// play to the same position would, and the charts with each record once.
TEST_F(DriveReviewTest, SeeksBackAndForthGiveTheHistogramsAndLinesOfAStraightPlay) {
    constexpr uint32_t kRecords = 3000;
    const std::string log = WriteDemoLog(dir_ + "drive.xdl", kRecords);
    MainWindow& w = Window();
    ASSERT_TRUE(w.LoadDefinition(kDemo));
    definition::ADXHistogram* h = w.histogramPage()->current();
    ASSERT_NE(h, nullptr);
    const std::string id(h->id());
    korvit::controls::DataChartSeries* series = w.monitorPage()->entry(0).series[0];
    const std::vector<ChartPoint> straight_line =
        StraightPlay(log, w.monitorPage()->entry(0).monitor->series()[0].itemidhash);

    chosen_ = log;
    w.SelectLog();
    ASSERT_TRUE(
        WaitUntil([&] { return w.monitorPage()->overview() && !w.logOverview()->busy(); }, 30000));
    w.SetPlaybackSpeed(0.0f);
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.recordsread() > 2000; }, 30000));
    w.Pause();
    ASSERT_TRUE(WaitUntil([&] { return !app_.datalog.player_running(); }, 10000));
    ASSERT_TRUE(w.histogramReview()->open());

    const auto seek_and_check = [&](auto seek, uint32_t expected_position) {
        const uint64_t before = w.histogramReview()->applied();
        seek();
        ASSERT_EQ(app_.datalog.recordsread(), expected_position);
        ASSERT_TRUE(WaitUntil(
            [&] { return w.histogramReview()->applied() > before && !w.histogramReview()->busy(); },
            30000));
        EXPECT_EQ(LiveHistograms(*h), StraightHistograms(log, id, expected_position))
            << "at " << expected_position;
    };
    seek_and_check([&] { w.logBar()->seekRequested(500); }, 500);
    seek_and_check([&] { w.logBar()->seekRequested(2800); }, 2800);
    seek_and_check([&] { w.JumpBackward(); }, 2790);
    seek_and_check([&] { w.JumpForward(); }, 2800);
    seek_and_check([&] { w.logBar()->seekRequested(0); }, 0);

    // Played on from the start to the end with the Monitors in front: the page takes the
    // records played while it was hidden and the replayed ones, each once at its time, and
    // holds one straight play's lines.
    w.tabs()->Select(w.tabs()->IndexOf("Monitors"));
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.state() != DataLogState::Playing; }, 30000));
    EXPECT_EQ(LiveHistograms(*h), StraightHistograms(log, id, kRecords));
    const uint64_t frames = w.views()->frames();
    w.views()->Mark(korvit::pages::kChartsChanged);
    ASSERT_TRUE(WaitUntil([&] { return w.views()->frames() > frames; }, 5000));
    EXPECT_TRUE(Same(Points(series), straight_line))
        << Points(series).size() << " points against " << straight_line.size();
}

}  // namespace
