#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "definition/adx_object.h"
#include "evaluation/equation.h"
#include "evaluation/last_packet.h"

namespace korvit::evaluation {
struct LinkChain;
}

namespace korvit::definition {

class ADXDefinition;
class ADXLookupTable;

/// One letter of a value's equation: its own raw number (native) or another value (link).
struct ADXValueVar {
    enum : uint32_t { kNative = 0, kLink = 1 };
    uint32_t type = kNative;
    char varID = 0;
    uint32_t linkIDHash = 0;
};

/// A number decoded from a reply packet.
class ADXValue : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_VALUE;
    enum Flags : uint32_t {
        kSigned = 1,
        kPacketOrder = 2,  // bytes already in the packet's order: no swap
        kHighAlarm = 4,
        kLowAlarm = 8,
    };

    ADXValue() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    /// Sets the equation text and rebuilds the vars: one native var per variable slot, named by
    /// the letters of the text in order. A conversion failure keeps the previous postfix form.
    void SetValueEquation(std::string_view text);
    void SetEquation(std::string_view text) { SetValueEquation(text); }
    const evaluation::ADXEquation& expression() const { return expression_; }
    evaluation::ADXEquation& expression() { return expression_; }

    /// Copies the record over the first var with the same letter; unknown letters are ignored.
    void SetVar(const ADXValueVar& var);
    const std::vector<ADXValueVar>& vars() const { return vars_; }

    void SetUnits(const char* text, size_t length) { units_.Set(text, length); }
    const OwnedText& units() const { return units_; }
    /// Copies the units text (empty when none); returns its length.
    size_t GetUnits(char* buf, size_t size) const { return units_.CopyTo(buf, size); }

    // Decoding. A packet that is not present makes the value reuse its last raw number.
    /// The raw bytes as an unsigned number, stored as last raw.
    uint32_t ExtractRaw(evaluation::Packet packet, uint32_t offset = 0, uint32_t options = 0);
    /// The raw number with the value's signedness (a signed 24-bit width gives 0.0).
    double RawToNumber(evaluation::Packet packet, uint32_t offset = 0, uint32_t options = 0);
    /// The scaled value: vars set from the raw number and linked values, the equation, then the
    /// lookup table. A circular link evaluates to 0.0.
    double ComputeValue(const ADXDefinition& definition, evaluation::Packet packet,
                        uint32_t offset = 0, uint32_t options = 0);
    /// Writes the value's display text (lookup text, or the number by outputtype) into buf;
    /// returns the value computed without the lookup table.
    double FormatValue(char* buf, size_t size, const ADXDefinition& definition,
                       evaluation::Packet packet, uint32_t offset = 0, uint32_t options = 0);

    uint32_t flags = 0;
    uint32_t parentcmdidhash = 0;
    uint32_t packetoffset = 0;
    uint32_t sizeinbits = 8;
    uint32_t outputtype = 3;
    uint8_t digcount = 2;
    float alarm_low = 0.0f;
    float alarm_high = 255.0f;
    float range_low = 0.0f;
    float range_high = 255.0f;
    /// Written by the reply path, read by displays on other threads.
    std::atomic<uint32_t> last_raw{0};
    uint32_t lookupidhash = 0;
    ADXLookupTable* lookup = nullptr;

  private:
    double ComputeValue(const ADXDefinition& definition, evaluation::Packet packet, uint32_t offset,
                        uint32_t options, const evaluation::LinkChain* chain);

    evaluation::ADXEquation expression_;
    std::vector<ADXValueVar> vars_;
    OwnedText units_;
};

}  // namespace korvit::definition
