#include "decode_json.h"

#include "definition/adx_bitmask.h"
#include "definition/adx_value.h"
#include "definition_json.h"
#include "evaluation/item_readout.h"

namespace korvit::cli {

nlohmann::ordered_json DecodedItemsToJson(const definition::ADXDefinition& definition,
                                          const evaluation::PacketSnapshot& packet) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    nlohmann::ordered_json bitmasks = nlohmann::ordered_json::array();
    for (const auto& object : definition.objects()) {
        if (auto* value = definition::As<definition::ADXValue>(object.get())) {
            const evaluation::ValueReadout r = evaluation::ReadValue(*value, definition, packet);
            const char* alarm = evaluation::AlarmName(r.alarm);
            nlohmann::ordered_json item;
            item["id"] = Latin1ToUtf8(value->id());
            item["raw"] = r.raw;
            item["value"] = r.value;  // not finite: null
            item["text"] = Latin1ToUtf8(r.text.data());
            item["alarm"] = alarm != nullptr ? nlohmann::ordered_json(alarm) : nullptr;
            values.push_back(std::move(item));
        } else if (auto* bitmask = definition::As<definition::ADXBitmask>(object.get())) {
            const evaluation::BitmaskReadout r =
                evaluation::ReadBitmask(*bitmask, definition, packet);
            nlohmann::ordered_json item;
            item["id"] = Latin1ToUtf8(bitmask->id());
            item["raw"] = r.raw;
            item["state"] = r.state;
            item["text"] = Latin1ToUtf8(r.text.data());
            bitmasks.push_back(std::move(item));
        }
    }
    nlohmann::ordered_json out;
    out["values"] = std::move(values);
    out["bitmasks"] = std::move(bitmasks);
    return out;
}

}  // namespace korvit::cli
