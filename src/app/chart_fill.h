#pragma once

#include <cstdint>
#include <vector>

#include "app/chart_points.h"
#include "datalog/log_replay.h"

namespace korvit::definition {
class ADXValue;
}

namespace korvit::app {

/// The number a chart line holds for a value: the value as computed, except for a value that
/// its lookup table maps to texts, whose line holds the table's input (a text has no number to
/// draw; the legend writes the text from the input).
double ChartNumber(definition::ADXValue& value, const definition::ADXDefinition& definition,
                   evaluation::Packet packet);

/// The chart lines of a whole log, for an overview: for each value (by idhash, in the replay's
/// definition) the point every decoded record of its command (or of any command, for a value
/// of none) adds during playback, at the record's time in seconds. Replays from the first
/// record; a value the definition lacks gets no points. The code of LogReplay::RunTo.
uint32_t FillSeriesFromLog(datalog::LogReplay& replay, const std::vector<uint32_t>& value_hashes,
                           std::vector<std::vector<ChartPoint>>& out,
                           const datalog::ReplayProgress& progress = {});

}  // namespace korvit::app
