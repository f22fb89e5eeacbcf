#pragma once

#include <atomic>
#include <cstdint>

#include "definition/adx_object.h"
#include "evaluation/last_packet.h"

namespace korvit::definition {

class ADXDefinition;

/// A flag tested on reply bits with AND or XOR.
class ADXBitmask : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_BITMASK;
    enum Flags : uint32_t {
        kPacketOrder = 1,
        kAlarmWhenTrue = 2,
        kAlarmWhenFalse = 4,
    };
    enum BitOp : uint32_t { kAnd = 0, kXor = 1 };

    ADXBitmask() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    void SetTrueString(const char* text, size_t length) { truestring_.Set(text, length); }
    void SetFalseString(const char* text, size_t length) { falsestring_.Set(text, length); }
    const OwnedText& truestring() const { return truestring_; }
    const OwnedText& falsestring() const { return falsestring_; }

    // Decoding. A packet that is not present makes the bitmask reuse its last raw number.
    /// The raw bytes as an unsigned number, stored as last raw.
    uint32_t ExtractRaw(evaluation::Packet packet, uint32_t offset = 0, uint32_t options = 0);
    /// 1 when (operand AND raw) or (operand XOR raw) equals result, by bitop; else 0.
    int EvaluateBitmask(const ADXDefinition& definition, evaluation::Packet packet,
                        uint32_t offset = 0, uint32_t options = 0);
    /// Copies truestring or falsestring (empty when absent) into buf; returns the state.
    int BitmaskText(char* buf, size_t size, const ADXDefinition& definition,
                    evaluation::Packet packet, uint32_t offset = 0, uint32_t options = 0);

    uint32_t flags = 0;
    uint32_t parentcmdidhash = 0;
    uint32_t packetoffset = 0;
    uint32_t sizeinbits = 8;
    uint32_t operand = 0;
    uint32_t result = 0;
    uint32_t bitop = kAnd;
    /// Written by the reply path, read by displays on other threads.
    std::atomic<uint32_t> last_raw{0};

  private:
    OwnedText truestring_;
    OwnedText falsestring_;
};

}  // namespace korvit::definition
