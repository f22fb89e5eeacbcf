// Look-ups in ADXLookupTable: binary search, then the table's mode between two entries.
#include <cmath>
#include <cstdio>

#include "definition/adx_lookup_table.h"
#include "evaluation/numeric.h"

namespace korvit::definition {

ADXLookupTable::Choice ADXLookupTable::Choose(float x) const {
    const size_t n = entries_.size();
    if (n == 0) return {};
    // A number that is not a number compares false both ways; it gets the first entry.
    if (n == 1 || std::isnan(x)) return {&entries_[0], entries_[0].output};

    size_t lo = 0;
    size_t hi = n - 1;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (entries_[mid].input < x) {
            lo = mid + 1;
        } else if (entries_[mid].input > x) {
            hi = mid;
        } else {
            return {&entries_[mid], entries_[mid].output};
        }
    }
    if (hi == n - 1 && entries_[n - 1].input < x) return {&entries_[n - 1], entries_[n - 1].output};
    if (lo == 0) return {&entries_[0], entries_[0].output};

    const ADXLookupEntry& below = entries_[lo - 1];
    const ADXLookupEntry& above = entries_[lo];
    switch (lookupmode_) {
        case kInterpolate: {
            if (outputtype_ == kTextOutput) return {&below, below.output};
            const float t = static_cast<float>((static_cast<double>(x) - below.input) /
                                               (static_cast<double>(above.input) - below.input));
            return {nullptr, below.output + (above.output - below.output) * t};
        }
        case kNearest: {
            const float to_below = x - below.input;
            const float to_above = above.input - x;
            const ADXLookupEntry& e = to_below < to_above ? below : above;
            return {&e, e.output};
        }
        case kBelow:
            return {&below, below.output};
        case kAbove:
            return {&above, above.output};
        default:
            // No number; a text table shows its first entry.
            return {outputtype_ == kTextOutput ? &entries_[0] : nullptr, 0.0f};
    }
}

float ADXLookupTable::LookupNumber(float x) const {
    if (outputtype_ == kTextOutput) return 0.0f;
    return Choose(x).number;
}

size_t ADXLookupTable::LookupText(float x, char* buf, size_t size) const {
    if (outputtype_ != kTextOutput) return 0;
    const Choice choice = Choose(x);
    if (choice.entry == nullptr) return BoundedCopy(buf, size, {});
    return choice.entry->text.CopyTo(buf, size);
}

size_t ADXLookupTable::FormatLookup(float x, char* buf, size_t size, float* number,
                                    int digits) const {
    if (outputtype_ == kTextOutput) return LookupText(x, buf, size);
    const float n = Choose(x).number;
    if (number != nullptr) *number = n;
    if (buf == nullptr || size == 0) return 0;
    if (!std::isfinite(n)) return BoundedCopy(buf, size, "----");
    char text[400];  // "%.*f" of an f32 with up to 255 decimals
    size_t length = 0;
    switch (outputtype_) {
        case 0:
            length = static_cast<size_t>(std::snprintf(
                text, sizeof text, "0x%.2X",
                static_cast<unsigned>(evaluation::TruncToInt32(static_cast<double>(n)))));
            break;
        case 1:
            length = static_cast<size_t>(std::snprintf(
                text, sizeof text, "%i", evaluation::TruncToInt32(static_cast<double>(n))));
            break;
        case kNumericOutput:
            length = evaluation::FormatFixed(static_cast<double>(n), digits, text, sizeof text);
            if (length == SIZE_MAX) length = 0;
            break;
        default:
            break;
    }
    return BoundedCopy(buf, size, std::string_view(text, length));
}

}  // namespace korvit::definition
