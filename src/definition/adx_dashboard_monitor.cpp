#include "definition/adx_dashboard.h"
#include "definition/adx_monitor.h"

namespace korvit::definition {

int ADXDashboard::Append(const ADXDashboardEntry& entry) {
    if (entries_.size() >= kMaxEntries) return 0;
    entries_.push_back(entry);
    return 1;
}

int ADXMonitor::Append(const ADXMonitorSeries& series) {
    if (series_.size() >= kMaxSeries) return 0;
    series_.push_back(series);
    return 1;
}

int ADXMonitor::Remove(size_t i) {
    if (i >= series_.size()) return 0;
    series_.erase(series_.begin() + static_cast<std::ptrdiff_t>(i));
    return 1;
}

}  // namespace korvit::definition
