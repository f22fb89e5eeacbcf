#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/mm_serial.h"

namespace korvit::acquisition::test {

/// The far end of a pseudo-terminal: tests open its slave path with MMSerial and talk through
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
    ~PtyPeer() { HangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0 && !path_.empty(); }
    const std::string& path() const { return path_; }

    void Send(const std::vector<uint8_t>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    /// Collects bytes until `count` came or `timeout` passed.
    std::vector<uint8_t> Receive(size_t count, std::chrono::milliseconds timeout) const {
        std::vector<uint8_t> out;
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

    /// Closes the master: the slave side sees a hang-up.
    void HangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    std::string path_;
};

/// Records what a port writes to its log.
class RecordingLog : public ISerialLogSink {
  public:
    void WriteLine(std::string_view line) override { lines.emplace_back(line); }
    void WriteHexDump(const char* title, const uint8_t* bytes, size_t count) override {
        lines.emplace_back(title != nullptr ? title : "");
        dumped.emplace_back(bytes, bytes + count);
    }

    std::vector<std::string> lines;
    std::vector<std::vector<uint8_t>> dumped;
};

}  // namespace korvit::acquisition::test
