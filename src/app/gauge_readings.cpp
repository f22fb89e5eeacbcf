#include "app/gauge_readings.h"

#include <algorithm>

#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"
#include "evaluation/item_readout.h"

namespace korvit::app {

using definition::ADXBitmask;
using definition::ADXValue;
using definition::As;

bool GaugeReadings::Memoizable(const definition::ADXObject* item) {
    const auto* value = As<ADXValue>(item);
    if (value == nullptr) return false;
    return std::all_of(value->vars().begin(), value->vars().end(), [](const auto& var) {
        return var.type == definition::ADXValueVar::kNative;
    });
}

void GaugeReadings::Watch(const definition::ADXDefinition* definition,
                          std::vector<definition::ADXObject*> items) {
    std::vector<std::unique_ptr<Memo>> memos(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (Memoizable(items[i])) memos[i] = std::make_unique<Memo>();
    }
    std::lock_guard lock(mutex_);
    definition_ = definition;
    items_ = std::move(items);
    memos_ = std::move(memos);
    readings_.assign(items_.size(), {});
    ++generation_;
}

void GaugeReadings::Feed(evaluation::Packet packet, uint32_t command_hash) {
    std::lock_guard lock(mutex_);
    if (definition_ == nullptr) return;
    bool fed = false;
    for (size_t i = 0; i < items_.size(); ++i) {
        definition::ADXObject* item = items_[i];
        GaugeReading& r = readings_[i];
        if (auto* value = As<ADXValue>(item)) {
            if (value->parentcmdidhash != 0 && value->parentcmdidhash != command_hash) continue;
            float v = 0.0f;
            if (Memo* memo = memos_[i].get()) {
                // The same raw number the computation would take (the packet's, or the last).
                const uint32_t raw = value->ExtractRaw(packet);
                Memo::Entry& e = memo->entries[(raw ^ (raw >> 8) ^ (raw >> 16)) & 0xFFu];
                if (!e.known || e.raw != raw) {
                    e = {raw, true, static_cast<float>(value->ComputeValue(*definition_, packet))};
                }
                v = e.value;
            } else {
                v = static_cast<float>(value->ComputeValue(*definition_, packet));
            }
            r.lowest = r.has_value ? std::min(r.lowest, v) : v;
            r.highest = r.has_value ? std::max(r.highest, v) : v;
            r.value = v;
        } else if (auto* bitmask = As<ADXBitmask>(item)) {
            if (bitmask->parentcmdidhash != 0 && bitmask->parentcmdidhash != command_hash) continue;
            r.state = static_cast<uint32_t>(bitmask->EvaluateBitmask(*definition_, packet));
        } else {
            continue;
        }
        r.has_value = true;
        fed = true;
    }
    if (fed) ++generation_;
}

void GaugeReadings::Clear() {
    std::lock_guard lock(mutex_);
    readings_.assign(items_.size(), {});
    for (const auto& memo : memos_) {
        if (memo) memo->entries.fill({});
    }
    ++generation_;
}

void GaugeReadings::RestartAt(const evaluation::PacketSnapshot& last) {
    std::lock_guard lock(mutex_);
    readings_.assign(items_.size(), {});
    ++restarts_;
    ++generation_;
    if (definition_ == nullptr || !evaluation::HasReply(last)) return;
    for (size_t i = 0; i < items_.size(); ++i) {
        GaugeReading& r = readings_[i];
        if (auto* value = As<ADXValue>(items_[i])) {
            const auto v = static_cast<float>(
                value->ComputeValue(*definition_, last.PacketFor(value->parentcmdidhash)));
            r.value = r.lowest = r.highest = v;
        } else if (auto* bitmask = As<ADXBitmask>(items_[i])) {
            r.state = static_cast<uint32_t>(
                bitmask->EvaluateBitmask(*definition_, last.PacketFor(bitmask->parentcmdidhash)));
        } else {
            continue;
        }
        r.has_value = true;
    }
}

uint64_t GaugeReadings::restarts() const {
    std::lock_guard lock(mutex_);
    return restarts_;
}

std::vector<GaugeReading> GaugeReadings::Readings() const {
    std::lock_guard lock(mutex_);
    return readings_;
}

uint64_t GaugeReadings::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

}  // namespace korvit::app
