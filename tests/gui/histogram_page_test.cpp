#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/fed_cells.h"
#include "controls/chart3d.h"
#include "controls/mm_grid_control.h"
#include "controls/mm_tab_sheet.h"
#include "definition/definition.h"
#include "pages/histogram_page.h"
#include "shell/demo.h"
#include "shell/main_window.h"
#include "shell/view_bridge.h"

#include "wait_until.h"

using korvit::controls::Chart3D;
using korvit::controls::MMGridControl;
using korvit::pages::HistogramPage;
using namespace korvit::definition;

namespace {

ADXValue* AddValue(ADXDefinition& def, const char* id, const char* title) {
    auto value = std::make_unique<ADXValue>();
    value->SetID(id);
    value->SetTitle(title, std::strlen(title));
    value->SetValueEquation("X");
    ADXValue* raw = value.get();
    def.Insert(std::move(value));
    return raw;
}

/// Fuel over RPM (0, 50, 100) and Load (0, 12.5, 25) of Trim.
ADXHistogram* AddFuel(ADXDefinition& def) {
    auto h = std::make_unique<ADXHistogram>();
    h->SetID("fuel");
    h->SetTitle("Fuel", 4);
    h->SetX(AddValue(def, "rpm", "RPM"));
    h->SetY(AddValue(def, "load", "Load"));
    h->SetZ(AddValue(def, "trim", "Trim"));
    h->SetXMin(0);
    h->SetXMax(100);
    h->SetYMin(0);
    h->SetYMax(25);
    h->SetRows(3);
    h->SetCols(3);
    ADXHistogram* raw = h.get();
    def.Insert(std::move(h));
    return raw;
}

QStringList Texts(MMGridControl& grid) {
    QStringList texts;
    for (int r = 1; r <= grid.dataRowCount(); ++r) {
        for (int c = 1; c <= grid.dataColumnCount(); ++c) texts << grid.CellText(r, c);
    }
    return texts;
}

}  // namespace

TEST(HistogramPage, ShowsTitleLabelsLayoutAndTheViewChoices) {
    ADXDefinition def;
    ADXHistogram* fuel = AddFuel(def);
    korvit::app::FedCells fed;
    HistogramPage page(def, fed);
    page.resize(600, 400);
    QStringList views;
    for (int i = 0; i < page.viewList()->count(); ++i) views << page.viewList()->itemText(i);
    EXPECT_EQ(views, QStringList({"Most Recent Sample", "History Average", "History Std Deviation",
                                  "History Sample Count", "Running Average", "Running Sample Count",
                                  "Running Minimum", "Running Maximum", "Running Range"}));
    MMGridControl& grid = *page.grid();
    EXPECT_EQ(grid.style(), 0x129100u);
    EXPECT_EQ(grid.dataRowCount(), 1);

    page.FillHistogramChoices();
    EXPECT_EQ(page.current(), fuel);
    EXPECT_EQ(page.histogramList()->currentText(), "Fuel");
    EXPECT_EQ(grid.title(), "Fuel - RPM vs Load vs Trim");
    EXPECT_EQ(page.chart()->title(), "Fuel - RPM vs Load vs Trim");
    EXPECT_EQ(grid.dataRowCount(), 3);
    EXPECT_EQ(grid.dataColumnCount(), 3);
    EXPECT_EQ(grid.CellText(0, 1), "0");
    EXPECT_EQ(grid.CellText(0, 2), "50");
    EXPECT_EQ(grid.CellText(0, 3), "100");
    EXPECT_EQ(grid.CellText(2, 0), "12.500");
    EXPECT_EQ(grid.ColumnWidth(2), 55);
    EXPECT_EQ(grid.RowHeight(3), 20);
    EXPECT_EQ(Texts(grid), QStringList(9, ""));  // no samples yet

    Chart3D& chart = *page.chart();
    EXPECT_EQ(chart.style() & 0x84207u, 0x84200u);
    EXPECT_EQ(chart.colorRangeMode(), 0);
    Chart3D::Label label;
    ASSERT_TRUE(chart.GetLabel(Chart3D::kY, 1, label));
    EXPECT_EQ(label.text, "12.500");
    EXPECT_FLOAT_EQ(label.value, 12.5f);
    float high = 0;
    chart.GetRange(Chart3D::kX, nullptr, &high);
    EXPECT_EQ(high, 100.0f);

    page.ShowGraph(true);
    EXPECT_TRUE(page.graphBox()->isChecked());
    EXPECT_TRUE(chart.isVisibleTo(&page));
    EXPECT_FALSE(grid.isVisibleTo(&page));
}

TEST(HistogramPage, ViewSwitchRebuildsEveryCellAndClearEmptiesThem) {
    ADXDefinition def;
    ADXHistogram* fuel = AddFuel(def);
    korvit::app::FedCells fed;
    HistogramPage page(def, fed);
    page.FillHistogramChoices();
    for (float z : {1.0f, 2.0f, 6.0f}) fuel->AddBinnedSample(0, 0, z);
    fuel->AddBinnedSample(100, 25, 7.25f);

    ASSERT_TRUE(page.SelectStatistic(kRunningAverage));
    EXPECT_EQ(Texts(*page.grid()), QStringList({"3", "", "", "", "", "", "", "", "7.250"}));
    Chart3D::Point point;
    ASSERT_TRUE(page.chart()->GetPoint(2, 2, point));
    EXPECT_FLOAT_EQ(point.value, 7.25f);
    EXPECT_FLOAT_EQ(point.x, 100.0f);
    EXPECT_FLOAT_EQ(point.y, 25.0f);

    ASSERT_TRUE(page.SelectStatistic(kRunningSampleCount));
    EXPECT_EQ(page.statistic(), kRunningSampleCount);
    EXPECT_EQ(Texts(*page.grid()), QStringList({"3", "", "", "", "", "", "", "", "1"}));
    ASSERT_TRUE(page.SelectStatistic(kRunningRange));
    EXPECT_EQ(page.grid()->CellText(1, 1), "5");
    EXPECT_FALSE(page.SelectStatistic(5));

    page.clearButton()->click();
    EXPECT_EQ(Texts(*page.grid()), QStringList(9, ""));
    EXPECT_EQ(fuel->sample_count(), 0u);
}

// Samples arrive on a worker thread through the view bridge; the page changes exactly the cell
// that received one, marks it, and moves its 3D point. Every sample shows, however they batch.
TEST(HistogramPage, FedSampleUpdatesExactlyOneCellAndMarksIt) {
    ADXDefinition def;
    ADXHistogram* fuel = AddFuel(def);
    ADXHistogram* other = AddFuel(def);
    korvit::app::FedCells fed;
    HistogramPage page(def, fed);
    // The window's frames: each refresh draws the cells fed since the last one.
    korvit::shell::ViewBridge bridge;
    QObject::connect(&bridge, &korvit::shell::ViewBridge::frame, &page,
                     [&](uint32_t changes) { page.Refresh(changes); });
    const auto feed = [&](ADXHistogram* histogram, int32_t cell) {
        fed.Add(histogram, cell);
        bridge.HistogramFed(histogram, cell);
    };
    page.FillHistogramChoices();
    page.SelectStatistic(kRunningSampleCount);
    fuel->AddBinnedSample(0, 0, 1);
    page.RefreshHistogramView();
    const QStringList before = Texts(*page.grid());

    std::thread worker([&] {
        feed(fuel, fuel->AddBinnedSample(50, 25, 4));
        feed(other, other->AddBinnedSample(0, 0, 9));  // not shown
    });
    worker.join();
    ASSERT_TRUE(WaitUntil([&] { return Texts(*page.grid()) != before; }, 2000));
    QStringList after = Texts(*page.grid());
    int changed = 0;
    for (int i = 0; i < after.size(); ++i) changed += after[i] != before[i];
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(page.grid()->CellText(3, 2), "1");  // row 2 (25), column 1 (50)
    EXPECT_TRUE(page.grid()->IsMarked(3, 2));
    EXPECT_FALSE(page.grid()->IsMarked(1, 1));
    Chart3D::Point point;
    ASSERT_TRUE(page.chart()->GetPoint(2, 1, point));
    EXPECT_FLOAT_EQ(point.value, 1.0f);

    std::thread burst([&] {
        for (int i = 0; i < 500; ++i) {
            feed(fuel, fuel->AddBinnedSample(static_cast<float>(i % 3) * 50, 0, 1));
        }
    });
    burst.join();
    ASSERT_TRUE(WaitUntil([&] { return page.grid()->CellText(1, 3) == "166"; }, 2000))
        << page.grid()->CellText(1, 3).toStdString();
    EXPECT_EQ(page.grid()->CellText(1, 1), "168");
    EXPECT_EQ(page.grid()->CellText(1, 2), "167");
    // The newest sample's cell is the one marked, however the burst was batched.
    EXPECT_TRUE(page.grid()->IsMarked(1, 2));
    EXPECT_FALSE(page.grid()->IsMarked(1, 3));

    // More cells than the bridge keeps one by one: the page rebuilds, and still shows them all.
    std::thread flood([&] {
        for (int i = 0; i < 6000; ++i) feed(fuel, fuel->AddBinnedSample(0, 0, 1));
    });
    flood.join();
    ASSERT_TRUE(WaitUntil([&] { return page.grid()->CellText(1, 1) == "6168"; }, 2000))
        << page.grid()->CellText(1, 1).toStdString();
}

TEST(HistogramPage, WithoutHistogramsTheGridIsEmptyAndUntitled) {
    ADXDefinition def;
    AddFuel(def);
    korvit::app::FedCells fed;
    HistogramPage page(def, fed);
    page.FillHistogramChoices();
    ASSERT_EQ(page.grid()->dataRowCount(), 3);
    def.Reset();
    AddValue(def, "rpm", "RPM");
    page.FillHistogramChoices();
    EXPECT_EQ(page.current(), nullptr);
    EXPECT_EQ(page.histogramList()->count(), 0);
    EXPECT_EQ(page.grid()->dataRowCount(), 0);
    EXPECT_EQ(page.grid()->dataColumnCount(), 0);
    EXPECT_EQ(page.grid()->title(), "");
    page.resize(400, 300);
    page.grab();  // paints without a histogram
}

// The window against the simulator: the demo's histogram fills from the scan, the last reply's
// cell is marked, and after the scan every sample is in the grid's counts.
TEST(HistogramPage, DemoScanFillsTheHistogramThroughTheWindow) {
    char pattern[] = "/tmp/korvit-hist-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    korvit::shell::Application app;
    app.settings_path = dir + "Settings.dat";
    {
        korvit::shell::MainWindow window(app);
        auto* page = window.findChild<HistogramPage*>();
        ASSERT_NE(page, nullptr);
        korvit::shell::Demo demo(app, window);
        ASSERT_TRUE(demo.Start(KORVIT_ECUSIM_PATH, KORVIT_SOURCE_DIR "/samples/demo.adx"));
        ASSERT_TRUE(WaitUntil([&] { return page->current() != nullptr; }, 10000));
        ADXHistogram* shown = page->current();
        page->SelectStatistic(kRunningSampleCount);
        ASSERT_TRUE(WaitUntil([&] { return shown->sample_count() >= 8; }, 15000));
        window.ToggleScan();
        ASSERT_TRUE(app.engine.WaitIdle(std::chrono::seconds(5)));
        // The page was not shown during the scan: shown now, it draws everything at once.
        window.tabs()->Select(window.tabs()->IndexOf("Histograms"));
        MMGridControl& grid = *page->grid();
        // Every sample the histogram took is counted in the grid once the queue is drained.
        int total = 0;
        ASSERT_TRUE(WaitUntil(
            [&] {
                total = 0;
                for (const QString& text : Texts(grid)) total += text.toInt();
                return total == static_cast<int>(shown->sample_count());
            },
            5000))
            << total << " of " << shown->sample_count();
        int marked = 0;
        for (int r = 1; r <= grid.dataRowCount(); ++r) {
            for (int c = 1; c <= grid.dataColumnCount(); ++c) {
                if (!grid.IsMarked(r, c)) continue;
                ++marked;
                EXPECT_NE(grid.CellText(r, c), "");
            }
        }
        EXPECT_EQ(marked, 1);
    }
    std::filesystem::remove_all(dir);
}
