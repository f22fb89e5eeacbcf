#pragma once

#include <cstdint>
#include <mutex>

#include "definition/adx_object.h"

namespace korvit::definition {

class ADXValue;

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
    ADXValue* x() const { return x_; }
    ADXValue* y() const { return y_; }
    ADXValue* z() const { return z_; }

    void SetRows(uint32_t n) { rows_ = n; }
    void SetCols(uint32_t n) { cols_ = n; }
    void SetXMin(float v) { xmin_ = v; }
    void SetXMax(float v) { xmax_ = v; }
    void SetYMin(float v) { ymin_ = v; }
    void SetYMax(float v) { ymax_ = v; }
    /// A nonzero n sets the history size.
    void SetHistorySize(uint32_t n);
    uint32_t GetHistorySize() const;

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
};

}  // namespace korvit::definition
