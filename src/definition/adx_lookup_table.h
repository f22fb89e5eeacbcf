#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "definition/adx_object.h"

namespace korvit::definition {

/// One row of a lookup table: a numeric output, or a text output when the table's outputtype is 5.
struct ADXLookupEntry {
    float input = 0.0f;
    float output = 0.0f;
    OwnedText text;
};

/// Maps an input number to a number or a text; entries stay in ascending order of input.
class ADXLookupTable : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_LOOKUPTABLE;
    static constexpr uint32_t kNumericOutput = 3;
    static constexpr uint32_t kTextOutput = 5;

    ADXLookupTable() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    /// Adds an entry in input order, replacing one with the same input; returns its index,
    /// or -1 for a text table given no text.
    int AddEntry(float input, float output);
    int AddEntry(float input, const char* text, size_t length);
    const std::vector<ADXLookupEntry>& entries() const { return entries_; }

    /// Converts the entries between numeric and text output; text output forces a non-zero mode.
    void SetOutputType(uint32_t type);
    void SetLookupMode(uint32_t mode);
    uint32_t outputtype() const { return outputtype_; }
    uint32_t lookupmode() const { return lookupmode_; }

    uint32_t flags = 0;
    uint32_t inputtype = 3;

  private:
    /// The entry for `input` (replaced in place or newly inserted) and its index.
    std::pair<ADXLookupEntry*, int> Slot(float input);

    uint32_t outputtype_ = kNumericOutput;
    uint32_t lookupmode_ = 0;
    std::vector<ADXLookupEntry> entries_;
};

}  // namespace korvit::definition
