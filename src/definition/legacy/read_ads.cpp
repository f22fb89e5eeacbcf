// Reading of ADS files: brace-delimited blocks of "name=value;" fields, known only by position.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "definition/adx_read_rules.h"
#include "definition/legacy/ads_import.h"
#include "definition/legacy/ads_numbers.h"

namespace korvit::definition::legacy {
namespace {

constexpr size_t kFieldCapacity = 255;
constexpr size_t kTableDataCapacity = 10239;

/// Characters of the file, read through a buffer. A byte 0xFF reads as the end of the file, and
/// CR LF as one line feed, so that files written on either platform read alike.
class CharSource {
  public:
    static constexpr int kEnd = -1;

    explicit CharSource(std::string_view text)
        : pos_(text.data()), end_(text.data() + text.size()) {}
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

uint32_t ToU32(std::string_view text) {
    return static_cast<uint32_t>(adx::ReadDecimal(text));
}

/// One positional field: how its text is stored into the item that the block fills.
template <typename Item>
using FieldSetter = void (*)(Item&, std::string_view);

template <typename Member>
struct MemberOf;
template <typename Class, typename Type>
struct MemberOf<Type Class::*> {
    using C = Class;
    using T = Type;
};

// Setters for a field stored straight into a member; numbers narrow as the field widths do.
template <auto M>
void Decimal(typename MemberOf<decltype(M)>::C& item, std::string_view v) {
    item.*M = static_cast<typename MemberOf<decltype(M)>::T>(adx::ReadDecimal(v));
}
template <auto M>
void Hex(typename MemberOf<decltype(M)>::C& item, std::string_view v) {
    item.*M = adx::ReadHex(v);
}
template <auto M>
void Float(typename MemberOf<decltype(M)>::C& item, std::string_view v) {
    item.*M = ParseFloat(v);
}
template <auto M>
void Text(typename MemberOf<decltype(M)>::C& item, std::string_view v) {
    (item.*M).Set(v);
}
template <typename Item>
void Skip(Item&, std::string_view) {}

/// Reads the fields of a block in order, handing each to `apply(index, value)`, until `count`
/// fields were read or the block or file ends. Returns false when the block or file ended.
template <typename Apply>
bool ReadFields(CharSource& in, size_t count, bool stop_at_brace, Apply apply) {
    std::string value;
    for (size_t i = 0; i < count; ++i) {
        if (NextField(in, value, stop_at_brace) != Field::kValue) return false;
        apply(i, std::string_view(value));
    }
    return true;
}

template <typename Item, size_t N>
bool ReadFields(CharSource& in, Item& item, const std::array<FieldSetter<Item>, N>& fields,
                bool stop_at_brace = true) {
    return ReadFields(in, N, stop_at_brace,
                      [&](size_t i, std::string_view v) { fields[i](item, v); });
}

void SetCommandBytes(ALDLCommand& command, std::string_view list) {
    for (size_t n = 0; n < command.bytes.size();) {
        const size_t comma = list.find(',');
        command.bytes[n++] = static_cast<uint8_t>(adx::ReadHex(list.substr(0, comma)));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
}

/// More bytes than the record holds cannot be sent; the command stays within its bytes.
void SetTotalBytes(ALDLCommand& command, std::string_view v) {
    command.total_bytes = std::min<uint32_t>(ToU32(v), ALDLCommand::kMaxBytes);
}

/// Makes every byte of the command add up to 0 modulo 256 by its last byte.
void ApplyChecksum(ALDLCommand& command) {
    if (command.checksum == 0 || command.total_bytes == 0) return;
    const size_t last = command.total_bytes - 1;
    uint8_t sum = 0;
    for (size_t i = 0; i < last; ++i) sum = static_cast<uint8_t>(sum + command.bytes[i]);
    command.bytes[last] = static_cast<uint8_t>(-sum);
}

void SetFormatVersion(ALDLDefinition& ads, std::string_view v) {
    ads.format_version = ToFloat(ParseFloat(v));
}

void SetCommandCount(ALDLDefinition& ads, std::string_view v) {
    const int32_t n = adx::ReadDecimal(v);
    ads.number_of_commands = static_cast<uint8_t>(
        std::clamp<int32_t>(n, 0, static_cast<int32_t>(ALDLDefinition::kMaxCommands)));
}

/// A header field and the format version from which it is taken.
struct HeaderField {
    float since;
    FieldSetter<ALDLDefinition> set;
};

constexpr std::array<HeaderField, 13> kHeaderFields = {{
    {0.0f, SetFormatVersion},  // always taken: it gates the others
    {1.0f, Text<&ALDLDefinition::definition_version>},
    {1.0f, Text<&ALDLDefinition::title>},
    {1.0f, Text<&ALDLDefinition::author>},
    {1.0f, Text<&ALDLDefinition::engine>},
    {1.0f, Text<&ALDLDefinition::year>},
    {1.0f, Text<&ALDLDefinition::vin_code>},
    {1.0f, Text<&ALDLDefinition::code_mask>},
    {1.0f, Text<&ALDLDefinition::comments>},
    {1.1f, Decimal<&ALDLDefinition::baud>},
    {1.2f, Hex<&ALDLDefinition::flags>},
    {1.0f, Hex<&ALDLDefinition::checksum_id>},
    {1.0f, SetCommandCount},
}};

constexpr std::array<FieldSetter<ALDLCommand>, 9> kCommandFields = {
    Text<&ALDLCommand::name>,
    SetCommandBytes,
    SetTotalBytes,
    Decimal<&ALDLCommand::checksum>,
    Decimal<&ALDLCommand::payload_bytes>,
    Decimal<&ALDLCommand::bytes_before_payload>,
    Decimal<&ALDLCommand::master>,
    Decimal<&ALDLCommand::monitor>,
    Decimal<&ALDLCommand::chain_to>,
};

constexpr std::array<FieldSetter<ALDLItem>, 4> kCommonFields = {
    Text<&ALDLItem::comments>,
    Decimal<&ALDLItem::separator>,
    Decimal<&ALDLItem::visible>,
    Decimal<&ALDLItem::unique_id>,
};

constexpr std::array<FieldSetter<ALDLValue>, 15> kValueFields = {
    Decimal<&ALDLValue::byte_number>,
    Decimal<&ALDLValue::message_number>,
    Decimal<&ALDLValue::size_in_bits>,
    Decimal<&ALDLValue::operation>,
    Float<&ALDLValue::factor>,
    Float<&ALDLValue::offset>,
    Text<&ALDLValue::title>,
    Text<&ALDLValue::unit_label>,
    Decimal<&ALDLValue::alarm_high>,
    Decimal<&ALDLValue::alarm_high_enable>,
    Decimal<&ALDLValue::alarm_low>,
    Decimal<&ALDLValue::alarm_low_enable>,
    Decimal<&ALDLValue::range_high>,
    Decimal<&ALDLValue::range_low>,
    Decimal<&ALDLValue::lookup_table_index>,
};

constexpr std::array<FieldSetter<ALDLBit>, 8> kBitFields = {
    Decimal<&ALDLBit::byte_number>,      Decimal<&ALDLBit::message_number>,
    Decimal<&ALDLBit::bit_number>,       Text<&ALDLBit::title>,
    Decimal<&ALDLBit::alarm_set_enable>, Decimal<&ALDLBit::alarm_clear_enable>,
    Text<&ALDLBit::set_title>,           Text<&ALDLBit::clear_title>,
};

void SetTableSize(ALDLLookupTable& table, std::string_view v) {
    table.Resize(static_cast<uint16_t>(adx::ReadDecimal(v)));
}

/// The fields before the table data: the data field is read on its own, it may be far longer.
constexpr std::array<FieldSetter<ALDLLookupTable>, 6> kTableFields = {
    Decimal<&ALDLLookupTable::data_type>,
    SetTableSize,
    Decimal<&ALDLLookupTable::index_size>,
    Text<&ALDLLookupTable::table_name>,
    Skip<ALDLLookupTable>,  // two reserved fields
    Skip<ALDLLookupTable>,
};

constexpr std::array<FieldSetter<ALDLDefinition>, 4> kDashFields = {
    Decimal<&ALDLDefinition::gauge_count>,
    Text<&ALDLDefinition::gauge_ids>,
    Decimal<&ALDLDefinition::monitor_count>,
    Text<&ALDLDefinition::monitor_ids>,
};

void ReadHeader(CharSource& in, ALDLDefinition& ads) {
    ads.header_found = true;
    const bool complete =
        ReadFields(in, kHeaderFields.size(), true, [&ads](size_t i, std::string_view v) {
            if (i == 0 || ads.format_version >= kHeaderFields[i].since)
                kHeaderFields[i].set(ads, v);
        });
    if (!complete) return;
    // The command records follow by position, regardless of braces.
    for (size_t r = 0; r < ads.number_of_commands; ++r) {
        const bool read = ReadFields(in, ads.commands[r], kCommandFields, false);
        ApplyChecksum(ads.commands[r]);
        if (!read) return;
    }
}

/// Table data: "index,value" pairs, one per line.
void ReadTableData(ALDLLookupTable& table, std::string_view data) {
    if (table.data_type != ALDLLookupTable::kInteger &&
        table.data_type != ALDLLookupTable::kFloat) {
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
                                ? static_cast<float>(adx::ReadDecimal(number))
                                : ToFloat(ParseFloat(number));
        table.Store(adx::ReadDecimal(line.substr(0, comma)), value);
    }
}

void ReadLookupTable(CharSource& in, ALDLLookupTable& table) {
    if (!ReadFields(in, table, kTableFields)) return;
    std::string data;
    if (NextField(in, data, true, kTableDataCapacity) == Field::kValue) ReadTableData(table, data);
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
                if (ReadCommon(*item)) ReadFields(in_, *item, kValueFields);
                ads_.values.push_back(std::move(item));
                break;
            }
            case ALDLItem::kBit: {
                auto item = std::make_unique<ALDLBit>();
                if (ReadCommon(*item)) ReadFields(in_, *item, kBitFields);
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
                if (ReadCommon(dash)) ReadFields(in_, ads_, kDashFields);
                break;
            }
            default:
                break;  // unknown item types are read no further
        }
    }

  private:
    /// The four common fields after the type; false when the block or file ended among them.
    bool ReadCommon(ALDLItem& item) {
        const bool complete = ReadFields(in_, item, kCommonFields);
        if (item.item_type != ALDLItem::kDash && !ids_.insert(item.unique_id).second) {
            item.item_flags |= ALDLItem::kRepeatedID;
            ads_.renumber = true;
        }
        return complete;
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
