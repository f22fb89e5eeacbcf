// Reading of ADS files: brace-delimited blocks of "name=value;" fields, known only by position.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "definition/legacy/ads_import.h"
#include "definition/legacy/ads_numbers.h"

namespace korvit::definition::legacy {
namespace {

constexpr size_t kFieldCapacity = 255;
constexpr size_t kTableDataCapacity = 10239;
constexpr int kHeaderFieldCount = 13;
constexpr int kCommandFieldCount = 9;

/// Characters of the file, read through a buffer. A byte 0xFF reads as the end of the file, as it
/// did for the tools that wrote the format; CR LF reads as one line feed.
class CharSource {
public:
    static constexpr int kEnd = -1;

    explicit CharSource(std::string_view text) : pos_(text.data()), end_(text.data() + text.size()) {}
    explicit CharSource(std::FILE* file) : file_(file), buffer_(64 * 1024) {}

    int Get() {
        if (pos_ == end_ && !Fill()) return kEnd;
        const auto c = static_cast<unsigned char>(*pos_++);
        if (c == 0xFF) return kEnd;
        if (c == '\r' && (pos_ != end_ || Fill()) && *pos_ == '\n') {
            ++pos_;
            return '\n';
        }
        return c;
    }

    bool failed() const { return failed_; }

private:
    bool Fill() {
        if (file_ == nullptr) return false;
        const size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        if (n == 0) {
            failed_ = std::ferror(file_) != 0;
            file_ = nullptr;
            return false;
        }
        pos_ = buffer_.data();
        end_ = pos_ + n;
        return true;
    }

    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    const char* pos_ = nullptr;
    const char* end_ = nullptr;
    bool failed_ = false;
};

enum class Field { kValue, kBlockEnd, kFileEnd };

/// Finds the next "=" and reads the value up to ";" (the name before "=" is skipped). With
/// `stop_at_brace` a "}" before the "=" ends the block. A value cut off by the end of the file is
/// dropped. Only the first `capacity` characters are kept.
Field NextField(CharSource& in, std::string& value, bool stop_at_brace,
                size_t capacity = kFieldCapacity) {
    for (;;) {
        const int c = in.Get();
        if (c == CharSource::kEnd) return Field::kFileEnd;
        if (c == '}' && stop_at_brace) return Field::kBlockEnd;
        if (c == '=') break;
    }
    value.clear();
    for (;;) {
        const int c = in.Get();
        if (c == CharSource::kEnd) return Field::kFileEnd;
        if (c == ';') return Field::kValue;
        if (value.size() < capacity) value.push_back(static_cast<char>(c));
    }
}

uint32_t ToU32(std::string_view text) { return static_cast<uint32_t>(ParseDecimal(text)); }

/// Reads the fields of a block in order, handing each to `apply(index, value)`, until `count`
/// fields were read or the block or file ends. Returns false when the block or file ended.
template <typename Apply>
bool ReadFields(CharSource& in, int count, bool stop_at_brace, Apply apply) {
    std::string value;
    for (int i = 0; i < count; ++i) {
        if (NextField(in, value, stop_at_brace) != Field::kValue) return false;
        apply(i, std::string_view(value));
    }
    return true;
}

void SetCommandBytes(ALDLCommand& command, std::string_view list) {
    size_t n = 0;
    while (n < command.bytes.size()) {
        const size_t comma = list.find(',');
        command.bytes[n++] = static_cast<uint8_t>(ParseHex(list.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
}

/// Makes every byte of the command add up to 0 modulo 256 by its last byte.
void ApplyChecksum(ALDLCommand& command) {
    if (command.checksum == 0 || command.total_bytes == 0) return;
    const size_t last = command.total_bytes - 1;
    uint8_t sum = 0;
    for (size_t i = 0; i < last; ++i) sum = static_cast<uint8_t>(sum + command.bytes[i]);
    command.bytes[last] = static_cast<uint8_t>(-sum);
}

void ApplyCommandField(ALDLCommand& c, int i, std::string_view v) {
    switch (i) {
        case 0: c.name.Set(v); break;
        case 1: SetCommandBytes(c, v); break;
        // More bytes than the record holds cannot be sent; keep the command within its bytes.
        case 2: c.total_bytes = std::min<uint32_t>(ToU32(v), ALDLCommand::kMaxBytes); break;
        case 3: c.checksum = ToU32(v); break;
        case 4: c.payload_bytes = ToU32(v); break;
        case 5: c.bytes_before_payload = ToU32(v); break;
        case 6: c.master = ToU32(v); break;
        case 7: c.monitor = ToU32(v); break;
        case 8: c.chain_to = ParseDecimal(v); break;
        default: break;
    }
}

void ReadHeader(CharSource& in, ALDLDefinition& ads) {
    ads.header_found = true;
    const bool complete = ReadFields(in, kHeaderFieldCount, true, [&](int i, std::string_view v) {
        if (i == 0) {
            ads.format_version = ToFloat(ParseFloat(v));
            return;
        }
        const float version = ads.format_version;
        if (version < 1.0f) return;
        switch (i) {
            case 1: ads.definition_version.Set(v); break;
            case 2: ads.title.Set(v); break;
            case 3: ads.author.Set(v); break;
            case 4: ads.engine.Set(v); break;
            case 5: ads.year.Set(v); break;
            case 6: ads.vin_code.Set(v); break;
            case 7: ads.code_mask.Set(v); break;
            case 8: ads.comments.Set(v); break;
            case 9:
                if (version >= 1.1f) ads.baud = ToU32(v);
                break;
            case 10:
                if (version >= 1.2f) ads.flags = ParseHex(v);
                break;
            case 11: ads.checksum_id = ParseHex(v); break;
            case 12: {
                const int32_t n = ParseDecimal(v);
                ads.number_of_commands = static_cast<uint8_t>(
                    std::clamp<int32_t>(n, 0, static_cast<int32_t>(ALDLDefinition::kMaxCommands)));
                break;
            }
            default: break;
        }
    });
    if (!complete) return;
    // The command records follow by position, regardless of braces.
    for (size_t r = 0; r < ads.number_of_commands; ++r) {
        ALDLCommand& command = ads.commands[r];
        const bool read = ReadFields(in, kCommandFieldCount, false, [&](int i, std::string_view v) {
            ApplyCommandField(command, i, v);
        });
        ApplyChecksum(command);
        if (!read) return;
    }
}

void ApplyValueField(ALDLValue& item, int i, std::string_view v) {
    switch (i) {
        case 0: item.byte_number = ToU32(v); break;
        case 1: item.message_number = static_cast<uint8_t>(ParseDecimal(v)); break;
        case 2: item.size_in_bits = ToU32(v); break;
        case 3: item.operation = ToU32(v); break;
        case 4: item.factor = ParseFloat(v); break;
        case 5: item.offset = ParseFloat(v); break;
        case 6: item.title.Set(v); break;
        case 7: item.unit_label.Set(v); break;
        case 8: item.alarm_high = ToU32(v); break;
        case 9: item.alarm_high_enable = ToU32(v); break;
        case 10: item.alarm_low = ToU32(v); break;
        case 11: item.alarm_low_enable = ToU32(v); break;
        case 12: item.range_high = ToU32(v); break;
        case 13: item.range_low = ToU32(v); break;
        case 14: item.lookup_table_index = ParseDecimal(v); break;
        default: break;
    }
}

void ApplyBitField(ALDLBit& item, int i, std::string_view v) {
    switch (i) {
        case 0: item.byte_number = ToU32(v); break;
        case 1: item.message_number = static_cast<uint8_t>(ParseDecimal(v)); break;
        case 2: item.bit_number = ToU32(v); break;
        case 3: item.title.Set(v); break;
        case 4: item.alarm_set_enable = ToU32(v); break;
        case 5: item.alarm_clear_enable = ToU32(v); break;
        case 6: item.set_title.Set(v); break;
        case 7: item.clear_title.Set(v); break;
        default: break;
    }
}

/// Table data: "index,value" pairs, one per line.
void ReadTableData(ALDLLookupTable& table, std::string_view data) {
    if (table.data_type != ALDLLookupTable::kInteger && table.data_type != ALDLLookupTable::kFloat) {
        return;  // the bytes of other data types are not interpreted
    }
    while (!data.empty()) {
        const size_t eol = data.find('\n');
        const std::string_view line = data.substr(0, eol);
        data.remove_prefix(eol == std::string_view::npos ? data.size() : eol + 1);
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos) continue;
        const std::string_view number = line.substr(comma + 1);
        const float value = table.data_type == ALDLLookupTable::kInteger
                                ? static_cast<float>(ParseDecimal(number))
                                : ToFloat(ParseFloat(number));
        table.Store(ParseDecimal(line.substr(0, comma)), value);
    }
}

/// Reads the lookup table's fields; its data field may be far longer than the others.
void ReadLookupTable(CharSource& in, ALDLLookupTable& table) {
    constexpr int kDataField = 6;
    std::string value;
    for (int i = 0; i <= kDataField; ++i) {
        const size_t capacity = i == kDataField ? kTableDataCapacity : kFieldCapacity;
        if (NextField(in, value, true, capacity) != Field::kValue) return;
        switch (i) {
            case 0: table.data_type = static_cast<uint8_t>(ParseDecimal(value)); break;
            case 1: table.Resize(static_cast<uint16_t>(ParseDecimal(value))); break;
            case 2: table.index_size = static_cast<uint16_t>(ParseDecimal(value)); break;
            case 3: table.table_name.Set(value); break;
            case kDataField: ReadTableData(table, value); break;
            default: break;  // two reserved fields
        }
    }
}

/// Reads item blocks and keeps track of the unique ids already taken by values, bits and tables.
class ItemReader {
public:
    ItemReader(CharSource& in, ALDLDefinition& ads) : in_(in), ads_(ads) {}

    void Read() {
        // Fields are taken only from format version 1.0; before that no item has a type.
        std::string value;
        if (NextField(in_, value, true) != Field::kValue || ads_.format_version < 1.0f) return;
        switch (ToU32(value)) {
            case ALDLItem::kValue: {
                auto item = std::make_unique<ALDLValue>();
                if (ReadCommon(*item)) {
                    ReadFields(in_, 15, true, [&](int i, auto f) { ApplyValueField(*item, i, f); });
                }
                ads_.values.push_back(std::move(item));
                break;
            }
            case ALDLItem::kBit: {
                auto item = std::make_unique<ALDLBit>();
                if (ReadCommon(*item)) {
                    ReadFields(in_, 8, true, [&](int i, auto f) { ApplyBitField(*item, i, f); });
                }
                ads_.bits.push_back(std::move(item));
                break;
            }
            case ALDLItem::kLookupTable: {
                auto item = std::make_unique<ALDLLookupTable>();
                if (ReadCommon(*item)) ReadLookupTable(in_, *item);
                ads_.lookup_tables.push_back(std::move(item));
                break;
            }
            case ALDLItem::kDash: {
                ALDLDash dash;
                if (ReadCommon(dash)) ReadDash();
                break;
            }
            default: break;  // unknown item types are read no further
        }
    }

private:
    /// The four common fields after the type; false when the block or file ended among them.
    bool ReadCommon(ALDLItem& item) {
        const bool complete = ReadFields(in_, 4, true, [&item](int i, std::string_view v) {
            switch (i) {
                case 0: item.comments.Set(v); break;
                case 1: item.separator = ToU32(v); break;
                case 2: item.visible = ToU32(v); break;
                case 3: item.unique_id = ToU32(v); break;
                default: break;
            }
        });
        if (item.item_type != ALDLItem::kDash && !ids_.insert(item.unique_id).second) {
            item.item_flags |= ALDLItem::kRepeatedID;
            ads_.renumber = true;
        }
        return complete;
    }

    void ReadDash() {
        ReadFields(in_, 4, true, [this](int i, std::string_view v) {
            switch (i) {
                case 0: ads_.gauge_count = static_cast<uint8_t>(ParseDecimal(v)); break;
                case 1: ads_.gauge_ids.Set(v); break;
                case 2: ads_.monitor_count = static_cast<uint8_t>(ParseDecimal(v)); break;
                case 3: ads_.monitor_ids.Set(v); break;
                default: break;
            }
        });
    }

    CharSource& in_;
    ALDLDefinition& ads_;
    std::unordered_set<uint32_t> ids_;
};

/// Links each value to the lookup table its index names. The first index that names no table
/// ends the linking, so later values stay unlinked.
void LinkLookupTables(ALDLDefinition& ads) {
    for (auto& value : ads.values) {
        if (value->lookup_table_index < 0) continue;
        const auto id = static_cast<uint32_t>(value->lookup_table_index);
        auto table = std::find_if(ads.lookup_tables.begin(), ads.lookup_tables.end(),
                                  [id](const auto& t) { return t->unique_id == id; });
        if (table == ads.lookup_tables.end()) return;
        value->lookup = table->get();
        (*table)->users.push_back(value.get());
    }
}

/// Resolves a list of unique ids separated by "," or ";" to at most `count` items.
std::vector<ALDLItem*> ResolveIDList(const ALDLDefinition& ads, std::string_view list,
                                     size_t count) {
    std::vector<ALDLItem*> items;
    while (!list.empty() && items.size() < count) {
        const size_t sep = list.find_first_of(",;");
        if (ALDLItem* item = ads.FindItem(ToU32(list.substr(0, sep)))) items.push_back(item);
        list.remove_prefix(sep == std::string_view::npos ? list.size() : sep + 1);
    }
    return items;
}

/// Gives every item that repeated an earlier unique id the smallest id that no value, bit or
/// lookup table holds at that moment, in the order values, bits, lookup tables.
void Renumber(ALDLDefinition& ads) {
    std::unordered_map<uint32_t, size_t> held;
    auto each_item = [&ads](auto visit) {
        for (auto& v : ads.values) visit(*v);
        for (auto& b : ads.bits) visit(*b);
        for (auto& t : ads.lookup_tables) visit(*t);
    };
    each_item([&held](ALDLItem& item) { ++held[item.unique_id]; });
    uint32_t candidate = 1;  // every id below it is held
    each_item([&](ALDLItem& item) {
        if ((item.item_flags & ALDLItem::kRepeatedID) == 0) return;
        if (--held[item.unique_id] == 0 && item.unique_id != 0 && item.unique_id < candidate) {
            candidate = item.unique_id;
        }
        for (auto it = held.find(candidate); it != held.end() && it->second != 0;
             it = held.find(candidate)) {
            ++candidate;
        }
        item.unique_id = candidate;
        ++held[candidate];
        item.item_flags &= ~uint32_t{ALDLItem::kRepeatedID};
        if (auto* table = dynamic_cast<ALDLLookupTable*>(&item)) {
            for (ALDLValue* user : table->users) {
                user->lookup_table_index = static_cast<int32_t>(candidate);
            }
        }
    });
    ads.renumber = false;
}

void ReadBlocks(CharSource& in, ALDLDefinition& ads) {
    ads.Reset();
    ItemReader items(in, ads);
    for (int c = in.Get(); c != CharSource::kEnd; c = in.Get()) {
        if (c != '{') continue;
        if (!ads.header_found) {
            ReadHeader(in, ads);
        } else {
            items.Read();
        }
    }
    LinkLookupTables(ads);
    ads.gauges = ResolveIDList(ads, ads.gauge_ids.view(), ads.gauge_count);
    ads.monitors = ResolveIDList(ads, ads.monitor_ids.view(), ads.monitor_count);
    if (ads.renumber) Renumber(ads);
}

}  // namespace

void ReadADSText(std::string_view text, ALDLDefinition& ads) {
    CharSource in(text);
    ReadBlocks(in, ads);
}

int ReadADS(const std::string& path, ALDLDefinition& ads) {
    if (path.empty()) return 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) return 0;
    CharSource in(file.get());
    ReadBlocks(in, ads);
    return in.failed() ? 0 : 1;
}

}  // namespace korvit::definition::legacy
