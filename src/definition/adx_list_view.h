#pragma once

#include <cstdint>
#include <vector>

#include "definition/adx_object.h"

namespace korvit::definition {

/// One row of an item list: an item reference (entrytype 0) or a row that names no item.
struct ADXListViewEntry {
    enum : uint32_t { kItem = 0, kNoItem = 1 };
    uint32_t flags = 0;
    uint32_t entrytype = kItem;
    uint32_t itemidhash = 0;
    OwnedText title;
    ADXObject* item = nullptr;
    uint32_t color = 0;

    /// Sets the item; an item entry also takes the item's idhash.
    void SetItem(ADXObject* object);
};

/// An item list of at most 255 rows, sized explicitly.
class ADXListView : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_LISTVIEW;
    static constexpr size_t kMaxEntries = 255;
    /// Titles this long or longer are not carried over when an entry is copied in.
    static constexpr size_t kMaxTitleCopy = 128;

    ADXListView() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    /// Resizes to n default entries keeping the first min(old, n); refused (0) for n >= 256.
    int Resize(size_t n);
    /// Copies the entry into slot i; 0 when i is not below the count.
    int SetEntry(size_t i, const ADXListViewEntry& entry);
    /// Grows by one and sets the new last slot; refused (0) when full.
    int Append(const ADXListViewEntry& entry);

    size_t count() const { return entries_.size(); }
    const std::vector<ADXListViewEntry>& entries() const { return entries_; }
    std::vector<ADXListViewEntry>& entries() { return entries_; }

    uint32_t flags = 0;

  private:
    std::vector<ADXListViewEntry> entries_;
};

}  // namespace korvit::definition
