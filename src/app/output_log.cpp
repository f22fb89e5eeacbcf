#include "app/output_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace korvit::app {

void OutputLog::AddSink(IOutputSink* sink) {
    if (sink == nullptr) return;
    std::lock_guard lock(mutex_);
    if (std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end()) sinks_.push_back(sink);
    sink_count_.store(sinks_.size(), std::memory_order_relaxed);
}

void OutputLog::RemoveSink(IOutputSink* sink) {
    std::lock_guard lock(mutex_);
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
    sink_count_.store(sinks_.size(), std::memory_order_relaxed);
}

void OutputLog::Print(const char* format, ...) {
    if (format == nullptr || sink_count_.load(std::memory_order_relaxed) == 0) return;
    char buffer[kMaxLine + 1];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    Emit(std::string_view(buffer, std::min<size_t>(static_cast<size_t>(n), kMaxLine)));
}

void OutputLog::PrintLine(std::string_view line) {
    Emit(line.substr(0, std::min(line.size(), kMaxLine)));
}

void OutputLog::Emit(std::string_view line) {
    std::lock_guard lock(mutex_);
    for (IOutputSink* sink : sinks_) sink->AppendLine(line);
}

void OutputLog::Clear() {
    std::lock_guard lock(mutex_);
    for (IOutputSink* sink : sinks_) sink->Clear();
}

std::string HexDumpLine(const uint8_t* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    constexpr size_t kWidth = 16;
    count = std::min(count, kWidth);
    std::string line;
    line.reserve(kWidth * 4);
    for (size_t i = 0; i < kWidth; ++i) {
        if (i < count) {
            line += kDigits[bytes[i] >> 4];
            line += kDigits[bytes[i] & 0x0F];
            line += ' ';
        } else {
            line += "   ";
        }
    }
    // Printable in the "C" locale: 0x20..0x7E.
    for (size_t i = 0; i < count; ++i) {
        line += (bytes[i] >= 0x20 && bytes[i] < 0x7F) ? static_cast<char>(bytes[i]) : '.';
    }
    return line;
}

void OutputLog::HexDump(const char* title, const uint8_t* bytes, size_t count) {
    if (bytes == nullptr || count == 0) return;
    if (title != nullptr) PrintLine(title);
    for (size_t offset = 0; offset < count; offset += 16) {
        const std::string hex = HexDumpLine(bytes + offset, count - offset);
        Print("%04X: %s", static_cast<unsigned>(offset), hex.c_str());
    }
}

void TextBufferSink::AppendLine(std::string_view line) {
    std::lock_guard lock(mutex_);
    if (!text_.empty()) text_ += "\r\n";
    text_ += line;
}

void TextBufferSink::Clear() {
    std::lock_guard lock(mutex_);
    text_.clear();
}

std::string TextBufferSink::Text() const {
    std::lock_guard lock(mutex_);
    return text_;
}

void RepeatCollapsingSink::AppendLine(std::string_view line) {
    std::lock_guard lock(mutex_);
    if (have_last_ && line == last_) {
        ++repeats_;
        return;
    }
    FlushLocked();
    last_.assign(line);
    have_last_ = true;
    next_.AppendLine(line);
}

void RepeatCollapsingSink::Clear() {
    std::lock_guard lock(mutex_);
    FlushLocked();
    have_last_ = false;
    next_.Clear();
}

void RepeatCollapsingSink::Flush() {
    std::lock_guard lock(mutex_);
    FlushLocked();
}

void RepeatCollapsingSink::FlushLocked() {
    if (repeats_ == 0) return;
    next_.AppendLine("... repeated " + std::to_string(repeats_) + " times");
    repeats_ = 0;
}

void StreamSink::AppendLine(std::string_view line) {
    if (stream_ == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), stream_);
    std::fputc('\n', stream_);
    std::fflush(stream_);
}

}  // namespace korvit::app
