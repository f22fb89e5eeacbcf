#include "app/line_writer.h"

#include <errno.h>
#ifndef _WIN32
#include <poll.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace korvit::app {

namespace {

// POSIX guarantees that a pipe with room (POLLOUT) takes this many bytes without blocking.
constexpr size_t kChunk = 512;
// How often a waiting write looks at the stop flag.
constexpr int kPollMs = 50;

// Waits up to `ms` for room to write: 1 ready, 0 not yet, -1 when the descriptor is dead.
int WaitWritable(int fd, int ms) {
#ifdef _WIN32
    // Consoles, files and pipes take a write when it is made (blocking until they do).
    (void)fd;
    (void)ms;
    return 1;
#else
    pollfd pfd{fd, POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, ms);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    if (ready > 0 && (pfd.revents & (POLLERR | POLLNVAL)) != 0) return -1;
    return ready;
#endif
}

}  // namespace

LineWriter::LineWriter(int fd, size_t max_lines)
    : fd_(fd), max_lines_(std::max<size_t>(max_lines, 1)), thread_(&LineWriter::Run, this) {}

LineWriter::~LineWriter() {
    Finish(200);
}

void LineWriter::Write(std::string_view line) {
    {
        std::lock_guard lock(mutex_);
        if (finished_ || broken_ || queue_.size() >= max_lines_) {
            ++dropped_;
            return;
        }
        std::string text;
        text.reserve(line.size() + 1);
        text.append(line);
        text.push_back('\n');
        queue_.push_back(std::move(text));
    }
    wake_.notify_one();
}

void LineWriter::Finish(int drain_ms) {
    {
        std::unique_lock lock(mutex_);
        if (finished_) return;
        drained_.wait_for(lock, std::chrono::milliseconds(drain_ms),
                          [this] { return (queue_.empty() && !busy_) || broken_; });
        stop_ = true;
        finished_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    dropped_ += queue_.size();
    queue_.clear();
}

uint64_t LineWriter::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void LineWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        std::string line = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        const bool written = WriteAll(line);
        lock.lock();
        busy_ = false;
        if (!written) {
            // Only a stop or a dead descriptor ends a write early; the line is lost either way.
            ++dropped_;
            if (!stop_) {
                broken_ = true;
                dropped_ += queue_.size();
                queue_.clear();
            }
        }
        if (queue_.empty() || broken_) drained_.notify_all();
        if (broken_) return;
    }
}

bool LineWriter::WriteAll(std::string_view text) {
    while (!text.empty()) {
        const int ready = WaitWritable(fd_, kPollMs);
        if (ready < 0) return false;
        if (ready == 0) {
            std::lock_guard lock(mutex_);
            if (stop_) return false;
            continue;
        }
        const ssize_t n = ::write(fd_, text.data(), std::min(text.size(), kChunk));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool WriteWithTimeout(int fd, std::string_view text, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!text.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return false;
        const int ready = WaitWritable(fd, static_cast<int>(left));
        if (ready < 0) return false;
        if (ready == 0) continue;
        const ssize_t n = ::write(fd, text.data(), std::min(text.size(), kChunk));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace korvit::app
