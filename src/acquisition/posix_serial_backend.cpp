#include "acquisition/posix_serial_backend.h"

// termios2 and BOTHER come from the kernel headers, which clash with glibc's <termios.h>; the
// flush and modem-line ioctls are used directly instead of the tc* wrappers.
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <utility>

#include "platform/precise_wait.h"

namespace korvit::acquisition {
namespace {

using platform::Clock;
using platform::TimePoint;

constexpr TimePoint kNever = TimePoint::max();

// Products of the 32-bit time-outs can exceed what the clock holds; such a bound never ends.
TimePoint DeadlineAfter(TimePoint start, uint64_t ms) {
    constexpr uint64_t kLongest = uint64_t{1} << 40;  // about 35 years
    return ms > kLongest ? kNever : start + std::chrono::milliseconds(ms);
}

constexpr std::array<std::pair<uint8_t, unsigned>, 4> kByteSizes = {
    {{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}}};

// Modem-line ioctls fail with ENOTTY (or EINVAL) on devices without modem lines, such as
// pseudo-terminals; that is not a reason to refuse the port.
bool NoModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

}  // namespace

std::unique_ptr<ISerialBackend> MakePlatformSerialBackend() {
    return std::make_unique<PosixSerialBackend>();
}

PosixSerialBackend::~PosixSerialBackend() {
    Close();
}

bool PosixSerialBackend::Open(const std::string& device) {
    Close();
    last_error_ = 0;
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        last_error_ = errno;
        return false;
    }
    // flock keeps a second user out even when running as root, which TIOCEXCL does not.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // A held lock is the same situation as a port opened exclusively elsewhere.
        last_error_ = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);

    // Raw 8-bit transfers: no line editing, no translation, no software flow control, reads
    // driven by poll rather than VMIN/VTIME. Not a terminal: left for the line settings to report.
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) == 0) {
        tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                         IXANY | INPCK);
        tio.c_oflag &= ~OPOST;
        tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        tio.c_cflag |= CREAD | CLOCAL;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::ioctl(fd, TCSETS2, &tio);
    }
    fd_ = fd;
    hung_up_ = false;
    timeouts_ = SerialTimeouts{};
    dtr_on_ = rts_on_ = false;
    return true;
}

void PosixSerialBackend::Close() {
    if (fd_ < 0) return;
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    hung_up_ = false;
}

bool PosixSerialBackend::GetLineSettings(LineSettings& settings) {
    termios2 tio{};
    if (fd_ < 0) return false;
    if (::ioctl(fd_, TCGETS2, &tio) != 0) {
        last_error_ = errno;
        return false;
    }
    settings.baud = tio.c_ospeed;
    settings.byte_size = 8;
    for (const auto& [bits, flag] : kByteSizes) {
        if ((tio.c_cflag & CSIZE) == flag) settings.byte_size = bits;
    }
    if ((tio.c_cflag & PARENB) == 0) {
        settings.parity = Parity::kNone;
    } else if ((tio.c_cflag & CMSPAR) != 0) {
        settings.parity = (tio.c_cflag & PARODD) != 0 ? Parity::kMark : Parity::kSpace;
    } else {
        settings.parity = (tio.c_cflag & PARODD) != 0 ? Parity::kOdd : Parity::kEven;
    }
    settings.stop_bits = (tio.c_cflag & CSTOPB) != 0 ? StopBits::kTwo : StopBits::kOne;
    settings.out_cts_flow = (tio.c_cflag & CRTSCTS) != 0;
    settings.out_dsr_flow = false;  // termios has no DSR output flow control
    settings.dsr_sensitivity = false;
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) == 0) {
        settings.dtr_on = (lines & TIOCM_DTR) != 0;
        settings.rts_on = (lines & TIOCM_RTS) != 0;
    } else {
        settings.dtr_on = dtr_on_;
        settings.rts_on = rts_on_;
    }
    return true;
}

bool PosixSerialBackend::SetLineSettings(const LineSettings& settings) {
    termios2 tio{};
    if (fd_ < 0 || settings.baud == 0 || ::ioctl(fd_, TCGETS2, &tio) != 0) return false;
    // BOTHER takes the rate as a number, so 8192 and other non-standard rates work.
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = settings.baud;
    tio.c_ospeed = settings.baud;

    const auto size = std::find_if(kByteSizes.begin(), kByteSizes.end(), [&](const auto& entry) {
        return entry.first == settings.byte_size;
    });
    if (size == kByteSizes.end()) return false;
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | size->second;
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (settings.parity) {
        case Parity::kNone:
            break;
        case Parity::kOdd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case Parity::kEven:
            tio.c_cflag |= PARENB;
            break;
        case Parity::kMark:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case Parity::kSpace:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
    }
    if (settings.stop_bits == StopBits::kOne) {
        tio.c_cflag &= ~CSTOPB;
    } else {
        tio.c_cflag |= CSTOPB;
    }
    if (settings.out_cts_flow) {
        tio.c_cflag |= CRTSCTS;
    } else {
        tio.c_cflag &= ~CRTSCTS;
    }
    if (::ioctl(fd_, TCSETS2, &tio) != 0) {
        last_error_ = errno;
        return false;
    }

    int raise = 0;
    int lower = 0;
    (settings.dtr_on ? raise : lower) |= TIOCM_DTR;
    (settings.rts_on ? raise : lower) |= TIOCM_RTS;
    for (auto [request, bits] : {std::pair{TIOCMBIS, raise}, std::pair{TIOCMBIC, lower}}) {
        if (bits != 0 && ::ioctl(fd_, request, &bits) != 0 && !NoModemLines(errno)) {
            last_error_ = errno;
            return false;
        }
    }
    dtr_on_ = settings.dtr_on;
    rts_on_ = settings.rts_on;
    return true;
}

bool PosixSerialBackend::SetBuffers(uint32_t /*input_size*/, uint32_t /*output_size*/) {
    // The tty layer sizes its own queues (4 KiB and more); the request is met or exceeded.
    return fd_ >= 0;
}

bool PosixSerialBackend::GetTimeouts(SerialTimeouts& timeouts) {
    if (fd_ < 0) return false;
    timeouts = timeouts_;
    return true;
}

bool PosixSerialBackend::SetTimeouts(const SerialTimeouts& timeouts) {
    if (fd_ < 0) return false;
    timeouts_ = timeouts;
    return true;
}

bool PosixSerialBackend::Purge(bool transmit, bool receive) {
    if (fd_ < 0) return false;
    if (!transmit && !receive) return true;
    const int which = transmit && receive ? TCIOFLUSH : (transmit ? TCOFLUSH : TCIFLUSH);
    return ::ioctl(fd_, TCFLSH, which) == 0;
}

uint32_t PosixSerialBackend::Read(uint8_t* buffer, uint32_t count) {
    if (fd_ < 0 || buffer == nullptr || count == 0) return 0;
    const SerialTimeouts& t = timeouts_;
    const TimePoint start = Clock::now();
    constexpr uint32_t kMax = SerialTimeouts::kNoWait;

    // Interval "no wait" with no totals: return whatever is queued. With the multiplier also at
    // its maximum: return as soon as anything is there, waiting up to the constant for the first.
    const bool queued_only =
        t.read_interval == kMax && t.read_total_multiplier == 0 && t.read_total_constant == 0;
    const bool first_byte_ends = t.read_interval == kMax && t.read_total_multiplier == kMax &&
                                 t.read_total_constant > 0 && t.read_total_constant < kMax;
    TimePoint total_deadline = kNever;
    if (queued_only) {
        total_deadline = start;
    } else if (first_byte_ends) {
        total_deadline = DeadlineAfter(start, t.read_total_constant);
    } else if (t.read_total_multiplier != 0 || t.read_total_constant != 0) {
        total_deadline =
            DeadlineAfter(start, uint64_t{t.read_total_multiplier} * count + t.read_total_constant);
    }
    const bool use_interval = t.read_interval != 0 && t.read_interval != kMax;

    uint32_t got = 0;
    TimePoint last_byte = start;
    for (;;) {
        const ssize_t n = ::read(fd_, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            last_byte = Clock::now();
            if (got == count || first_byte_ends) return got;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        TimePoint deadline = total_deadline;
        if (got > 0 && use_interval) {
            deadline = std::min(deadline, DeadlineAfter(last_byte, t.read_interval));
        }
        // With VMIN 1 an empty queue gives EAGAIN; end-of-file means the other end hung up.
        if (n == 0 || errno != EAGAIN) return LineLost(deadline, got);
        if (Clock::now() >= deadline) return got;
        pollfd pfd{fd_, POLLIN, 0};
        const int ready = platform::PollUntil(&pfd, 1, deadline);
        if (ready <= 0) return got;
        if ((pfd.revents & POLLIN) == 0) return LineLost(deadline, got);
    }
}

uint32_t PosixSerialBackend::Write(const uint8_t* buffer, uint32_t count) {
    if (fd_ < 0 || buffer == nullptr || count == 0) return 0;
    const SerialTimeouts& t = timeouts_;
    const TimePoint start = Clock::now();
    const TimePoint deadline =
        t.write_total_multiplier == 0 && t.write_total_constant == 0
            ? kNever
            : DeadlineAfter(start,
                            uint64_t{t.write_total_multiplier} * count + t.write_total_constant);
    uint32_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd_, buffer + sent, count - sent);
        if (n > 0) {
            sent += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) return LineLost(deadline, sent);
        pollfd pfd{fd_, POLLOUT, 0};
        if (platform::PollUntil(&pfd, 1, deadline) <= 0) return sent;
        if ((pfd.revents & POLLOUT) == 0) return LineLost(deadline, sent);
    }
    return sent;
}

uint32_t PosixSerialBackend::LineLost(TimePoint deadline, uint32_t transferred) {
    // The other end is gone (EIO or POLLHUP on a hung-up tty). The line then behaves as a silent
    // one: the transfer ends when its time-outs say, so callers keep their pace instead of
    // spinning.
    hung_up_ = true;
    if (deadline != kNever) platform::WaitUntil(deadline);
    return transferred;
}

std::string PosixSerialBackend::DeviceNameForNumber(uint32_t number) const {
    // COM1 is the first on-board port, /dev/ttyS0.
    return "/dev/ttyS" + std::to_string(number > 0 ? number - 1 : 0);
}

}  // namespace korvit::acquisition
