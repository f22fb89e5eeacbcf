#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"
#include "evaluation/last_packet.h"

namespace korvit::definition {

void ADXDefinition::ExtractCommandItems(const uint8_t* packet, uint32_t command_hash) const {
    ExtractCommandItems(evaluation::Packet{packet, evaluation::PacketSnapshot::kCapacity},
                        command_hash);
}

void ADXDefinition::ExtractCommandItems(evaluation::Packet packet, uint32_t command_hash) const {
    if (!packet.present()) return;
    for (const auto& object : objects_) {
        if (auto* value = As<ADXValue>(object.get())) {
            if (value->parentcmdidhash == command_hash) value->ExtractRaw(packet);
        } else if (auto* bitmask = As<ADXBitmask>(object.get())) {
            if (bitmask->parentcmdidhash == command_hash) bitmask->ExtractRaw(packet);
        }
    }
}

}  // namespace korvit::definition
