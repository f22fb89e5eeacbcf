#include "platform/file_move.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace korvit::platform {
namespace {

int RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1u /*NOREPLACE*/) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
    // File systems without renameat2: a hard link fails when the target exists.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) return errno;
    return 0;
}

int CopyNoReplace(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return err;
    }
    std::vector<char> buffer(1 << 16);
    int err = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            err = errno;
            break;
        }
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                err = put < 0 ? errno : EIO;
                break;
            }
            done += put;
        }
        if (err != 0) break;
    }
    if (err == 0 && ::fsync(out) != 0) err = errno;
    if (::close(out) != 0 && err == 0) err = errno;
    ::close(in);
    if (err != 0) {
        // The copy is incomplete; the source is untouched, so only the partial copy goes.
        ::unlink(to.c_str());
        return err;
    }
    return ::unlink(from.c_str()) == 0 ? 0 : errno;
}

}  // namespace

int MoveFileNoReplace(const std::string& from, const std::string& to) {
    const int err = RenameNoReplace(from, to);
    if (err != EXDEV) return err;
    return CopyNoReplace(from, to);
}

int MoveFileReplacing(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace korvit::platform
