#include "app/chart_fill.h"

#include "definition/adx_definition.h"
#include "definition/adx_value.h"

namespace korvit::app {

uint32_t FillSeriesFromLog(datalog::LogReplay& replay, const std::vector<uint32_t>& value_hashes,
                           std::vector<std::vector<ChartPoint>>& out,
                           const datalog::ReplayProgress& progress) {
    const definition::ADXDefinition& def = replay.definition();
    std::vector<definition::ADXValue*> values;
    values.reserve(value_hashes.size());
    for (const uint32_t hash : value_hashes) {
        values.push_back(definition::As<definition::ADXValue>(def.FindByHash(hash)));
    }
    out.assign(values.size(), {});
    for (size_t k = 0; k < values.size(); ++k) {
        if (values[k] != nullptr) out[k].reserve(replay.record_count());
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
                out[k].push_back({t, static_cast<float>(value->ComputeValue(def, record.packet))});
            }
        },
        progress);
}

}  // namespace korvit::app
