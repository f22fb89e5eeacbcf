#pragma once

#include <nlohmann/json.hpp>

#include "definition/adx_definition.h"
#include "evaluation/last_packet.h"

namespace korvit::cli {

/// Every value and bitmask of the definition, in definition order, as the item list would show
/// it for `packet` (packet-selection rule): {"values": [{"id", "raw", "value", "text", "alarm"}],
/// "bitmasks": [{"id", "raw", "state", "text"}]}.
nlohmann::ordered_json DecodedItemsToJson(const definition::ADXDefinition& definition,
                                          const evaluation::PacketSnapshot& packet);

}  // namespace korvit::cli
