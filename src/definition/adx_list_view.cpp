#include "definition/adx_list_view.h"

namespace korvit::definition {

void ADXListViewEntry::SetItem(ADXObject* object) {
    item = object;
    if (entrytype == kItem && object != nullptr) itemidhash = object->idhash();
}

int ADXListView::Resize(size_t n) {
    if (n > kMaxEntries) return 0;
    entries_.resize(n);
    return 1;
}

int ADXListView::SetEntry(size_t i, const ADXListViewEntry& entry) {
    if (i >= entries_.size()) return 0;
    ADXListViewEntry& slot = entries_[i];
    slot.flags = entry.flags;
    slot.entrytype = entry.entrytype;
    slot.itemidhash = entry.itemidhash;
    slot.item = entry.item;
    slot.color = entry.color;
    if (entry.title.present() && entry.title.size() < kMaxTitleCopy) {
        slot.title = entry.title;
    } else {
        slot.title.Set("", 0);
    }
    return 1;
}

int ADXListView::Append(const ADXListViewEntry& entry) {
    if (entries_.size() >= kMaxEntries) return 0;
    entries_.emplace_back();
    return SetEntry(entries_.size() - 1, entry);
}

}  // namespace korvit::definition
