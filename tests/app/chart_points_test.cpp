#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>
#include <random>
#include <string>

#include "app/chart_points.h"

using korvit::app::ChartPoints;
using korvit::app::PixelPoint;
using korvit::app::PlotMapping;

namespace {

PlotMapping View(float x_min, float x_max, int width = 1000, int height = 300) {
    PlotMapping m;
    m.x_min = x_min;
    m.x_max = x_max;
    m.y_min = 0.0f;
    m.y_max = 100.0f;
    m.left = 10;
    m.top = 5;
    m.right = 10 + width;
    m.bottom = 5 + height;
    return m;
}

std::vector<PixelPoint> Fast(const ChartPoints& p, const PlotMapping& m) {
    std::vector<PixelPoint> out;
    p.Trace(m, out);
    return out;
}

std::vector<PixelPoint> Plain(const ChartPoints& p, const PlotMapping& m) {
    std::vector<PixelPoint> out;
    p.TraceEveryPoint(m, out);
    return out;
}

/// Per pixel column: the lowest and highest pixel of every vertical stretch the polyline
/// draws in it, and where the line enters and leaves the column.
struct ColumnSpan {
    int low = INT32_MAX, high = INT32_MIN;
};
std::map<int, ColumnSpan> Columns(const std::vector<PixelPoint>& line) {
    std::map<int, ColumnSpan> columns;
    for (const PixelPoint& p : line) {
        ColumnSpan& c = columns[p.x];
        c.low = std::min(c.low, p.y);
        c.high = std::max(c.high, p.y);
    }
    return columns;
}

std::string Time(float t) {
    char buf[30];
    korvit::app::FormatChartTime(t, buf, sizeof buf);
    return buf;
}

}  // namespace

// With at most one point per pixel column the searched and reduced walk is the plain walk:
// the line from the first point, the points skipped left of the view, the stop right of it,
// and after a seek back in time the walk over the older times again.
TEST(ChartPoints, SearchedWalkDrawsThePlainPolyline) {
    ChartPoints points;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> y(0.0f, 100.0f);
    for (int i = 0; i < 4000; ++i) points.Append(i * 0.05f, y(rng));          // 0 .. 200 s
    for (int i = 0; i < 1000; ++i) points.Append(60.0f + i * 0.05f, y(rng));  // seek back to 60 s
    for (int i = 0; i < 600; ++i) points.Append(10.0f + i * 0.05f, y(rng));   // and back to 10 s

    for (const auto& [lo, hi] : std::vector<std::pair<float, float>>{
             {0, 20}, {15, 35}, {59.9f, 79.9f}, {100, 120}, {190, 210}, {300, 320}, {-20, 0}}) {
        const PlotMapping m = View(lo, hi);
        const auto plain = Plain(points, m);
        EXPECT_EQ(Fast(points, m), plain) << "view " << lo << ".." << hi;
    }
    // Seeks back inside the view: every run is walked again, each from its own start.
    ChartPoints seeks;
    for (int i = 0; i < 200; ++i) seeks.Append(i * 0.05f, y(rng));         // 0 .. 10 s
    for (int i = 0; i < 200; ++i) seeks.Append(5.0f + i * 0.05f, y(rng));  // 5 .. 15 s
    for (int i = 0; i < 400; ++i) seeks.Append(2.0f + i * 0.05f, y(rng));  // 2 .. 22 s
    for (const auto& [lo, hi] : std::vector<std::pair<float, float>>{{0, 20}, {3, 12}, {12, 30}}) {
        const auto plain = Plain(seeks, View(lo, hi, 300));
        EXPECT_EQ(Fast(seeks, View(lo, hi, 300)), plain) << "view " << lo << ".." << hi;
    }
    EXPECT_GT(Plain(seeks, View(0, 20, 300)).size(), 700u);

    // The walk always starts at the very first point, even far left of the view.
    const auto late = Fast(points, View(100, 120));
    ASSERT_GE(late.size(), 2u);
    EXPECT_EQ(late.front(), (PixelPoint{View(100, 120).X(0.0f), View(100, 120).Y(points.at(0).y)}));
}

// Crowded columns keep each column's lowest and highest pixel and the way in and out, so a
// single spike among a million points still shows, whether a column holds a thousand points,
// ten thousand (whole summary blocks) or a gap.
TEST(ChartPoints, CrowdedColumnsKeepEveryExtremeAndTheSpike) {
    ChartPoints points;
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(50.0f, 5.0f);
    const size_t n = 1000000;
    for (size_t i = 0; i < n; ++i) {
        float y = i == 654321 ? 99.0f : noise(rng);
        if (i == 300000) y = NAN;
        if (i == 812345) y = 2.0f;
        points.Append(static_cast<float>(i) * 0.001f, y);
    }
    for (const int width : {1000, 100, 7}) {
        const PlotMapping m = View(0.0f, 1000.0f, width);
        const auto plain = Plain(points, m);
        const auto fast = Fast(points, m);
        EXPECT_LT(fast.size(), 5u * width + 10u);
        EXPECT_EQ(fast.front(), plain.front());
        EXPECT_EQ(fast.back(), plain.back());
        EXPECT_EQ(std::count(fast.begin(), fast.end(), korvit::app::kLineBreak), 1);
        const auto a = Columns(plain);
        const auto b = Columns(fast);
        ASSERT_EQ(a.size(), b.size());
        for (const auto& [x, span] : a) {
            ASSERT_TRUE(b.count(x));
            EXPECT_EQ(b.at(x).low, span.low) << "column " << x << " of " << width;
            EXPECT_EQ(b.at(x).high, span.high) << "column " << x << " of " << width;
        }
        const PixelPoint spike{m.X(654.321f), m.Y(99.0f)};
        EXPECT_NE(std::find(fast.begin(), fast.end(), spike), fast.end()) << width;
        const PixelPoint dip{m.X(812.345f), m.Y(2.0f)};
        EXPECT_NE(std::find(fast.begin(), fast.end(), dip), fast.end()) << width;
    }
}

// A crowded column keeps its extremes in the order they came, so the line goes up then down
// where the values did, and down then up where they did that.
TEST(ChartPoints, CrowdedColumnsKeepTheOrderOfTheirExtremes) {
    ChartPoints points;
    // 100 s over 100 pixels: ten points a column, fewer than a block of the envelope.
    const PlotMapping m = View(0.0f, 100.0f, 100);
    for (int column = 0; column < 20; ++column) {
        const bool peak_first = column % 2 == 0;
        for (int j = 0; j < 10; ++j) {
            float y = 50.0f;
            if (j == 2) y = peak_first ? 90.0f : 10.0f;
            if (j == 6) y = peak_first ? 10.0f : 90.0f;
            points.Append(static_cast<float>(column) + 0.05f + 0.1f * static_cast<float>(j), y);
        }
    }
    const auto line = Fast(points, m);
    ASSERT_EQ(line.size(), 20u * 4u);
    for (int column = 0; column < 20; ++column) {
        const int x = m.X(static_cast<float>(column) + 0.5f);
        const bool peak_first = column % 2 == 0;
        const std::vector<PixelPoint> expected = {{x, m.Y(50.0f)},
                                                  {x, m.Y(peak_first ? 90.0f : 10.0f)},
                                                  {x, m.Y(peak_first ? 10.0f : 90.0f)},
                                                  {x, m.Y(50.0f)}};
        EXPECT_EQ(std::vector<PixelPoint>(line.begin() + column * 4, line.begin() + column * 4 + 4),
                  expected)
            << "column " << column;
    }
}

TEST(ChartPoints, StorageIsChunkedCompactAndClearable) {
    ChartPoints points;
    EXPECT_EQ(points.extent().min_x, FLT_MAX);
    EXPECT_EQ(points.extent().max_x, FLT_MIN);
    std::vector<PixelPoint> line;
    points.Append(1.0f, 2.0f);
    points.Trace(View(0, 20), line);
    EXPECT_TRUE(line.empty());  // one point draws nothing

    for (size_t i = 1; i < 1200; ++i) points.Append(i * 0.05f, 0.0f);  // one minute
    EXPECT_LE(points.MemoryBytes(), 1200u * sizeof(korvit::app::ChartPoint) * 2);
    const size_t n = 720000;  // ten hours at 20 samples a second
    for (size_t i = 1200; i < n; ++i) {
        points.Append(i * 0.05f, static_cast<float>(i % 1000) - 500);
    }
    ASSERT_EQ(points.size(), n);
    EXPECT_EQ(points.at(ChartPoints::kChunkSize).x, ChartPoints::kChunkSize * 0.05f);
    EXPECT_EQ(points.at(n - 1).y, static_cast<float>((n - 1) % 1000) - 500);
    EXPECT_EQ(points.extent().min_y, -500.0f);
    EXPECT_EQ(points.extent().max_y, 499.0f);
    EXPECT_LE(static_cast<double>(points.MemoryBytes()) / n, 9.0);

    points.Clear();
    EXPECT_EQ(points.size(), 0u);
    EXPECT_EQ(points.extent().max_y, FLT_MIN);
    points.Append(5.0f, 6.0f);
    EXPECT_EQ(points.at(0).x, 5.0f);
}

TEST(ChartPoints, TimeLabelsShowMinutesAndSeconds) {
    EXPECT_EQ(Time(0.0f), "0:00");
    EXPECT_EQ(Time(20.0f), "0:20");
    EXPECT_EQ(Time(59.9f), "0:59");
    EXPECT_EQ(Time(-5.0f), "-0:05");
    EXPECT_EQ(Time(3661.0f), "1:01");  // hours dropped
    char small[4];
    EXPECT_EQ(korvit::app::FormatChartTime(754.0f, small, sizeof small), 3);
    EXPECT_STREQ(small, "12:");
}

// A worker appends while the GUI traces, as during a scan: every trace is a consistent walk
// (x never decreases in one run of time) and nothing appended is lost.
// Played records go in by time: replayed ones are dropped, skipped ones filled in where they
// belong, across chunk boundaries, and the reduced trace still keeps every column's extremes.
TEST(ChartPoints, InsertKeepsTimeOrderAndEachTimeOnce) {
    const size_t n = 2 * ChartPoints::kChunkSize + 1000;
    // A slow wave with noise: blocks of points differ in their lowest and highest value.
    const auto y_of = [](size_t i) {
        const uint32_t noise = static_cast<uint32_t>(i) * 2654435761u >> 24;
        return 50.0f + 40.0f * std::sin(static_cast<float>(i) * 0.001f) +
               static_cast<float>(noise % 10);
    };
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(11));
    ChartPoints points;
    size_t added = 0;
    for (size_t k = 0; k < n; ++k) {
        added += points.Insert(static_cast<float>(order[k]) * 0.01f, y_of(order[k]));
        // Every tenth record is played again (a seek back over it).
        if (k % 10 == 0) {
            EXPECT_FALSE(points.Insert(static_cast<float>(order[k]) * 0.01f, -5.0f));
        }
    }
    EXPECT_EQ(added, n);
    ASSERT_EQ(points.size(), n);
    for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(points.at(i).x, static_cast<float>(i) * 0.01f) << i;
        ASSERT_EQ(points.at(i).y, y_of(i)) << i;
    }
    float low = y_of(0), high = y_of(0);
    for (size_t i = 1; i < n; ++i) low = std::min(low, y_of(i)), high = std::max(high, y_of(i));
    EXPECT_EQ(points.extent().min_y, low);
    EXPECT_EQ(points.extent().max_y, high);
    // Narrow enough that whole blocks fall on one column and are drawn from their envelope.
    const PlotMapping m = View(0.0f, n * 0.01f, 100);
    const auto plain = Columns(Plain(points, m));
    const auto fast = Columns(Fast(points, m));
    ASSERT_EQ(plain.size(), fast.size());
    for (const auto& [x, span] : plain) {
        EXPECT_EQ(fast.at(x).low, span.low) << "column " << x;
        EXPECT_EQ(fast.at(x).high, span.high) << "column " << x;
    }
}

TEST(ChartPoints, ReplaceShowsAWholeLineAtOnce) {
    ChartPoints points;
    points.Append(50.0f, 1.0f);
    points.Append(10.0f, 2.0f);  // a seek back in a live line
    points.Replace({{0.0f, 3.0f}, {1.0f, 4.0f}, {2.0f, 5.0f}});
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points.at(2).y, 5.0f);
    EXPECT_EQ(points.extent().max_x, 2.0f);
    EXPECT_EQ(points.extent().min_y, 3.0f);
    // The old line's turn back in time is gone: an earlier time is filled in, not appended.
    EXPECT_TRUE(points.Insert(0.5f, 9.0f));
    EXPECT_EQ(points.at(1).x, 0.5f);
    EXPECT_EQ(points.at(3).x, 2.0f);
}

// The value at a time is the last point at or before it, across chunk edges; after a seek back
// in a live line the replayed run counts for the times it covers.
TEST(ChartPoints, ValueAtIsTheLastPointAtOrBeforeTheTime) {
    ChartPoints points;
    EXPECT_FALSE(points.ValueAt(1.0f).has_value());
    const size_t n = ChartPoints::kChunkSize + 10;
    for (size_t i = 0; i < n; ++i) points.Append(static_cast<float>(i), static_cast<float>(i % 97));
    EXPECT_FALSE(points.ValueAt(-0.5f).has_value());
    EXPECT_EQ(points.ValueAt(0.0f), 0.0f);
    EXPECT_EQ(points.ValueAt(5.5f), 5.0f);
    const float edge = static_cast<float>(ChartPoints::kChunkSize);
    EXPECT_EQ(points.ValueAt(edge), static_cast<float>(ChartPoints::kChunkSize % 97));
    EXPECT_EQ(points.ValueAt(edge - 0.5f), static_cast<float>((ChartPoints::kChunkSize - 1) % 97));
    EXPECT_EQ(points.ValueAt(1e9f), static_cast<float>((n - 1) % 97));
    points.Append(3.0f, 500.0f);  // a seek back to 3 s, then one new record
    points.Append(4.0f, 600.0f);
    EXPECT_EQ(points.ValueAt(3.5f), 500.0f);
    EXPECT_EQ(points.ValueAt(100.0f), 600.0f);
    EXPECT_EQ(points.ValueAt(2.0f), 2.0f);  // before the new run: the older one
}

// A line filled elsewhere swaps in whole: points, extent and searches move with it, and the
// version changes so that a drawing of the old line is not reused.
TEST(ChartPoints, SwapExchangesWholeLines) {
    ChartPoints shown, filled;
    shown.Append(5.0f, 1.0f);
    shown.Append(2.0f, 2.0f);  // a turn back in time
    for (size_t i = 0; i < ChartPoints::kChunkSize + 3; ++i) {
        filled.Append(static_cast<float>(i), static_cast<float>(i % 7));
    }
    const uint64_t before = shown.version();
    shown.Swap(filled);
    EXPECT_GT(shown.version(), before);
    ASSERT_EQ(shown.size(), ChartPoints::kChunkSize + 3);
    EXPECT_EQ(shown.extent().max_x, static_cast<float>(ChartPoints::kChunkSize + 2));
    EXPECT_EQ(shown.ValueAt(100.5f), static_cast<float>(100 % 7));
    EXPECT_EQ(shown.Points().size(), shown.size());
    EXPECT_EQ(shown.Points().back().x, static_cast<float>(ChartPoints::kChunkSize + 2));
    ASSERT_EQ(filled.size(), 2u);
    EXPECT_EQ(filled.ValueAt(3.0f), 2.0f);  // its own run after the turn back
    EXPECT_EQ(filled.extent().min_x, 2.0f);
}
