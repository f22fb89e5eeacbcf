#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "app/output_log.h"

namespace korvit::app {

/// Writes lines to a file descriptor on a thread of its own, so that whoever produces them never
/// waits for the reader. At most `max_lines` lines wait in the queue; when the reader falls that
/// far behind, further lines are counted and dropped. Writes never block for long: the thread
/// waits for room with poll() and writes at most one pipe buffer's guaranteed atomic chunk, so
/// Finish always returns within its drain time plus a fraction of a second.
class LineWriter {
  public:
    static constexpr size_t kDefaultMaxLines = 512;

    explicit LineWriter(int fd, size_t max_lines = kDefaultMaxLines);
    /// Finishes with a short drain time.
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    /// Queues the line (a newline is added); never blocks on the reader.
    void Write(std::string_view line);
    /// Waits until the queue is written or `drain_ms` has passed, then stops the thread. Lines
    /// still queued then count as dropped. Safe to call more than once.
    void Finish(int drain_ms);
    /// Lines dropped so far (queue full, or left over at Finish).
    uint64_t dropped() const;

  private:
    void Run();
    /// Writes all of `text` unless the stop flag comes first; false when it could not.
    bool WriteAll(std::string_view text);

    int fd_;
    size_t max_lines_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<std::string> queue_;
    bool busy_ = false;  // the thread holds a line it is writing
    bool stop_ = false;
    bool finished_ = false;
    bool broken_ = false;  // the descriptor failed for good (closed pipe)
    uint64_t dropped_ = 0;
    std::thread thread_;
};

/// An Output sink that hands its lines to a LineWriter.
class LineWriterSink : public IOutputSink {
  public:
    explicit LineWriterSink(LineWriter& writer) : writer_(writer) {}
    void AppendLine(std::string_view line) override { writer_.Write(line); }
    void Clear() override {}

  private:
    LineWriter& writer_;
};

/// Writes text to a descriptor, giving up after `timeout_ms` when the reader takes nothing.
/// For the last words of a program whose output may not be read at all.
bool WriteWithTimeout(int fd, std::string_view text, int timeout_ms);

}  // namespace korvit::app
