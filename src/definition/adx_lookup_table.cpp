#include "definition/adx_lookup_table.h"

#include <cstdio>

namespace korvit::definition {

std::pair<ADXLookupEntry*, int> ADXLookupTable::Slot(float input) {
    // Tables are mostly built in ascending order: append without walking the entries.
    if (entries_.empty() || entries_.back().input < input) {
        entries_.emplace_back();
        entries_.back().input = input;
        return {&entries_.back(), static_cast<int>(entries_.size() - 1)};
    }
    size_t i = 0;
    for (; i < entries_.size(); ++i) {
        if (entries_[i].input == input) {
            entries_[i] = ADXLookupEntry{};
            break;
        }
        if (entries_[i].input > input) {
            entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(i), ADXLookupEntry{});
            break;
        }
    }
    if (i == entries_.size()) entries_.emplace_back();
    entries_[i].input = input;
    return {&entries_[i], static_cast<int>(i)};
}

int ADXLookupTable::AddEntry(float input, float output) {
    if (outputtype_ == kTextOutput) return -1;
    auto [entry, index] = Slot(input);
    entry->output = output;
    return index;
}

int ADXLookupTable::AddEntry(float input, const char* text, size_t length) {
    if (outputtype_ == kTextOutput && (text == nullptr || length == 0)) return -1;
    auto [entry, index] = Slot(input);
    entry->text.Set(text, length);
    return index;
}

void ADXLookupTable::SetOutputType(uint32_t type) {
    if (type == outputtype_) return;
    if (type == kTextOutput) {
        if (lookupmode_ == 0) lookupmode_ = 1;
        for (auto& e : entries_) {
            char buf[20];
            const int n = std::snprintf(buf, sizeof buf, "%f", static_cast<double>(e.output));
            e.text.Set(buf, n < 0 ? 0 : (static_cast<size_t>(n) < sizeof buf ? n : sizeof buf - 1));
        }
    } else if (outputtype_ == kTextOutput) {
        for (auto& e : entries_) {
            e.text.Clear();
            e.output = 0.0f;
        }
    }
    outputtype_ = type;
}

float ADXLookupTable::RemoveEntryAt(size_t index) {
    if (index >= entries_.size()) return 0.0f;
    const float input = entries_[index].input;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    return input;
}

int ADXLookupTable::RemoveEntry(float input) {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].input == input) {
            RemoveEntryAt(i);
            return 1;
        }
    }
    return 0;
}

void ADXLookupTable::ResetTable() {
    ClearEntries();
    inputtype = 3;
    outputtype_ = kNumericOutput;
    lookupmode_ = 0;
}

int ADXLookupTable::GetEntry(size_t index, ADXLookupEntry& out) const {
    if (index >= entries_.size()) return 0;
    out = entries_[index];
    return 1;
}

void ADXLookupTable::SetLookupMode(uint32_t mode) {
    lookupmode_ = (mode == 0 && outputtype_ == kTextOutput) ? 1 : mode;
}

}  // namespace korvit::definition
