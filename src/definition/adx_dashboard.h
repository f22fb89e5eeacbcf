#pragma once

#include <cstdint>
#include <vector>

#include "definition/adx_object.h"

namespace korvit::definition {

/// One gauge on a dashboard, placed by its rectangle.
struct ADXDashboardEntry {
    uint32_t flags = 0;
    uint32_t gaugetype = 0;
    uint16_t top = 0;
    uint16_t left = 0;
    uint16_t bottom = 100;
    uint16_t right = 100;
    ADXObject* item = nullptr;
    uint32_t itemidhash = 0;
};

/// A page of gauges, at most 255.
class ADXDashboard : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_DASHBOARD;
    static constexpr size_t kMaxEntries = 255;

    ADXDashboard() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    /// Appends a copy; refused (0) when full.
    int Append(const ADXDashboardEntry& entry);
    size_t count() const { return entries_.size(); }
    const std::vector<ADXDashboardEntry>& entries() const { return entries_; }
    std::vector<ADXDashboardEntry>& entries() { return entries_; }

    uint32_t flags = 0;

  private:
    std::vector<ADXDashboardEntry> entries_;
};

}  // namespace korvit::definition
