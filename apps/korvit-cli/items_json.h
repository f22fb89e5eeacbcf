#pragma once

#include <nlohmann/json.hpp>

#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::cli {

/// Every value and bitmask of the definition, in definition order, as the item list would show
/// them for this packet: {"values": [{id, raw, value, text, alarm}], "bitmasks": [{id, raw,
/// state, text}]}.
nlohmann::json DecodedItemsJson(const definition::ADXDefinition& definition,
                                const evaluation::PacketSnapshot& packet);

}  // namespace korvit::cli
