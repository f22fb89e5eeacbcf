#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "definition/adx_lookup_table.h"
#include "definition/adx_object.h"
#include "evaluation/last_packet.h"

namespace korvit::evaluation {
class ResolvedHistogramFilter;
}

namespace korvit::definition {

class ADXDefinition;
class ADXValue;

/// Running statistics of one histogram cell.
struct HistogramCell {
    float minimum = 0.0f;
    float maximum = 0.0f;
    uint32_t count = 0;
    float mean = 0.0f;
};

/// Statistic codes of GetStatistic; 4 to 6 are never defined.
enum HistogramStatistic : uint32_t {
    kMostRecentSample = 0,
    kHistorySampleCount = 1,
    kHistoryAverage = 2,
    kHistoryStdDeviation = 3,
    kRunningSampleCount = 7,
    kRunningAverage = 8,
    kRunningMinimum = 9,
    kRunningMaximum = 10,
    kRunningRange = 11,
};
/// The name the histogram page shows for a statistic code; null for codes without one.
const char* HistogramStatisticName(uint32_t code);

/// A two-dimensional histogram of value z binned by values x and y. The run-time
/// accumulation (cells, history, axis tables) lives with the histogram; historysize is
/// guarded by its lock.
class ADXHistogram : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_HISTOGRAM;

    ADXHistogram() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    /// Accepted only for an ADXValue; anything else leaves the reference unchanged.
    void SetX(ADXObject* object);
    void SetY(ADXObject* object);
    void SetZ(ADXObject* object);
    /// Sets the three axis values as given, none included.
    void SetAxes(ADXValue* x, ADXValue* y, ADXValue* z) {
        x_ = x;
        y_ = y;
        z_ = z;
    }
    ADXValue* x() const { return x_; }
    ADXValue* y() const { return y_; }
    ADXValue* z() const { return z_; }

    /// Store the bin count; when rows and cols are both nonzero both grids are rebuilt empty
    /// (all samples are lost). The affected axis table is rebuilt.
    void SetRows(uint32_t n);
    void SetCols(uint32_t n);
    /// Store the axis range and rebuild that axis table.
    void SetXMin(float v);
    void SetXMax(float v);
    void SetYMin(float v);
    void SetYMax(float v);
    /// A nonzero n empties every history and sets the history size.
    void SetHistorySize(uint32_t n);
    uint32_t GetHistorySize() const;

    // Accumulation. Every operation below takes the histogram's lock.
    /// Computes x, y and z (with the packet when the item's command is 0 or `command_hash`) and
    /// bins the sample; -1 when no packet is given or the record does not meet the filter.
    int32_t AddHistogramSample(const ADXDefinition& definition, evaluation::Packet packet,
                               uint32_t command_hash);
    /// Adds z to the cell chosen by x and y; returns column * 65536 + row.
    int32_t AddBinnedSample(float x, float y, float z);
    /// The statistic of one cell (0.0 when not defined); writes its text into buf when given
    /// ("%i" for whole numbers, "%.3f" otherwise, empty when not defined).
    float GetStatistic(uint32_t code, uint32_t row, uint32_t col, char* buf, size_t size) const;
    /// Drops all samples.
    void ClearHistogram();
    /// The condition a record must meet to be sampled; none (the default) takes every record.
    /// May be changed while another thread feeds the histogram.
    void SetFilter(std::shared_ptr<const evaluation::ResolvedHistogramFilter> filter);
    std::shared_ptr<const evaluation::ResolvedHistogramFilter> filter() const;
    /// Takes the samples (cells, histories and count) of `other`, a histogram of the same shape
    /// fed elsewhere, such as a copy of the definition rebuilt from a log in the background.
    /// False, and nothing changes, when the rows, columns or history size differ.
    bool CopySamplesFrom(const ADXHistogram& other);
    /// Samples added since the last clear, including those that fell outside the grid.
    uint32_t sample_count() const;
    /// Number of history samples of a cell, and sample k of it (0 = newest; 0.0 past the count).
    uint32_t HistoryCount(uint32_t row, uint32_t col) const;
    float HistorySample(uint32_t row, uint32_t col, uint32_t k) const;
    /// The input of entry `index` of the x (or y) axis table: the centre of that bin, which the
    /// histogram page shows as its label; 0.0 past the table's end.
    float AxisBreakPoint(bool x_axis, uint32_t index);
    /// Largest grid accepted (rows x cols); a larger one keeps no cells.
    static constexpr size_t kMaxCells = 1u << 20;
    /// Most samples a cell's history keeps, whatever historysize says.
    static constexpr uint32_t kMaxHistory = 1u << 16;

    uint32_t rows() const { return rows_; }
    uint32_t cols() const { return cols_; }
    float xmin() const { return xmin_; }
    float xmax() const { return xmax_; }
    float ymin() const { return ymin_; }
    float ymax() const { return ymax_; }

    uint32_t xidhash = 0;
    uint32_t yidhash = 0;
    uint32_t zidhash = 0;
    uint32_t flags = 0;
    uint32_t parentcmdidhash = 0;

  private:
    mutable std::mutex lock_;
    uint32_t rows_ = 0;
    uint32_t cols_ = 0;
    float xmin_ = 0.0f;
    float xmax_ = 0.0f;
    float ymin_ = 0.0f;
    float ymax_ = 0.0f;
    uint32_t historysize_ = 10;
    ADXValue* x_ = nullptr;
    ADXValue* y_ = nullptr;
    ADXValue* z_ = nullptr;

    void RebuildGrids();
    void RebuildAxis(bool x_axis);
    void SetBinCount(uint32_t& field, uint32_t n, bool x_axis);
    void SetAxisBound(float& field, float v, bool x_axis);
    size_t CellIndex(uint32_t row, uint32_t col) const { return size_t{row} * grid_cols_ + col; }
    const float* History(uint32_t row, uint32_t col) const;

    // Run-time state, guarded by lock_. History slots hold historysize + 1 floats: the count,
    // then the samples newest first. Slots are created when the first sample lands in them.
    uint32_t sample_count_ = 0;
    uint32_t grid_rows_ = 0;
    uint32_t grid_cols_ = 0;
    // A resize empties the grids at once (they read as 0 x 0) and allocates them at the first
    // sample, so that repeated resizes while a file loads cost nothing.
    bool grids_pending_ = false;
    uint32_t pending_rows_ = 0;
    uint32_t pending_cols_ = 0;
    uint32_t history_length_ = 10;  // historysize, capped at kMaxHistory
    std::vector<std::unique_ptr<float[]>> history_;
    std::vector<std::unique_ptr<HistogramCell>> cells_;
    // Axis tables are built when first used after a change: a file may set the bounds many
    // times, and only the last rebuild that was not skipped decides the table.
    struct AxisRebuild {
        bool pending = false;
        uint32_t bins = 0;
        float min = 0.0f;
        float max = 0.0f;
    };
    AxisRebuild x_rebuild_;
    AxisRebuild y_rebuild_;
    ADXLookupTable x_axis_;
    ADXLookupTable y_axis_;
    void BuildPendingAxes();
    std::shared_ptr<const evaluation::ResolvedHistogramFilter> filter_;
};

}  // namespace korvit::definition
