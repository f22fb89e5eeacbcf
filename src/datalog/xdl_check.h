#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "datalog/xdl_format.h"

namespace korvit::app {
class OutputLog;
}

namespace korvit::datalog {

/// What a walk over a datalog's records finds, next to what its header claims.
struct XdlCheck {
    DataLogHeader header;
    uint64_t file_size = 0;
    /// Complete records from firstrecord on, each with a known command and the `next` offset
    /// its command's size gives.
    uint32_t records = 0;
    /// File offset just after the last complete record (firstrecord when there is none).
    uint64_t end_of_records = 0;
    /// Bytes after the last complete record (a record cut short, or damage).
    uint64_t trailing_bytes = 0;

    /// The recording was never finished (a killed or crashed recorder).
    bool Unfinished() const { return header.endmark == kXdlRecordingEndmark; }
    /// The records and the header's count disagree.
    bool CountMismatch() const { return records != header.recordcount; }
    /// What a reader should be told when the file is not as a finished recording leaves it; empty
    /// when it is.
    std::string Warning(const std::string& path) const;
};

/// Reads the header and the command table and walks the records, reading the file once front to
/// back. None when the file cannot be read, is not a version 3 datalog with a complete table, or
/// `cancel` became true during the walk.
std::optional<XdlCheck> CheckXdlFile(const std::string& path,
                                     const std::atomic<bool>* cancel = nullptr);

/// An unfinished recording found in `recording_path` (a killed or crashed recording: not
/// finished, or more records than its header counts) is moved aside, never over an existing file,
/// to "recovered-YYYYMMDD-HHMMSS.xdl" beside it (the recording's start time), then repaired so
/// that it plays like any log: a cut-off last record is removed and the header counts the
/// records. Says so on the Output page. Returns the new path, or none when there was nothing to
/// recover or it could not be moved (then an Output line says why).
std::optional<std::string> RecoverUnfinishedRecording(const std::string& recording_path,
                                                      app::OutputLog& log);

}  // namespace korvit::datalog
