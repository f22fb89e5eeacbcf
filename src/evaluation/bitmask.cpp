// Decoding of ADXBitmask: the raw bits and the AND / XOR test against operand and result.
#include "definition/adx_bitmask.h"
#include "evaluation/packet_word.h"

namespace korvit::definition {

using evaluation::Packet;

uint32_t ADXBitmask::ExtractRaw(Packet packet, uint32_t offset, uint32_t options) {
    return evaluation::ExtractItemRaw(packet, offset, options, packetoffset, sizeinbits,
                                      (flags & kPacketOrder) != 0, last_raw);
}

int ADXBitmask::EvaluateBitmask(const ADXDefinition& /*definition*/, Packet packet, uint32_t offset,
                                uint32_t options) {
    const uint32_t raw = ExtractRaw(packet, offset, options);
    switch (bitop) {
        case kAnd:
            return (operand & raw) == result ? 1 : 0;
        case kXor:
            return (operand ^ raw) == result ? 1 : 0;
        default:
            return 0;
    }
}

int ADXBitmask::BitmaskText(char* buf, size_t size, const ADXDefinition& definition, Packet packet,
                            uint32_t offset, uint32_t options) {
    const int state = EvaluateBitmask(definition, packet, offset, options);
    (state ? truestring_ : falsestring_).CopyTo(buf, size);
    return state;
}

}  // namespace korvit::definition
