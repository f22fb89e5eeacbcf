// Why a port could not be opened: the second Output line under "Unable to open port (...)!".
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "acquisition/mm_serial.h"
#include "acquisition/port_failure.h"
#include "acquisition/posix_serial_backend.h"
#include "pty_peer.h"

namespace korvit::acquisition {
namespace {

using testing::PtyPeer;

/// Opens `device` on a fresh port and returns the reason it failed (empty when it opened).
std::string ReasonFor(const std::string& device) {
    MMSerial port;
    if (port.Open(device, 8192) != 0) return "";
    return port.OpenFailureReason(device);
}

TEST(PortFailure, ARegularFileIsNotASerialDevice) {
    char path[] = "/tmp/korvit_not_a_tty_XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(ReasonFor(path), std::string("Inappropriate ioctl for device: ") + path +
                                   " is not a serial device; choose the adapter's port, such as "
                                   "/dev/ttyUSB0.");
    std::remove(path);

    // /dev/null opens like a device but is no terminal either.
    EXPECT_EQ(ReasonFor("/dev/null").rfind("Inappropriate ioctl for device: /dev/null is not", 0),
              0u);
}

TEST(PortFailure, APortHeldByAnotherUserIsBusyAndAMissingOneIsNamed) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    PosixSerialBackend holder;
    ASSERT_TRUE(holder.Open(peer.path()));
    EXPECT_EQ(ReasonFor(peer.path()), "Device or resource busy: another program holds " +
                                          peer.path() + "; close it and scan again.");
    holder.Close();
    EXPECT_EQ(ReasonFor(peer.path()), "") << "free again once the holder let go";

    EXPECT_EQ(ReasonFor("/dev/korvit-none")
                  .rfind("No such file or directory: /dev/korvit-none "
                         "does not exist; is the adapter plugged in?",
                         0),
              0u);
    EXPECT_EQ(DescribePortFailure("/dev/ttyUSB0", 0), "");
}

#if defined(KORVIT_CLI_PATH)
/// Runs korvit-cli scan on `port` as an unprivileged user (nobody) when the tests run as root,
/// so that file permissions apply; returns its standard error.
std::string ScanAsNobody(const std::string& port) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipe_fds[1], STDERR_FILENO);
        ::dup2(::open("/dev/null", O_WRONLY), STDOUT_FILENO);
        ::close(pipe_fds[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            _exit(126);
        }
        const std::string def = KORVIT_SOURCE_DIR "/samples/scan-8192.adx";
        ::execl(KORVIT_CLI_PATH, KORVIT_CLI_PATH, "scan", def.c_str(), "--port", port.c_str(),
                "--seconds", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(pipe_fds[1]);
    std::string err;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) err.append(buffer, n);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return err;
}

TEST(PortFailure, APortTheUserMayNotOpenNamesItsGroupAndHowToJoinIt) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    // The line belongs to a group the user is not in, readable and writable by that group only.
    const group* dialout = ::getgrnam("dialout");
    const gid_t gid = dialout != nullptr ? dialout->gr_gid : 20;
    const std::string group_name = dialout != nullptr ? "dialout" : "20";
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(peer.path().c_str(), 0, gid), 0);
        ASSERT_EQ(::chmod(peer.path().c_str(), 0660), 0);
    } else {
        ASSERT_EQ(::chmod(peer.path().c_str(), 0), 0);
    }
    const std::string err = ScanAsNobody(peer.path());
    const std::string expected =
        "Unable to open port (" + peer.path() + ")!\nPermission denied: " + peer.path() + "; ";
    ASSERT_EQ(err.rfind(expected, 0), 0u) << err;
    if (::geteuid() == 0) {
        EXPECT_NE(err.find("it belongs to group " + group_name +
                           ", which you are not in. Join it with \"sudo usermod -aG " + group_name +
                           " $USER\", then log out and back in.\n"),
                  std::string::npos)
            << err;
    }
}
#endif

}  // namespace
}  // namespace korvit::acquisition
