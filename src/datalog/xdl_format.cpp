#include "datalog/xdl_format.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "platform/file_io.h"

namespace korvit::datalog {

std::string_view DescribeDataLogCode(uint32_t code) {
    switch (code) {
        case kDataLogOk:
            return "no error";
        case kDataLogIOError:
            return "a read or write failed or came short";
        case kDataLogWrongState:
            return "not possible in the datalog's current state";
        case kDataLogNoCommand:
            return "a record names a command that is not in the table";
        case kDataLogNoCallback:
            return "no playback target";
        case kDataLogEnd:
            return "end of the datalog";
        case kDataLogBufferSmall:
            return "a record is larger than its buffer";
        case kDataLogNoBuffer:
            return "no record buffer";
        case kDataLogBadSeekFlag:
            return "unsupported seek flag";
        case kDataLogSeekRefused:
            return "the seek was refused";
        case kDataLogCannotOpen:
            return "the file cannot be opened";
        case kDataLogBadVersion:
            return "not a version 3 datalog";
        case kDataLogDamaged:
            return "the datalog is damaged (bad record offset or size)";
        default:
            return "unknown error";
    }
}

XdlTime LocalTimeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t secs = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    const std::tm tm = platform::LocalTime(secs);
    return XdlTime{static_cast<uint16_t>(tm.tm_year + 1900), static_cast<uint16_t>(tm.tm_mon + 1),
                   static_cast<uint16_t>(tm.tm_wday),        static_cast<uint16_t>(tm.tm_mday),
                   static_cast<uint16_t>(tm.tm_hour),        static_cast<uint16_t>(tm.tm_min),
                   static_cast<uint16_t>(tm.tm_sec),         static_cast<uint16_t>(ms.count())};
}

std::array<uint8_t, kXdlHeaderSize> DataLogHeader::Serialize() const {
    std::array<uint8_t, kXdlHeaderSize> out{};
    PutU32(&out[0], version);
    PutU32(&out[4], firstrecord);
    PutU32(&out[8], endmark);
    for (size_t i = 0; i < starttime.size(); ++i) PutU16(&out[12 + 2 * i], starttime[i]);
    std::copy(reserved.begin(), reserved.end(), out.begin() + 28);
    PutU32(&out[36], recordcount);
    return out;
}

DataLogHeader DataLogHeader::Parse(const uint8_t* bytes) {
    DataLogHeader h;
    h.version = GetU32(bytes);
    h.firstrecord = GetU32(bytes + 4);
    h.endmark = GetU32(bytes + 8);
    for (size_t i = 0; i < h.starttime.size(); ++i) h.starttime[i] = GetU16(bytes + 12 + 2 * i);
    std::copy(bytes + 28, bytes + 36, h.reserved.begin());
    h.recordcount = GetU32(bytes + 36);
    return h;
}

void ByteMask::Assign(const uint8_t* bytes, size_t count) {
    bytes_.assign(bytes, bytes + count);
    bits_ = 8 * count;
}

int ByteMask::Test(size_t i) const {
    if (i >= bits_) return kBeyond;
    return (bytes_[i / 8] >> (i % 8)) & 1 ? kSet : kClear;
}

bool ByteMask::AllSet() const {
    return std::all_of(bytes_.begin(), bytes_.end(), [](uint8_t b) { return b == 0xFF; });
}

std::string_view DataLogCommand::IdText() const {
    return std::string_view(id.data(), strnlen(id.data(), id.size()));
}

void DataLogCommand::SetId(std::string_view text) {
    id.fill(0);
    const size_t n = std::min<size_t>(text.size(), 14);
    std::copy_n(text.data(), n, id.begin());
}

void DataLogCommand::AppendTo(std::vector<uint8_t>& out) const {
    uint8_t entry[kXdlEntrySize] = {};
    PutU32(entry, idhash);
    std::copy(id.begin(), id.end(), entry + 4);
    PutU32(entry + 20, type);
    PutU32(entry + 24, storedsize);
    PutU32(entry + 28, replysize);
    const auto& mask_bytes = mask.bytes();
    entry[32] = static_cast<uint8_t>(mask_bytes.size());
    out.insert(out.end(), entry, entry + kXdlEntrySize);
    // The length field is one byte wide: a longer mask is cut so that the file stays readable.
    out.insert(out.end(), mask_bytes.begin(),
               mask_bytes.begin() + std::min<size_t>(mask_bytes.size(), 255));
}

DataLogCommand DataLogCommand::ParseEntry(const uint8_t* bytes) {
    DataLogCommand c;
    c.idhash = GetU32(bytes);
    std::copy_n(bytes + 4, c.id.size(), c.id.begin());
    c.type = GetU32(bytes + 20);
    c.storedsize = GetU32(bytes + 24);
    c.replysize = GetU32(bytes + 28);
    c.masklength = bytes[32];
    return c;
}

std::array<uint8_t, kXdlRecordHeadSize> RecordHead::Serialize() const {
    std::array<uint8_t, kXdlRecordHeadSize> out{};
    PutU32(&out[0], next);
    PutU32(&out[4], time);
    out[8] = command;
    return out;
}

RecordHead RecordHead::Parse(const uint8_t* bytes) {
    return RecordHead{GetU32(bytes), GetU32(bytes + 4), bytes[8]};
}

void PackRecordData(const DataLogCommand& command, const uint8_t* reply, size_t reply_count,
                    uint8_t* data) {
    const size_t n = std::min<size_t>(command.storedsize, reply_count);
    if (command.mask.AllSet() || command.mask.bits() == 0) {
        std::memcpy(data, reply, n);
        return;
    }
    // Byte i of the data is reply byte i where the mask stores it; gaps keep the buffer's bytes.
    for (size_t i = 0; i < n; ++i) {
        if (command.mask.Stored(i)) data[i] = reply[i];
    }
}

void RebuildReply(const DataLogCommand& command, const uint8_t* data, uint8_t* reply) {
    if (command.mask.AllSet() || command.mask.bits() == 0) {
        // Every position up to the mask's end (and beyond it) is stored: a straight copy.
        std::memcpy(reply, data, std::min(command.replysize, command.storedsize));
        return;
    }
    size_t k = 0;
    for (size_t i = 0; i < command.replysize && k < command.storedsize; ++i) {
        reply[i] = command.mask.Stored(i) ? data[k++] : 0;
    }
}

}  // namespace korvit::datalog
