#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/chart_points.h"
#include "datalog/log_replay.h"

namespace korvit::app {

/// The chart lines of a whole log, for an overview: for each value (by idhash, in the replay's
/// definition) the point every decoded record of its command (or of any command, for a value
/// of none) adds during playback, at the record's time in seconds. Replays from the first
/// record; a value the definition lacks gets no points. The code of LogReplay::RunTo.
uint32_t FillSeriesFromLog(datalog::LogReplay& replay, const std::vector<uint32_t>& value_hashes,
                           std::vector<std::vector<ChartPoint>>& out,
                           const datalog::ReplayProgress& progress = {});
/// The same, straight into chart lines (`out[k]` for value k), so that a long log's points are
/// held once.
uint32_t FillSeriesFromLog(datalog::LogReplay& replay, const std::vector<uint32_t>& value_hashes,
                           std::vector<std::unique_ptr<ChartPoints>>& out,
                           const datalog::ReplayProgress& progress = {});

}  // namespace korvit::app
