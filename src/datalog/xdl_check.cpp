#include "datalog/xdl_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "app/output_log.h"
#include "platform/file_io.h"
#include "platform/file_move.h"

namespace korvit::datalog {

namespace {

#ifdef _WIN32
constexpr const char* kPathSeparators = "\\/";
#else
constexpr const char* kPathSeparators = "/";
#endif

/// Reads a file front to back in large blocks; positions asked for never go backwards, so a
/// walk over a long log reads each byte once and holds one block.
class ForwardReader {
  public:
    explicit ForwardReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        if (file_ != nullptr && !error) {
            size_ = size;
        } else if (file_ != nullptr) {
            failed_ = true;
        }
    }
    ~ForwardReader() {
        if (file_ != nullptr) std::fclose(file_);
    }
    ForwardReader(const ForwardReader&) = delete;
    ForwardReader& operator=(const ForwardReader&) = delete;

    bool valid() const { return file_ != nullptr && !failed_; }
    bool failed() const { return failed_; }
    uint64_t size() const { return size_; }

    /// The n bytes at `at`, or null past the end of the file or when the read fails.
    const uint8_t* At(uint64_t at, size_t n) {
        if (at + n > size_) return nullptr;
        const uint64_t end = start_ + block_.size();  // where the stream stands
        if (at >= start_ && at + n <= end) return block_.data() + (at - start_);
        if (at >= start_ && at < end) {
            // Keep the tail from `at` on and read on behind it.
            block_.erase(block_.begin(), block_.begin() + static_cast<std::ptrdiff_t>(at - start_));
        } else {
            block_.clear();
            if (at != end && std::fseek(file_, static_cast<long>(at), SEEK_SET) != 0) {
                failed_ = true;
                return nullptr;
            }
        }
        start_ = at;
        while (block_.size() < n) {
            const size_t have = block_.size();
            block_.resize(have + kBlock);
            const size_t got = std::fread(block_.data() + have, 1, kBlock, file_);
            block_.resize(have + got);
            if (got == 0) {
                failed_ = std::ferror(file_) != 0;
                return nullptr;
            }
        }
        return block_.data();
    }

  private:
    static constexpr size_t kBlock = 1 << 20;
    std::FILE* file_;
    bool failed_ = false;
    uint64_t size_ = 0;
    uint64_t start_ = 0;
    std::vector<uint8_t> block_;
};

std::optional<XdlCheck> Check(ForwardReader& in, const std::atomic<bool>* cancel) {
    const uint64_t size = in.size();
    const uint8_t* bytes = in.At(0, kXdlHeaderSize + 4);
    if (bytes == nullptr) return std::nullopt;
    XdlCheck check;
    check.header = DataLogHeader::Parse(bytes);
    check.file_size = size;
    if (check.header.version != kXdlVersion) return std::nullopt;
    uint64_t at = kXdlHeaderSize;
    const uint32_t count = GetU32(bytes + at);
    at += 4;
    std::vector<uint32_t> stored;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry_bytes = in.At(at, kXdlEntrySize);
        if (entry_bytes == nullptr) return std::nullopt;
        const DataLogCommand entry = DataLogCommand::ParseEntry(entry_bytes);
        at += kXdlEntrySize + entry.masklength;
        if (at > size) return std::nullopt;
        stored.push_back(entry.storedsize);
    }
    // Records begin where the table ends; a recorder killed before its first record left no
    // table at all, which the size check above already turned away.
    uint64_t offset = check.header.firstrecord != 0 ? check.header.firstrecord : at;
    check.end_of_records = std::min<uint64_t>(offset, size);
    for (uint32_t n = 0; offset + kXdlRecordHeadSize <= size; ++n) {
        if (cancel != nullptr && n % 4096 == 0 && cancel->load()) return std::nullopt;
        const uint8_t* head_bytes = in.At(offset, kXdlRecordHeadSize);
        if (head_bytes == nullptr) break;
        const RecordHead head = RecordHead::Parse(head_bytes);
        if (head.command >= stored.size()) break;
        const uint64_t next = offset + kXdlRecordHeadSize + stored[head.command];
        if (head.next != next || next > size) break;
        ++check.records;
        offset = next;
        check.end_of_records = next;
    }
    if (in.failed()) return std::nullopt;
    check.trailing_bytes = size - check.end_of_records;
    return check;
}

/// "recovered-YYYYMMDD-HHMMSS" from the recording's start time, or from now when the header
/// holds no plausible date.
std::string RecoveredStem(const XdlTime& start) {
    uint16_t y = start[0], mo = start[1], d = start[3], h = start[4], mi = start[5], s = start[6];
    if (y < 1980 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) {
        const XdlTime now = LocalTimeNow();
        y = now[0], mo = now[1], d = now[3], h = now[4], mi = now[5], s = now[6];
    }
    char stem[64];
    std::snprintf(stem, sizeof stem, "recovered-%04u%02u%02u-%02u%02u%02u", unsigned{y},
                  unsigned{mo}, unsigned{d}, unsigned{h}, unsigned{mi}, unsigned{s});
    return stem;
}

/// Cuts the file after its last complete record and writes a finished header for it.
bool Repair(const std::string& path, const XdlCheck& check) {
    const int fd = platform::OpenFile(path, O_WRONLY);
    if (fd < 0) return false;
    DataLogHeader header = check.header;
    header.recordcount = check.records;
    header.endmark = static_cast<uint32_t>(check.end_of_records + 1);
    const auto bytes = header.Serialize();
    const bool ok =
        platform::TruncateFile(fd, check.end_of_records) &&
        platform::WriteAt(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok;
}

}  // namespace

std::string XdlCheck::Warning(const std::string& path) const {
    char text[512];
    if (Unfinished()) {
        std::snprintf(text, sizeof text,
                      "%s: the recording was never finished; %u complete records, the header "
                      "counts %u",
                      path.c_str(), records, header.recordcount);
    } else if (CountMismatch()) {
        std::snprintf(text, sizeof text,
                      "%s is damaged: the header counts %u records, the file holds %u",
                      path.c_str(), header.recordcount, records);
    } else if (trailing_bytes != 0) {
        std::snprintf(text, sizeof text, "%s is damaged: %llu bytes after the last record",
                      path.c_str(), static_cast<unsigned long long>(trailing_bytes));
    } else {
        return {};
    }
    return text;
}

std::optional<XdlCheck> CheckXdlFile(const std::string& path, const std::atomic<bool>* cancel) {
    ForwardReader in(path);
    if (!in.valid()) return std::nullopt;
    return Check(in, cancel);
}

std::optional<std::string> RecoverUnfinishedRecording(const std::string& recording_path,
                                                      app::OutputLog& log) {
    // A recorder (this or another program) holds the file locked while it writes.
    const int probe = platform::OpenFile(recording_path, O_RDONLY);
    if (probe < 0) return std::nullopt;
    const bool in_use = !platform::TryLockExclusive(probe);
    ::close(probe);
    if (in_use) return std::nullopt;
    const std::optional<XdlCheck> check = CheckXdlFile(recording_path);
    // Nothing written yet, not a datalog, no complete record, or a finished recording whose
    // save was cancelled: nothing to recover.
    if (!check || check->records == 0 ||
        !(check->Unfinished() || check->records > check->header.recordcount)) {
        return std::nullopt;
    }
    const size_t slash = recording_path.find_last_of(kPathSeparators);
    const std::string dir = slash == std::string::npos ? "" : recording_path.substr(0, slash + 1);
    const std::string stem = dir + RecoveredStem(check->header.starttime);
    std::string target = stem + ".xdl";
    int error = platform::MoveFileNoReplace(recording_path, target);
    for (int n = 2; error == EEXIST && n < 100; ++n) {
        target = stem + "-" + std::to_string(n) + ".xdl";
        error = platform::MoveFileNoReplace(recording_path, target);
    }
    if (error != 0) {
        log.Print("Cannot move the unfinished recording %s aside: %s", recording_path.c_str(),
                  std::strerror(error));
        return std::nullopt;
    }
    if (!Repair(target, *check)) {
        log.Print(
            "Recovered an unfinished recording to %s (%u records); its header could not be "
            "updated",
            target.c_str(), check->records);
    } else {
        log.Print("Recovered an unfinished recording to %s (%u records)", target.c_str(),
                  check->records);
    }
    return target;
}

}  // namespace korvit::datalog
