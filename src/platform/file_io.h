#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

namespace korvit::platform {

/// Descriptor-based file access that reads the same on every platform: binary, not inherited by
/// child processes, UTF-8 paths. On failure the calls set errno.

/// open(2) with O_RDONLY/O_WRONLY/O_RDWR, O_CREAT, O_EXCL and O_TRUNC; -1 on failure.
int OpenFile(const std::string& path, int flags, int mode = 0644);
/// Positioned transfers (pread/pwrite); -1 on failure.
ssize_t ReadAt(int fd, void* buffer, size_t count, uint64_t offset);
ssize_t WriteAt(int fd, const void* buffer, size_t count, uint64_t offset);
/// Size of the open file, or -1; `regular` tells whether it is a plain file.
int64_t FileSize(int fd, bool* regular = nullptr);
bool TruncateFile(int fd, uint64_t size);
/// The file will be read from start to end.
void AdviseSequential(int fd);

/// Takes the advisory lock that marks a file as being written, without waiting; false when
/// another open file description holds it. It lasts until the descriptor is closed and never
/// stops others from reading the file.
bool TryLockExclusive(int fd);

/// The broken-down local time of `t`.
std::tm LocalTime(std::time_t t);

/// A path for the standard library's streams and std::filesystem from a UTF-8 text.
std::filesystem::path NativePath(const std::string& utf8);

}  // namespace korvit::platform
