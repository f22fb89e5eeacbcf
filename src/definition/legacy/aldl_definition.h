#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace korvit::definition::legacy {

/// A text field of the ADS format: at most N - 1 characters, always terminated; longer input is
/// cut.
template <size_t N>
class FixedText {
  public:
    static constexpr size_t kCapacity = N;

    FixedText() = default;
    explicit FixedText(std::string_view text) { Set(text); }

    /// Copies up to N - 1 characters, stopping at an embedded terminator as a C copy would.
    void Set(std::string_view text) {
        size_t n = text.size() < N - 1 ? text.size() : N - 1;
        if (const void* nul = std::memchr(text.data(), '\0', n)) {
            n = static_cast<size_t>(static_cast<const char*>(nul) - text.data());
        }
        std::memcpy(text_.data(), text.data(), n);
        text_[n] = '\0';
        length_ = n;
    }
    std::string_view view() const { return std::string_view(text_.data(), length_); }
    const char* c_str() const { return text_.data(); }
    size_t size() const { return length_; }

  private:
    std::array<char, N> text_{};
    size_t length_ = 0;
};

/// Base of the items of an ADS file. Its one virtual operation gives the item's display title.
class ALDLItem {
  public:
    enum Type : uint32_t { kValue = 1, kBit = 2, kLookupTable = 5, kDash = 6 };
    enum Flags : uint32_t { kRepeatedID = 1 };

    explicit ALDLItem(uint32_t type) : item_type(type) {}
    virtual ~ALDLItem() = default;
    ALDLItem(const ALDLItem&) = delete;
    ALDLItem& operator=(const ALDLItem&) = delete;

    virtual std::string_view Title() const { return {}; }

    uint32_t item_type;
    FixedText<256> comments{"<Comments>"};
    uint32_t separator = 0;
    uint32_t visible = 1;
    uint32_t unique_id = 0;
    /// kRepeatedID: the unique id repeats an earlier item's, so the item gets a new one.
    uint32_t item_flags = 0;
};

class ALDLLookupTable;

/// A number taken from a byte of a reply and scaled by one of the format's operations.
class ALDLValue : public ALDLItem {
  public:
    ALDLValue() : ALDLItem(kValue) {}
    std::string_view Title() const override { return title.view(); }

    uint32_t byte_number = 0;  // counted from 1
    uint8_t message_number = 1;
    uint32_t size_in_bits = 8;
    FixedText<100> title{"New ALDL Value"};
    uint32_t operation = 0;
    double factor = 1.0;
    double offset = 0.0;
    FixedText<25> unit_label{"Units"};
    uint32_t alarm_high = 255;
    uint32_t alarm_high_enable = 0;
    uint32_t alarm_low = 0;
    uint32_t alarm_low_enable = 0;
    uint32_t range_high = 255;
    uint32_t range_low = 0;
    /// Unique id of a lookup table item, or negative for none.
    int32_t lookup_table_index = -1;
    /// Set after reading from lookup_table_index.
    ALDLLookupTable* lookup = nullptr;
};

/// One flag bit of a reply byte.
class ALDLBit : public ALDLItem {
  public:
    ALDLBit() : ALDLItem(kBit) {}
    std::string_view Title() const override { return title.view(); }

    uint32_t byte_number = 0;  // counted from 1
    uint8_t message_number = 1;
    uint32_t bit_number = 0;
    FixedText<100> title{"New ALDL Bit"};
    uint32_t alarm_set_enable = 0;
    uint32_t alarm_clear_enable = 0;
    FixedText<15> set_title{"1"};
    FixedText<15> clear_title{"0"};
};

/// A table of numbers by index; only the indices the file gives are marked present.
class ALDLLookupTable : public ALDLItem {
  public:
    enum DataType : uint8_t { kInteger = 1, kFloat = 2 };
    static constexpr uint16_t kDefaultSize = 256;

    ALDLLookupTable() : ALDLItem(kLookupTable) {}
    std::string_view Title() const override { return table_name.view(); }

    /// Allocates the storage for `size` entries, all absent. Until then the table stores nothing.
    void Resize(uint16_t size);
    /// Stores a value; an index outside the allocated storage is ignored.
    void Store(int64_t index, float value);
    uint16_t table_size() const { return table_size_; }
    bool present(size_t index) const { return index < present_.size() && present_[index]; }
    /// The stored value, 0 for an absent index or one beyond the table.
    float at(size_t index) const { return index < data_.size() ? data_[index] : 0.0f; }

    uint16_t index_size = 0;  // bytes per stored entry
    FixedText<100> table_name{"New Lookup Table"};
    uint8_t data_type = kFloat;
    /// The values that use this table (non-owning).
    std::vector<ALDLValue*> users;

  private:
    uint16_t table_size_ = kDefaultSize;
    std::vector<float> data_;
    std::vector<bool> present_;
};

/// The dash block: its fields fill the definition's gauge and monitor lists.
class ALDLDash : public ALDLItem {
  public:
    ALDLDash() : ALDLItem(kDash) {}
    std::string_view Title() const override { return "ALDL Dash"; }
};

/// One data request of the header.
struct ALDLCommand {
    static constexpr size_t kMaxBytes = 12;

    FixedText<100> name{"New ALDL Data Command"};
    std::array<uint8_t, kMaxBytes> bytes{};
    uint32_t total_bytes = 0;
    uint32_t payload_bytes = 63;
    uint32_t bytes_before_payload = 0;
    uint32_t checksum = 1;
    uint32_t master = 0;
    uint32_t monitor = 0;
    int32_t chain_to = -1;
};

/// An ADS file in memory: header, command records and the items in file order.
class ALDLDefinition {
  public:
    static constexpr size_t kMaxCommands = 10;

    ALDLDefinition() = default;
    ALDLDefinition(const ALDLDefinition&) = delete;
    ALDLDefinition& operator=(const ALDLDefinition&) = delete;

    /// Back to the defaults of an empty file.
    void Reset();

    /// The first value, bit or lookup table with this unique id, or null.
    ALDLItem* FindItem(uint32_t unique_id) const;

    float format_version = 0.0f;
    FixedText<15> definition_version{"Version 1.0"};
    FixedText<100> title{"New ALDL Datastream Definition"};
    FixedText<50> author;
    FixedText<50> engine;
    FixedText<30> year;
    FixedText<15> vin_code;
    FixedText<25> code_mask;
    FixedText<256> comments;
    uint32_t baud = 8192;
    uint8_t number_of_commands = 0;
    uint32_t flags = 0;
    uint32_t checksum_id = 0;
    std::array<ALDLCommand, kMaxCommands> commands{};

    uint8_t gauge_count = 0;
    FixedText<100> gauge_ids;
    uint8_t monitor_count = 0;
    FixedText<100> monitor_ids;
    /// The gauge and monitor id lists resolved to items after reading (non-owning).
    std::vector<ALDLItem*> gauges;
    std::vector<ALDLItem*> monitors;

    std::vector<std::unique_ptr<ALDLValue>> values;
    std::vector<std::unique_ptr<ALDLBit>> bits;
    std::vector<std::unique_ptr<ALDLLookupTable>> lookup_tables;

    /// Some item repeated an earlier unique id; cleared once the items are renumbered.
    bool renumber = false;
    /// The file had a header block at all.
    bool header_found = false;
};

}  // namespace korvit::definition::legacy
