#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <tuple>

#include "definition/definition.h"
#include "evaluation/last_packet.h"

using namespace korvit::definition;
using korvit::evaluation::Packet;

namespace {

uint32_t Row(int32_t cell) {
    return static_cast<uint32_t>(cell) & 0xFFFF;
}
uint32_t Col(int32_t cell) {
    return static_cast<uint32_t>(cell) >> 16;
}

/// A grid of `rows` x `cols` with both axes over [0, 100].
void Shape(ADXHistogram& h, uint32_t rows, uint32_t cols) {
    h.SetXMin(0);
    h.SetXMax(100);
    h.SetYMin(0);
    h.SetYMax(100);
    h.SetRows(rows);
    h.SetCols(cols);
}

std::string StatText(const ADXHistogram& h, uint32_t code, uint32_t row = 0, uint32_t col = 0) {
    char buf[30] = "junk";
    h.GetStatistic(code, row, col, buf, sizeof buf);
    return buf;
}

}  // namespace

TEST(Histogram, BinsGoToTheNearestCentre) {
    ADXHistogram h;
    Shape(h, 1, 3);
    EXPECT_EQ(Col(h.AddBinnedSample(24.9f, 0, 1)), 0u);
    EXPECT_EQ(Col(h.AddBinnedSample(25, 0, 1)), 1u);  // a tie goes up
    EXPECT_EQ(Col(h.AddBinnedSample(-5, 0, 1)), 0u);
    EXPECT_EQ(Col(h.AddBinnedSample(180, 0, 1)), 2u);
    EXPECT_EQ(Row(h.AddBinnedSample(180, 77, 1)), 0u);  // one row: everything in row 0

    Shape(h, 5, 3);
    const int32_t cell = h.AddBinnedSample(100, 60, 1);
    EXPECT_EQ(cell, 2 * 65536 + 2);
    EXPECT_EQ(h.sample_count(), 6u);
}

TEST(Histogram, HistoryAndRunningStatistics) {
    ADXHistogram h;
    Shape(h, 2, 2);
    for (int i = 1; i <= 12; ++i) h.AddBinnedSample(0, 0, static_cast<float>(i));
    EXPECT_FLOAT_EQ(h.GetStatistic(kHistorySampleCount, 0, 0, nullptr, 0), 10);
    EXPECT_FLOAT_EQ(h.GetStatistic(kMostRecentSample, 0, 0, nullptr, 0), 12);
    EXPECT_FLOAT_EQ(h.GetStatistic(kHistoryAverage, 0, 0, nullptr, 0), 7.5f);
    EXPECT_FLOAT_EQ(h.GetStatistic(kRunningSampleCount, 0, 0, nullptr, 0), 12);
    EXPECT_FLOAT_EQ(h.GetStatistic(kRunningAverage, 0, 0, nullptr, 0), 6.5f);
    EXPECT_FLOAT_EQ(h.GetStatistic(kRunningMinimum, 0, 0, nullptr, 0), 1);
    EXPECT_FLOAT_EQ(h.GetStatistic(kRunningMaximum, 0, 0, nullptr, 0), 12);
    EXPECT_EQ(StatText(h, kRunningRange), "11");
    EXPECT_EQ(StatText(h, kHistoryAverage), "7.500");
    EXPECT_NEAR(h.GetStatistic(kHistoryStdDeviation, 0, 0, nullptr, 0), 3.02765f, 1e-4);
    EXPECT_EQ(h.HistoryCount(0, 0), 10u);
    EXPECT_FLOAT_EQ(h.HistorySample(0, 0, 9), 3);
    EXPECT_FLOAT_EQ(h.HistorySample(0, 0, 10), 0);

    h.SetHistorySize(3);
    EXPECT_EQ(h.HistoryCount(0, 0), 0u);
    for (float z : {5.f, 6.f, 7.f, 8.f}) h.AddBinnedSample(100, 0, z);
    EXPECT_FLOAT_EQ(h.HistorySample(0, 1, 0), 8);
    EXPECT_FLOAT_EQ(h.HistorySample(0, 1, 1), 7);
    EXPECT_FLOAT_EQ(h.HistorySample(0, 1, 2), 6);
    EXPECT_EQ(h.GetHistorySize(), 3u);
    h.SetHistorySize(0);
    EXPECT_EQ(h.GetHistorySize(), 3u);
}

TEST(Histogram, StatisticTextsAndSmallVariance) {
    ADXHistogram h;
    Shape(h, 1, 4);
    h.AddBinnedSample(0, 0, 2.5f);
    EXPECT_EQ(StatText(h, kMostRecentSample), "2.500");
    EXPECT_EQ(StatText(h, kHistoryStdDeviation), "0");
    EXPECT_EQ(StatText(h, kHistorySampleCount), "1");

    h.AddBinnedSample(34, 0, 1.0f);
    h.AddBinnedSample(34, 0, 1.05f);
    EXPECT_FLOAT_EQ(h.GetStatistic(kHistoryStdDeviation, 0, 1, nullptr, 0), 0);

    h.AddBinnedSample(67, 0, -3);
    h.AddBinnedSample(67, 0, -1);
    EXPECT_FLOAT_EQ(h.GetStatistic(kRunningMinimum, 0, 2, nullptr, 0), -3);
    EXPECT_FLOAT_EQ(h.GetStatistic(kRunningMaximum, 0, 2, nullptr, 0), -1);

    // An empty cell, unknown codes and cells outside the grid have no statistic.
    for (uint32_t code = 0; code <= 12; ++code) {
        EXPECT_EQ(StatText(h, code, 0, 3), "") << code;
        EXPECT_FLOAT_EQ(h.GetStatistic(code, 5, 5, nullptr, 0), 0) << code;
    }
    EXPECT_EQ(StatText(h, 5, 0, 0), "");
    EXPECT_STREQ(HistogramStatisticName(kRunningRange), "Running Range");
    EXPECT_EQ(HistogramStatisticName(5), nullptr);
}

TEST(Histogram, ClearResizeAndSamplesOutsideTheGrid) {
    ADXHistogram h;
    Shape(h, 2, 2);
    h.AddBinnedSample(0, 0, 1);
    h.ClearHistogram();
    EXPECT_EQ(h.sample_count(), 0u);
    EXPECT_EQ(StatText(h, kRunningSampleCount), "");

    h.AddBinnedSample(0, 0, 1);
    h.SetRows(3);  // resizing drops every sample
    EXPECT_EQ(StatText(h, kRunningSampleCount), "");
    // A zero count keeps the last grid and axis: three rows, the top one at y = 100.
    h.SetRows(0);
    EXPECT_EQ(Row(h.AddBinnedSample(0, 100, 7)), 2u);
    EXPECT_EQ(StatText(h, kMostRecentSample, 2, 0), "7");
    // Bounds set many times over (as a file may) leave the last table.
    for (int i = 0; i < 1000; ++i) h.SetXMin(static_cast<float>(i));
    h.SetXMin(0);
    EXPECT_EQ(Col(h.AddBinnedSample(49, 100, 1)), 0u);
    EXPECT_EQ(Col(h.AddBinnedSample(51, 100, 1)), 1u);
    EXPECT_EQ(StatText(h, kRunningSampleCount, 2, 0), "2");

    // Without columns there is no grid: the sample is ignored but counted.
    ADXHistogram empty;
    empty.SetRows(4);
    EXPECT_EQ(empty.AddBinnedSample(0, 0, 1), 0);
    EXPECT_EQ(empty.sample_count(), 1u);
    EXPECT_EQ(StatText(empty, kRunningSampleCount), "");

    // An absurd grid is refused instead of exhausting memory; samples are still counted.
    ADXHistogram huge;
    huge.SetRows(65535);
    huge.SetCols(65535);
    huge.AddBinnedSample(0, 0, 1);
    EXPECT_EQ(huge.sample_count(), 1u);
    EXPECT_EQ(huge.HistoryCount(0, 0), 0u);
}

TEST(Histogram, SamplesComeFromTheValuesUnderThePacketSelectionRule) {
    ADXDefinition def;
    auto make = [&def](const char* id, uint32_t offset, uint32_t command) {
        auto v = std::make_unique<ADXValue>();
        v->SetID(id);
        v->SetValueEquation("X");
        v->packetoffset = offset;
        v->parentcmdidhash = command;
        ADXValue* raw = v.get();
        def.Insert(std::move(v));
        return raw;
    };
    ADXValue* x = make("RPM", 0, 0x10);
    ADXValue* y = make("MAP", 1, 0);
    ADXValue* z = make("KNOCK", 2, 0x99);
    auto hist = std::make_unique<ADXHistogram>();
    ADXHistogram& h = *hist;
    def.Insert(std::move(hist));
    Shape(h, 3, 3);
    h.SetX(x);
    h.SetY(y);
    h.SetZ(z);

    const uint8_t old_z[] = {0, 0, 9};
    z->ExtractRaw(Packet{old_z, 3});
    const uint8_t reply[] = {100, 50, 77};
    EXPECT_EQ(h.AddHistogramSample(def, Packet::None(), 0x10), -1);
    const int32_t cell = h.AddHistogramSample(def, Packet{reply, 3}, 0x10);
    EXPECT_EQ(Col(cell), 2u);
    EXPECT_EQ(Row(cell), 1u);
    // z belongs to another command: it keeps its last raw number.
    EXPECT_FLOAT_EQ(h.GetStatistic(kMostRecentSample, 1, 2, nullptr, 0), 9);

    // A missing reference gives 0.0.
    ADXHistogram bare;
    Shape(bare, 2, 2);
    EXPECT_EQ(bare.AddHistogramSample(def, Packet{reply, 3}, 0x10), 0);
    EXPECT_FLOAT_EQ(bare.GetStatistic(kMostRecentSample, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(bare.HistoryCount(0, 0), 1u);
}

// A negative column count read from a file arrives as a huge unsigned count: it must neither
// hang building the axis table nor keep cells.
TEST(Histogram, AbsurdBinCountKeepsNoCellsAndReturnsPromptly) {
    ADXHistogram h;
    h.SetRows(2);
    h.SetXMin(0);
    h.SetXMax(100);
    h.SetCols(static_cast<uint32_t>(-8));
    h.AddBinnedSample(50, 0, 1);
    EXPECT_EQ(h.sample_count(), 1u);
    EXPECT_EQ(h.GetStatistic(7, 0, 0, nullptr, 0), 0.0f);
}

// A number that is not finite never reaches a cell; statistics too large for an int say so.
TEST(Histogram, NonFiniteSamplesAreDroppedAndHugeWholeNumbersAreNotWrapped) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ADXHistogram h;
    Shape(h, 1, 2);
    h.AddBinnedSample(0, 0, 4);
    for (const auto& [x, y, z] : {std::tuple{0.f, 0.f, nan},
                                  {0.f, 0.f, inf},
                                  {0.f, 0.f, -inf},
                                  {nan, 0.f, 1.f},
                                  {inf, 0.f, 1.f},
                                  {0.f, -inf, 1.f}}) {
        EXPECT_EQ(h.AddBinnedSample(x, y, z), -1) << x << " " << y << " " << z;
    }
    EXPECT_EQ(h.sample_count(), 1u);
    EXPECT_EQ(StatText(h, kRunningSampleCount), "1");
    EXPECT_EQ(StatText(h, kRunningMaximum), "4");
    EXPECT_EQ(StatText(h, kHistoryAverage), "4");
    EXPECT_EQ(StatText(h, 0, 0, 1), "");  // the non-finite x found no cell either

    // 2.5e38 and 3e9 are whole numbers beyond the int range; the int limits themselves fit.
    h.AddBinnedSample(100, 0, 2.5e38f);
    EXPECT_EQ(StatText(h, kMostRecentSample, 0, 1), ">2147483647");
    h.AddBinnedSample(100, 0, -3e9f);
    EXPECT_EQ(StatText(h, kMostRecentSample, 0, 1), "<-2147483648");
    EXPECT_EQ(StatText(h, kRunningMinimum, 0, 1), "<-2147483648");
    EXPECT_EQ(StatText(h, kRunningMaximum, 0, 1), ">2147483647");
    // The sum of squares overflows to +inf: the deviation is still not a wrapped number.
    EXPECT_EQ(StatText(h, kHistoryStdDeviation, 0, 1), ">2147483647");
    h.ClearHistogram();
    h.AddBinnedSample(100, 0, -2147483648.0f);
    EXPECT_EQ(StatText(h, kMostRecentSample, 0, 1), "-2147483648");
    h.AddBinnedSample(100, 0, 2147483520.0f);  // the largest float below 2^31
    EXPECT_EQ(StatText(h, kMostRecentSample, 0, 1), "2147483520");
    // Two huge samples of opposite sign: their range overflows to +inf.
    h.AddBinnedSample(100, 0, 3e38f);
    h.AddBinnedSample(100, 0, -3e38f);
    EXPECT_EQ(StatText(h, kRunningRange, 0, 1), ">2147483647");
}
