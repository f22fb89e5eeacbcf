#include "items_json.h"

#include <string>

#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"
#include "evaluation/item_readout.h"

namespace korvit::cli {

nlohmann::json DecodedItemsJson(const definition::ADXDefinition& definition,
                                const evaluation::PacketSnapshot& packet) {
    nlohmann::json values = nlohmann::json::array();
    nlohmann::json bitmasks = nlohmann::json::array();
    for (const auto& object : definition.objects()) {
        if (auto* value = definition::As<definition::ADXValue>(object.get())) {
            const auto readout = evaluation::ReadValue(*value, definition, packet);
            const char* alarm = evaluation::AlarmName(readout.alarm);
            values.push_back({{"id", std::string(value->id())},
                              {"raw", readout.raw},
                              {"value", readout.value},
                              {"text", std::string(readout.text.data())},
                              {"alarm", alarm != nullptr ? nlohmann::json(alarm) : nullptr}});
        } else if (auto* bitmask = definition::As<definition::ADXBitmask>(object.get())) {
            const auto readout = evaluation::ReadBitmask(*bitmask, definition, packet);
            bitmasks.push_back({{"id", std::string(bitmask->id())},
                                {"raw", readout.raw},
                                {"state", readout.state},
                                {"text", std::string(readout.text.data())}});
        }
    }
    return {{"values", std::move(values)}, {"bitmasks", std::move(bitmasks)}};
}

}  // namespace korvit::cli
