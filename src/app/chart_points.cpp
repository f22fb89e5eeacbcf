#include "app/chart_points.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace korvit::app {
namespace {

constexpr ChartExtent kEmptyExtent{FLT_MAX, FLT_MIN, FLT_MAX, FLT_MIN};

/// Collects a polyline and reduces every pixel column that holds more than a few points to
/// its first, lowest, highest and last pixel, lowest and highest in the order they came.
class ColumnReducer {
  public:
    explicit ColumnReducer(std::vector<PixelPoint>& out) : out_(out) {}

    void Add(PixelPoint p) {
        if (count_ > 0 && p.x != column_) Flush();
        if (count_ == 0) {
            column_ = p.x;
            first_ = low_ = high_ = p;
            low_at_ = high_at_ = 0;
        }
        if (p.y < low_.y) low_ = p, low_at_ = count_;
        if (p.y > high_.y) high_ = p, high_at_ = count_;
        if (count_ < ChartPoints::kFewPerColumn) few_[count_] = p;
        last_ = p;
        ++count_;
    }

    /// A gap: what came before is flushed and the line breaks (once, and only after a point).
    void Break() {
        Flush();
        if (!out_.empty() && !(out_.back() == kLineBreak)) out_.push_back(kLineBreak);
    }

    /// Drops a break left at the end.
    void Finish() {
        Flush();
        if (!out_.empty() && out_.back() == kLineBreak) out_.pop_back();
    }

    bool open() const { return count_ > 0; }
    int column() const { return column_; }

    /// Adds `count` points of one column at once (more than a few): the first, the pixels of
    /// their lowest and highest value, and the last.
    void AddColumn(PixelPoint first, int y1, int y2, PixelPoint last, size_t count) {
        if (count_ > 0 && first.x != column_) Flush();
        if (count_ == 0) {
            column_ = first.x;
            first_ = low_ = high_ = first;
            low_at_ = high_at_ = 0;
        }
        for (const int y : {first.y, y1, y2, last.y}) {
            if (y < low_.y) low_ = {column_, y}, low_at_ = count_;
            if (y > high_.y) high_ = {column_, y}, high_at_ = count_;
        }
        last_ = last;
        count_ += count;
    }

    void Flush() {
        if (count_ == 0) return;
        if (count_ <= ChartPoints::kFewPerColumn) {
            out_.insert(out_.end(), few_, few_ + count_);
        } else {
            out_.push_back(first_);
            out_.push_back(low_at_ <= high_at_ ? low_ : high_);
            out_.push_back(low_at_ <= high_at_ ? high_ : low_);
            out_.push_back(last_);
        }
        count_ = 0;
    }

  private:
    std::vector<PixelPoint>& out_;
    PixelPoint few_[ChartPoints::kFewPerColumn];
    PixelPoint first_, low_, high_, last_;
    size_t low_at_ = 0, high_at_ = 0, count_ = 0;
    int column_ = 0;
};

}  // namespace

ChartPoints::ChartPoints() : extent_(kEmptyExtent) {}

void ChartPoints::Append(float x, float y) {
    Push(x, y);
}

bool ChartPoints::Insert(float x, float y) {
    if (size_ == 0 || x > Ref(size_ - 1).x || !run_starts_.empty()) {
        Push(x, y);
        return true;
    }
    // A replay walks the line in time order: the place after the last one is tried first.
    size_t at = insert_hint_;
    const bool hint_fits =
        at <= size_ && (at == 0 || Ref(at - 1).x < x) && (at == size_ || Ref(at).x >= x);
    if (!hint_fits) at = FirstNotBelow(0, size_, x);
    insert_hint_ = at + 1;
    if (at < size_ && Ref(at).x == x) return false;
    // Room at the end, then every later point moves up by one.
    const ChartPoint last = Ref(size_ - 1);
    Push(last.x, last.y);
    for (size_t i = size_ - 1; i > at; --i) Ref(i) = Ref(i - 1);
    Ref(at) = {x, y};
    ++version_;
    RebuildEnvelopeFrom(at);
    extent_.min_x = std::min(extent_.min_x, x);
    extent_.max_x = std::max(extent_.max_x, x);
    extent_.min_y = std::min(extent_.min_y, y);
    extent_.max_y = std::max(extent_.max_y, y);
    return true;
}

void ChartPoints::Replace(const std::vector<ChartPoint>& points) {
    Forget();
    for (const ChartPoint& p : points) Push(p.x, p.y);
}

void ChartPoints::RebuildEnvelopeFrom(size_t from) {
    for (size_t block = from >> kBlockBits; block < envelope_.size(); ++block) {
        const size_t begin = block << kBlockBits;
        const size_t end = std::min(size_, begin + kBlockSize);
        Envelope e = Of(Ref(begin).y);
        for (size_t i = begin + 1; i < end && !std::isnan(e.low); ++i) e.Merge(Of(Ref(i).y));
        envelope_[block] = e;
    }
    constexpr size_t kBlocks = kSummarySize / kBlockSize;
    for (size_t s = from >> kSummaryBits; s < summary_.size(); ++s) {
        const size_t begin = s * kBlocks;
        const size_t end = std::min(envelope_.size(), begin + kBlocks);
        Envelope e = envelope_[begin];
        for (size_t b = begin + 1; b < end; ++b) e.Merge(envelope_[b]);
        summary_[s] = e;
    }
}

void ChartPoints::Push(float x, float y) {
    if (size_ > 0 && x < Ref(size_ - 1).x) run_starts_.push_back(size_);
    if (chunks_.empty() || chunks_.back().size() == kChunkSize) {
        chunks_.emplace_back();
        if (chunks_.size() > 1) chunks_.back().reserve(kChunkSize);
    }
    chunks_.back().push_back({x, y});
    const Envelope point = Of(y);
    if ((size_ & (kBlockSize - 1)) == 0) {
        envelope_.push_back(point);
    } else {
        envelope_.back().Merge(point);
    }
    if ((size_ & (kSummarySize - 1)) == 0) {
        summary_.push_back(point);
    } else {
        summary_.back().Merge(point);
    }
    ++size_;
    ++version_;
    const bool finite = !std::isnan(point.low);
    if (x < extent_.min_x) extent_.min_x = x;
    if (x > extent_.max_x) extent_.max_x = x;
    if (finite && y < extent_.min_y) extent_.min_y = y;
    if (finite && y > extent_.max_y) extent_.max_y = y;
}

void ChartPoints::Clear() {
    Forget();
}

void ChartPoints::Swap(ChartPoints& other) {
    if (&other == this) return;
    chunks_.swap(other.chunks_);
    std::swap(size_, other.size_);
    run_starts_.swap(other.run_starts_);
    envelope_.swap(other.envelope_);
    summary_.swap(other.summary_);
    std::swap(extent_, other.extent_);
    insert_hint_ = other.insert_hint_ = 0;
    version_ = other.version_ = std::max(version_, other.version_) + 1;
}

std::vector<ChartPoint> ChartPoints::Points() const {
    std::vector<ChartPoint> out;
    out.reserve(size_);
    for (const auto& chunk : chunks_) out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

uint64_t ChartPoints::version() const {
    return version_;
}

void ChartPoints::Forget() {
    ++version_;
    chunks_.clear();
    size_ = 0;
    run_starts_.clear();
    envelope_.clear();
    summary_.clear();
    extent_ = kEmptyExtent;
    insert_hint_ = 0;
}

size_t ChartPoints::size() const {
    return size_;
}

ChartPoint ChartPoints::at(size_t i) const {
    return i < size_ ? Ref(i) : ChartPoint{};
}

ChartExtent ChartPoints::extent() const {
    return extent_;
}

std::optional<float> ChartPoints::ValueAt(float x) const {
    // Newest run first: after a seek back the replayed points are the ones that count.
    for (size_t run = run_starts_.size() + 1; run-- > 0;) {
        const size_t from = run == 0 ? 0 : run_starts_[run - 1];
        const size_t to = run < run_starts_.size() ? run_starts_[run] : size_;
        if (from >= to || Ref(from).x > x) continue;
        return Ref(FirstAbove(from, to, x) - 1).y;
    }
    return std::nullopt;
}

size_t ChartPoints::MemoryBytes() const {
    size_t bytes = chunks_.capacity() * sizeof(chunks_[0]) +
                   run_starts_.capacity() * sizeof(size_t) +
                   (envelope_.capacity() + summary_.capacity()) * sizeof(Envelope);
    for (const auto& chunk : chunks_) bytes += chunk.capacity() * sizeof(ChartPoint);
    return bytes;
}

size_t ChartPoints::FirstNotBelow(size_t from, size_t to, float v) const {
    while (from < to) {
        const size_t mid = from + (to - from) / 2;
        if (Ref(mid).x < v) {
            from = mid + 1;
        } else {
            to = mid;
        }
    }
    return from;
}

size_t ChartPoints::FirstAbove(size_t from, size_t to, float v) const {
    while (from < to) {
        const size_t mid = from + (to - from) / 2;
        if (Ref(mid).x > v) {
            to = mid;
        } else {
            from = mid + 1;
        }
    }
    return from;
}

bool ChartPoints::RangeEnvelope(size_t from, size_t to, float* low, float* high) const {
    Envelope e{INFINITY, -INFINITY};
    while (from < to && (from & (kBlockSize - 1)) != 0) e.Merge(Of(Ref(from++).y));
    while (from + kBlockSize <= to && (from & (kSummarySize - 1)) != 0) {
        e.Merge(envelope_[from >> kBlockBits]);
        from += kBlockSize;
    }
    while (from + kSummarySize <= to) {
        e.Merge(summary_[from >> kSummaryBits]);
        from += kSummarySize;
    }
    while (from + kBlockSize <= to) {
        e.Merge(envelope_[from >> kBlockBits]);
        from += kBlockSize;
    }
    while (from < to) e.Merge(Of(Ref(from++).y));
    *low = e.low;
    *high = e.high;
    return !std::isnan(e.low);
}

size_t ChartPoints::ColumnEnd(size_t i, size_t stop, int column, const PlotMapping& m) const {
    // Galloping, then halving: the cost grows with the logarithm of the column's points.
    size_t lo = i + 1;  // every index below lo lies in the column
    size_t hi = stop;   // hi is stop or lies right of the column
    for (size_t step = 1;; step *= 2) {
        const size_t probe = i + step;
        if (probe >= stop) break;
        if (m.X(Ref(probe).x) > column) {
            hi = probe;
            break;
        }
        lo = probe + 1;
    }
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (m.X(Ref(mid).x) > column) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

void ChartPoints::Trace(const PlotMapping& m, std::vector<PixelPoint>& out) const {
    out.clear();
    if (size_ < 2) return;
    ColumnReducer reducer(out);
    const auto add = [&](size_t i) {
        const ChartPoint& p = Ref(i);
        if (std::isfinite(p.y)) {
            reducer.Add({m.X(p.x), m.Y(p.y)});
        } else {
            reducer.Break();
        }
    };
    add(0);
    // Within a run x never decreases, so the points the walk draws form one stretch of it,
    // found by two binary searches; the first point right of the view ends the whole walk.
    // The stretch goes column by column: each column's points are searched for, and a crowded
    // column is summed up from its first and last point and the envelopes of the rest.
    size_t run = 0;
    size_t from = 1;
    while (from < size_) {
        while (run < run_starts_.size() && run_starts_[run] <= from) ++run;
        const size_t to = run < run_starts_.size() ? run_starts_[run] : size_;
        const size_t first = FirstNotBelow(from, to, m.x_min);
        const size_t stop = FirstAbove(first, to, m.x_max);
        for (size_t i = first; i < stop;) {
            const int column = m.X(Ref(i).x);
            const size_t end = ColumnEnd(i, stop, column, m);
            float low = 0.0f, high = 0.0f;
            // Up to a couple of blocks the points go one by one, keeping the order of their
            // extremes; beyond, the envelopes stand for them.
            if (end - i >= 2 * kBlockSize && RangeEnvelope(i, end, &low, &high)) {
                reducer.AddColumn({column, m.Y(Ref(i).y)}, m.Y(low), m.Y(high),
                                  {column, m.Y(Ref(end - 1).y)}, end - i);
                i = end;
            } else {
                while (i < end) add(i++);
            }
        }
        if (stop < to) break;
        from = to;
    }
    reducer.Finish();
}

void ChartPoints::TraceEveryPoint(const PlotMapping& m, std::vector<PixelPoint>& out) const {
    out.clear();
    if (size_ < 2) return;
    const auto add = [&](size_t i) {
        const ChartPoint& p = Ref(i);
        if (std::isfinite(p.y)) {
            out.push_back({m.X(p.x), m.Y(p.y)});
        } else if (!out.empty() && !(out.back() == kLineBreak)) {
            out.push_back(kLineBreak);
        }
    };
    add(0);
    for (size_t i = 1; i < size_; ++i) {
        const float x = Ref(i).x;
        if (x < m.x_min) continue;
        if (x > m.x_max) break;
        add(i);
    }
    if (!out.empty() && out.back() == kLineBreak) out.pop_back();
}

int FormatChartTime(float seconds, char* buf, size_t size) {
    if (buf == nullptr || size == 0) return 0;
    const bool negative = seconds < 0.0f;
    const double magnitude = std::fabs(static_cast<double>(seconds));
    // Times beyond the int range read as the largest whole second rather than overflowing.
    const long long n = magnitude < 2147483647.0 ? static_cast<long long>(magnitude) : 2147483647;
    const int written = std::snprintf(buf, size, negative ? "-%i:%.2i" : "%i:%.2i",
                                      static_cast<int>((n / 60) % 60), static_cast<int>(n % 60));
    if (written < 0) {
        buf[0] = '\0';
        return 0;
    }
    return written < static_cast<int>(size) ? written : static_cast<int>(size) - 1;
}

}  // namespace korvit::app
