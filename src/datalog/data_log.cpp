#include "datalog/data_log.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "definition/adx_commands.h"
#include "definition/adx_definition.h"

namespace korvit::datalog {

std::string FormatOpenError(const std::string& path, uint32_t code) {
    char text[400];
    std::snprintf(text, sizeof text, "Could not open %s, error 0x%X", path.c_str(), code);
    return text;
}

DataLog::~DataLog() {
    StopPlayer();
    Close();
}

void DataLog::Reset() {
    file_.Close();
    commands_.clear();
    tablewritten_ = 0;
    record_buffer_.clear();
    record_buffer_.shrink_to_fit();
    reply_buffer_.clear();
    reply_buffer_.shrink_to_fit();
    header_ = DataLogHeader{};
    speed_.store(1.0f);
    recordsread_.store(0);
    currenttime_.store(0);
    previoustime_.store(0);
    shown_.store(0);
    write_error_.store(0);
    index_.clear();
    index_complete_ = false;
    index_end_position_ = 0;
}

uint32_t DataLog::ReadHeaderAndTable() {
    uint8_t bytes[kXdlHeaderSize];
    if (!file_.Seek(0) || file_.Read(bytes, kXdlHeaderSize) != long{kXdlHeaderSize}) {
        return kDataLogIOError;
    }
    const DataLogHeader header = DataLogHeader::Parse(bytes);
    if (header.version != kXdlVersion) return kDataLogBadVersion;
    uint8_t count_bytes[4];
    if (file_.Read(count_bytes, 4) != 4) return kDataLogIOError;
    const uint32_t count = GetU32(count_bytes);
    std::vector<DataLogCommand> table;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t entry[kXdlEntrySize];
        if (file_.Read(entry, kXdlEntrySize) != long{kXdlEntrySize}) return kDataLogIOError;
        DataLogCommand command = DataLogCommand::ParseEntry(entry);
        uint8_t mask[255];
        if (file_.Read(mask, command.masklength) != long(command.masklength)) {
            return kDataLogIOError;
        }
        command.mask.Assign(mask, command.masklength);
        // Sizes this large come only from damage; refusing them keeps the buffers bounded.
        if (command.storedsize > kMaxRecordDataSize || command.replysize > kMaxRecordDataSize) {
            return kDataLogDamaged;
        }
        table.push_back(std::move(command));
    }
    // A first record inside the header or the table would replay the table as records.
    if (header.firstrecord < file_.Tell()) return kDataLogDamaged;
    header_ = header;
    commands_ = std::move(table);
    return kDataLogOk;
}

uint32_t DataLog::WriteHeaderAndTable() {
    if (tablewritten_ == 0) {
        if (!file_.Seek(kXdlHeaderSize)) return kDataLogIOError;
        if (file_.Size() < kXdlHeaderSize && !file_.Truncate(kXdlHeaderSize)) {
            return kDataLogIOError;
        }
        std::vector<uint8_t> table(4);
        PutU32(table.data(), static_cast<uint32_t>(commands_.size()));
        for (auto& command : commands_) {
            command.masklength = static_cast<uint32_t>(command.mask.bytes().size());
            command.AppendTo(table);
        }
        if (!file_.Write(table.data(), table.size())) return kDataLogIOError;
        header_.firstrecord = static_cast<uint32_t>(file_.Tell());
    }
    header_.version = kXdlVersion;
    const auto bytes = header_.Serialize();
    if (!file_.Seek(0) || !file_.Write(bytes.data(), bytes.size())) return kDataLogIOError;
    file_.Seek(header_.firstrecord);
    return kDataLogOk;
}

uint32_t DataLog::AppendRecord(uint32_t idhash, const uint8_t* reply, uint32_t count) {
    if (state_.load() != DataLogState::Recording) return kDataLogWrongState;
    std::lock_guard guard(write_lock_);
    if (state_.load() != DataLogState::Recording) return kDataLogWrongState;
    // After a failed write nothing more is appended, so that the records on disk stay exactly
    // the ones that were acknowledged.
    if (write_error_.load() != 0) return kDataLogIOError;
    if (record_buffer_.empty()) record_buffer_.assign(LargestStoredSize() + kXdlRecordHeadSize, 0);

    size_t index = 0xFF;
    for (size_t i = commands_.size(); i-- > 0;) {
        if (commands_[i].idhash == idhash) {
            index = i;
            break;
        }
    }
    // The index is one byte on disk, and 0xFF means "none".
    if (index >= 0xFF || index >= commands_.size()) return kDataLogNoCommand;
    const DataLogCommand& command = commands_[index];

    RecordHead head;
    head.command = static_cast<uint8_t>(index);
    if (header_.recordcount == 0) {
        if (WriteHeaderAndTable() != kDataLogOk) {
            write_error_.store(file_.last_error() != 0 ? file_.last_error() : EIO);
            return kDataLogIOError;
        }
        head.time = 0;
        RestartClock();
    } else {
        head.time = static_cast<uint32_t>(std::floor(ClockMs() + 0.5));
    }
    const uint64_t start = file_.Tell();
    head.next = static_cast<uint32_t>(start + kXdlRecordHeadSize + command.storedsize);
    const auto head_bytes = head.Serialize();
    std::copy(head_bytes.begin(), head_bytes.end(), record_buffer_.begin());
    if (reply != nullptr) {
        PackRecordData(command, reply, count, record_buffer_.data() + kXdlRecordHeadSize);
    }
    if (!file_.Write(record_buffer_.data(), kXdlRecordHeadSize + command.storedsize)) {
        // Drop the partial record so that the file ends on a whole one.
        write_error_.store(file_.last_error() != 0 ? file_.last_error() : EIO);
        file_.Truncate(start);
        file_.Seek(start);
        return kDataLogIOError;
    }
    ++header_.recordcount;
    return kDataLogOk;
}

uint32_t DataLog::ReadRecord(uint8_t* buffer, size_t size, const DataLogCommand** entry) {
    std::lock_guard guard(lock_);
    return ReadRecordLocked(buffer, size, entry);
}

uint32_t DataLog::ReadRecordLocked(uint8_t* buffer, size_t size, const DataLogCommand** entry) {
    if (buffer == nullptr || size == 0) return kDataLogNoBuffer;
    const uint64_t start = file_.Tell();
    uint8_t head_bytes[kXdlRecordHeadSize];
    const long got = file_.Read(head_bytes, kXdlRecordHeadSize);
    if (got < 0) return kDataLogIOError;
    if (got == 0) return kDataLogEnd;
    if (got != long{kXdlRecordHeadSize}) return kDataLogIOError;
    const RecordHead head = RecordHead::Parse(head_bytes);
    // An offset that does not move forward would replay or loop; no writer produces one.
    if (head.next < start + kXdlRecordHeadSize) return kDataLogDamaged;
    const DataLogCommand* command = CommandAt(head.command);
    if (command == nullptr) return file_.Seek(head.next) ? kDataLogNoCommand : kDataLogEnd;
    if (size < command->storedsize) return kDataLogBufferSmall;
    if (command->storedsize > 0) {
        const long data = file_.Read(buffer, command->storedsize);
        if (data < 0) return kDataLogIOError;
        if (data == 0) return kDataLogEnd;
        if (data != long(command->storedsize)) return kDataLogIOError;
    }
    recordsread_.fetch_add(1);
    currenttime_.store(head.time);
    if (entry != nullptr) *entry = command;
    return kDataLogOk;
}

const DataLogCommand* DataLog::CommandAt(size_t index) const {
    return index < commands_.size() ? &commands_[index] : nullptr;
}

uint32_t DataLog::LargestStoredSize() const {
    uint32_t n = 0;
    for (const auto& c : commands_) n = std::max(n, c.storedsize);
    return n;
}

uint32_t DataLog::LargestReplySize() const {
    uint32_t n = 0;
    for (const auto& c : commands_) n = std::max(n, c.replysize);
    return n;
}

uint32_t DataLog::Record(const std::string& path, const definition::ADXDefinition& definition) {
    Close();
    JoinPlayer();
    Reset();
    if (file_.Create(path)) {
        tablewritten_ = 0;
        state_.store(DataLogState::Created);
    } else {
        state_.store(DataLogState::Closed);
    }
    static const uint8_t kAllStored[kRecorderMaskBytes] = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const auto& object : definition.objects()) {
        if ((object->type() & kRecordedCommandTypes) == 0) continue;
        uint32_t size = 0;
        if (const auto* send = definition::As<definition::ADXCSendCommand>(object.get())) {
            if ((send->flags & 1) == 0) continue;
            size = send->replysize;
        } else if (const auto* listen =
                       definition::As<definition::ADXC160BaudListen>(object.get())) {
            size = listen->packetsize;
        }
        DataLogCommand command;
        command.idhash = object->idhash();
        command.SetId(object->id());
        command.type = object->type();
        command.storedsize = size;
        command.replysize = size;
        command.mask.Assign(kAllStored, kRecorderMaskBytes);
        command.masklength = kRecorderMaskBytes;
        commands_.push_back(std::move(command));
    }
    if (state_.load() != DataLogState::Created) return kDataLogCannotOpen;
    header_.starttime = LocalTimeNow();
    header_.endmark = kXdlRecordingEndmark;
    header_.recordcount = 0;
    state_.store(DataLogState::Recording);
    return kDataLogOk;
}

uint32_t DataLog::FinishRecording() {
    std::lock_guard guard(write_lock_);
    header_.endmark = static_cast<uint32_t>(file_.Size() + 1);
    const uint32_t code = WriteHeaderAndTable();
    // The recording ends even when its header cannot be written: nothing more is appended.
    DataLogState recording = DataLogState::Recording;
    state_.compare_exchange_strong(recording, DataLogState::Open);
    if (code != kDataLogOk) return kDataLogIOError;
    tablewritten_ = 1;
    state_.store(DataLogState::Open);
    return kDataLogOk;
}

uint32_t DataLog::Close() {
    const DataLogState state = state_.load();
    if (state == DataLogState::Closed) return 1;
    if (state == DataLogState::Playing) state_.store(DataLogState::Stopping);
    if (state == DataLogState::Recording) FinishRecording();
    // The player reads through the file handle: it must be gone before the handle is.
    if (OnPlayerThread()) return 0;
    JoinPlayer();
    if (!file_.valid()) {
        if (tablewritten_ == 0) return 0;
        state_.store(DataLogState::Closed);
        return 1;
    }
    std::lock_guard guard(write_lock_);
    if (WriteHeaderAndTable() != kDataLogOk) return 0;
    file_.Seek(header_.endmark);
    file_.Close();
    state_.store(DataLogState::Closed);
    return 1;
}

uint32_t DataLog::OpenFile(const std::string& path) {
    Close();
    JoinPlayer();
    Reset();
    uint32_t code = kDataLogOk;
    if (path.empty() || !file_.OpenExisting(path)) {
        code = kDataLogCannotOpen;
    } else {
        tablewritten_ = 1;
        code = ReadHeaderAndTable();
    }
    if (code != kDataLogOk) {
        state_.store(DataLogState::Closed);
        file_.Close();
        header_ = DataLogHeader{};
        commands_.clear();
    }
    return code;
}

uint32_t DataLog::Open(const std::string& path, const std::atomic<bool>* cancel) {
    const uint32_t code = OpenFile(path);
    if (code != kDataLogOk) return code;
    BuildIndex(cancel);
    file_.Seek(header_.firstrecord);
    state_.store(DataLogState::Open);
    return kDataLogOk;
}

uint32_t DataLog::Open(const std::string& path, DataLog& opened) {
    const uint32_t code = OpenFile(path);
    if (code != kDataLogOk) return code;
    const DataLogHeader& seen = opened.header_;
    if (opened.index_complete_ && seen.firstrecord == header_.firstrecord &&
        seen.endmark == header_.endmark && seen.recordcount == header_.recordcount &&
        opened.commands_.size() == commands_.size()) {
        index_ = std::move(opened.index_);
        index_complete_ = true;
        index_times_ascending_ = opened.index_times_ascending_;
        index_end_position_ = opened.index_end_position_;
        opened.index_complete_ = false;
    } else {
        BuildIndex(nullptr);
    }
    file_.Seek(header_.firstrecord);
    state_.store(DataLogState::Open);
    return kDataLogOk;
}

}  // namespace korvit::datalog
