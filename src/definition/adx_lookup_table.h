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
    /// Removes entry `index`; returns its input (0.0 when out of range).
    float RemoveEntryAt(size_t index);
    /// Removes the entry with exactly this input; 1 if there was one.
    int RemoveEntry(float input);
    void ClearEntries() { entries_.clear(); }
    /// Clears, and sets inputtype 3, outputtype 3, lookupmode 0.
    void ResetTable();
    /// Copies entry `index` into `out`; 0 when out of range.
    int GetEntry(size_t index, ADXLookupEntry& out) const;

    /// Converts the entries between numeric and text output; text output forces a non-zero mode.
    void SetOutputType(uint32_t type);
    void SetLookupMode(uint32_t mode);
    uint32_t outputtype() const { return outputtype_; }
    uint32_t lookupmode() const { return lookupmode_; }

    // Look-ups (binary search; every mode clamps to the end entries).
    enum LookupMode : uint32_t { kInterpolate = 0, kNearest = 1, kBelow = 2, kAbove = 3 };
    /// The numeric result; 0.0 for an empty table and for a text table.
    float LookupNumber(float x) const;
    /// Copies the chosen entry's text; returns its length (0 for a numeric table).
    size_t LookupText(float x, char* buf, size_t size) const;
    /// The result as text: the entry's text, or the number by outputtype (0 "0x%.2X", 1 "%i",
    /// 3 with `digits` decimals). Stores a numeric table's number in `number` when given.
    /// Returns the length of the text written.
    size_t FormatLookup(float x, char* buf, size_t size, float* number, int digits) const;

    uint32_t flags = 0;
    uint32_t inputtype = 3;

  private:
    /// The entry for `input` (replaced in place or newly inserted) and its index.
    std::pair<ADXLookupEntry*, int> Slot(float input);
    /// The entry a look-up of x lands on, or none with a number (interpolation, unknown mode).
    struct Choice {
        const ADXLookupEntry* entry = nullptr;
        float number = 0.0f;
    };
    Choice Choose(float x) const;

    uint32_t outputtype_ = kNumericOutput;
    uint32_t lookupmode_ = 0;
    std::vector<ADXLookupEntry> entries_;
};

}  // namespace korvit::definition
