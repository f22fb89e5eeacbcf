#include "evaluation/item_readout.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "definition/adx_bitmask.h"
#include "definition/adx_lookup_table.h"
#include "definition/adx_value.h"

namespace korvit::evaluation {

const char* AlarmName(Alarm alarm) {
    switch (alarm) {
        case Alarm::kHigh:
            return "high";
        case Alarm::kLow:
            return "low";
        default:
            return nullptr;
    }
}

Alarm ItemListAlarm(const definition::ADXValue& value, float v) {
    using definition::ADXValue;
    if ((value.flags & ADXValue::kHighAlarm) && v > value.alarm_high) return Alarm::kHigh;
    if ((value.flags & ADXValue::kLowAlarm) && v < value.alarm_low) return Alarm::kLow;
    return Alarm::kNone;
}

Alarm GaugeAlarm(const definition::ADXValue& value, float v) {
    using definition::ADXValue;
    if ((value.flags & ADXValue::kHighAlarm) && v >= value.alarm_high) return Alarm::kHigh;
    if ((value.flags & ADXValue::kLowAlarm) && v <= value.alarm_low) return Alarm::kLow;
    return Alarm::kNone;
}

ValueReadout ReadValue(definition::ADXValue& value, const definition::ADXDefinition& definition,
                       const PacketSnapshot& packet) {
    ValueReadout out;
    out.raw = value.last_raw.load(std::memory_order_relaxed);
    if (!HasReply(packet)) {
        out.value = std::numeric_limits<double>::quiet_NaN();
        std::memcpy(out.text.data(), kNoValueText, sizeof kNoValueText);
        return out;
    }
    const Packet bytes = packet.PacketFor(value.parentcmdidhash);
    // FormatValue computes without the table; apply it here rather than computing twice.
    const double plain = value.FormatValue(out.text.data(), out.text.size(), definition, bytes);
    out.value = value.lookup != nullptr && std::isfinite(plain)
                    ? value.lookup->LookupNumber(static_cast<float>(plain))
                    : plain;
    out.raw = value.last_raw.load(std::memory_order_relaxed);
    // A number that is not finite has no place on a scale: no alarm (its text is "----").
    // The item list compares the value as an f32.
    if (std::isfinite(out.value)) out.alarm = ItemListAlarm(value, static_cast<float>(out.value));
    return out;
}

BitmaskReadout ReadBitmask(definition::ADXBitmask& bitmask,
                           const definition::ADXDefinition& definition,
                           const PacketSnapshot& packet) {
    BitmaskReadout out;
    if (!HasReply(packet)) {
        out.raw = bitmask.last_raw.load(std::memory_order_relaxed);
        std::memcpy(out.text.data(), kNoValueText, sizeof kNoValueText);
        return out;
    }
    out.state = bitmask.BitmaskText(out.text.data(), out.text.size(), definition,
                                    packet.PacketFor(bitmask.parentcmdidhash)) != 0;
    out.raw = bitmask.last_raw.load(std::memory_order_relaxed);
    return out;
}

}  // namespace korvit::evaluation
