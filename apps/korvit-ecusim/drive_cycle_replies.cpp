#include "drive_cycle_replies.h"

#include <algorithm>
#include <cmath>

#include "definition/adx_lookup_table.h"
#include "ecu_signals.h"

namespace korvit::ecusim {
namespace {

using definition::ADXBitmask;
using definition::ADXValue;
using definition::ADXValueVar;

// A definition is the demo's when it has these items: the ones every page of the demo shows.
constexpr std::string_view kDemoValues[] = {"rpm", "tps", "map", "vss", "cts", "spark", "o2"};
constexpr std::string_view kDemoFlags[] = {"closedloop", "dfco"};

uint32_t ReadRaw(const std::vector<uint8_t>& data, uint32_t offset, uint32_t sizeinbits,
                 bool msb_first) {
    const uint32_t count = std::min<uint32_t>(sizeinbits / 8, 4);
    uint32_t raw = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = offset + (msb_first ? i : count - 1 - i);
        raw = (raw << 8) | (at < data.size() ? data[at] : 0);
    }
    return raw;
}

/// The byte order under which the item's own extraction reads back what was written.
template <typename Item>
bool MostSignificantFirst(Item& item) {
    if (item.sizeinbits <= 8) return true;
    std::vector<uint8_t> scratch(item.packetoffset + 4);
    const uint32_t probe = 0x01020304u >> (32 - std::min<uint32_t>(item.sizeinbits, 32));
    PutRaw(scratch, item.packetoffset, item.sizeinbits, probe, true);
    return item.ExtractRaw({scratch.data(), scratch.size()}) == probe;
}

}  // namespace

void PutRaw(std::vector<uint8_t>& data, uint32_t offset, uint32_t sizeinbits, uint32_t raw,
            bool msb_first) {
    const uint32_t count = std::min<uint32_t>(std::max<uint32_t>(sizeinbits / 8, 1), 4);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = offset + (msb_first ? count - 1 - i : i);
        if (at < data.size()) data[at] = static_cast<uint8_t>(raw >> (8 * i));
    }
}

std::unique_ptr<DriveCycleReplies> DriveCycleReplies::For(definition::ADXDefinition& definition) {
    auto has = [&definition](std::string_view id, uint32_t type) {
        for (const auto& object : definition.objects()) {
            if (object && object->type() == type && object->id() == id) return true;
        }
        return false;
    };
    for (std::string_view id : kDemoValues) {
        if (!has(id, ADXValue::kType)) return nullptr;
    }
    for (std::string_view id : kDemoFlags) {
        if (!has(id, ADXBitmask::kType)) return nullptr;
    }
    return std::make_unique<DriveCycleReplies>(definition);
}

DriveCycleReplies::DriveCycleReplies(definition::ADXDefinition& definition)
    : definition_(definition) {
    for (const auto& object : definition_.objects()) {
        if (auto* value = definition::As<ADXValue>(object.get())) {
            if (model_.Quantity(value->id())) AddValue(*value);
        } else if (auto* bitmask = definition::As<ADXBitmask>(object.get())) {
            if (model_.Flag(bitmask->id())) bitmasks_.push_back(bitmask);
        }
    }
}

void DriveCycleReplies::AddValue(ADXValue& value) {
    // A value computed only from other values has no bytes of its own.
    const bool native = std::any_of(value.vars().begin(), value.vars().end(), [](const auto& var) {
        return var.type == ADXValueVar::kNative;
    });
    if (!native || value.sizeinbits == 0 || value.sizeinbits > 16) return;
    ValueCodec codec;
    codec.value = &value;
    // A text table gives no number; its raw input is the quantity itself.
    if (value.lookup != nullptr &&
        value.lookup->outputtype() == definition::ADXLookupTable::kTextOutput) {
        codec.options = evaluation::kNoLookup;
    }
    codec.msb_first = MostSignificantFirst(value);
    if (value.sizeinbits <= 8) {
        for (uint32_t raw = 0; raw < 256; ++raw) codec.table.push_back(Decode(codec, raw));
    } else {
        // Wide numbers are searched by bisection; their scaling equations are monotonic.
        codec.increasing = Decode(codec, 0xFFFF) >= Decode(codec, 0);
    }
    values_.push_back(std::move(codec));
}

double DriveCycleReplies::Decode(ValueCodec& codec, uint32_t raw) const {
    ADXValue& value = *codec.value;
    std::vector<uint8_t> scratch(value.packetoffset + 4);
    PutRaw(scratch, value.packetoffset, value.sizeinbits, raw, codec.msb_first);
    return value.ComputeValue(definition_, {scratch.data(), scratch.size()}, 0, codec.options);
}

uint32_t DriveCycleReplies::NearestRaw(ValueCodec& codec, double target) const {
    if (!codec.table.empty()) {
        uint32_t best = 0;
        for (uint32_t raw = 1; raw < codec.table.size(); ++raw) {
            if (std::abs(codec.table[raw] - target) < std::abs(codec.table[best] - target)) {
                best = raw;
            }
        }
        return best;
    }
    uint32_t lo = 0;
    uint32_t hi = 0xFFFF;
    auto below = [&](uint32_t raw) {
        const double v = Decode(codec, raw);
        return codec.increasing ? v < target : v > target;
    };
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (below(mid)) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo > 0 &&
        std::abs(Decode(codec, lo - 1) - target) <= std::abs(Decode(codec, lo) - target)) {
        return lo - 1;
    }
    return lo;
}

void DriveCycleReplies::SetFlag(ADXBitmask& bitmask, bool state, std::vector<uint8_t>& data) const {
    const bool msb_first = MostSignificantFirst(bitmask);
    const uint32_t raw = ReadRaw(data, bitmask.packetoffset, bitmask.sizeinbits, msb_first);
    uint32_t wanted = raw;
    if (bitmask.bitop == ADXBitmask::kXor) {
        // The whole number is compared: only operand XOR result passes.
        wanted = state ? bitmask.operand ^ bitmask.result : bitmask.operand ^ bitmask.result ^ 1u;
    } else {
        const uint32_t bits = state ? bitmask.result : ~bitmask.result;
        wanted = (raw & ~bitmask.operand) | (bits & bitmask.operand);
    }
    std::vector<uint8_t> trial = data;
    PutRaw(trial, bitmask.packetoffset, bitmask.sizeinbits, wanted, msb_first);
    // Only bits that the core reads as the wanted state are kept.
    if ((bitmask.EvaluateBitmask(definition_, {trial.data(), trial.size()}) != 0) == state) {
        data = std::move(trial);
    }
}

std::vector<uint8_t> DriveCycleReplies::Packet(const definition::ADXCSendCommand& command) {
    std::vector<uint8_t> data(EcuSignals::DataSize(command), 0);
    auto mine = [&command](uint32_t parent) { return parent == 0 || parent == command.idhash(); };
    for (ValueCodec& codec : values_) {
        ADXValue& value = *codec.value;
        if (!mine(value.parentcmdidhash)) continue;
        const double target = *model_.Quantity(value.id());
        PutRaw(data, value.packetoffset, value.sizeinbits, NearestRaw(codec, target),
               codec.msb_first);
    }
    for (ADXBitmask* bitmask : bitmasks_) {
        if (mine(bitmask->parentcmdidhash)) SetFlag(*bitmask, *model_.Flag(bitmask->id()), data);
    }
    return data;
}

std::vector<uint8_t> DriveCycleReplies::Reply(const definition::ADXCSendCommand& command,
                                              double seconds) {
    model_.AdvanceTo(seconds);
    return EcuSignals::Frame(command, Packet(command));
}

}  // namespace korvit::ecusim
