#include "datalog/xdl_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

namespace korvit::datalog {
namespace {

constexpr size_t kReadAhead = 64 * 1024;

}  // namespace

bool XdlFile::Create(const std::string& path) {
    Close();
    fd_ = platform::OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd_ < 0) {
        last_error_ = errno;
        return false;
    }
    read_only_ = false;
    // Held while the file is open, so that recovery in another process never moves a
    // recording that is still being written.
    platform::TryLockExclusive(fd_);
    return true;
}

bool XdlFile::OpenExisting(const std::string& path) {
    Close();
    fd_ = platform::OpenFile(path, O_RDWR);
    read_only_ = false;
    if (fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd_ = platform::OpenFile(path, O_RDONLY);
        read_only_ = true;
    }
    if (fd_ < 0) {
        last_error_ = errno;
        return false;
    }
    bool regular = false;
    const int64_t size = platform::FileSize(fd_, &regular);
    if (size < 0 || !regular) {
        last_error_ = size < 0 ? errno : EISDIR;
        Close();
        return false;
    }
    platform::AdviseSequential(fd_);
    buffer_.resize(kReadAhead);
    return true;
}

void XdlFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    position_ = 0;
    buffer_length_ = 0;
    buffer_start_ = 0;
}

long XdlFile::Read(void* out, size_t n) {
    if (fd_ < 0) return -1;
    auto* dst = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < n) {
        if (position_ >= buffer_start_ && position_ < buffer_start_ + buffer_length_) {
            const size_t at = static_cast<size_t>(position_ - buffer_start_);
            const size_t take = std::min(n - done, buffer_length_ - at);
            std::memcpy(dst + done, buffer_.data() + at, take);
            done += take;
            position_ += take;
            continue;
        }
        if (buffer_.empty()) buffer_.resize(kReadAhead);
        const ssize_t got = platform::ReadAt(fd_, buffer_.data(), buffer_.size(), position_);
        if (got < 0) {
            if (errno == EINTR) continue;
            last_error_ = errno;
            buffer_length_ = 0;
            return -1;
        }
        buffer_start_ = position_;
        buffer_length_ = static_cast<size_t>(got);
        if (got == 0) break;
    }
    return static_cast<long>(done);
}

bool XdlFile::Write(const void* data, size_t n) {
    if (fd_ < 0) return false;
    if (read_only_) return true;
    buffer_length_ = 0;
    const auto* src = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < n) {
        const ssize_t put = platform::WriteAt(fd_, src + done, n - done, position_ + done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            last_error_ = put < 0 ? errno : ENOSPC;
            position_ += done;
            return false;
        }
        done += static_cast<size_t>(put);
    }
    position_ += done;
    return true;
}

bool XdlFile::Seek(uint64_t position) {
    if (fd_ < 0) return false;
    position_ = position;
    return true;
}

uint64_t XdlFile::Size() {
    if (fd_ < 0) return 0;
    const int64_t size = platform::FileSize(fd_);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

bool XdlFile::Truncate(uint64_t size) {
    if (fd_ < 0) return false;
    if (read_only_) return true;
    buffer_length_ = 0;
    if (!platform::TruncateFile(fd_, size)) {
        last_error_ = errno;
        return false;
    }
    return true;
}

}  // namespace korvit::datalog
