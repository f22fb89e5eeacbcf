#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/file_io.h"
#include "platform/win32_text.h"

namespace korvit::platform {
namespace {

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

bool Failed() {
    errno = ErrnoFromWin32(::GetLastError());
    return false;
}

// The lock byte lies far beyond any real data: Windows locks are mandatory for the range they
// cover, and readers of the file must not be kept out.
constexpr DWORD kLockOffsetHigh = 0x40000000;

}  // namespace

int OpenFile(const std::string& path, int flags, int /*mode*/) {
    DWORD access = GENERIC_READ;
    if ((flags & O_ACCMODE) == O_WRONLY) access = GENERIC_WRITE;
    if ((flags & O_ACCMODE) == O_RDWR) access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) != 0) {
        if ((flags & O_EXCL) != 0) {
            disposition = CREATE_NEW;
        } else {
            disposition = (flags & O_TRUNC) != 0 ? CREATE_ALWAYS : OPEN_ALWAYS;
        }
    } else if ((flags & O_TRUNC) != 0) {
        disposition = TRUNCATE_EXISTING;
    }
    // Shared like a POSIX file: others may read, write, rename or delete it meanwhile. The
    // backup flag lets a folder be opened, so that callers see "is a directory" as on POSIX.
    const HANDLE h = ::CreateFileW(
        WideFromUtf8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Failed();
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h),
                                     (flags & O_ACCMODE) | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        ::CloseHandle(h);
        errno = EMFILE;
    }
    return fd;
}

ssize_t ReadAt(int fd, void* buffer, size_t count, uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD ask = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    if (!::ReadFile(HandleOf(fd), buffer, ask, &got, &at)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        Failed();
        return -1;
    }
    return static_cast<ssize_t>(got);
}

ssize_t WriteAt(int fd, const void* buffer, size_t count, uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    const DWORD ask = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    if (!::WriteFile(HandleOf(fd), buffer, ask, &put, &at)) {
        Failed();
        return -1;
    }
    return static_cast<ssize_t>(put);
}

int64_t FileSize(int fd, bool* regular) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(HandleOf(fd), &info)) {
        Failed();
        return -1;
    }
    if (regular != nullptr) *regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
}

bool TruncateFile(int fd, uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(HandleOf(fd), FileEndOfFileInfo, &end, sizeof end) != 0 ||
           Failed();
}

void AdviseSequential(int /*fd*/) {}

bool TryLockExclusive(int fd) {
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    return ::LockFileEx(HandleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                        &at) != 0;
}

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    ::localtime_s(&local, &t);
    return local;
}

std::filesystem::path NativePath(const std::string& utf8) {
    return std::filesystem::path(WideFromUtf8(utf8));
}

}  // namespace korvit::platform
