#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvit::app {

/// Where Output lines end up: a text box in the GUI, standard error in the CLI, a buffer in tests.
class IOutputSink {
  public:
    virtual ~IOutputSink() = default;
    /// One complete line, without a line break.
    virtual void AppendLine(std::string_view line) = 0;
    /// Empties what the sink shows; sinks that cannot take text back ignore it.
    virtual void Clear() = 0;
};

/// The running log of what the program does. Lines are formatted per call and handed to every
/// attached sink under one lock, so lines from several threads never interleave or reorder
/// between sinks. With no sink attached, lines are dropped.
class OutputLog {
  public:
    /// Longest line in characters; longer text is cut.
    static constexpr size_t kMaxLine = 4095;

    void AddSink(IOutputSink* sink);
    void RemoveSink(IOutputSink* sink);

    /// Appends one line formatted with printf rules.
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    /// Appends one line as it stands (no formatting).
    void PrintLine(std::string_view line);
    /// Appends an optional title line, then one line per 16 bytes: "%04X: " hex pairs and text.
    void HexDump(const char* title, const uint8_t* bytes, size_t count);
    /// Empties every sink.
    void Clear();

  private:
    void Emit(std::string_view line);

    std::mutex mutex_;
    std::vector<IOutputSink*> sinks_;
    std::atomic<size_t> sink_count_{0};  // lets Print skip formatting when nobody listens
};

/// Formats one hex-dump line (without the "%04X: " prefix) of up to 16 bytes.
std::string HexDumpLine(const uint8_t* bytes, size_t count);

/// Keeps the text as a text box holds it: lines joined by "\r\n", none after the last.
class TextBufferSink : public IOutputSink {
  public:
    void AppendLine(std::string_view line) override;
    void Clear() override;
    /// A copy of the whole text.
    std::string Text() const;

  private:
    mutable std::mutex mutex_;
    std::string text_;
};

/// Writes each line to a C stream followed by a newline, flushed, so that a scan's progress is
/// visible live. Clear does nothing: a stream cannot take text back.
class StreamSink : public IOutputSink {
  public:
    explicit StreamSink(std::FILE* stream) : stream_(stream) {}
    void AppendLine(std::string_view line) override;
    void Clear() override {}

  private:
    std::FILE* stream_;
};

/// Passes lines on to another sink, folding a run of identical lines into the first one and a
/// "... repeated N times" line, so that one fault per record does not flood a terminal.
class RepeatCollapsingSink : public IOutputSink {
  public:
    explicit RepeatCollapsingSink(IOutputSink& next) : next_(next) {}
    ~RepeatCollapsingSink() override { Flush(); }
    void AppendLine(std::string_view line) override;
    void Clear() override;
    /// Writes the pending repeat count, if any.
    void Flush();

  private:
    std::mutex mutex_;
    IOutputSink& next_;
    std::string last_;
    bool have_last_ = false;
    uint64_t repeats_ = 0;
    void FlushLocked();
};

}  // namespace korvit::app
