#include "datalog/xdl_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
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

/// The whole file, or none when it cannot be read.
std::optional<std::vector<uint8_t>> ReadWhole(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::nullopt;
    return bytes;
}

std::optional<XdlCheck> Check(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < kXdlHeaderSize + 4) return std::nullopt;
    XdlCheck check;
    check.header = DataLogHeader::Parse(bytes.data());
    check.file_size = bytes.size();
    if (check.header.version != kXdlVersion) return std::nullopt;
    uint64_t at = kXdlHeaderSize;
    const uint32_t count = GetU32(&bytes[at]);
    at += 4;
    std::vector<uint32_t> stored;
    for (uint32_t i = 0; i < count; ++i) {
        if (at + kXdlEntrySize > bytes.size()) return std::nullopt;
        const DataLogCommand entry = DataLogCommand::ParseEntry(&bytes[at]);
        at += kXdlEntrySize + entry.masklength;
        if (at > bytes.size()) return std::nullopt;
        stored.push_back(entry.storedsize);
    }
    // Records begin where the table ends; a recorder killed before its first record left no
    // table at all, which the size check above already turned away.
    uint64_t offset = check.header.firstrecord != 0 ? check.header.firstrecord : at;
    check.end_of_records = std::min<uint64_t>(offset, bytes.size());
    while (offset + kXdlRecordHeadSize <= bytes.size()) {
        const RecordHead head = RecordHead::Parse(&bytes[offset]);
        if (head.command >= stored.size()) break;
        const uint64_t next = offset + kXdlRecordHeadSize + stored[head.command];
        if (head.next != next || next > bytes.size()) break;
        ++check.records;
        offset = next;
        check.end_of_records = next;
    }
    check.trailing_bytes = bytes.size() - check.end_of_records;
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

std::optional<XdlCheck> CheckXdlFile(const std::string& path) {
    const auto bytes = ReadWhole(path);
    if (!bytes) return std::nullopt;
    return Check(*bytes);
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
