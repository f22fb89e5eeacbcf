#pragma once

namespace korvit::shell {

/// A log played during a scan would mix both streams on every page, so each refuses the other.
inline constexpr const char* kStopScanningFirst = "Stop scanning before playing a log";
inline constexpr const char* kStopLogFirst = "Stop the log before scanning";

}  // namespace korvit::shell
