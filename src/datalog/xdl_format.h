#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvit::datalog {

/// Result codes of the datalog operations; 0 is success.
enum DataLogCode : uint32_t {
    kDataLogOk = 0,
    kDataLogIOError = 1,       ///< a read or write failed or came short
    kDataLogWrongState = 3,    ///< the operation does not fit the current state
    kDataLogNoCommand = 4,     ///< a record names a command that is not in the table
    kDataLogNoCallback = 6,    ///< playback needs a callback
    kDataLogEnd = 7,           ///< end of the datalog
    kDataLogBufferSmall = 8,   ///< the record does not fit the buffer
    kDataLogNoBuffer = 9,      ///< no record buffer
    kDataLogBadSeekFlag = 10,  ///< seek flag 4 is not supported
    kDataLogSeekRefused = 11,  ///< the callback refused the seek
    kDataLogCannotOpen = 12,   ///< no path, or the file cannot be opened
    kDataLogBadVersion = 13,   ///< the file is not a version 3 datalog
    kDataLogDamaged = 14,      ///< offsets or sizes that no writer produces
};

/// A short text for a code, for messages.
std::string_view DescribeDataLogCode(uint32_t code);

inline constexpr uint32_t kXdlVersion = 3;
inline constexpr size_t kXdlHeaderSize = 40;
inline constexpr size_t kXdlEntrySize = 33;
inline constexpr size_t kXdlRecordHeadSize = 12;
inline constexpr uint32_t kXdlRecordingEndmark = 0xFFFFFFFFu;
/// Mask bytes that the recorder writes for every command (all bits set).
inline constexpr size_t kRecorderMaskBytes = 15;
/// Larger stored or reply sizes only come from damaged files; refusing them bounds allocations.
inline constexpr uint32_t kMaxRecordDataSize = 1u << 20;

/// Local date and time in the SYSTEMTIME layout: year, month, day of week (0 = Sunday), day,
/// hour, minute, second, millisecond.
using XdlTime = std::array<uint16_t, 8>;

/// Local time now, for the header's starttime.
XdlTime LocalTimeNow();

/// The 40-byte file header.
struct DataLogHeader {
    uint32_t version = 0;
    uint32_t firstrecord = 0;
    uint32_t endmark = 0;
    XdlTime starttime{};
    std::array<uint8_t, 8> reserved{};
    uint32_t recordcount = 0;

    std::array<uint8_t, kXdlHeaderSize> Serialize() const;
    static DataLogHeader Parse(const uint8_t* bytes);
};

/// One bit per reply byte, least significant bit first; positions past the end count as stored.
class ByteMask {
  public:
    enum : int { kClear = 0, kSet = 1, kBeyond = 2 };

    ByteMask() = default;
    /// Takes the bytes; the mask then has 8 bits per byte.
    void Assign(const uint8_t* bytes, size_t count);
    /// 1 when bit i is set, 0 when clear, kBeyond past the last bit (callers treat it as set).
    int Test(size_t i) const;
    bool Stored(size_t i) const { return Test(i) != kClear; }
    /// The ceil(bits / 8) bytes; their count is the masklength on disk.
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    size_t bits() const { return bits_; }
    /// True when every reply position is stored, so records copy straight through.
    bool AllSet() const;

  private:
    std::vector<uint8_t> bytes_;
    size_t bits_ = 0;
};

/// One entry of the command table.
struct DataLogCommand {
    uint32_t idhash = 0;
    std::array<char, 16> id{};
    uint32_t type = 0;
    uint32_t storedsize = 0;
    uint32_t replysize = 0;
    uint32_t masklength = 0;
    ByteMask mask;

    std::string_view IdText() const;
    /// Copies at most 14 characters of the id; the rest stays zero.
    void SetId(std::string_view text);
    /// The 33-byte entry followed by its mask bytes; masklength is taken from the mask.
    void AppendTo(std::vector<uint8_t>& out) const;
    /// Reads the 33-byte entry (masklength set, mask not yet read).
    static DataLogCommand ParseEntry(const uint8_t* bytes);
};

/// The 12-byte head of a record.
struct RecordHead {
    uint32_t next = 0;
    uint32_t time = 0;
    uint8_t command = 0;

    std::array<uint8_t, kXdlRecordHeadSize> Serialize() const;
    static RecordHead Parse(const uint8_t* bytes);
};

/// Fills record data from a reply: data byte i = reply byte i for every stored position i below
/// storedsize and the reply count; other data bytes keep the buffer's content.
void PackRecordData(const DataLogCommand& command, const uint8_t* reply, size_t reply_count,
                    uint8_t* data);
/// Rebuilds a reply from record data: stored positions take the next data byte, the others 0;
/// positions after the last one reached keep what `reply` held.
void RebuildReply(const DataLogCommand& command, const uint8_t* data, uint8_t* reply);

inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace korvit::datalog
