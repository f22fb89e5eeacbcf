#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QProcess>
#include <QScrollArea>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../../bench/demo_log.h"
#include "app/log_csv.h"
#include "controls/chart_legend.h"
#include "controls/chart_navigation.h"
#include "controls/mm_data_chart.h"
#include "controls/mm_tab_sheet.h"
#include "datalog/log_replay.h"
#include "definition/adx_definition.h"
#include "definition/adx_monitor.h"
#include "definition/adx_value.h"
#include "evaluation/item_readout.h"
#include "pages/monitor_page.h"
#include "pages/monitor_review.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "wait_until.h"
#include "window_fixture.h"

using namespace korvit;
using controls::ChartSpan;
using definition::ADXDefinition;
using definition::ADXValue;

namespace {

constexpr char kDemo[] = KORVIT_SOURCE_DIR "/samples/demo.adx";
constexpr uint32_t kGapMs = 100;

/// A demo log of `count` records, one every 100 ms.
std::string WriteDemoLog(const std::string& path, uint32_t count) {
    ADXDefinition def;
    std::string error;
    if (def.Load(kDemo, error) == 0) return {};
    bench::GenerateLog(def, path, count, [](uint32_t) { return kGapMs; });
    return path;
}

/// What `korvit-cli decode` prints for the record that was read last when `time_ms` is reached:
/// every value's text, by id.
std::map<std::string, std::string> DecodeAt(const std::string& log, uint32_t time_ms) {
    ADXDefinition def;
    std::string error;
    def.Load(kDemo, error);
    datalog::LogReplay replay(def);
    replay.Open(log);
    evaluation::PacketSnapshot last;
    datalog::ReplayedRecord record;
    while (replay.Next(record) == datalog::kDataLogOk && record.time_ms <= time_ms) {
        last = *record.last;
    }
    std::map<std::string, std::string> texts;
    for (const auto& object : def.objects()) {
        if (auto* value = definition::As<ADXValue>(object.get())) {
            texts[std::string(value->id())] = evaluation::ReadValue(*value, def, last).text.data();
        }
    }
    return texts;
}

void Wheel(QWidget* w, QPoint at, int notches, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent e(QPointF(at), QPointF(w->mapToGlobal(at)), QPoint(), QPoint(0, 120 * notches),
                  Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &e);
}

}  // namespace

TEST(ChartSpans, ZoomPanAndFitStayInsideTheLogAndNeverGoBelowASecond) {
    const ChartSpan full{0, 100};
    // Zooming keeps the time under the pointer where it was.
    const ChartSpan in = controls::ZoomAbout({20, 40}, 25, 0.5, full);
    EXPECT_DOUBLE_EQ(in.begin, 22.5);
    EXPECT_DOUBLE_EQ(in.end, 32.5);
    EXPECT_DOUBLE_EQ(controls::ZoomAbout({20, 21.5}, 21, 0.1, full).width(), 1.0);
    EXPECT_EQ(controls::ZoomAbout({20, 40}, 30, 10, full), full);
    // Near the start, a zoom out that would reach before it slides back in.
    EXPECT_EQ(controls::ZoomAbout({0, 10}, 1, 2, full), (ChartSpan{0, 20}));

    EXPECT_EQ(controls::PanBy({20, 40}, -0.1, full), (ChartSpan{18, 38}));
    EXPECT_EQ(controls::PanBy({90, 100}, 0.1, full), (ChartSpan{90, 100}));
    EXPECT_EQ(controls::PanBy({1, 11}, -0.5, full), (ChartSpan{0, 10}));

    EXPECT_EQ(controls::SpanBetween(40, 30, full), (ChartSpan{30, 40}));
    const ChartSpan narrow = controls::SpanBetween(10, 10.2, full);
    EXPECT_DOUBLE_EQ(narrow.width(), 1.0);
    EXPECT_DOUBLE_EQ(narrow.begin + narrow.end, 20.2);

    EXPECT_EQ(controls::FitAll(full), full);
    EXPECT_EQ(controls::FitAll({5, 5.2}), (ChartSpan{5, 6}));
}

class ChartReviewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_EQ(definition_.Load(kDemo, error), 1) << error;
        page_.resize(900, 500);
        page_.Rebuild();
        page_.show();
        ASSERT_EQ(page_.chartCount(), 1u);
    }
    void TearDown() override { std::remove(log_.c_str()); }

    /// Plays the log into the charts as playback does: every record feeds the charts, then the
    /// page takes them.
    void FillFromLog(uint32_t count) {
        log_ = "/tmp/korvit-review-" + std::to_string(::getpid()) + ".xdl";
        ASSERT_FALSE(WriteDemoLog(log_, count).empty());
        ADXDefinition copy;
        std::string error;
        copy.Load(kDemo, error);
        datalog::LogReplay replay(copy);
        ASSERT_EQ(replay.Open(log_), 0u);
        datalog::ReplayedRecord record;
        while (replay.Next(record) == datalog::kDataLogOk) {
            if (record.command_hash == 0) continue;
            feed_.Feed(record.time_ms / 1000.0f, record.packet, record.command_hash);
        }
        page_.Refresh(pages::kChartsChanged);
        QCoreApplication::processEvents();
    }
    controls::MMDataChart* Chart() { return page_.entry(0).chart; }
    pages::MonitorReview& Review() { return *page_.review(); }
    controls::ChartInput& Input() { return *Review().input(0); }

    ADXDefinition definition_;
    app::ChartFeed feed_;
    pages::MonitorPage page_{definition_, feed_};
    std::string log_;
};

TEST_F(ChartReviewTest, WheelDragDoubleClickAndKeysMoveTheSharedView) {
    FillFromLog(1001);  // 0 to 100 s
    Review().SetView({0, 20});
    const int y = Chart()->plotRect().top + 20;
    const ChartSpan full = Review().full();
    EXPECT_DOUBLE_EQ(full.begin, 0.0);
    EXPECT_NEAR(full.end, 100.0, 1e-3);

    // The wheel zooms in about the pointer: the time under it stays under it.
    const int x = Input().PixelAt(15.0);
    const double before = Input().TimeAt(x);
    Wheel(Chart(), QPoint(x, y), 1);
    EXPECT_NEAR(Review().view().width(), 20.0 / controls::kZoomStep, 1e-6);
    EXPECT_NEAR(Input().TimeAt(x), before, 0.05);
    Wheel(Chart(), QPoint(x, y), -1);
    EXPECT_NEAR(Review().view().width(), 20.0, 1e-6);

    // Ctrl+wheel pans: down moves later, up earlier, never before the log's start.
    Review().SetView({20, 40});
    Wheel(Chart(), QPoint(x, y), -1, Qt::ControlModifier);
    EXPECT_NEAR(Review().view().begin, 22.0, 1e-6);
    Wheel(Chart(), QPoint(x, y), 30, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(Review().view().begin, 0.0);
    EXPECT_NEAR(Review().view().width(), 20.0, 1e-6);

    // A Ctrl+drag zooms to the band dragged; the cursor stays where it was.
    const double cursor = Review().cursor();
    const int a = Input().PixelAt(5.0), b = Input().PixelAt(10.0);
    QTest::mousePress(Chart(), Qt::LeftButton, Qt::ControlModifier, QPoint(a, y));
    QTest::mouseMove(Chart(), QPoint(b, y));
    QTest::mouseRelease(Chart(), Qt::LeftButton, Qt::ControlModifier, QPoint(b, y));
    EXPECT_NEAR(Review().view().begin, 5.0, 0.1);
    EXPECT_NEAR(Review().view().end, 10.0, 0.1);
    EXPECT_DOUBLE_EQ(Review().cursor(), cursor);

    // A double click fits the whole log.
    QTest::mouseDClick(Chart(), Qt::LeftButton, {}, QPoint(a, y));
    EXPECT_NEAR(Review().view().begin, 0.0, 1e-3);
    EXPECT_NEAR(Review().view().end, 100.0, 1e-3);

    // Keys: + and - zoom about the middle, Right and Left pan, Home fits.
    Review().SetView({40, 60});
    QTest::keyClick(Chart(), Qt::Key_Plus);
    EXPECT_NEAR(Review().view().width(), 20.0 / controls::kZoomStep, 1e-6);
    EXPECT_NEAR(Review().view().begin + Review().view().end, 100.0, 1e-6);
    QTest::keyClick(Chart(), Qt::Key_Minus);
    EXPECT_NEAR(Review().view().width(), 20.0, 1e-6);
    QTest::keyClick(Chart(), Qt::Key_Right);
    EXPECT_NEAR(Review().view().begin, 42.0, 1e-6);
    QTest::keyClick(Chart(), Qt::Key_Left);
    QTest::keyClick(Chart(), Qt::Key_Left);
    EXPECT_NEAR(Review().view().begin, 38.0, 1e-6);
    QTest::keyClick(Chart(), Qt::Key_Home);
    EXPECT_NEAR(Review().view().width(), 100.0, 1e-3);
    // Every chart shows the view, and it no longer scrolls to new points on its own.
    const auto range = page_.entry(0).time_axis->viewRange();
    EXPECT_NEAR(range.max - range.min, 100.0, 1e-3);
    EXPECT_FALSE(page_.entry(0).time_axis->flags() & controls::DataChartAxis::kAutoScroll);
}

TEST_F(ChartReviewTest, TheLegendReadsEachLineAtTheCursorAsDecodeDoesAndTheChangeToASecond) {
    FillFromLog(601);
    Review().SetView({10, 30});
    const int y = Chart()->plotRect().top + 20;
    std::vector<double> chosen;
    QObject::connect(&Review(), &pages::MonitorReview::cursorChosen,
                     [&](double t) { chosen.push_back(t); });

    // A click puts the cursor at the time under the pointer, and says so.
    const int x = Input().PixelAt(17.33);
    QTest::mouseClick(Chart(), Qt::LeftButton, {}, QPoint(x, y));
    const double t = Review().cursor();
    EXPECT_NEAR(t, 17.33, 0.1);
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_NEAR(chosen[0], t, 1e-4);
    EXPECT_NEAR(page_.entry(0).time_axis->cursor(), t, 1e-4);

    // Each row: the line's colour, its value's title and units, and the text decode gives for
    // the record at the cursor.
    const controls::ChartLegend* legend = Review().legend(0);
    const auto& series = page_.entry(0).monitor->series();
    const auto decoded = DecodeAt(log_, static_cast<uint32_t>(std::floor(t * 1000.0 + 1e-3)));
    ASSERT_EQ(legend->rows().size(), series.size());
    for (size_t k = 0; k < series.size(); ++k) {
        const auto* value = definition::As<ADXValue>(series[k].item);
        const controls::LegendRow& row = legend->rows()[k];
        SCOPED_TRACE(std::string(value->id()));
        EXPECT_EQ(row.color, page_.entry(0).series[k]->lineColor());
        EXPECT_EQ(row.title.toStdString(), std::string(value->title().view()));
        EXPECT_EQ(row.units.toStdString(), std::string(value->units().view()));
        EXPECT_EQ(row.value.toStdString(), decoded.at(std::string(value->id())));
        EXPECT_TRUE(row.change.isEmpty());
    }
    EXPECT_EQ(legend->heading(), pages::FormatCursorTime(t));

    // A drag moves the cursor with the pointer.
    const int x2 = Input().PixelAt(24.0);
    QTest::mousePress(Chart(), Qt::LeftButton, {}, QPoint(x, y));
    QTest::mouseMove(Chart(), QPoint(x2, y));
    EXPECT_NEAR(Review().cursor(), 24.0, 0.1);
    QTest::mouseRelease(Chart(), Qt::LeftButton, {}, QPoint(x2, y));

    // Shift+click sets the second cursor: the time between the two and each line's change.
    QTest::mouseClick(Chart(), Qt::LeftButton, {}, QPoint(x, y));
    const int x3 = Input().PixelAt(27.0);
    QTest::mouseClick(Chart(), Qt::LeftButton, Qt::ShiftModifier, QPoint(x3, y));
    ASSERT_TRUE(Review().secondCursor().has_value());
    const double second = *Review().secondCursor();
    EXPECT_NEAR(Review().cursor(), t, 1e-4);  // the first cursor stays
    EXPECT_TRUE(legend->heading().endsWith(QString(" (%1 s)").arg(second - t, 0, 'f', 2)))
        << legend->heading().toStdString();
    const auto later = DecodeAt(log_, static_cast<uint32_t>(std::floor(second * 1000.0 + 1e-3)));
    for (size_t k = 0; k < series.size(); ++k) {
        const auto* value = definition::As<ADXValue>(series[k].item);
        const std::string id(value->id());
        const double change = std::stod(later.at(id)) - std::stod(decoded.at(id));
        const double shown = legend->rows()[k].change.toDouble();
        EXPECT_NEAR(shown, change, std::pow(10.0, -value->digcount) * 1.01) << id;
        if (change > 0) {
            EXPECT_TRUE(legend->rows()[k].change.startsWith('+')) << id;
        }
    }
    // The overlay marks the second cursor at its time; Escape drops it.
    EXPECT_EQ(Input().overlay()->secondCursor(), Input().PixelAt(second));
    QTest::keyClick(Chart(), Qt::Key_Escape);
    EXPECT_FALSE(Review().secondCursor().has_value());
    EXPECT_TRUE(legend->rows()[0].change.isEmpty());
    EXPECT_FALSE(Input().overlay()->secondCursor().has_value());
}

TEST_F(ChartReviewTest, AnAddedSeriesTakesAColourNoOtherLineOfItsChartHas) {
    std::vector<ADXValue*> spare;
    for (const auto& object : definition_.objects()) {
        auto* value = definition::As<ADXValue>(object.get());
        bool shown = false;
        for (const auto& entry : page_.entry(0).monitor->series()) shown |= entry.item == value;
        if (value != nullptr && !shown) spare.push_back(value);
    }
    ASSERT_GE(spare.size(), 4u);
    // Adding two, dropping the first and adding another brings the count back to where the
    // second was added: its colour must not come round again.
    page_.AddValue(0, spare[0]);
    page_.AddValue(0, spare[1]);
    page_.RemoveValue(0, spare[0]);
    page_.AddValue(0, spare[2]);
    page_.AddValue(0, spare[3]);
    std::set<QRgb> colours;
    const controls::MMDataChart* chart = Chart();
    for (size_t s = 0; s < chart->SeriesCount(); ++s) {
        colours.insert(chart->GetSeries(s)->lineColor().rgb());
    }
    EXPECT_EQ(colours.size(), chart->SeriesCount());
}

TEST(ItemNumbers, WrittenByTheValuesOutputTypeAndDigits) {
    ADXValue value;
    value.outputtype = 3;
    value.digcount = 2;
    EXPECT_EQ(pages::FormatItemNumber(value, 12.345678), "12.35");
    EXPECT_EQ(pages::FormatItemNumber(value, NAN), "----");
    EXPECT_EQ(pages::FormatItemChange(value, 1.5), "+1.50");
    EXPECT_EQ(pages::FormatItemChange(value, -1.5), "-1.50");
    value.outputtype = 1;
    value.digcount = 3;
    EXPECT_EQ(pages::FormatItemNumber(value, -7.9), "-007");
    value.outputtype = 0;
    value.digcount = 2;
    EXPECT_EQ(pages::FormatItemNumber(value, 10), "0A");
    EXPECT_EQ(pages::FormatCursorTime(65.25), "1:05.25");
    EXPECT_EQ(pages::FormatCursorTime(3725.5), "62:05.50");
}

// ---- In the window ------------------------------------------------------------------------

class ChartReviewWindowTest : public WindowTest {
  protected:
    void ConfigureWindow(shell::MainWindow& w) override {
        w.choose_file = [this](const QString&, const QString&, const QString& ext, bool) {
            return dir_ + "export." + ext.toStdString();
        };
    }
    /// The window with the demo definition and a paused 60-second demo log on the Monitors page.
    shell::MainWindow& Paused() {
        log_ = WriteDemoLog(dir_ + "drive.xdl", 601);
        app_.settings.loadlastdef = 0;
        app_.settings.lastxdlpath = log_;
        shell::MainWindow& w = Window();
        w.resize(1000, 700);
        w.show();
        EXPECT_TRUE(w.LoadDefinition(kDemo));
        app_.session.set_last_xdl_path(log_);
        w.tabs()->Select(w.tabs()->IndexOf("Monitors"));
        w.Play();
        EXPECT_TRUE(WaitUntil([&] { return app_.datalog.recordsread() > 3; }, 20000));
        w.Pause();
        EXPECT_TRUE(WaitUntil([&] { return !app_.datalog.player_running(); }, 10000));
        return w;
    }
    std::string log_;
};

TEST_F(ChartReviewWindowTest, AClickOnAChartMovesTheLogToTheRecordAtTheCursor) {
    shell::MainWindow& w = Paused();
    pages::MonitorPage* page = w.monitorPage();
    page->review()->SetView({0, 40});
    controls::ChartInput* input = page->review()->input(0);
    controls::MMDataChart* chart = page->entry(0).chart;
    const int y = chart->plotRect().top + 10;
    for (const double at : {31.04, 7.5, 12.0}) {
        QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(input->PixelAt(at), y));
        const double t = page->review()->cursor();
        // Records lie 100 ms apart from 0: those up to the cursor have been read.
        const auto expected = static_cast<uint32_t>(std::floor(t * 10.0 + 1e-3)) + 1;
        EXPECT_EQ(app_.datalog.recordsread(), expected) << at;
        EXPECT_EQ(w.logBar()->slider()->value(), static_cast<int>(expected)) << at;
        EXPECT_EQ(app_.datalog.currenttime(), (expected - 1) * kGapMs) << at;
    }
}

// A value that a lookup table maps to texts: its line holds 0, as its gauges show it, and the
// legend writes the text the item list shows at the cursor; a change between two texts means
// nothing, so none is written.
TEST_F(ChartReviewWindowTest, TheLegendWritesATextLookupAsTheItemListDoesWhileItsLineHoldsZero) {
    shell::MainWindow& w = Paused();
    pages::MonitorPage* page = w.monitorPage();
    auto* gear = definition::As<ADXValue>(app_.definition.FindByID("gear"));
    ASSERT_NE(gear, nullptr);
    ASSERT_NE(gear->lookup, nullptr);
    page->AddValue(0, gear);
    const size_t row = page->entry(0).monitor->series().size() - 1;
    w.ShowWholeLog();
    ASSERT_TRUE(
        WaitUntil([&] { return page->entry(0).series[row]->points().size() >= 600; }, 20000));
    page->review()->SetView({0, 60});
    std::set<std::string> texts;
    for (int n = 0; n < 120; ++n) {
        const double t = n * 0.5 + 0.05;
        page->review()->ChooseCursor(t);
        const std::string expected =
            DecodeAt(log_, static_cast<uint32_t>(std::floor(t * 1000.0 + 1e-3))).at("gear");
        ASSERT_TRUE(WaitUntil(
            [&] {
                page->review()->Refresh();
                return page->review()->legend(0)->rows().at(row).value.toStdString() == expected;
            },
            10000))
            << "at " << t << ": " << page->review()->legend(0)->rows().at(row).value.toStdString()
            << " instead of " << expected;
        const std::optional<float> line = page->entry(0).series[row]->points().ValueAt(t);
        ASSERT_TRUE(line.has_value());
        EXPECT_EQ(*line, 0.0f) << "at " << t;
        texts.insert(expected);
    }
    EXPECT_GE(texts.size(), 3u);  // the log runs through the gears

    page->review()->SetSecondCursor(45.0);
    const auto& rows = page->review()->legend(0)->rows();
    EXPECT_TRUE(rows.at(row).change.isEmpty());
    EXPECT_FALSE(rows.at(0).change.isEmpty());  // the numbers beside it still say theirs
}

TEST_F(ChartReviewWindowTest, TheExportsReadBackAsThePageShowsThem) {
    shell::MainWindow& w = Paused();
    pages::MonitorPage* page = w.monitorPage();
    page->review()->SetView({12.0, 14.5});
    QCoreApplication::processEvents();

    // The visible range: the header and rows of korvit-cli export, the rows in the view.
    Find("Export Visible Range as CSV...")->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !w.exporting(); }, 60000));
    EXPECT_NE(lines_.Text().find("Exported 26 records to " + dir_ + "export.csv"),
              std::string::npos);
    const std::string csv = Slurp(dir_ + "export.csv");
    QProcess cli;
    cli.start(KORVIT_CLI_PATH, {"export", kDemo, QString::fromStdString(log_), "--csv",
                                QString::fromStdString(dir_ + "all.csv")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    std::istringstream all(Slurp(dir_ + "all.csv"));
    std::string line, expected;
    std::getline(all, line);
    expected = line + "\n";
    int rows = 0;
    while (std::getline(all, line)) {
        const double time = std::stod(line.substr(0, line.find(',')));
        if (time >= 12.0 && time <= 14.5) {
            expected += line + "\n";
            ++rows;
        }
    }
    EXPECT_EQ(rows, 26);
    EXPECT_EQ(csv, expected);

    // The chart image: the charts and their legends as the page draws them.
    Find("Export Chart Image...")->trigger();
    QImage image(QString::fromStdString(dir_ + "export.png"));
    ASSERT_FALSE(image.isNull());
    const QImage shown = page->chartArea()->widget()->grab().toImage();
    EXPECT_EQ(image.size(), shown.size());
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32),
              shown.convertToFormat(QImage::Format_RGB32));
}
