#pragma once

#include <array>
#include <cstdint>

#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXBitmask;
class ADXDefinition;
class ADXValue;
}  // namespace korvit::definition

namespace korvit::evaluation {

/// The item list's alarm state of a value (strict limits; the high alarm is tested first).
enum class Alarm { kNone, kHigh, kLow };
/// "high", "low", or null for no alarm.
const char* AlarmName(Alarm alarm);
/// The item list's test of enabled alarms: v > alarm high, else v < alarm low.
Alarm ItemListAlarm(const definition::ADXValue& value, float v);
/// The digital gauge's test: the limits themselves are in alarm (v >= high, else v <= low).
Alarm GaugeAlarm(const definition::ADXValue& value, float v);

/// The text shown in place of a value that has none: before the first reply, or not finite.
inline constexpr char kNoValueText[] = "----";

/// False until a reply has been stored in the record (and again after `LastPacket::Clear`, as
/// a new scan, log or definition starts): the displays then show no value rather than decode
/// the empty record.
inline bool HasReply(const PacketSnapshot& packet) {
    return packet.length != 0 || packet.ReplyCommandHash != 0;
}

/// What the displays show for a value: its raw number, scaled value, item-list text and alarm.
/// `value` is NaN when there is no value to show.
struct ValueReadout {
    static constexpr size_t kTextCapacity = 40;
    uint32_t raw = 0;
    double value = 0.0;
    std::array<char, kTextCapacity> text{};
    Alarm alarm = Alarm::kNone;
};

/// What the displays show for a bitmask: its raw number, state and text.
struct BitmaskReadout {
    static constexpr size_t kTextCapacity = 40;
    uint32_t raw = 0;
    bool state = false;
    std::array<char, kTextCapacity> text{};
};

/// Computes a value for the packet at hand under the packet-selection rule (the snapshot's bytes
/// only when the value belongs to the replying command or to none; offsets and options 0).
/// Before the first reply, and for a result that is not finite, the text is "----" and there
/// is no alarm.
ValueReadout ReadValue(definition::ADXValue& value, const definition::ADXDefinition& definition,
                       const PacketSnapshot& packet);
/// The same for a bitmask ("----" and false before the first reply).
BitmaskReadout ReadBitmask(definition::ADXBitmask& bitmask,
                           const definition::ADXDefinition& definition,
                           const PacketSnapshot& packet);

}  // namespace korvit::evaluation
