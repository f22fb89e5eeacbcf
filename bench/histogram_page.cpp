// The Histograms page: the cost of one reply with a 32 x 32 histogram shown (sample, the one
// cell's text, mark and 3D point, and the repaint of that cell), a 3D chart frame of a 64 x 64
// surface while the view turns, and a full rebuild of a 32 x 32 view.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <memory>
#include <random>

#include "app/fed_cells.h"
#include "controls/chart3d.h"
#include "controls/mm_grid_control.h"
#include "definition/definition.h"
#include "gui_bench.h"
#include "pages/histogram_page.h"

using korvit::controls::Chart3D;
using korvit::definition::ADXDefinition;
using korvit::definition::ADXHistogram;
using korvit::pages::HistogramPage;

namespace {

ADXHistogram* AddHistogram(ADXDefinition& def, uint32_t size) {
    auto h = std::make_unique<ADXHistogram>();
    h->SetID("bench");
    h->SetTitle("Bench", 5);
    h->SetXMin(500);
    h->SetXMax(6500);
    h->SetYMin(20);
    h->SetYMax(100);
    h->SetRows(size);
    h->SetCols(size);
    ADXHistogram* raw = h.get();
    def.Insert(std::move(h));
    return raw;
}

void FillSamples(ADXHistogram& h, int count) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> x(500, 6500), y(20, 100), z(-10, 10);
    for (int i = 0; i < count; ++i) h.AddBinnedSample(x(random), y(random), z(random));
}

void BM_FeedHistogramsPerReply(benchmark::State& state) {
    ADXDefinition def;
    ADXHistogram* h = AddHistogram(def, 32);
    FillSamples(*h, 20000);
    korvit::app::FedCells fed;
    HistogramPage page(def, fed);
    page.resize(1000, 800);
    page.show();
    page.FillHistogramChoices();
    page.SelectStatistic(korvit::definition::kRunningAverage);
    QApplication::processEvents();
    std::mt19937 random(11);
    std::uniform_real_distribution<float> x(500, 6500), y(20, 100), z(-10, 10);
    for (auto _ : state) {
        const int32_t cell = h->AddBinnedSample(x(random), y(random), z(random));
        page.ShowFedCell(h, cell);
        // Arg 1: also paint the changed cell and the one it unmarked.
        if (state.range(0) != 0) QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FeedHistogramsPerReply)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Chart3DTurningFrame64(benchmark::State& state) {
    Chart3D chart;
    chart.resize(800, 600);
    chart.AddStyle(0x84200, false);
    chart.RemoveStyle(0x7, false);
    chart.SetColorRangeMode(0);
    chart.SetCubeSize(255);
    const int n = 64;
    chart.SetSize(n, n);
    const float low = 0;
    const float high = n - 1;
    chart.SetRange(Chart3D::kX, &low, &high);
    chart.SetRange(Chart3D::kY, &low, &high);
    std::vector<Chart3D::Point> points;
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const float v =
                std::sin(static_cast<float>(r) / 8) * std::cos(static_cast<float>(c) / 6);
            points.push_back({static_cast<float>(c), static_cast<float>(r), v, 0});
        }
    }
    chart.SetPoints(points);
    QImage frame(chart.size(), QImage::Format_ARGB32_Premultiplied);
    float turn = 0.7f;
    for (auto _ : state) {
        turn += 0.01f;
        chart.SetTurn(-0.5f, turn);
        QPainter painter(&frame);
        chart.render(&painter);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Chart3DTurningFrame64)->Unit(benchmark::kMillisecond);

void BM_RefreshHistogramView32(benchmark::State& state) {
    ADXDefinition def;
    ADXHistogram* h = AddHistogram(def, 32);
    FillSamples(*h, 20000);
    korvit::app::FedCells fed;
    HistogramPage page(def, fed);
    page.resize(1000, 800);
    page.show();
    page.FillHistogramChoices();
    QApplication::processEvents();
    for (auto _ : state) {
        page.RefreshHistogramView();
        QApplication::processEvents();  // the grid's repaint
    }
}
BENCHMARK(BM_RefreshHistogramView32)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return korvit::bench::RunGuiBenchmarks(argc, argv);
}
