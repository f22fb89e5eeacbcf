#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvit::acquisition::testing {

using Bytes = std::vector<uint8_t>;

/// The far end of a pseudo-terminal, driven by a script: every chunk that arrives is appended
/// to `pending`, and the responder may consume from it and return bytes to send back.
class ScriptedPeer {
  public:
    using Responder = std::function<Bytes(Bytes& pending)>;

    explicit ScriptedPeer(Responder responder = nullptr) : responder_(std::move(responder)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        path_ = ptsname(master_);
        termios raw{};
        tcgetattr(master_, &raw);
        cfmakeraw(&raw);
        tcsetattr(master_, TCSANOW, &raw);
        // Held open so that the master never sees a hang-up between the port's opens.
        keeper_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        if (keeper_ >= 0) {
            tcgetattr(keeper_, &raw);
            cfmakeraw(&raw);
            tcsetattr(keeper_, TCSANOW, &raw);
        }
        ::pipe(wake_);
        thread_ = std::thread([this] { Run(); });
    }

    ~ScriptedPeer() {
        stop_ = true;
        if (wake_[1] >= 0) (void)::write(wake_[1], "x", 1);
        if (thread_.joinable()) thread_.join();
        HangUp();
        for (int fd : wake_) {
            if (fd >= 0) ::close(fd);
        }
    }

    const std::string& path() const { return path_; }

    /// Everything the port has written so far.
    Bytes Received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

    /// Sends bytes now, outside the script.
    void Send(const Bytes& bytes) {
        std::lock_guard lock(mutex_);
        WriteAll(bytes);
    }

    /// Closes the master: the port sees the line hang up.
    void HangUp() {
        std::lock_guard lock(mutex_);
        if (master_ >= 0) ::close(master_);
        if (keeper_ >= 0) ::close(keeper_);
        master_ = keeper_ = -1;
    }

  private:
    void WriteAll(const Bytes& bytes) {
        size_t sent = 0;
        while (master_ >= 0 && sent < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    }

    void Run() {
        Bytes pending;
        uint8_t buffer[4096];
        while (!stop_) {
            int fd;
            {
                std::lock_guard lock(mutex_);
                fd = master_;
            }
            if (fd < 0) return;
            pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(fds, 2, 1000) <= 0) continue;
            if (fds[1].revents != 0) return;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                // No reader on the other side yet, or hung up: wait instead of spinning.
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            std::lock_guard lock(mutex_);
            received_.insert(received_.end(), buffer, buffer + n);
            pending.insert(pending.end(), buffer, buffer + n);
            if (responder_) WriteAll(responder_(pending));
        }
    }

    Responder responder_;
    int master_ = -1;
    int keeper_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    Bytes received_;
    std::thread thread_;
};

/// Takes `request` off the front of `pending` when it is all there.
inline bool Consume(Bytes& pending, const Bytes& request) {
    if (pending.size() < request.size() ||
        !std::equal(request.begin(), request.end(), pending.begin())) {
        return false;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(request.size()));
    return true;
}

}  // namespace korvit::acquisition::testing
