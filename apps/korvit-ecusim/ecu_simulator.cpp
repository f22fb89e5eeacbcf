#include "ecu_simulator.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ecu_signals.h"
#include "platform/precise_wait.h"

namespace korvit::ecusim {
namespace {

using definition::ADXC160BaudListen;
using definition::ADXCListenChatter;
using definition::ADXCListenSilence;
using definition::ADXCSendCommand;
using platform::Clock;

constexpr auto kNever = platform::TimePoint::max();
// Chatter resumes once no command has come for this long, as a unit falls back to its idle talk.
constexpr auto kChatterResume = std::chrono::seconds(2);
constexpr uint8_t kChatterFiller[] = {0x0A, 0x5C};

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

EcuSimulator::EcuSimulator(definition::ADXDefinition& definition, SimOptions options)
    : definition_(definition),
      options_(std::move(options)),
      drive_cycle_(DriveCycleReplies::For(definition)),
      rng_(options_.seed) {
    uint32_t longest_silence = 0;
    for (const auto& object : definition_.objects()) {
        if (const auto* send = definition::As<ADXCSendCommand>(object.get())) {
            if (!send->bytes().empty()) commands_.push_back(send);
        } else if (const auto* listen = definition::As<ADXC160BaudListen>(object.get())) {
            if (stream_size_ == 0) stream_size_ = listen->packetsize;
        } else if (const auto* chatter = definition::As<ADXCListenChatter>(object.get())) {
            if (chatter_.empty()) chatter_ = chatter->bytes();
        } else if (const auto* silence = definition::As<ADXCListenSilence>(object.get())) {
            longest_silence = std::max(longest_silence, silence->silencelen);
        }
    }
    std::stable_sort(commands_.begin(), commands_.end(), [](const auto* a, const auto* b) {
        return a->bytes().size() > b->bytes().size();
    });
    if (!commands_.empty()) longest_command_ = commands_.front()->bytes().size();
    // Gaps between chatter frames must be long enough for a listen for silence to succeed.
    chatter_gap_ = std::chrono::milliseconds(std::max<uint32_t>(30, longest_silence + 30));
    echo_ = options_.echo || (definition_.flags & definition::ADXDefinition::kEchoesSentBytes);
    // The 160-baud stream arrives one byte per bit, 160 bytes a second, whatever the line rate.
    baud_ = stream_size_ > 0 ? 1600 : options_.baud.value_or(definition_.baud);
    if (baud_ > 0) byte_time_ = std::chrono::nanoseconds(10'000'000'000LL / baud_);
}

EcuSimulator::~EcuSimulator() {
    CloseAll();
    if (stop_fd_ >= 0) ::close(stop_fd_);
}

void EcuSimulator::CloseAll() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
}

bool EcuSimulator::Open(std::string& error) {
    CloseAll();
    if (stop_fd_ < 0) stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_fd_ < 0) {
        error = ErrnoText("eventfd");
        return false;
    }
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0) {
        error = ErrnoText("posix_openpt");
        return false;
    }
    const char* name = nullptr;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        (name = ::ptsname(master_)) == nullptr) {
        error = ErrnoText("pseudo-terminal set-up");
        CloseAll();
        return false;
    }
    path_ = name;
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios tio{};
    if (slave_ < 0 || ::tcgetattr(slave_, &tio) != 0) {
        error = ErrnoText(path_.c_str());
        CloseAll();
        return false;
    }
    // Raw from the start: a cooked slave would echo our own output back to us.
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    start_ = Clock::now();
    line_free_ = start_;
    next_chatter_ = start_;
    return true;
}

void EcuSimulator::Stop() {
    if (stop_fd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_fd_, &one, sizeof one);
}

double EcuSimulator::Seconds() const {
    return platform::SecondsSince(start_);
}

bool EcuSimulator::Chance(FaultKind kind) {
    for (const Fault& fault : options_.faults) {
        if (fault.kind == kind &&
            std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < fault.rate) {
            return true;
        }
    }
    return false;
}

void EcuSimulator::Emit(const std::vector<uint8_t>& bytes, TimePoint now) {
    if (line_.empty()) next_due_ = std::max(now, line_free_) + byte_time_;
    for (uint8_t b : bytes) {
        if (Chance(FaultKind::kDrop)) continue;
        if (Chance(FaultKind::kCorrupt)) {
            b ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(rng_));
        }
        line_.push_back(b);
    }
}

void EcuSimulator::Answer(const ADXCSendCommand& command, TimePoint now) {
    ++commands_seen_;
    last_command_ = now;
    if (command.replysize == 0 || Chance(FaultKind::kNoReply)) return;
    const bool late_turn = options_.late_every > 0 && ++replies_started_ % options_.late_every == 0;
    std::vector<uint8_t> reply = drive_cycle_ ? drive_cycle_->Reply(command, Seconds())
                                              : EcuSignals::Reply(command, Seconds());
    if (Chance(FaultKind::kHangup)) {
        reply.resize(reply.size() / 2);
        Emit(reply, now);
        hang_up_when_sent_ = true;
        return;
    }
    if (Chance(FaultKind::kStall)) {
        const size_t half = reply.size() / 2;
        Emit(std::vector<uint8_t>(reply.begin(), reply.begin() + static_cast<ptrdiff_t>(half)),
             now);
        const TimePoint first_half_done = std::max(now, line_free_) + byte_time_ * line_.size();
        stalled_until_ = first_half_done + options_.stall_time;
        later_.push_back(
            {stalled_until_,
             std::vector<uint8_t>(reply.begin() + static_cast<ptrdiff_t>(half), reply.end())});
        return;
    }
    if (late_turn || Chance(FaultKind::kLate)) {
        later_.push_back({now + options_.late_delay, std::move(reply)});
        return;
    }
    Emit(reply, now);
}

void EcuSimulator::Receive(TimePoint now) {
    uint8_t buf[512];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return;
        // A stalled unit hears nothing; the 160-baud stream takes no commands.
        if (now < stalled_until_ || stream_size_ > 0) continue;
        if (echo_) {
            Emit(std::vector<uint8_t>(buf, buf + n), now);
        } else if (byte_time_.count() > 0) {
            // The pseudo-terminal delivers at once, but on the wire the received bytes kept the
            // one-wire line busy; a reply can only start after them. The echo models this itself.
            line_free_ = std::max(line_free_, now) + byte_time_ * n;
        }
        for (ssize_t i = 0; i < n; ++i) {
            received_.push_back(buf[i]);
            for (const ADXCSendCommand* command : commands_) {
                const auto& bytes = command->bytes();
                if (received_.size() >= bytes.size() &&
                    std::equal(bytes.begin(), bytes.end(),
                               received_.end() - static_cast<ptrdiff_t>(bytes.size()))) {
                    received_.clear();
                    Answer(*command, now);
                    break;
                }
            }
            if (received_.size() > longest_command_) received_.erase(received_.begin());
        }
    }
}

void EcuSimulator::FeedTheLine(TimePoint now) {
    for (auto it = later_.begin(); it != later_.end();) {
        if (it->at <= now) {
            Emit(it->bytes, now);
            it = later_.erase(it);
        } else {
            ++it;
        }
    }
    if (stream_size_ > 0) {
        // Keep about one packet queued so the stream never pauses.
        if (line_.size() < 10 + 9 * stream_size_) {
            Emit(EcuSignals::Encode160Baud(EcuSignals::DataBytes(stream_size_, Seconds())), now);
        }
        return;
    }
    const bool idle = !last_command_ || now - *last_command_ >= kChatterResume;
    if (!chatter_.empty() && idle && line_.empty() && later_.empty() && now >= next_chatter_ &&
        now >= line_free_) {
        std::vector<uint8_t> frame(std::begin(kChatterFiller), std::end(kChatterFiller));
        frame.insert(frame.end(), chatter_.begin(), chatter_.end());
        Emit(frame, now);
        next_chatter_ = now + byte_time_ * frame.size() + chatter_gap_;
    }
}

bool EcuSimulator::Flush(TimePoint now) {
    size_t due = line_.size();
    if (byte_time_.count() > 0) {
        due = now < next_due_
                  ? 0
                  : std::min(line_.size(), static_cast<size_t>((now - next_due_) / byte_time_) + 1);
    }
    if (due == 0) return true;
    std::vector<uint8_t> chunk(line_.begin(), line_.begin() + static_cast<ptrdiff_t>(due));
    const ssize_t n = ::write(master_, chunk.data(), chunk.size());
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    line_.erase(line_.begin(), line_.begin() + n);
    if (byte_time_.count() > 0) {
        line_free_ = next_due_ + byte_time_ * (n - 1);
        next_due_ += byte_time_ * n;
    } else {
        line_free_ = now;
    }
    return true;
}

void EcuSimulator::LetTheClientDrain() {
    // Closing the master discards what the client has not read yet; bytes already on the wire
    // should arrive before the hang-up, as they would on a real line.
    // The pseudo-terminal hands written bytes to the slave's queue a moment later, so give them
    // time to land before looking.
    platform::WaitFor(std::chrono::milliseconds(20));
    const TimePoint give_up = Clock::now() + std::chrono::milliseconds(500);
    int queued = 0;
    while (::ioctl(slave_, FIONREAD, &queued) == 0 && queued > 0 && Clock::now() < give_up) {
        platform::WaitFor(std::chrono::milliseconds(2));
    }
}

platform::TimePoint EcuSimulator::NextWake(TimePoint now) const {
    TimePoint wake = kNever;
    // A byte already due waits for room on the line (POLLOUT), not for a timer.
    if (!line_.empty() && byte_time_.count() > 0 && next_due_ > now) wake = next_due_;
    for (const Later& later : later_) wake = std::min(wake, later.at);
    // The same conditions as FeedTheLine's, or a chatter time that cannot be served would spin.
    if (!chatter_.empty() && line_.empty() && later_.empty()) {
        TimePoint chatter = std::max(next_chatter_, line_free_);
        if (last_command_) chatter = std::max(chatter, *last_command_ + kChatterResume);
        wake = std::min(wake, chatter);
    }
    return wake;
}

void EcuSimulator::Run() {
    if (master_ < 0) return;
    for (;;) {
        TimePoint now = Clock::now();
        FeedTheLine(now);
        if (!Flush(now)) break;
        if (hang_up_when_sent_ && line_.empty()) {
            LetTheClientDrain();
            break;
        }

        pollfd fds[2] = {{master_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
        // A client that stops reading fills the pseudo-terminal: then wait for room as well.
        if (!line_.empty() && (byte_time_.count() == 0 || next_due_ <= now)) {
            fds[0].events |= POLLOUT;
        }
        const int ready = platform::PollUntil(fds, 2, NextWake(now));
        if (ready < 0) break;
        if (fds[1].revents != 0) break;
        if ((fds[0].revents & POLLIN) != 0) Receive(Clock::now());
    }
    CloseAll();
}

}  // namespace korvit::ecusim
