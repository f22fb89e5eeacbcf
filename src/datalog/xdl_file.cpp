#include "datalog/xdl_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvit::datalog {
namespace {

constexpr size_t kReadAhead = 64 * 1024;

}  // namespace

bool XdlFile::Create(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        last_error_ = errno;
        return false;
    }
    read_only_ = false;
    // Held while the file is open, so that recovery in another process never moves a
    // recording that is still being written.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    return true;
}

bool XdlFile::OpenExisting(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    read_only_ = false;
    if (fd_ < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        read_only_ = true;
    }
    if (fd_ < 0) {
        last_error_ = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        last_error_ = fd_ >= 0 && !S_ISREG(st.st_mode) ? EISDIR : errno;
        Close();
        return false;
    }
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
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
        const ssize_t got = ::pread(fd_, buffer_.data(), buffer_.size(), position_);
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
        const ssize_t put = ::pwrite(fd_, src + done, n - done, position_ + done);
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
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool XdlFile::Truncate(uint64_t size) {
    if (fd_ < 0) return false;
    if (read_only_) return true;
    buffer_length_ = 0;
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        last_error_ = errno;
        return false;
    }
    return true;
}

}  // namespace korvit::datalog
