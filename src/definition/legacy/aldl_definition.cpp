#include "definition/legacy/aldl_definition.h"

namespace korvit::definition::legacy {

void ALDLLookupTable::Resize(uint16_t size) {
    table_size_ = size;
    data_.assign(size, 0.0f);
    present_.assign(size, false);
}

void ALDLLookupTable::Store(int64_t index, float value) {
    if (index < 0 || static_cast<size_t>(index) >= data_.size()) return;
    data_[static_cast<size_t>(index)] = value;
    present_[static_cast<size_t>(index)] = true;
}

void ALDLDefinition::Reset() {
    // Items are owned here, so dropping the lists first keeps the raw item pointers from dangling.
    gauges.clear();
    monitors.clear();
    values.clear();
    bits.clear();
    lookup_tables.clear();
    format_version = 0.0f;
    definition_version = FixedText<15>("Version 1.0");
    title = FixedText<100>("New ALDL Datastream Definition");
    author = {};
    engine = {};
    year = {};
    vin_code = {};
    code_mask = {};
    comments = {};
    baud = 8192;
    number_of_commands = 0;
    flags = 0;
    checksum_id = 0;
    commands.fill(ALDLCommand{});
    gauge_count = 0;
    gauge_ids = {};
    monitor_count = 0;
    monitor_ids = {};
    renumber = false;
    header_found = false;
}

ALDLItem* ALDLDefinition::FindItem(uint32_t unique_id) const {
    for (const auto& v : values) {
        if (v->unique_id == unique_id) return v.get();
    }
    for (const auto& b : bits) {
        if (b->unique_id == unique_id) return b.get();
    }
    for (const auto& t : lookup_tables) {
        if (t->unique_id == unique_id) return t.get();
    }
    return nullptr;
}

}  // namespace korvit::definition::legacy
