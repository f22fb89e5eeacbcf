// Run-time side of ADXHistogram: axis tables, per-cell history and running statistics.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"
#include "definition/adx_value.h"
#include "evaluation/histogram_filter.h"
#include "evaluation/numeric.h"

namespace korvit::definition {
namespace {

/// Bin centres from min to max inclusive; a sample goes to the nearest (ties to the higher bin).
/// A count of 0 or an empty range leaves the table as it was; a count beyond what a grid can
/// hold (a negative count read from a file, say) leaves it empty.
void RebuildAxisTable(ADXLookupTable& axis, uint32_t bins, float min, float max) {
    if (bins == 0 || max == min) return;
    if (bins > ADXHistogram::kMaxCells) {
        axis.ClearEntries();
        return;
    }
    axis.SetLookupMode(ADXLookupTable::kNearest);
    axis.inputtype = ADXLookupTable::kNumericOutput;
    axis.SetOutputType(ADXLookupTable::kNumericOutput);
    axis.ClearEntries();
    const double step = bins > 1 ? (double{max} - double{min}) / (bins - 1) : 0.0;
    for (uint32_t i = 0; i < bins; ++i) {
        axis.AddEntry(static_cast<float>(double{min} + i * step), static_cast<float>(i));
    }
}

float ComputeAxisValue(ADXValue* value, const ADXDefinition& definition, evaluation::Packet packet,
                       uint32_t command_hash) {
    if (value == nullptr) return 0.0f;
    const bool own = value->parentcmdidhash == 0 || value->parentcmdidhash == command_hash;
    return static_cast<float>(
        value->ComputeValue(definition, own ? packet : evaluation::Packet::None()));
}

}  // namespace

const char* HistogramStatisticName(uint32_t code) {
    switch (code) {
        case kMostRecentSample:
            return "Most Recent Sample";
        case kHistorySampleCount:
            return "History Sample Count";
        case kHistoryAverage:
            return "History Average";
        case kHistoryStdDeviation:
            return "History Std Deviation";
        case kRunningSampleCount:
            return "Running Sample Count";
        case kRunningAverage:
            return "Running Average";
        case kRunningMinimum:
            return "Running Minimum";
        case kRunningMaximum:
            return "Running Maximum";
        case kRunningRange:
            return "Running Range";
        default:
            return nullptr;
    }
}

void ADXHistogram::RebuildGrids() {
    grids_pending_ = false;
    history_.clear();
    cells_.clear();
    if (size_t{pending_rows_} * pending_cols_ > kMaxCells) return;
    grid_rows_ = pending_rows_;
    grid_cols_ = pending_cols_;
    history_.resize(size_t{grid_rows_} * grid_cols_);
    cells_.resize(size_t{grid_rows_} * grid_cols_);
}

void ADXHistogram::RebuildAxis(bool x_axis) {
    const uint32_t bins = x_axis ? cols_ : rows_;
    const float min = x_axis ? xmin_ : ymin_;
    const float max = x_axis ? xmax_ : ymax_;
    if (bins == 0 || max == min) return;  // the table stays as the last rebuild left it
    (x_axis ? x_rebuild_ : y_rebuild_) = AxisRebuild{true, bins, min, max};
}

void ADXHistogram::BuildPendingAxes() {
    for (auto [rebuild, table] : {std::pair{&x_rebuild_, &x_axis_}, {&y_rebuild_, &y_axis_}}) {
        if (!rebuild->pending) continue;
        RebuildAxisTable(*table, rebuild->bins, rebuild->min, rebuild->max);
        rebuild->pending = false;
    }
}

void ADXHistogram::SetBinCount(uint32_t& field, uint32_t n, bool x_axis) {
    std::lock_guard<std::mutex> guard(lock_);
    field = n;
    if (rows_ != 0 && cols_ != 0) {
        grids_pending_ = true;
        pending_rows_ = rows_;
        pending_cols_ = cols_;
        grid_rows_ = 0;
        grid_cols_ = 0;
    }
    RebuildAxis(x_axis);
}

void ADXHistogram::SetAxisBound(float& field, float v, bool x_axis) {
    std::lock_guard<std::mutex> guard(lock_);
    field = v;
    RebuildAxis(x_axis);
}

void ADXHistogram::SetRows(uint32_t n) {
    SetBinCount(rows_, n, false);
}
void ADXHistogram::SetCols(uint32_t n) {
    SetBinCount(cols_, n, true);
}
void ADXHistogram::SetXMin(float v) {
    SetAxisBound(xmin_, v, true);
}
void ADXHistogram::SetXMax(float v) {
    SetAxisBound(xmax_, v, true);
}
void ADXHistogram::SetYMin(float v) {
    SetAxisBound(ymin_, v, false);
}
void ADXHistogram::SetYMax(float v) {
    SetAxisBound(ymax_, v, false);
}

void ADXHistogram::SetHistorySize(uint32_t n) {
    if (n == 0) return;
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& slot : history_) slot.reset();
    historysize_ = n;
    history_length_ = std::min(n, kMaxHistory);
}

void ADXHistogram::ClearHistogram() {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& slot : history_) slot.reset();
    for (auto& cell : cells_) cell.reset();
    sample_count_ = 0;
}

int32_t ADXHistogram::AddHistogramSample(const ADXDefinition& definition, evaluation::Packet packet,
                                         uint32_t command_hash) {
    if (!packet.present()) return -1;
    if (const auto only_when = filter();
        only_when && !only_when->Accepts(definition, packet, command_hash)) {
        return -1;
    }
    const float x = ComputeAxisValue(x_, definition, packet, command_hash);
    const float y = ComputeAxisValue(y_, definition, packet, command_hash);
    const float z = ComputeAxisValue(z_, definition, packet, command_hash);
    return AddBinnedSample(x, y, z);
}

void ADXHistogram::SetFilter(std::shared_ptr<const evaluation::ResolvedHistogramFilter> filter) {
    std::lock_guard<std::mutex> guard(lock_);
    filter_ = std::move(filter);
}

std::shared_ptr<const evaluation::ResolvedHistogramFilter> ADXHistogram::filter() const {
    std::lock_guard<std::mutex> guard(lock_);
    return filter_;
}

bool ADXHistogram::CopySamplesFrom(const ADXHistogram& other) {
    if (&other == this) return true;
    std::scoped_lock guard(lock_, other.lock_);
    if (rows_ != other.rows_ || cols_ != other.cols_ || history_length_ != other.history_length_) {
        return false;
    }
    grids_pending_ = other.grids_pending_;
    pending_rows_ = other.pending_rows_;
    pending_cols_ = other.pending_cols_;
    grid_rows_ = other.grid_rows_;
    grid_cols_ = other.grid_cols_;
    sample_count_ = other.sample_count_;
    history_.clear();
    history_.resize(other.history_.size());
    for (size_t i = 0; i < history_.size(); ++i) {
        if (const float* from = other.history_[i].get()) {
            history_[i] = std::make_unique<float[]>(history_length_ + 1);
            std::memcpy(history_[i].get(), from, (history_length_ + 1) * sizeof(float));
        }
    }
    cells_.clear();
    cells_.resize(other.cells_.size());
    for (size_t i = 0; i < cells_.size(); ++i) {
        if (other.cells_[i]) cells_[i] = std::make_unique<HistogramCell>(*other.cells_[i]);
    }
    return true;
}

// A sample with a number that is not finite is dropped (-1, not counted).
int32_t ADXHistogram::AddBinnedSample(float x, float y, float z) {
    // A number that is not finite has no bin and would poison a cell's statistics for good.
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return -1;
    std::lock_guard<std::mutex> guard(lock_);
    BuildPendingAxes();
    if (grids_pending_) RebuildGrids();
    const int32_t row = evaluation::TruncToInt32(y_axis_.LookupNumber(y));
    const int32_t col = evaluation::TruncToInt32(x_axis_.LookupNumber(x));
    if (row >= 0 && col >= 0 && static_cast<uint32_t>(row) < grid_rows_ &&
        static_cast<uint32_t>(col) < grid_cols_) {
        const size_t at = CellIndex(static_cast<uint32_t>(row), static_cast<uint32_t>(col));

        auto& history = history_[at];
        if (!history) history = std::make_unique<float[]>(history_length_ + 1);
        const uint32_t count = static_cast<uint32_t>(history[0]);
        const uint32_t kept = std::min(count, history_length_ - 1);
        std::memmove(&history[2], &history[1], kept * sizeof(float));
        history[1] = z;
        history[0] = static_cast<float>(std::min(count + 1, history_length_));

        auto& cell = cells_[at];
        if (!cell) cell = std::make_unique<HistogramCell>();
        if (cell->count == 0) {
            cell->minimum = z;
            cell->maximum = z;
        } else {
            cell->minimum = std::min(cell->minimum, z);
            cell->maximum = std::max(cell->maximum, z);
        }
        const uint32_t count_new = cell->count + 1;
        const double total = static_cast<double>(cell->count) * cell->mean + z;
        cell->mean = static_cast<float>(total / count_new);
        cell->count = count_new;
    }
    ++sample_count_;
    const uint32_t packed =
        (static_cast<uint32_t>(col) & 0xFFFFu) << 16 | (static_cast<uint32_t>(row) & 0xFFFFu);
    return static_cast<int32_t>(packed);
}

const float* ADXHistogram::History(uint32_t row, uint32_t col) const {
    if (row >= grid_rows_ || col >= grid_cols_) return nullptr;
    const float* history = history_[CellIndex(row, col)].get();
    return history != nullptr && history[0] > 0.0f ? history : nullptr;
}

// Texts: "%i" for whole numbers, ">2147483647" or "<-2147483648" for whole numbers beyond the
// int range, "%.3f" otherwise, "----" for not a number, empty when not defined.
float ADXHistogram::GetStatistic(uint32_t code, uint32_t row, uint32_t col, char* buf,
                                 size_t size) const {
    std::lock_guard<std::mutex> guard(lock_);
    bool defined = false;
    float v = 0.0f;
    if (code <= kHistoryStdDeviation) {
        if (const float* history = History(row, col)) {
            defined = true;
            const uint32_t n = static_cast<uint32_t>(history[0]);
            const float* s = history + 1;
            // Summed in double: squares of large samples would overflow a float.
            double sum = 0.0;
            double sumsq = 0.0;
            for (uint32_t i = 0; i < n; ++i) {
                sum += s[i];
                sumsq += double{s[i]} * s[i];
            }
            switch (code) {
                case kMostRecentSample:
                    v = s[0];
                    break;
                case kHistorySampleCount:
                    v = static_cast<float>(n);
                    break;
                case kHistoryAverage:
                    v = static_cast<float>(sum / n);
                    break;
                default: {
                    if (n > 1) {
                        const double var = (sumsq - sum * sum / n) / (n - 1.0);
                        v = var > 0.002 ? static_cast<float>(std::sqrt(var)) : 0.0f;
                    }
                    break;
                }
            }
        }
    } else if (code >= kRunningSampleCount && code <= kRunningRange && row < grid_rows_ &&
               col < grid_cols_) {
        if (const HistogramCell* cell = cells_[CellIndex(row, col)].get()) {
            defined = true;
            switch (code) {
                case kRunningSampleCount:
                    v = static_cast<float>(cell->count);
                    break;
                case kRunningAverage:
                    v = cell->mean;
                    break;
                case kRunningMinimum:
                    v = cell->minimum;
                    break;
                case kRunningMaximum:
                    v = cell->maximum;
                    break;
                default:
                    v = cell->maximum - cell->minimum;
                    break;
            }
        }
    }
    if (buf != nullptr && size != 0) {
        char text[64];
        size_t length = 0;
        if (defined && std::isnan(v)) {
            length = static_cast<size_t>(std::snprintf(text, sizeof text, "----"));
        } else if (defined && v >= 2147483648.0f) {
            // A whole number beyond the int range says so rather than wrapping round.
            length = static_cast<size_t>(std::snprintf(text, sizeof text, ">2147483647"));
        } else if (defined && v < -2147483648.0f) {
            length = static_cast<size_t>(std::snprintf(text, sizeof text, "<-2147483648"));
        } else if (defined && v == std::trunc(v)) {
            length = static_cast<size_t>(std::snprintf(
                text, sizeof text, "%i", evaluation::TruncToInt32(static_cast<double>(v))));
        } else if (defined) {
            length = evaluation::FormatFixed(static_cast<double>(v), 3, text, sizeof text);
            if (length == SIZE_MAX) length = 0;
        }
        BoundedCopy(buf, size, std::string_view(text, length));
    }
    return v;
}

uint32_t ADXHistogram::sample_count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return sample_count_;
}

uint32_t ADXHistogram::HistoryCount(uint32_t row, uint32_t col) const {
    std::lock_guard<std::mutex> guard(lock_);
    const float* history = History(row, col);
    return history != nullptr ? static_cast<uint32_t>(history[0]) : 0;
}

float ADXHistogram::HistorySample(uint32_t row, uint32_t col, uint32_t k) const {
    std::lock_guard<std::mutex> guard(lock_);
    const float* history = History(row, col);
    return history != nullptr && k < static_cast<uint32_t>(history[0]) ? history[1 + k] : 0.0f;
}

float ADXHistogram::AxisBreakPoint(bool x_axis, uint32_t index) {
    std::lock_guard<std::mutex> guard(lock_);
    BuildPendingAxes();
    const auto& entries = (x_axis ? x_axis_ : y_axis_).entries();
    return index < entries.size() ? entries[index].input : 0.0f;
}

}  // namespace korvit::definition
