#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "acquisition/mm_serial.h"

namespace korvit::acquisition::testing {

using Bytes = std::vector<uint8_t>;

/// The far end of a pseudo-terminal: tests open its slave path with a port and talk through
/// the master as the unit would.
class PtyPeer {
  public:
    PtyPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            const char* name = ptsname(master_);
            if (name != nullptr) path_ = name;
        }
    }
    virtual ~PtyPeer() { HangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0 && !path_.empty(); }
    const std::string& path() const { return path_; }

    void Send(const Bytes& bytes) {
        std::lock_guard lock(mutex_);
        WriteAll(bytes);
    }

    /// Collects bytes until `count` came or `timeout` passed.
    Bytes Receive(size_t count, std::chrono::milliseconds timeout) const {
        Bytes out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
            uint8_t buf[256];
            const ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    /// Closes the master: the port sees the line hang up.
    virtual void HangUp() {
        std::lock_guard lock(mutex_);
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  protected:
    void WriteAll(const Bytes& bytes) {
        size_t sent = 0;
        while (master_ >= 0 && sent < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n <= 0) break;
            sent += static_cast<size_t>(n);
        }
    }

    int master_ = -1;
    std::string path_;
    mutable std::mutex mutex_;
};

/// A peer driven by a script on its own thread: every chunk that arrives is appended to
/// `pending`, and the responder may consume from it and return bytes to send back.
class ScriptedPeer : public PtyPeer {
  public:
    using Responder = std::function<Bytes(Bytes& pending)>;

    explicit ScriptedPeer(Responder responder = nullptr) : responder_(std::move(responder)) {
        if (!ok()) return;
        MakeRaw(master_);
        // Held open so that the master never sees a hang-up between the port's opens.
        keeper_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        if (keeper_ >= 0) MakeRaw(keeper_);
        ::pipe(wake_);
        thread_ = std::thread([this] { Run(); });
    }

    ~ScriptedPeer() override {
        stop_ = true;
        if (wake_[1] >= 0) (void)::write(wake_[1], "x", 1);
        if (thread_.joinable()) thread_.join();
        HangUp();
        for (int fd : wake_) {
            if (fd >= 0) ::close(fd);
        }
    }

    /// Everything the port has written so far.
    Bytes Received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

    void HangUp() override {
        std::lock_guard lock(mutex_);
        if (master_ >= 0) ::close(master_);
        if (keeper_ >= 0) ::close(keeper_);
        master_ = keeper_ = -1;
    }

  private:
    static void MakeRaw(int fd) {
        termios raw{};
        tcgetattr(fd, &raw);
        cfmakeraw(&raw);
        tcsetattr(fd, TCSANOW, &raw);
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
    int keeper_ = -1;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stop_{false};
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

/// Records what a port writes to its log.
class RecordingLog : public ISerialLogSink {
  public:
    void WriteLine(std::string_view line) override { lines.emplace_back(line); }
    void WriteHexDump(const char* title, const uint8_t* bytes, size_t count) override {
        lines.emplace_back(title != nullptr ? title : "");
        dumped.emplace_back(bytes, bytes + count);
    }

    std::vector<std::string> lines;
    std::vector<Bytes> dumped;
};

}  // namespace korvit::acquisition::testing
