#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvit::datalog {

/// A datalog file handle with a file position. Reads go through a read-ahead buffer so that
/// playback costs few system calls; every write goes straight to the file so that a record
/// written is a record on disk even if the process dies the next moment.
class XdlFile {
  public:
    XdlFile() = default;
    ~XdlFile() { Close(); }
    XdlFile(const XdlFile&) = delete;
    XdlFile& operator=(const XdlFile&) = delete;

    /// Creates the file anew (an existing one is truncated), write access, holding an advisory
    /// lock on it until closed.
    bool Create(const std::string& path);
    /// Opens an existing file for reading and writing; a file that may only be read is opened
    /// read-only, and writes then succeed without touching it (playback writes nothing new).
    bool OpenExisting(const std::string& path);
    void Close();
    bool valid() const { return fd_ >= 0; }
    bool read_only() const { return read_only_; }
    /// errno of the last failed operation.
    int last_error() const { return last_error_; }

    /// Reads up to n bytes at the position; the count read, or -1 on failure.
    long Read(void* out, size_t n);
    /// Writes n bytes at the position; false unless all were written.
    bool Write(const void* data, size_t n);
    bool Seek(uint64_t position);
    uint64_t Tell() const { return position_; }
    /// Current size of the file; 0 when it cannot be taken.
    uint64_t Size();
    bool Truncate(uint64_t size);

  private:
    int fd_ = -1;
    bool read_only_ = false;
    int last_error_ = 0;
    uint64_t position_ = 0;
    std::vector<uint8_t> buffer_;
    uint64_t buffer_start_ = 0;
    size_t buffer_length_ = 0;
};

}  // namespace korvit::datalog
