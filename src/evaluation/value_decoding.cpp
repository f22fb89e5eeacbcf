// Decoding of ADXValue: raw extraction, signedness, the equation with its linked values, the
// lookup table, and the display text.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "definition/adx_definition.h"
#include "definition/adx_lookup_table.h"
#include "definition/adx_value.h"
#include "evaluation/numeric.h"
#include "evaluation/packet_word.h"

namespace korvit::evaluation {

/// The values whose computation is in progress, innermost first, so that a link back into the
/// chain is detected instead of recursing forever. `broken` is shared by the whole chain.
struct LinkChain {
    static constexpr size_t kMaxDepth = 32;
    const definition::ADXValue* value;
    const LinkChain* outer;
    size_t depth;
    bool* broken;
};

}  // namespace korvit::evaluation

namespace korvit::definition {

using evaluation::LinkChain;
using evaluation::Packet;

uint32_t ADXValue::ExtractRaw(Packet packet, uint32_t offset, uint32_t options) {
    return evaluation::ExtractItemRaw(packet, offset, options, packetoffset, sizeinbits,
                                      (flags & kPacketOrder) != 0, last_raw);
}

double ADXValue::RawToNumber(Packet packet, uint32_t offset, uint32_t options) {
    const uint32_t raw = ExtractRaw(packet, offset, options);
    if (!(flags & kSigned)) return static_cast<double>(raw);
    switch (sizeinbits) {
        case 8:
            return static_cast<double>(static_cast<int8_t>(raw & 0xFFu));
        case 16:
            return static_cast<double>(static_cast<int16_t>(raw & 0xFFFFu));
        case 32:
            return static_cast<double>(static_cast<int32_t>(raw));
        default:
            return 0.0;
    }
}

double ADXValue::ComputeValue(const ADXDefinition& definition, Packet packet, uint32_t offset,
                              uint32_t options) {
    bool broken = false;
    const LinkChain root{nullptr, nullptr, 0, &broken};
    const double v = ComputeValue(definition, packet, offset, options, &root);
    return broken ? 0.0 : v;
}

double ADXValue::ComputeValue(const ADXDefinition& definition, Packet packet, uint32_t offset,
                              uint32_t options, const LinkChain* chain) {
    for (const LinkChain* c = chain; c != nullptr; c = c->outer) {
        if (c->value == this) *chain->broken = true;
    }
    if (chain->depth >= LinkChain::kMaxDepth) *chain->broken = true;
    if (*chain->broken) return 0.0;
    const LinkChain here{this, chain, chain->depth + 1, chain->broken};

    evaluation::ADXEquation::Frame frame;
    for (const ADXValueVar& var : vars_) {
        double number = 0.0;
        if (var.type == ADXValueVar::kNative) {
            number = RawToNumber(packet, offset, options);
        } else if (var.type == ADXValueVar::kLink) {
            auto* target = As<ADXValue>(definition.FindByHash(var.linkIDHash));
            // A missing target leaves the letter as the previous record set it.
            if (target == nullptr) continue;
            const Packet shared =
                target->parentcmdidhash == parentcmdidhash ? packet : Packet::None();
            number = target->ComputeValue(definition, shared, offset, options, &here);
            if (*chain->broken) return 0.0;
        } else {
            continue;
        }
        expression_.SetVariable(frame, var.varID, number);
    }
    double v = expression_.Evaluate(frame);
    if (lookup != nullptr && !(options & evaluation::kNoLookup)) {
        v = static_cast<double>(lookup->LookupNumber(static_cast<float>(v)));
    }
    return v;
}

double ADXValue::FormatValue(char* buf, size_t size, const ADXDefinition& definition, Packet packet,
                             uint32_t offset, uint32_t options) {
    const double v = ComputeValue(definition, packet, offset, options | evaluation::kNoLookup);
    if (buf == nullptr || size == 0) return v;
    // A number that is not finite (a division by zero, say) has no meaningful text in any
    // format: "----" rather than "nan", "inf" or the lowest integer.
    const bool with_lookup = lookup != nullptr && !(options & evaluation::kNoLookup);
    if (!std::isfinite(v) && (with_lookup || outputtype <= 3)) {
        BoundedCopy(buf, size, "----");
        return v;
    }
    if (with_lookup) {
        lookup->FormatLookup(static_cast<float>(v), buf, size, nullptr, digcount);
        return v;
    }
    // Precision up to 255 digits and numbers up to 1e308 fit here.
    char text[640];
    size_t length = 0;
    const int digits = digcount;
    switch (outputtype) {
        case 0:
            length = static_cast<size_t>(
                std::snprintf(text, sizeof text, "%.*X", digits, evaluation::TruncToLow32(v)));
            break;
        case 1:
            length = static_cast<size_t>(
                std::snprintf(text, sizeof text, "%.*i", digits, evaluation::TruncToInt32(v)));
            break;
        case 2:
            length = static_cast<size_t>(
                std::snprintf(text, sizeof text, "%.*u", digits, evaluation::TruncToLow32(v)));
            break;
        case 3:
            length = evaluation::FormatFixed(v, digits, text, sizeof text);
            if (length == SIZE_MAX) length = 0;
            break;
        default:
            return v;  // no text: the caller's buffer keeps what it held
    }
    BoundedCopy(buf, size, std::string_view(text, length));
    return v;
}

}  // namespace korvit::definition
