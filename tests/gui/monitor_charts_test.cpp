#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <thread>

#include "app/chart_feed.h"
#include "controls/mm_data_chart.h"
#include "controls/mm_tab_sheet.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "definition/adx_monitor.h"
#include "definition/adx_value.h"
#include "pages/monitor_page.h"
#include "shell/demo.h"
#include "shell/main_window.h"
#include "shell/output_page.h"
#include "shell/view_bridge.h"

#include "wait_until.h"

using namespace korvit::controls;
using korvit::datalog::DataLogState;
using korvit::definition::ADXDefinition;
using korvit::definition::ADXMonitor;
using korvit::definition::ADXValue;
using korvit::evaluation::Packet;
using korvit::pages::MonitorPage;

namespace {

struct Step {
    float step;
    int decimals;
};

Step Ticks(float lo, float hi, int length, bool vertical) {
    Step s{};
    DataChartAxis::TickStep(lo, hi, length, vertical, &s.step, &s.decimals);
    return s;
}

/// A chart with the monitor page's time axis and one value series on a 0..100 axis.
struct TimeChart {
    MMDataChart chart;
    DataChartAxis* time;
    DataChartAxis* value;
    DataChartSeries* series;

    TimeChart() {
        chart.resize(400, 200);
        time = chart.NewAxis();
        time->SetPosition(DataChartAxis::kBottom);
        time->SetDataRange(0, 20);
        time->SetViewRange(0, 20);
        time->SetLabelCallback(&TimeLabel);
        time->SetFlags(0x70);
        value = chart.NewAxis();
        value->SetDataRange(0, 100);
        value->SetViewRange(0, 100);
        series = chart.NewSeries();
        series->SetXAxis(time);
        series->SetYAxis(value);
        series->SetLineColor(QColor(0, 0, 255));
        chart.Recalc();
    }
};

class MonitorPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_EQ(definition_.Load(KORVIT_SOURCE_DIR "/samples/demo.adx", error), 1) << error;
        page_.resize(800, 600);
        page_.Rebuild();
    }
    const korvit::pages::MonitorChart& Chart() { return page_.entry(0); }
    ADXMonitor& Monitor() { return *Chart().monitor; }
    ADXValue* Value(const char* id) {
        return korvit::definition::As<ADXValue>(definition_.FindByID(id));
    }
    void SampleAt(float t) {
        feed_.Feed(t, Packet::None(), Value("rpm")->parentcmdidhash);
        page_.Refresh(korvit::pages::kChartsChanged);
        QCoreApplication::processEvents();
    }

    ADXDefinition definition_;
    korvit::app::ChartFeed feed_;
    MonitorPage page_{definition_, feed_};
};

}  // namespace

TEST(DataChart, TickStepsFollowOneTwoFive) {
    EXPECT_EQ(Ticks(0, 20, 994, false).step, 1.0f);  // 28 ticks: raw 0.71 rounds up to 1
    EXPECT_EQ(Ticks(0, 20, 994, false).decimals, 0);
    EXPECT_EQ(Ticks(0, 255, 200, true).step, 50.0f);
    EXPECT_EQ(Ticks(0, 1, 100, true).step, 0.2f);
    EXPECT_EQ(Ticks(0, 1, 100, true).decimals, 1);
    EXPECT_EQ(Ticks(0, 3, 100, true).step, 1.0f);  // raw 0.6: past 5p, so 10p, one decimal less
    EXPECT_EQ(Ticks(0, 3, 100, true).decimals, 0);
    EXPECT_EQ(Ticks(0, 0.5f, 10, true).step, 0.5f);  // short axis: one tick at least
    EXPECT_EQ(Ticks(0, 0.5f, 10, true).decimals, 1);
    EXPECT_EQ(Ticks(5, 5, 100, true).step, 0.0f);  // an empty view has no ticks

    MMDataChart chart;
    DataChartAxis* axis = chart.NewAxis();
    axis->SetFlags(32);
    axis->SetLabelCallback(&TimeLabel);
    EXPECT_EQ(axis->Label(0), "0:00");
    EXPECT_EQ(axis->Label(20), "0:20");
    EXPECT_EQ(axis->Label(-5), "-0:05");
    EXPECT_EQ(axis->Label(3661), "1:01");
    axis->SetFlags(0);
    EXPECT_EQ(axis->Label(12.5f), "12");  // decimals 0 until ticks are computed
}

TEST(DataChart, MessagesRefuseWhatTheyMust) {
    MMDataChart chart;
    DataChartAxis* x = chart.NewAxis();
    x->SetPosition(DataChartAxis::kBottom);
    DataChartAxis* y = chart.NewAxis();
    DataChartSeries* s = chart.NewSeries();
    EXPECT_FALSE(s->SetXAxis(y));  // wrong orientation
    EXPECT_FALSE(s->SetYAxis(x));
    EXPECT_TRUE(s->SetXAxis(x));
    EXPECT_TRUE(s->SetYAxis(y));
    EXPECT_EQ(chart.GetSeries(1), nullptr);
    EXPECT_EQ(chart.GetAxis(2), nullptr);
    EXPECT_EQ(chart.DeleteAxis(1), 0);  // in use
    EXPECT_EQ(chart.AxisCount(), 2u);
    EXPECT_EQ(chart.DeleteAxis(7), 1);  // out of range
    EXPECT_EQ(chart.DeleteAllAxes(), 1);
    EXPECT_EQ(chart.SeriesCount(), 0u);
    EXPECT_EQ(chart.AxisCount(), 0u);

    chart.SetTitle(QString(149, 'a'));
    EXPECT_EQ(chart.title().size(), 149);
    chart.SetTitle(QString(150, 'a'));
    EXPECT_TRUE(chart.title().isEmpty());

    DataChartAxis* a = chart.NewAxis();
    EXPECT_EQ(a->viewRange().max, 255.0f);
    EXPECT_EQ(a->margin(), 15);
    EXPECT_EQ(a->titleFont().family(), "Arial");
    EXPECT_TRUE(a->titleRotated());
    a->SetPosition(DataChartAxis::kTop);
    EXPECT_FALSE(a->titleRotated());
}

TEST(DataChart, AutoScrollKeepsTheNewestSampleInViewWithItsMargin) {
    TimeChart c;
    c.series->AppendPoint(21.0f, 50.0f);
    EXPECT_EQ(c.time->viewRange().min, 4.0f);
    EXPECT_EQ(c.time->viewRange().max, 24.0f);
    EXPECT_EQ(c.time->dataRange().min, 0.0f);
    EXPECT_EQ(c.time->dataRange().max, 24.0f);
    c.series->AppendPoint(-5.0f, 50.0f);  // below: the view moves down with the margin
    EXPECT_EQ(c.time->viewRange().min, -8.0f);
    EXPECT_EQ(c.time->dataRange().min, -8.0f);
    EXPECT_EQ(c.time->dataRange().max, 24.0f);
    c.series->AppendPoint(50.0f, 500.0f);  // the value axis has no auto-scroll
    EXPECT_EQ(c.value->viewRange().max, 100.0f);
}

TEST(DataChart, VisibleSpanMovesTheTimeViewAndTellsListeners) {
    TimeChart c;
    c.time->SetFlags(0x60);
    std::vector<std::pair<double, double>> told;
    QObject::connect(&c.chart, &MMDataChart::visibleSpanChanged,
                     [&](double b, double e) { told.emplace_back(b, e); });
    // Without points the full span is the time axis' data range.
    EXPECT_EQ(c.chart.FullSpan(), (MMDataChart::TimeSpan{0.0, 20.0}));
    for (int i = 0; i <= 100; ++i) c.series->AppendPoint(10.0f + i * 0.5f, static_cast<float>(i));
    EXPECT_EQ(c.chart.FullSpan(), (MMDataChart::TimeSpan{10.0, 60.0}));
    c.chart.SetVisibleSpan(30.0, 45.0);
    EXPECT_EQ(c.chart.VisibleSpan(), (MMDataChart::TimeSpan{30.0, 45.0}));
    EXPECT_EQ(c.time->viewRange().min, 30.0f);
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back(), std::make_pair(30.0, 45.0));
    // The tick labels follow the new view.
    EXPECT_GE(c.time->firstTick(), 30.0f);
    // Too narrow or turned round: at least a second around the middle.
    c.chart.SetVisibleSpan(40.2, 40.0);
    EXPECT_DOUBLE_EQ(c.chart.VisibleSpan().width(), MMDataChart::kMinSpan);
    EXPECT_NEAR(c.chart.VisibleSpan().begin, 39.6, 1e-5);
    const size_t before = told.size();
    c.chart.SetVisibleSpan(39.6, 40.6);  // the same span again tells nobody
    EXPECT_EQ(told.size(), before);
    // The value at a time is the record at or before it.
    EXPECT_EQ(c.chart.ValueAt(0, 10.0), 0.0f);
    EXPECT_EQ(c.chart.ValueAt(0, 12.9), 5.0f);
    EXPECT_FALSE(c.chart.ValueAt(0, 9.0).has_value());
    EXPECT_FALSE(c.chart.ValueAt(1, 12.0).has_value());
}

// A paint that only moves the cursor reuses the drawn lines; any change of a line, its look
// or the view draws them anew.
TEST(DataChart, RepaintsRedrawTheLinesWhenAnythingOfThemChanges) {
    TimeChart c;
    c.time->SetFlags(0x60);
    const auto count = [&](QColor colour) {
        const QImage& frame = c.chart.Frame();
        int n = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) n += frame.pixelColor(x, y) == colour;
        return n;
    };
    const QColor blue(0, 0, 255), red(255, 0, 0);
    c.series->AppendPoint(1.0f, 10.0f);
    c.series->AppendPoint(5.0f, 10.0f);
    const int short_line = count(blue);
    ASSERT_GT(short_line, 0);
    c.time->SetCursor(3.0f);
    EXPECT_EQ(count(blue), short_line - 1);  // the cursor inverts one pixel of the line
    c.series->AppendPoint(15.0f, 10.0f);
    EXPECT_GT(count(blue), short_line);
    c.series->points().Replace({{1.0f, 90.0f}, {15.0f, 90.0f}});  // same size, new values
    const int moved = count(blue);
    EXPECT_GT(moved, 0);
    c.value->SetViewRange(0.0f, 50.0f);  // the line leaves the view
    EXPECT_EQ(count(blue), 0);
    c.value->SetViewRange(0.0f, 100.0f);
    c.series->SetLineColor(red);
    EXPECT_EQ(count(blue), 0);
    EXPECT_GT(count(red), 0);
    c.chart.SetVisibleSpan(20.0, 40.0);  // the time view moves past the line
    EXPECT_EQ(count(red), 0);
}

// At most one point per pixel column: the searched drawing is pixel for pixel the plain one,
// also after a seek back in time and with the first point far left of the view.
TEST(DataChart, SearchedDrawingMatchesThePlainDrawingPixelForPixel) {
    TimeChart c;
    c.time->SetFlags(0x60);  // no auto-scroll: the test sets the view
    for (int i = 0; i < 600; ++i) c.series->AppendPoint(i * 0.1f, 50 + 40 * std::sin(i * 0.3f));
    for (int i = 0; i < 300; ++i)
        c.series->AppendPoint(20 + i * 0.1f, 30 + 20 * std::cos(i * 0.2f));
    for (float start : {0.0f, 18.0f, 35.0f, 45.0f}) {
        c.time->SetViewRange(start, start + 20);
        c.time->SetCursor(start + 5);
        c.chart.Recalc();
        const QImage fast = c.chart.Frame();
        EXPECT_EQ(fast, c.chart.FrameEveryPoint()) << "view from " << start;
    }
    // The line really is there: some plot pixels carry its colour.
    const QImage frame = c.chart.Frame();
    int blue = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) blue += frame.pixelColor(x, y) == QColor(0, 0, 255);
    }
    EXPECT_GT(blue, 100);
}

TEST(DataChart, OneSpikeInAMillionPointsShows) {
    TimeChart c;
    c.time->SetFlags(0);
    c.time->SetViewRange(0, 1000);
    const int n = 1000000;
    for (int i = 0; i < n; ++i) {
        c.series->AppendPoint(i * 0.001f, i == 400000 ? 95.0f : 10.0f + (i % 7));
    }
    c.chart.Recalc();
    const QImage image = c.chart.Frame();
    const ChartRect plot = c.chart.plotRect();
    korvit::app::PlotMapping m;
    m.x_min = 0;
    m.x_max = 1000;
    m.y_min = 0;
    m.y_max = 100;
    m.left = plot.left;
    m.right = plot.right;
    m.top = plot.top;
    m.bottom = plot.bottom;
    const int column = m.X(400000 * 0.001f);
    EXPECT_EQ(image.pixelColor(column, m.Y(95.0f)), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(column, m.Y(60.0f)), QColor(0, 0, 255));  // its flank
    EXPECT_EQ(image.pixelColor(m.X(200.0f), m.Y(60.0f)), QColor(240, 240, 240));
    EXPECT_EQ(image, c.chart.FrameEveryPoint());
}

TEST_F(MonitorPageTest, RebuildMakesOneChartPerMonitorWithAlternatingAxes) {
    page_.resize(1000, 600);  // room for every axis beside the legend
    page_.Rebuild();
    ASSERT_EQ(page_.chartCount(), 1u);
    MMDataChart* chart = Chart().chart;
    EXPECT_EQ(chart->controlId(), 9000);
    EXPECT_EQ(chart->title(), "Engine trace");
    EXPECT_EQ(chart->geometry(), QRect(0, 0, 800, 600));  // the legend takes the rest
    ASSERT_EQ(chart->AxisCount(), 7u);
    ASSERT_EQ(chart->SeriesCount(), 6u);
    DataChartAxis* time = chart->GetAxis(0);
    EXPECT_EQ(time->title(), "Time (M:S)");
    EXPECT_EQ(time->flags(), 0x70u);
    EXPECT_EQ(time->viewRange().max, 20.0f);
    const int sides[] = {0, 1, 0, 1, 0, 1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(chart->GetAxis(i + 1)->position(), sides[i]);
    // The first axis of a side sits nearest the plot; the next one further out.
    EXPECT_EQ(chart->GetAxis(1)->offset(), 0);
    EXPECT_EQ(chart->GetAxis(3)->offset(), chart->GetAxis(1)->thickness());
    EXPECT_EQ(chart->GetAxis(4)->offset(), chart->GetAxis(2)->thickness());
    EXPECT_EQ(chart->GetAxis(1)->title(), QString::fromLatin1(Value("rpm")->units().c_str()));
    EXPECT_EQ(chart->GetSeries(0)->lineWidth(), 2);
    EXPECT_EQ(chart->GetSeries(0)->lineColor(), QColor(255, 0, 0));  // 0x0000FF: red lowest
    EXPECT_EQ(chart->GetAxis(1)->axisColor(), QColor(255, 0, 0));
    chart->Frame();  // the plot rectangle is the last render's: render at this size
    EXPECT_EQ(chart->plotRect().left, 3 + chart->GetAxis(1)->thickness() +
                                          chart->GetAxis(3)->thickness() +
                                          chart->GetAxis(5)->thickness());

    ADXDefinition empty;
    korvit::app::ChartFeed nothing;
    MonitorPage none(empty, nothing);
    none.Rebuild();
    nothing.Feed(30.0f, Packet::None(), 0);
    none.Refresh(korvit::pages::kEverythingChanged);
    QCoreApplication::processEvents();
    EXPECT_EQ(none.chartCount(), 0u);
    EXPECT_FALSE(none.scrollBarShown());
}

TEST_F(MonitorPageTest, AValueOfNoCommandSamplesThePacketOrElseItsLastRawNumber) {
    const ADXMonitor& monitor = Monitor();
    auto* value = korvit::definition::As<ADXValue>(monitor.series()[0].item);
    ASSERT_NE(value, nullptr);
    value->parentcmdidhash = 0;
    value->SetValueEquation("X");
    value->sizeinbits = 8;
    value->packetoffset = 0;
    const std::vector<uint8_t> reply(16, 40);
    const std::vector<uint8_t> earlier(16, 70);
    // A reply of any command: the value takes the packet.
    feed_.Feed(1.0f, Packet{reply.data(), reply.size()}, 0x12345678u);
    // A trigger brings no packet: the value reads its last raw number (here set by another read).
    value->ComputeValue(definition_, Packet{earlier.data(), earlier.size()});
    feed_.Feed(2.0f, Packet::None(), 0x12345678u);
    page_.Refresh(korvit::pages::kChartsChanged);
    const korvit::app::ChartPoints& points = Chart().series[0]->points();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points.at(0).x, 1.0f);
    EXPECT_EQ(points.at(0).y, 40.0f);
    EXPECT_EQ(points.at(1).x, 2.0f);
    EXPECT_EQ(points.at(1).y, 70.0f);
    // The other series belong to a command that did not reply.
    EXPECT_EQ(Chart().series[1]->points().size(), 0u);
}

TEST_F(MonitorPageTest, RightClickMenuListsEveryValueAndTogglesSeries) {
    QStringList texts;
    QList<bool> checked;
    QString pick = "Oxygen sensor";
    page_.run_menu = [&](QMenu& menu, const QPoint&) -> QAction* {
        texts.clear();
        checked.clear();
        QAction* chosen = nullptr;
        for (QAction* a : menu.actions()) {
            texts << a->text();
            checked << a->isChecked();
            if (a->text() == pick) chosen = a;
        }
        return chosen;
    };
    // A right click on the chart (control id 9000) opens the menu of chart 0.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(10, 10));
    QCoreApplication::sendEvent(Chart().chart, &click);
    ASSERT_EQ(texts.size(), 40);
    EXPECT_EQ(texts.front(), "PROM ID");
    EXPECT_EQ(checked.count(true), 6);
    EXPECT_TRUE(checked[texts.indexOf("Engine speed")]);

    // A checked value goes: its series, its axis and its monitor entry.
    MMDataChart* chart = Chart().chart;
    EXPECT_EQ(Monitor().count(), 5u);
    EXPECT_EQ(chart->SeriesCount(), 5u);
    EXPECT_EQ(chart->AxisCount(), 6u);
    EXPECT_TRUE(page_.modified());
    for (size_t i = 0; i < Monitor().count(); ++i)
        EXPECT_NE(Monitor().series()[i].item, Value("o2"));

    // An unchecked one comes in the palette colour of the monitor's series count (5: orange).
    pick = "Battery voltage";
    page_.ShowSeriesMenu(0, QPoint(10, 10));
    ASSERT_EQ(Monitor().count(), 6u);
    EXPECT_EQ(Monitor().series()[5].item, Value("battery"));
    EXPECT_EQ(Monitor().series()[5].linecolor, 0x0080FFu);
    ASSERT_EQ(chart->SeriesCount(), 6u);
    EXPECT_EQ(chart->GetSeries(5)->lineColor(), QColor(255, 128, 0));
    EXPECT_EQ(chart->GetSeries(5)->yAxis()->position(), DataChartAxis::kRight);

    // Each entry keeps its own line: samples of the battery go to the new series only.
    SampleAt(1.0f);
    EXPECT_EQ(Chart().series[5], chart->GetSeries(5));
    EXPECT_EQ(chart->GetSeries(5)->points().size(), 1u);

    page_.run_menu = [](QMenu&, const QPoint&) -> QAction* { return nullptr; };
    page_.ShowSeriesMenu(0, QPoint(10, 10));  // dismissed: nothing changes
    EXPECT_EQ(Monitor().count(), 6u);

    // The pages were rebuilt while the menu was open: the choice no longer applies.
    page_.run_menu = [this](QMenu& menu, const QPoint&) -> QAction* {
        page_.Rebuild();
        return menu.actions().front();
    };
    page_.ShowSeriesMenu(0, QPoint(10, 10));
    EXPECT_EQ(Monitor().count(), 6u);
    EXPECT_EQ(Chart().chart->SeriesCount(), 6u);
}

TEST_F(MonitorPageTest, ScrollBarShowsHistoryAndDraggingPausesFollowing) {
    for (int t = 0; t <= 20; ++t) SampleAt(static_cast<float>(t));
    EXPECT_FALSE(page_.scrollBarShown());
    SampleAt(21.0f);
    ASSERT_TRUE(page_.scrollBarShown());
    const MonitorPage::ScrollInfo info = page_.scrollInfo();
    EXPECT_EQ(info.max, 24 * 1000 - 20);
    EXPECT_EQ(info.page, 20000);
    EXPECT_EQ(info.pos, 4000);
    // The bar's own figures: its last position is where the page ends at the range's end.
    EXPECT_EQ(page_.scrollBar()->pageStep(), 20000);
    EXPECT_EQ(page_.scrollBar()->maximum(), 23980 - 20000 + 1);
    EXPECT_EQ(page_.scrollBar()->value(), page_.scrollBar()->maximum());
    EXPECT_EQ(Chart().chart->height(), 600 - page_.scrollBar()->height());
    const DataChartAxis* time = Chart().time_axis;
    EXPECT_EQ(time->cursor(), 21.0f);

    // Page clicks leave the view where it is; dragging back shows older data and holds the
    // view while samples arrive.
    QScrollBar* bar = page_.scrollBar();
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(time->viewRange().min, 4.0f);
    bar->setSliderDown(true);
    bar->setSliderPosition(1500);
    EXPECT_EQ(time->viewRange().min, 1.5f);
    SampleAt(23.0f);
    SampleAt(25.0f);
    EXPECT_EQ(time->viewRange().min, 1.5f);
    // Releasing lets the next sample bring the newest data back.
    bar->setSliderDown(false);
    SampleAt(26.0f);
    EXPECT_EQ(time->viewRange().max, 29.0f);  // 26 plus the 15 % margin

    // Reset empties the lines and restarts the time axis at 0 with the same width.
    feed_.Reset();
    page_.Refresh(korvit::pages::kChartsChanged);
    QCoreApplication::processEvents();
    EXPECT_EQ(Chart().chart->GetSeries(0)->points().size(), 0u);
    EXPECT_EQ(time->viewRange().min, 0.0f);
    EXPECT_EQ(time->viewRange().max, 20.0f);
    EXPECT_EQ(time->dataRange().max, 20.0f);
    EXPECT_FALSE(page_.scrollBarShown());
}

// The demo scan through the window draws live samples; playing the recording of it starts the
// charts again from 0 and the player's position moves the cursor.
TEST(MonitorsInTheWindow, DemoScanDrawsTheChartsAndPlaybackMovesTheCursor) {
    korvit::shell::Application app;
    char pattern[] = "/tmp/korvit-charts-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    app.settings_path = dir + "/Settings.dat";
    {
        korvit::shell::MainWindow w(app);
        const std::string recording = dir + "/run.xdl";
        w.choose_file = [&](const QString&, const QString&, const QString&, bool) {
            return recording;
        };
        korvit::shell::Demo demo(app, w);
        ASSERT_TRUE(demo.Start(KORVIT_ECUSIM_PATH, KORVIT_SOURCE_DIR "/samples/demo.adx"));
        auto* page = w.findChild<MonitorPage*>();
        ASSERT_NE(page, nullptr);
        w.tabs()->Select(w.tabs()->IndexOf("Monitors"));
        ASSERT_TRUE(WaitUntil([&] { return page->chartCount() == 1; }, 10000));
        DataChartSeries* rpm = page->entry(0).chart->GetSeries(0);
        const DataChartAxis* time = page->entry(0).time_axis;
        ASSERT_TRUE(WaitUntil([&] { return rpm->points().size() >= 3; }, 10000));
        w.StartRecording();
        ASSERT_TRUE(WaitUntil([&] { return app.datalog.header().recordcount >= 8; }, 10000));
        w.Stop();
        w.ToggleScan();
        ASSERT_TRUE(app.engine.WaitIdle(std::chrono::seconds(5)));
        const size_t scanned = rpm->points().size();
        EXPECT_GE(scanned, 8u);
        EXPECT_GT(time->cursor(), 0.5f);

        w.Play();

        ASSERT_TRUE(WaitUntil([&] { return !w.opening(); }, 10000));
        ASSERT_TRUE(WaitUntil([&] { return rpm->points().size() < scanned; }, 5000))
            << static_cast<int>(app.datalog.state()) << " " << rpm->points().size() << " "
            << scanned << " " << w.outputPage()->toPlainText().toStdString();
        ASSERT_TRUE(WaitUntil([&] { return time->cursor() > 0.2f; }, 10000));
        EXPECT_LT(time->cursor(), 20.0f);
        ASSERT_TRUE(WaitUntil([&] { return app.datalog.state() != DataLogState::Playing; }, 15000));
        // The page takes the last records at the next frame.
        EXPECT_TRUE(WaitUntil([&] { return rpm->points().size() >= 8u; }, 5000))
            << rpm->points().size();
    }
    std::filesystem::remove_all(dir);
}

// A value that is not finite leaves a gap in the line, never a point at the bottom or a spike;
// the searched drawing and the plain one agree, and the axis does not chase the bad value.
TEST(DataChart, NonFiniteValuesBreakTheLine) {
    TimeChart c;
    c.time->SetFlags(0x60);
    c.value->SetFlags(DataChartAxis::kAutoScroll);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int i = 0; i <= 200; ++i) {
        const float t = i * 0.1f;
        const bool gap = (i >= 50 && i < 60) || (i >= 120 && i < 125);
        c.series->AppendPoint(t, gap ? (i < 100 ? nan : (i % 2 ? inf : -inf)) : 50.0f);
    }
    c.chart.Recalc();
    const QImage image = c.chart.Frame();
    EXPECT_EQ(image, c.chart.FrameEveryPoint());
    const auto view = c.value->viewRange();
    EXPECT_EQ(view.min, 0.0f);
    EXPECT_EQ(view.max, 100.0f);
    const ChartRect plot = c.chart.plotRect();
    korvit::app::PlotMapping m;
    m.x_min = 0;
    m.x_max = 20;
    m.y_min = 0;
    m.y_max = 100;
    m.left = plot.left;
    m.right = plot.right;
    m.top = plot.top;
    m.bottom = plot.bottom;
    const QColor blue(0, 0, 255);
    const auto blue_in_column = [&](float t) {
        int n = 0;
        for (int y = plot.top + 1; y < plot.bottom - 1; ++y)
            n += image.pixelColor(m.X(t), y) == blue;
        return n;
    };
    EXPECT_GT(blue_in_column(2.0f), 0);
    EXPECT_EQ(image.pixelColor(m.X(2.0f), m.Y(50.0f)), blue);
    for (const float t : {5.2f, 5.5f, 12.2f}) EXPECT_EQ(blue_in_column(t), 0) << t;
    EXPECT_EQ(image.pixelColor(m.X(8.0f), m.Y(50.0f)), blue);
}

// Ten value axes on a narrow chart: the plot keeps half the width, the outer axes are hidden
// with a marker, and the time labels still run left to right.
TEST(DataChart, ManyAxesLeaveTheMinimumPlotWidth) {
    TimeChart c;
    c.chart.resize(500, 200);
    for (int i = 0; i < 9; ++i) {
        DataChartAxis* axis = c.chart.NewAxis();
        axis->SetPosition(i % 2 ? DataChartAxis::kLeft : DataChartAxis::kRight);
        axis->SetTitle(QString("Axis %1").arg(i));
        axis->SetDataRange(-100000, 100000);
        axis->SetViewRange(-100000, 100000);
    }
    c.chart.Recalc();
    const ChartRect plot = c.chart.plotRect();
    EXPECT_GE(plot.width(), 250);
    EXPECT_GT(c.chart.hiddenAxisCount(), 0);
    EXPECT_FALSE(c.value->hidden());  // the innermost axis stays
    // The "+N" marker is drawn in grey on the fuller side's outer edge.
    const QImage image = c.chart.Frame();
    int grey = 0;
    for (int y = plot.top; y < plot.top + 20; ++y) {
        for (int x = 0; x < 20; ++x) grey += qGray(image.pixel(x, y)) < 200;
        for (int x = 480; x < 500; ++x) grey += qGray(image.pixel(x, y)) < 200;
    }
    EXPECT_GT(grey, 5);

    // With room enough, every axis shows again.
    c.chart.resize(2400, 200);
    c.chart.Recalc();
    EXPECT_EQ(c.chart.hiddenAxisCount(), 0);
}

TEST_F(MonitorPageTest, ManyMonitorsScrollInsteadOfShrinkingTheCharts) {
    for (int i = 0; i < 60; ++i) {
        auto monitor = std::make_unique<ADXMonitor>();
        monitor->SetID(("extra" + std::to_string(i)).c_str());
        definition_.Insert(std::move(monitor));
    }
    page_.Rebuild();
    page_.show();
    ASSERT_GT(page_.chartCount(), 60u);
    for (size_t i = 0; i < page_.chartCount(); ++i) {
        EXPECT_EQ(page_.entry(i).chart->height(), MonitorPage::kMinChartHeight) << i;
    }
    QScrollBar* bar = page_.chartArea()->verticalScrollBar();
    ASSERT_TRUE(WaitUntil([&] { return bar->maximum() > 0 && bar->isVisible(); }, 2000));
    EXPECT_LE(page_.entry(0).chart->width() + bar->width(), 800);

    // Few monitors share the page's height without scrolling.
    ADXDefinition three;
    for (const char* id : {"a", "b", "c"}) {
        auto monitor = std::make_unique<ADXMonitor>();
        monitor->SetID(id);
        three.Insert(std::move(monitor));
    }
    korvit::app::ChartFeed three_feed;
    MonitorPage few(three, three_feed);
    few.resize(800, 600);
    few.Rebuild();
    few.show();
    ASSERT_EQ(few.chartCount(), 3u);
    EXPECT_EQ(few.entry(2).chart->geometry(), QRect(0, 400, 600, 200));
    EXPECT_EQ(few.chartArea()->verticalScrollBar()->maximum(), 0);
}

// Replies through the engine's reply path on another thread. While the Monitors page is hidden
// it takes nothing (the points wait in the core); shown, it holds the point of every reply at
// once, and while shown it keeps up with replies that arrive as it draws.
TEST(MonitorsInTheWindow, EveryReplyReachesTheChartsAndAHiddenPageIsCurrentWhenShown) {
    korvit::shell::Application app;
    app.settings_path.clear();
    app.settings.loadlastdef = 0;
    korvit::shell::MainWindow w(app);
    w.show();
    ASSERT_TRUE(w.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"));
    MonitorPage* page = w.monitorPage();
    ASSERT_GE(page->chartCount(), 1u);
    DataChartSeries* series = page->entry(0).series[0];
    ASSERT_NE(series, nullptr);
    auto* value = korvit::definition::As<ADXValue>(page->entry(0).monitor->series()[0].item);
    auto* command = korvit::definition::As<korvit::definition::ADXCSendCommand>(
        app.definition.FindByHash(value->parentcmdidhash));
    ASSERT_NE(command, nullptr);

    // Every reply differs; what its point must read is computed apart, on a copy.
    ADXDefinition copy;
    std::string error;
    ASSERT_EQ(copy.Load(KORVIT_SOURCE_DIR "/samples/demo.adx", error), 1) << error;
    auto* twin = korvit::definition::As<ADXValue>(copy.FindByHash(value->idhash()));
    ASSERT_NE(twin, nullptr);
    std::vector<float> expected;
    const auto reply_bytes = [](int i) {
        std::vector<uint8_t> bytes(300);
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(i * 7 + k * 13);
        return bytes;
    };
    const auto replies = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const std::vector<uint8_t> bytes = reply_bytes(i);
            const Packet packet{bytes.data() + command->packetoffset, command->packetsize};
            expected.push_back(static_cast<float>(twin->ComputeValue(copy, packet)));
        }
        return std::thread([&, from, to] {
            for (int i = from; i < to; ++i) {
                const std::vector<uint8_t> bytes = reply_bytes(i);
                korvit::acquisition::DataAcqEvent event;
                event.object = command;
                event.objectidhash = command->idhash();
                app.engine.callback().OnSendCommandEnd(event, bytes.data(),
                                                       static_cast<uint32_t>(bytes.size()));
            }
        });
    };
    const auto ys = [&] {
        std::vector<float> out;
        for (size_t i = 0; i < series->points().size(); ++i)
            out.push_back(series->points().at(i).y);
        return out;
    };

    w.tabs()->Select(w.tabs()->IndexOf("Dash"));
    std::thread hidden = replies(0, 3000);
    hidden.join();
    // The window draws its frames meanwhile; the hidden page takes no part.
    const uint64_t frames = w.views()->frames();
    w.views()->Mark(korvit::pages::kChartsChanged);
    ASSERT_TRUE(WaitUntil([&] { return w.views()->frames() > frames; }, 5000));
    EXPECT_EQ(series->points().size(), 0u);

    w.tabs()->Select(w.tabs()->IndexOf("Monitors"));
    EXPECT_EQ(ys(), expected);

    // Shown, the page takes replies as they come, frame by frame, and loses none.
    std::thread shown = replies(3000, 8000);
    ASSERT_TRUE(WaitUntil([&] { return series->points().size() >= 8000; }, 30000))
        << series->points().size();
    shown.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(ys(), expected);
    for (size_t i = 1; i < series->points().size(); ++i) {
        ASSERT_LE(series->points().at(i - 1).x, series->points().at(i).x) << i;
    }
}
