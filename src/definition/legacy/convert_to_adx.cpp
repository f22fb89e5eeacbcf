// Conversion of a read ADS definition into ADX objects.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

#include "definition/adx_bitmask.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "definition/adx_list_view.h"
#include "definition/adx_lookup_table.h"
#include "definition/adx_value.h"
#include "definition/legacy/ads_import.h"
#include "definition/legacy/ads_numbers.h"

namespace korvit::definition::legacy {
namespace {

// Wide enough for "%f" of any double.
using NumberText = std::array<char, 400>;

// The mask the import selects values and bitmasks with (bit 64 belongs to no class).
constexpr uint32_t kItemMask = 76;

enum Operation : uint32_t {
    kScale = 0,    // raw * factor + offset
    kInverse = 1,  // factor / raw + offset
    kHex = 2,
    kInteger = 3,
    kPercent = 4,  // of the display range
    kCharacter = 5,
    kLookup = 6,
};

std::string DecimalID(uint32_t unique_id) {
    NumberText text;
    std::snprintf(text.data(), text.size(), "%i", static_cast<int32_t>(unique_id));
    return text.data();
}

int32_t TruncateToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

/// The number a raw limit shows as: the value's operation turns it into its display text, which
/// is then read back as a float (so a hexadecimal text reads as a decimal number, for example).
float DisplayValue(const ALDLValue& value, uint32_t raw) {
    const uint32_t size = value.size_in_bits;
    if (size != 1 && size != 8 && size != 16 && size != 24 && size != 32) raw = 0;
    if (raw == 0xFFFFFFFFu) return 0.0f;  // the display conversion gives no text for it
    const double x = raw;
    NumberText text{};
    switch (value.operation) {
        case kScale:
            std::snprintf(text.data(), text.size(), "%.2f", x * value.factor + value.offset);
            break;
        case kInverse:
            std::snprintf(text.data(), text.size(), "%.2f",
                          raw == 0 ? value.offset : value.factor / x + value.offset);
            break;
        case kHex: {
            // Digits for the size, rounded down to whole bytes; beyond 32 bits only zeros follow.
            const int digits = static_cast<int>(std::min<uint32_t>(size / 4, 8) & ~1u);
            std::snprintf(text.data(), text.size(), "%.*X", digits, raw);
            break;
        }
        case kInteger:
            std::snprintf(text.data(), text.size(), "%i",
                          TruncateToInt(x * value.factor + value.offset));
            break;
        case kPercent: {
            const double low = value.range_low;
            const double high = value.range_high;
            std::snprintf(text.data(), text.size(), "%.2f", (x - low) / (high - low) * 100.0);
            break;
        }
        case kCharacter:
            std::snprintf(text.data(), text.size(), "%c", raw == 0 ? '?' : static_cast<char>(raw));
            break;
        case kLookup: {
            const ALDLLookupTable* table = value.lookup;
            const double entry =
                table != nullptr && raw < table->table_size() ? table->at(raw) : 0.0;
            std::snprintf(text.data(), text.size(), "%.2f", entry);
            break;
        }
        default:
            // Other operations show the raw number as it is.
            std::snprintf(text.data(), text.size(), "%u", raw);
            break;
    }
    return ToFloat(ParseFloat(text.data()));
}

void AddCommands(ADXDefinition& adx, const ALDLDefinition& ads) {
    if (ads.baud == 160) {
        // The 160-baud stream is read at 4800 baud, one serial byte per bit.
        adx.baud = 4800;
        const ALDLCommand& first = ads.commands[0];
        if (first.payload_bytes == 0) return;
        auto listen = std::make_unique<ADXC160BaudListen>();
        listen->SetTitle(first.name.c_str(), first.name.size());
        listen->SetID("160BAUD");
        listen->packetsize = first.payload_bytes;
        adx.monitor_command = listen.get();
        adx.Insert(std::move(listen));
        return;
    }
    for (size_t i = 0; i < ads.number_of_commands && i < ads.commands.size(); ++i) {
        const ALDLCommand& record = ads.commands[i];
        auto command = std::make_unique<ADXCSendCommand>();
        command->SetTitle(record.name.c_str(), record.name.size());
        command->SetID("COMMAND" + std::to_string(i));
        command->flags = 1;
        // The reader already made the last byte the checksum when the record asks for one.
        command->SetBytes(record.bytes.data(), record.total_bytes);
        command->packetoffset = record.bytes_before_payload;
        command->packetsize = record.payload_bytes;
        command->replysize = record.bytes_before_payload + record.payload_bytes;
        command->replytimeout = 200;
        if (record.master != 0) adx.monitor_command = command.get();
        adx.Insert(std::move(command));
    }
}

void AddLookupTable(ADXDefinition& adx, const ALDLLookupTable& item) {
    auto table = std::make_unique<ADXLookupTable>();
    table->inputtype = 1;
    if (item.data_type == ALDLLookupTable::kInteger) table->SetOutputType(1);
    if (item.data_type == ALDLLookupTable::kFloat) table->SetOutputType(3);
    table->SetTitle(item.table_name.c_str(), item.table_name.size());
    table->SetDesc(item.comments.c_str(), item.comments.size());
    table->SetID(DecimalID(item.unique_id));
    for (size_t i = 0; i < item.table_size(); ++i) {
        if (item.present(i)) table->AddEntry(static_cast<float>(i + 1), item.at(i));
    }
    adx.Insert(std::move(table));
}

/// The equation "X * factor + offset", or plain "X" when it would change nothing.
std::string ScaleEquation(const ALDLValue& item) {
    if (item.factor == 1.0 && item.offset == 0.0) return "X";
    std::array<char, 2 * sizeof(NumberText)> text;
    std::snprintf(text.data(), text.size(), "X * %f + %f", item.factor, item.offset);
    return text.data();
}

void AddValue(ADXDefinition& adx, const ALDLValue& item) {
    auto value = std::make_unique<ADXValue>();
    value->SetTitle(item.title.c_str(), item.title.size());
    value->SetUnits(item.unit_label.c_str(), item.unit_label.size());
    value->packetoffset = item.byte_number - 1;
    value->sizeinbits = item.size_in_bits;
    value->SetID(DecimalID(item.unique_id));
    value->alarm_low = DisplayValue(item, item.alarm_low);
    value->alarm_high = DisplayValue(item, item.alarm_high);
    value->range_low = DisplayValue(item, item.range_low);
    value->range_high = DisplayValue(item, item.range_high);
    if (item.alarm_low_enable != 0) value->flags |= ADXValue::kLowAlarm;
    if (item.alarm_high_enable != 0) value->flags |= ADXValue::kHighAlarm;

    std::string equation = "X";
    switch (item.operation) {
        case kScale:
        case kHex:
        case kInteger:
            equation = ScaleEquation(item);
            value->outputtype = item.operation == kScale ? 3 : item.operation == kHex ? 0 : 1;
            break;
        case kInverse: {
            std::array<char, 2 * sizeof(NumberText)> text;
            std::snprintf(text.data(), text.size(), "%f / X + %f", item.factor, item.offset);
            equation = text.data();
            value->outputtype = 3;
            break;
        }
        case kLookup:
            if (item.lookup != nullptr) {
                value->lookup = As<ADXLookupTable>(adx.FindByID(DecimalID(item.lookup->unique_id)));
                if (value->lookup != nullptr) value->lookupidhash = value->lookup->idhash();
            }
            break;
        default:
            break;
    }
    value->SetEquation(equation);
    value->SetVar(ADXValueVar{ADXValueVar::kNative, 'X', 0});
    adx.Insert(std::move(value));
}

void AddBit(ADXDefinition& adx, const ALDLBit& item) {
    auto bit = std::make_unique<ADXBitmask>();
    bit->SetTitle(item.title.c_str(), item.title.size());
    bit->packetoffset = item.byte_number - 1;
    bit->sizeinbits = 8;
    bit->SetID(DecimalID(item.unique_id));
    bit->bitop = ADXBitmask::kAnd;
    bit->operand = 1u << (item.bit_number % 32);
    bit->result = bit->operand;
    bit->SetTrueString(item.set_title.c_str(), item.set_title.size());
    bit->SetFalseString(item.clear_title.c_str(), item.clear_title.size());
    if (item.alarm_set_enable != 0) bit->flags |= ADXBitmask::kAlarmWhenTrue;
    if (item.alarm_clear_enable != 0) bit->flags |= ADXBitmask::kAlarmWhenFalse;
    adx.Insert(std::move(bit));
}

/// An item list of every value and bitmask, in definition order.
void AddDefaultView(ADXDefinition& adx) {
    auto view = std::make_unique<ADXListView>();
    view->SetTitle("Default View", 12);
    view->SetID("DEFAULTVIEW");
    for (const auto& object : adx.objects()) {
        if ((object->type() & kItemMask) == 0) continue;
        ADXListViewEntry entry;
        entry.entrytype = ADXListViewEntry::kItem;
        entry.SetItem(object.get());
        if (!view->Append(entry)) break;  // a list holds at most 255 rows
    }
    if (view->count() > 0) adx.Insert(std::move(view));
}

}  // namespace

int ConvertToADX(ADXDefinition* adx, const ALDLDefinition* ads) {
    if (adx == nullptr || ads == nullptr) return 0;
    adx->Reset();
    adx->SetAuthor(ads->author.c_str(), ads->author.size());
    adx->SetDesc(ads->comments.c_str(), ads->comments.size());
    adx->baud = ads->baud;
    AddCommands(*adx, *ads);
    for (const auto& table : ads->lookup_tables) AddLookupTable(*adx, *table);
    for (const auto& value : ads->values) {
        if (value->separator == 0) AddValue(*adx, *value);
    }
    for (const auto& bit : ads->bits) {
        if (bit->separator == 0) AddBit(*adx, *bit);
    }
    if (!ads->lookup_tables.empty() || !ads->values.empty() || !ads->bits.empty()) {
        AddDefaultView(*adx);
    }
    return 1;
}

int ImportADS(const std::string& path, ADXDefinition& out, std::string& error) {
    ALDLDefinition ads;
    if (ReadADS(path, ads) == 0) {
        error = "Error opening file";
        return 0;
    }
    if (!ads.header_found) {
        error = "No ADS definition found in the file";
        return 0;
    }
    return ConvertToADX(&out, &ads);
}

}  // namespace korvit::definition::legacy
