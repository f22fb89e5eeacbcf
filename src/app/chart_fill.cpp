#include "app/chart_fill.h"

#include "definition/adx_definition.h"
#include "definition/adx_value.h"

namespace korvit::app {

namespace {

/// Replays the log from its first record and hands each value's point to `add`.
uint32_t ReplaySeries(datalog::LogReplay& replay, const std::vector<uint32_t>& value_hashes,
                      const std::function<void(size_t, ChartPoint)>& add,
                      const datalog::ReplayProgress& progress) {
    const definition::ADXDefinition& def = replay.definition();
    std::vector<definition::ADXValue*> values;
    values.reserve(value_hashes.size());
    for (const uint32_t hash : value_hashes) {
        values.push_back(definition::As<definition::ADXValue>(def.FindByHash(hash)));
    }
    replay.Rewind();
    return replay.RunTo(
        UINT32_MAX,
        [&](const datalog::ReplayedRecord& record) {
            if (record.command_hash == 0) return;
            const auto t = static_cast<float>(record.time_ms / 1000.0);
            for (size_t k = 0; k < values.size(); ++k) {
                definition::ADXValue* value = values[k];
                if (value == nullptr || (value->parentcmdidhash != 0 &&
                                         value->parentcmdidhash != record.command_hash)) {
                    continue;
                }
                add(k, {t, static_cast<float>(value->ComputeValue(def, record.packet))});
            }
        },
        progress);
}

}  // namespace

uint32_t FillSeriesFromLog(datalog::LogReplay& replay, const std::vector<uint32_t>& value_hashes,
                           std::vector<std::vector<ChartPoint>>& out,
                           const datalog::ReplayProgress& progress) {
    out.assign(value_hashes.size(), {});
    for (auto& line : out) line.reserve(replay.record_count());
    return ReplaySeries(
        replay, value_hashes, [&](size_t k, ChartPoint p) { out[k].push_back(p); }, progress);
}

uint32_t FillSeriesFromLog(datalog::LogReplay& replay, const std::vector<uint32_t>& value_hashes,
                           std::vector<std::unique_ptr<ChartPoints>>& out,
                           const datalog::ReplayProgress& progress) {
    out.clear();
    for (size_t k = 0; k < value_hashes.size(); ++k) out.push_back(std::make_unique<ChartPoints>());
    return ReplaySeries(
        replay, value_hashes, [&](size_t k, ChartPoint p) { out[k]->Append(p.x, p.y); }, progress);
}

}  // namespace korvit::app
