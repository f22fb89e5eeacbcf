#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_io.h"

namespace korvit::platform {

int OpenFile(const std::string& path, int flags, int mode) {
    return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

ssize_t ReadAt(int fd, void* buffer, size_t count, uint64_t offset) {
    return ::pread(fd, buffer, count, static_cast<off_t>(offset));
}

ssize_t WriteAt(int fd, const void* buffer, size_t count, uint64_t offset) {
    return ::pwrite(fd, buffer, count, static_cast<off_t>(offset));
}

int64_t FileSize(int fd, bool* regular) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    if (regular != nullptr) *regular = S_ISREG(st.st_mode);
    return static_cast<int64_t>(st.st_size);
}

bool TruncateFile(int fd, uint64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

void AdviseSequential(int fd) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

bool TryLockExclusive(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
}

std::filesystem::path NativePath(const std::string& utf8) {
    return std::filesystem::path(utf8);
}

}  // namespace korvit::platform
