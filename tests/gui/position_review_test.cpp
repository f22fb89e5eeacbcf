// Every page at the log position: after a seek (slider, jump keys, chart cursor) the Dash and
// the Item Lists show the record at the new position, as `korvit-cli decode` of that record
// does, and a seek while the log plays leaves the histograms of a straight play.

#include <gtest/gtest.h>

#include <QAction>
#include <QProcess>
#include <QSlider>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "../../bench/demo_log.h"
#include "app/histogram_csv.h"
#include "controls/mm_analog_gauge.h"
#include "controls/mm_digital_gauge_readout.h"
#include "controls/mm_status_gauge.h"
#include "controls/mm_tab_sheet.h"
#include "datalog/log_replay.h"
#include "definition/adx_dashboard.h"
#include "definition/adx_histogram.h"
#include "definition/adx_list_view.h"
#include "definition/definition.h"
#include "pages/dash_page.h"
#include "pages/histogram_page.h"
#include "pages/item_list_model.h"
#include "pages/item_list_page.h"
#include "pages/monitor_page.h"
#include "pages/monitor_review.h"
#include "shell/histogram_review.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "wait_until.h"
#include "window_fixture.h"

namespace {

using namespace korvit;
using datalog::DataLogState;
using shell::MainWindow;

constexpr char kDemo[] = KORVIT_SOURCE_DIR "/samples/demo.adx";
constexpr uint32_t kGapMs = 100;

std::string WriteDemoLog(const std::string& path, uint32_t count) {
    definition::ADXDefinition def;
    std::string error;
    if (def.Load(kDemo, error) == 0) return {};
    bench::GenerateLog(def, path, count, [](uint32_t) { return kGapMs; });
    return path;
}

/// What `korvit-cli decode` prints for record `sample` (1 = the first) of the log.
struct Decoded {
    std::map<std::string, std::string> texts;  // every value's and bitmask's text, by id
    std::map<std::string, double> values;
    std::map<std::string, bool> states;
};

Decoded DecodeRecord(const std::string& log, uint32_t sample) {
    definition::ADXDefinition def;
    std::string error;
    def.Load(kDemo, error);
    datalog::LogReplay replay(def);
    replay.Open(log);
    datalog::ReplayedRecord record;
    for (uint32_t i = 0; i < sample; ++i) {
        if (replay.Next(record) != datalog::kDataLogOk) return {};
    }
    QString hex;
    for (uint32_t k = 0; k < record.reply_size; ++k) {
        hex += QString::asprintf("%02X", record.reply[k]);
    }
    QProcess cli;
    cli.start(KORVIT_CLI_PATH, {"decode", kDemo, "--reply", "mode1=" + hex});
    if (!cli.waitForFinished(60000) || cli.exitCode() != 0) return {};
    const auto json = nlohmann::json::parse(cli.readAllStandardOutput().toStdString());
    Decoded out;
    for (const auto& v : json.at("values")) {
        out.texts[v.at("id")] = v.at("text");
        out.values[v.at("id")] = v.at("value").get<double>();
    }
    for (const auto& b : json.at("bitmasks")) {
        out.texts[b.at("id")] = b.at("text");
        out.states[b.at("id")] = b.at("state").get<bool>();
    }
    return out;
}

/// The shown item list's value texts, by item id.
std::map<std::string, std::string> ItemListTexts(pages::ItemListPage& page) {
    std::map<std::string, std::string> texts;
    pages::ItemListModel* model = page.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const definition::ADXListViewEntry* entry = model->entry(row);
        if (entry == nullptr || entry->item == nullptr) continue;
        texts[std::string(entry->item->id())] =
            model->data(model->index(row, pages::ItemListModel::kValue)).toString().toStdString();
    }
    return texts;
}

/// The texts `decoded` gives the rows of the list; "----" for every row when nothing is shown.
std::map<std::string, std::string> Expected(const std::map<std::string, std::string>& rows,
                                            const Decoded* decoded) {
    std::map<std::string, std::string> texts;
    for (const auto& [id, text] : rows) {
        texts[id] = decoded != nullptr ? decoded->texts.at(id) : std::string("----");
    }
    return texts;
}

class PositionReviewTest : public WindowTest {
  protected:
    void ConfigureWindow(MainWindow& w) override {
        w.choose_file = [this](const QString&, const QString&, const QString&, bool) {
            return chosen_;
        };
    }
    /// The demo definition and a log of `records` selected, to be played as fast as possible.
    MainWindow& Selected(uint32_t records) {
        log_ = WriteDemoLog(dir_ + "drive.xdl", records);
        MainWindow& w = Window();
        EXPECT_TRUE(w.LoadDefinition(kDemo));
        chosen_ = log_;
        w.SelectLog();
        w.SetPlaybackSpeed(0.0f);
        return w;
    }
    /// The same, played past `past` and paused, with `page` in front.
    MainWindow& Paused(uint32_t records, uint32_t past, const QString& page) {
        MainWindow& w = Selected(records);
        w.resize(1000, 700);
        w.show();
        w.tabs()->Select(w.tabs()->IndexOf(page));
        w.Play();
        EXPECT_TRUE(WaitUntil([&] { return app_.datalog.recordsread() > past; }, 30000));
        w.Pause();
        EXPECT_TRUE(WaitUntil([&] { return !app_.datalog.player_running(); }, 10000));
        EXPECT_EQ(app_.datalog.state(), DataLogState::Open);
        return w;
    }
    std::string chosen_;
    std::string log_;
};

TEST_F(PositionReviewTest, ItemListsShowTheRecordAtThePositionAfterEverySeek) {
    MainWindow& w = Paused(100000, 2000, "Item Lists");
    pages::ItemListPage& page = *w.itemListPage();
    ASSERT_GT(page.model()->rowCount(), 5);

    const auto check = [&](const char* how, uint32_t position) {
        ASSERT_EQ(app_.datalog.recordsread(), position) << how;
        const Decoded decoded = DecodeRecord(log_, position);
        const auto expected = Expected(ItemListTexts(page), position == 0 ? nullptr : &decoded);
        ASSERT_TRUE(position == 0 || !decoded.texts.empty()) << how;
        WaitUntil([&] { return ItemListTexts(page) == expected; }, 5000);
        EXPECT_EQ(ItemListTexts(page), expected) << how << " to " << position;
    };
    w.logBar()->seekRequested(120);
    check("slider back", 120);
    w.JumpBackward();
    check("[", 110);
    w.JumpForward();
    check("]", 120);
    // The chart cursor: records lie 100 ms apart from 0, the one at 31.0 s is the 311th.
    w.monitorPage()->review()->ChooseCursor(31.04);
    check("chart cursor", 311);
    w.logBar()->seekRequested(0);
    check("slider to the start", 0);
}

// The Dash after a seek shows the record there; each dial's lowest and highest start again at
// the position (a user reviewing a stretch of the drive wants its extremes, not the whole
// play's), and playing on widens them from there.
TEST_F(PositionReviewTest, DashShowsTheRecordAtThePositionAndMinMaxRestartThere) {
    MainWindow& w = Paused(100000, 2000, "Dash");
    pages::DashPage& dash = *w.dashPage();
    ASSERT_NE(dash.currentDashboard(), nullptr);
    const auto& entries = dash.currentDashboard()->entries();
    std::vector<controls::MMAnalogGauge*> dials;
    for (int i = 0; i < dash.gaugeCount(); ++i) {
        if (auto* dial = qobject_cast<controls::MMAnalogGauge*>(dash.gauge(i))) {
            dials.push_back(dial);
        }
    }
    ASSERT_FALSE(dials.empty());
    // After most of a play, the dials have a spread of readings.
    ASSERT_TRUE(WaitUntil([&] { return dials[0]->lowest() < dials[0]->highest(); }, 5000));

    for (const uint32_t position : {150u, 1700u, 40u}) {
        w.logBar()->seekRequested(static_cast<int>(position));
        const Decoded decoded = DecodeRecord(log_, position);
        ASSERT_FALSE(decoded.texts.empty());
        for (int i = 0; i < dash.gaugeCount(); ++i) {
            const std::string id(entries[static_cast<size_t>(i)].item->id());
            QWidget* g = dash.gauge(i);
            if (auto* dial = qobject_cast<controls::MMAnalogGauge*>(g)) {
                const auto v = static_cast<float>(decoded.values.at(id));
                const float shown = std::clamp(v, std::min(dial->minimum(), dial->maximum()),
                                               std::max(dial->minimum(), dial->maximum()));
                ASSERT_TRUE(WaitUntil([&] { return dial->value() == shown; }, 5000))
                    << id << " at " << position << ": " << dial->value() << " for " << shown;
                EXPECT_TRUE(dial->hasValue());
                EXPECT_EQ(dial->lowest(), shown) << id << " at " << position;
                EXPECT_EQ(dial->highest(), shown) << id << " at " << position;
            } else if (auto* digits = qobject_cast<controls::MMDigitalGaugeReadout*>(g)) {
                EXPECT_EQ(digits->value(), static_cast<float>(decoded.values.at(id)))
                    << id << " at " << position;
            } else if (auto* status = qobject_cast<controls::MMStatusGauge*>(g)) {
                EXPECT_EQ(status->state() != 0, decoded.states.at(id)) << id << " at " << position;
            }
        }
    }

    // Played on from the position, the dials widen from it.
    const float at = dials[0]->value();
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.recordsread() > 400; }, 30000));
    w.Pause();
    ASSERT_TRUE(WaitUntil([&] { return !app_.datalog.player_running(); }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return dials[0]->lowest() < dials[0]->highest(); }, 5000));
    EXPECT_LE(dials[0]->lowest(), at);
    EXPECT_GE(dials[0]->highest(), at);
}

/// Every statistic of the histogram as CSV.
std::string HistogramText(definition::ADXHistogram& h) {
    std::string all;
    for (uint32_t code : app::HistogramViewStatistics()) all += app::HistogramCsv(h, code);
    return all;
}

/// The histogram after a straight play of records 1 to `sample`.
std::string StraightHistogram(const std::string& log, const std::string& id, uint32_t sample) {
    definition::ADXDefinition def;
    std::string error;
    def.Load(kDemo, error);
    datalog::LogReplay replay(def);
    if (replay.Open(log) != datalog::kDataLogOk) return {};
    datalog::RebuildHistograms(replay, sample);
    return HistogramText(*definition::As<definition::ADXHistogram>(def.FindByID(id)));
}

// A seek back while the log plays on: the rebuilt histograms reach the page while the player
// goes on feeding, and the result is a straight play to wherever the player is.
TEST_F(PositionReviewTest, ASeekWhilePlayingEndsWithTheHistogramsOfAStraightPlay) {
    constexpr uint32_t kRecords = 200000;
    MainWindow& w = Selected(kRecords);
    definition::ADXHistogram* h = w.histogramPage()->current();
    ASSERT_NE(h, nullptr);
    const std::string id(h->id());
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.recordsread() > 60000; }, 60000));
    ASSERT_EQ(app_.datalog.state(), DataLogState::Playing);

    // Back to a third of the way while playing: the rebuild replays 20000 records, and the
    // player plays on meanwhile.
    const uint64_t before = w.histogramReview()->applied();
    w.logBar()->seekRequested(20000);
    ASSERT_TRUE(WaitUntil(
        [&] { return w.histogramReview()->applied() > before && !w.histogramReview()->busy(); },
        60000));
    const uint32_t handed = app_.datalog.shown();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.shown() > handed + 1000; }, 60000));
    w.Pause();
    ASSERT_TRUE(WaitUntil([&] { return !app_.datalog.player_running(); }, 10000));
    ASSERT_EQ(app_.datalog.state(), DataLogState::Open) << "the log ended before the pause";
    const uint32_t position = app_.datalog.shown();
    EXPECT_GT(position, 20000u);
    EXPECT_EQ(HistogramText(*h), StraightHistogram(log_, id, position)) << "at " << position;
}

// Each run of a log starts at its first record, so the histograms after a second run to the end
// are those of one straight play, not of the two added together.
TEST_F(PositionReviewTest, PlayingALogAgainFromTheStartDoesNotAddToTheLastRun) {
    constexpr uint32_t kRecords = 3000;
    MainWindow& w = Selected(kRecords);
    definition::ADXHistogram* h = w.histogramPage()->current();
    ASSERT_NE(h, nullptr);
    const std::string id(h->id());
    for (int run = 0; run < 2; ++run) {
        w.Play();
        ASSERT_TRUE(WaitUntil(
            [&] { return app_.datalog.state() == DataLogState::Closed && !w.opening(); }, 60000));
        EXPECT_EQ(HistogramText(*h), StraightHistogram(log_, id, kRecords)) << "run " << run;
    }
}

}  // namespace

namespace {

// Export Visible Range as CSV... reads the log on a worker: the window goes on at once, the
// file reads back as korvit-cli export writes it, and a failed export leaves the file that was
// there as it was.
TEST_F(PositionReviewTest, TheVisibleRangeIsExportedOnAWorkerAndAFailureKeepsTheOldFile) {
    log_ = WriteDemoLog(dir_ + "drive.xdl", 50000);
    MainWindow& w = Window();
    ASSERT_TRUE(w.LoadDefinition(kDemo));
    chosen_ = log_;
    w.SelectLog();
    ASSERT_TRUE(
        WaitUntil([&] { return w.monitorPage()->overview() && !w.logOverview()->busy(); }, 60000));
    // The whole drive is in view.
    const std::string target = dir_ + "range.csv";
    {
        std::ofstream old(target);
        old << "kept\n";
    }
    chosen_ = target;
    QAction* export_range = Find("Export Visible Range as CSV...");
    ASSERT_NE(export_range, nullptr);
    export_range->trigger();
    // Back at once, with the export still to report.
    EXPECT_TRUE(w.exporting());
    // A second export while one runs is refused.
    export_range->trigger();
    EXPECT_NE(lines_.Text().find("An export of the visible range is still running"),
              std::string::npos);
    ASSERT_TRUE(WaitUntil([&] { return !w.exporting(); }, 60000));
    EXPECT_NE(lines_.Text().find("Exported 50000 records to " + target), std::string::npos)
        << lines_.Text();
    QProcess cli;
    cli.start(KORVIT_CLI_PATH, {"export", kDemo, QString::fromStdString(log_), "--csv",
                                QString::fromStdString(dir_ + "all.csv")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(Slurp(target), Slurp(dir_ + "all.csv"));

    // The log is gone: a clear line, and the last export stays on disk untouched.
    const std::string exported = Slurp(target);
    std::filesystem::remove(log_);
    export_range->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !w.exporting(); }, 60000));
    EXPECT_NE(lines_.Text().find("Could not open " + log_ +
                                 ", error 0xC; the visible range "
                                 "was not exported"),
              std::string::npos)
        << lines_.Text();
    EXPECT_EQ(Slurp(target), exported);
}

}  // namespace

namespace {

// Load Log after a finished playback: the pages show the new log's first record, not the last
// one played, and the chart legend reads its values at the cursor from the start.
TEST_F(PositionReviewTest, LoadLogShowsTheFirstRecordOnThePagesAndInTheLegend) {
    const std::string played = WriteDemoLog(dir_ + "played.xdl", 600);
    log_ = WriteDemoLog(dir_ + "next.xdl", 900);
    MainWindow& w = Window();
    w.resize(1000, 700);
    w.show();
    ASSERT_TRUE(w.LoadDefinition(kDemo));
    w.tabs()->Select(w.tabs()->IndexOf("Item Lists"));
    chosen_ = played;
    w.SelectLog();
    w.SetPlaybackSpeed(0.0f);
    w.Play();
    ASSERT_TRUE(WaitUntil(
        [&] { return app_.datalog.state() == DataLogState::Closed && !w.opening(); }, 30000));
    pages::ItemListPage& list = *w.itemListPage();
    const Decoded last = DecodeRecord(played, 600);
    ASSERT_TRUE(WaitUntil(
        [&] { return ItemListTexts(list) == Expected(ItemListTexts(list), &last); }, 5000));

    chosen_ = log_;
    w.SelectLog();
    ASSERT_TRUE(
        WaitUntil([&] { return w.monitorPage()->overview() && !w.logOverview()->busy(); }, 30000));
    const Decoded first = DecodeRecord(log_, 1);
    const auto expected = Expected(ItemListTexts(list), &first);
    ASSERT_NE(expected, Expected(ItemListTexts(list), &last));
    WaitUntil([&] { return ItemListTexts(list) == expected; }, 5000);
    EXPECT_EQ(ItemListTexts(list), expected);

    w.tabs()->Select(w.tabs()->IndexOf("Monitors"));
    pages::MonitorReview& review = *w.monitorPage()->review();
    const auto& series = w.monitorPage()->entry(0).monitor->series();
    const auto legend_is_first = [&] {
        const auto& rows = review.legend(0)->rows();
        if (rows.size() != series.size()) return false;
        for (size_t k = 0; k < rows.size(); ++k) {
            if (rows[k].value.toStdString() != first.texts.at(std::string(series[k].item->id()))) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(WaitUntil(legend_is_first, 5000));
    EXPECT_EQ(review.cursor(), 0.0);
}

}  // namespace
