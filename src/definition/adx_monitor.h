#pragma once

#include <cstdint>
#include <vector>

#include "definition/adx_object.h"

namespace korvit::definition {

/// One line of a time chart.
struct ADXMonitorSeries {
    uint32_t flags = 0;
    uint32_t linecolor = 0;
    uint32_t axiscolor = 0;
    uint8_t linewidth = 1;
    uint8_t linetype = 0;
    ADXObject* item = nullptr;
    uint32_t itemidhash = 0;
};

/// A time chart of at most 255 series.
class ADXMonitor : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_MONITOR;
    static constexpr size_t kMaxSeries = 255;

    ADXMonitor() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    /// Appends a copy; refused (0) when full.
    int Append(const ADXMonitorSeries& series);
    /// Removes series i, keeping the order of the rest; 0 when i is out of range.
    int Remove(size_t i);
    size_t count() const { return series_.size(); }
    const std::vector<ADXMonitorSeries>& series() const { return series_; }
    std::vector<ADXMonitorSeries>& series() { return series_; }

    uint32_t flags = 0;

  private:
    std::vector<ADXMonitorSeries> series_;
};

}  // namespace korvit::definition
