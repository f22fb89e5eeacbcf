#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace korvit::app {

/// One sample of a chart line, as stored: two 32-bit floats.
struct ChartPoint {
    float x = 0.0f;
    float y = 0.0f;
};

/// A point in the plot's pixels.
struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};

/// Marks a break in a traced line: a point whose value is not finite leaves a gap.
inline constexpr PixelPoint kLineBreak{INT32_MIN, INT32_MIN};

/// Maps view coordinates to pixels the chart's way: the fraction of the view times the plot
/// size, truncated toward zero. The plot's right and bottom edges are exclusive.
struct PlotMapping {
    float x_min = 0.0f, x_max = 1.0f;
    float y_min = 0.0f, y_max = 1.0f;
    int left = 0, top = 0, right = 1, bottom = 1;

    int X(float v) const { return Pixel(Fraction(v, x_min, x_max) * (right - left)) + left; }
    int Y(float v) const { return Pixel(Fraction(v, y_min, y_max) * (top - bottom)) + bottom; }

  private:
    static double Fraction(float v, float lo, float hi) {
        const double span = static_cast<double>(hi) - lo;
        return span != 0.0 ? (static_cast<double>(v) - lo) / span : 0.0;
    }
    /// Truncates toward zero into a range the painter handles; not-a-number reads as the bottom.
    static int Pixel(double v) {
        constexpr double kLimit = 1 << 30;
        if (!(v > -kLimit)) return -(1 << 30);
        if (v > kLimit) return 1 << 30;
        return static_cast<int>(v);
    }
};

/// The smallest and largest coordinates a line has seen since it was last emptied (y only where
/// finite). They start at the largest float and the smallest positive float.
struct ChartExtent {
    float min_x, max_x, min_y, max_y;
};

/// The points of one chart line, in arrival order and without limit. Points live in chunks of
/// at most kChunkSize, so appending never moves the history: only the first chunk grows by
/// doubling (a short line stays small), later ones are allocated whole. Tracing costs what the
/// view shows, not what the history holds. Not synchronised: one thread at a time (the GUI
/// thread draws; a line filled on a worker is handed over whole).
class ChartPoints {
  public:
    static constexpr size_t kChunkBits = 14;
    static constexpr size_t kChunkSize = size_t{1} << kChunkBits;
    /// A pixel column with more points than this is drawn as first, lowest, highest and last.
    static constexpr size_t kFewPerColumn = 4;
    /// Points per block of the envelope, and per block of its summary: a crowded pixel column
    /// is drawn from the lowest and highest values of the blocks it holds whole, so the walk
    /// costs what the view's columns need, not what they hold.
    static constexpr size_t kBlockBits = 6;
    static constexpr size_t kBlockSize = size_t{1} << kBlockBits;
    static constexpr size_t kSummaryBits = 12;
    static constexpr size_t kSummarySize = size_t{1} << kSummaryBits;

    ChartPoints();
    ChartPoints(const ChartPoints&) = delete;
    ChartPoints& operator=(const ChartPoints&) = delete;

    void Append(float x, float y);
    /// Adds a played record's point in time order, once: a point at a time the line already
    /// holds is dropped (false), one before the end goes in its place. Replaying records after
    /// a seek back thus neither duplicates points nor draws a line back. A line whose points
    /// already went back in time (Append after a seek) takes the point at its end.
    bool Insert(float x, float y);
    /// Drops every point and restarts the extent.
    void Clear();
    /// Clears the line and appends `points` in their order, under one lock: a line filled from
    /// a whole log elsewhere replaces what was shown at once.
    void Replace(const std::vector<ChartPoint>& points);
    /// Exchanges the points of two lines at once: a line filled on a worker takes the place of
    /// the shown one without copying on the GUI thread.
    void Swap(ChartPoints& other);
    /// A copy of every point, in order.
    std::vector<ChartPoint> Points() const;
    size_t size() const;
    /// Goes up with every change of the points (a drawing of an unchanged line can be reused).
    uint64_t version() const;
    ChartPoint at(size_t i) const;
    ChartExtent extent() const;
    /// The value the line holds at time x: the y of the last point at or before x (of the
    /// newest run that starts at or before x), or nothing when no point lies at or before x.
    std::optional<float> ValueAt(float x) const;
    /// Bytes held for the points (chunks and their index), for the memory figures.
    size_t MemoryBytes() const;

    /// The polyline the chart draws for the view: from the first point, every later point
    /// that is not left of the view, up to the first point right of the view. Points that go
    /// back in time (a seek during playback) are walked the same way. Columns crowded with
    /// points are reduced to their first, lowest, highest and last pixel. Fewer than two
    /// points give an empty line. A point whose y is not finite is not drawn: the line
    /// breaks there (kLineBreak in `out`, never first or last, never two in a row).
    void Trace(const PlotMapping& m, std::vector<PixelPoint>& out) const;
    /// The same walk over every point, one pixel point per point, without any reduction.
    void TraceEveryPoint(const PlotMapping& m, std::vector<PixelPoint>& out) const;

  private:
    const ChartPoint& Ref(size_t i) const { return chunks_[i >> kChunkBits][i & (kChunkSize - 1)]; }
    ChartPoint& Ref(size_t i) { return chunks_[i >> kChunkBits][i & (kChunkSize - 1)]; }
    void Push(float x, float y);
    void Forget();
    /// Recomputes the envelope of every block from the one that holds point `from`.
    void RebuildEnvelopeFrom(size_t from);
    /// The lowest and highest y of the points [from, to); false when one is not finite.
    bool RangeEnvelope(size_t from, size_t to, float* low, float* high) const;
    /// The first index in (i, stop] whose pixel column lies right of `column` (the points from
    /// i on are in time order up to stop).
    size_t ColumnEnd(size_t i, size_t stop, int column, const PlotMapping& m) const;
    /// First index in [from, to) whose x is not below v (the run is in time order).
    size_t FirstNotBelow(size_t from, size_t to, float v) const;
    /// First index in [from, to) whose x is above v.
    size_t FirstAbove(size_t from, size_t to, float v) const;

    std::vector<std::vector<ChartPoint>> chunks_;
    size_t size_ = 0;
    /// Indices where x went backwards: each starts a run in time order.
    std::vector<size_t> run_starts_;
    /// Lowest and highest y of each block of kBlockSize points (low is NaN when the block
    /// holds a y that is not finite: such a block is always walked point by point).
    struct Envelope {
        float low, high;
        /// Takes in another envelope; a mark (NaN) stays for good.
        void Merge(const Envelope& o) {
            if (std::isnan(low)) return;
            if (std::isnan(o.low)) {
                low = o.low;
                return;
            }
            low = o.low < low ? o.low : low;
            high = o.high > high ? o.high : high;
        }
    };
    /// A point's envelope: its y, or the mark when y is not finite.
    static Envelope Of(float y) { return std::isfinite(y) ? Envelope{y, y} : Envelope{NAN, NAN}; }
    std::vector<Envelope> envelope_;
    /// The same per kSummarySize points.
    std::vector<Envelope> summary_;
    ChartExtent extent_;
    uint64_t version_ = 0;
    /// Where the last Insert looked: the next one of a replay goes right after it.
    size_t insert_hint_ = 0;
};

/// Chart time labels: minutes and seconds of whole seconds, hours dropped, "-" before a
/// negative time ("%i:%.2i"). Writes into buf (always terminated); returns the length.
int FormatChartTime(float seconds, char* buf, size_t size);

}  // namespace korvit::app
