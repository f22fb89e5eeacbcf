#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "definition/adx_object.h"
#include "evaluation/equation.h"

namespace korvit::definition {

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

    /// Sets the equation text and rebuilds the vars: one native var per letter, in order.
    void SetEquation(std::string_view text);
    const evaluation::ADXEquation& expression() const { return expression_; }
    evaluation::ADXEquation& expression() { return expression_; }

    /// Copies the record over the first var with the same letter; unknown letters are ignored.
    void SetVar(const ADXValueVar& var);
    const std::vector<ADXValueVar>& vars() const { return vars_; }

    void SetUnits(const char* text, size_t length) { units_.Set(text, length); }
    const OwnedText& units() const { return units_; }

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
    evaluation::ADXEquation expression_;
    std::vector<ADXValueVar> vars_;
    OwnedText units_;
};

}  // namespace korvit::definition
