#include "definition/xml/xml_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/file_io.h"

namespace korvit::definition::xml {
namespace {

constexpr std::string_view kNewline = "\r\n";
// The names of all open elements together stay under this many characters.
constexpr size_t kMaxStackChars = 255;
constexpr int kMaxIndent = 8;
// Longest "%f" text of a float: in an attribute, and as element text.
constexpr size_t kAttributeFloatLimit = 19;
constexpr size_t kElementFloatLimit = 31;

// "%f" of a float without the C locale's say in the decimal point. A value whose fixed text would
// pass the limit is written in the shortest exponent form instead, which reads back the same.
std::string_view FormatFloat(float value, size_t limit, char (&buf)[64]) {
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    if (r.ec != std::errc() || static_cast<size_t>(r.ptr - buf) > limit) {
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 9);
    }
    return std::string_view(buf, static_cast<size_t>(r.ptr - buf));
}

std::string_view FormatInt(int32_t value, char (&buf)[64]) {
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string_view(buf, static_cast<size_t>(r.ptr - buf));
}

}  // namespace

struct XMLWriter::State {
    int fd = -1;
    bool write_failed = false;
    std::unique_ptr<char[]> buffer{new char[kBufferSize]};
    size_t used = 0;
    std::vector<size_t> name_lengths;
    std::string names;  // open element names, concatenated
    int indent = 4;
    bool tag_open = false;
    bool line_start = true;

    void Flush() {
        size_t done = 0;
        while (done < used && !write_failed) {
            const ssize_t n = ::write(fd, buffer.get() + done, used - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                write_failed = true;
                break;
            }
            done += static_cast<size_t>(n);
        }
        used = 0;
    }

    // Output goes through the buffer; a full buffer is written as a whole.
    void Put(std::string_view s) {
        while (!s.empty()) {
            const size_t n = std::min(s.size(), kBufferSize - used);
            std::memcpy(buffer.get() + used, s.data(), n);
            used += n;
            s.remove_prefix(n);
            if (used == kBufferSize) Flush();
        }
    }

    void PutIndent(size_t depth) {
        for (size_t i = 0; i < depth; ++i) {
            for (int j = 0; j < indent; ++j) Put(" ");
        }
    }

    // Closes a start tag that may still take attributes.
    void CloseTag(bool newline) {
        if (!tag_open) return;
        Put(">");
        if (newline) Put(kNewline);
        tag_open = false;
        line_start = newline;
    }
};

XMLWriter::XMLWriter() = default;

XMLWriter::~XMLWriter() {
    Close();
}

int XMLWriter::OpenFile(const std::string& path) {
    Close();
    const int fd = platform::OpenFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0) return 0;
    state_ = new State;
    state_->fd = fd;
    return 1;
}

int XMLWriter::SetIndent(int n) {
    if (state_ == nullptr) return 0;
    state_->indent = (n < 0 || n > kMaxIndent) ? kMaxIndent : n;
    return 1;
}

int XMLWriter::BeginElement(std::string_view name) {
    if (state_ == nullptr) return 0;
    State& s = *state_;
    // A name that would overflow the stack is refused whole, so the end tags written later
    // still match the start tags that were written.
    if (s.names.size() + name.size() >= kMaxStackChars) return 0;
    s.CloseTag(true);
    s.PutIndent(s.name_lengths.size());
    s.Put("<");
    s.Put(name);
    s.names.append(name);
    s.name_lengths.push_back(name.size());
    s.tag_open = true;
    s.line_start = false;
    return 1;
}

int XMLWriter::Attribute(std::string_view name, std::string_view value) {
    if (state_ == nullptr || !state_->tag_open) return 0;
    State& s = *state_;
    s.Put(" ");
    s.Put(name);
    s.Put("=\"");
    s.Put(value);
    s.Put("\"");
    return 1;
}

int XMLWriter::AttributeFormat(std::string_view name, const char* format, ...) {
    char value[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(value, sizeof value, format, args);
    va_end(args);
    if (n < 0) return 0;
    return Attribute(name, std::string_view(value));
}

int XMLWriter::Attribute(std::string_view name, int32_t value) {
    char buf[64];
    return Attribute(name, FormatInt(value, buf));
}

int XMLWriter::Attribute(std::string_view name, float value) {
    char buf[64];
    return Attribute(name, FormatFloat(value, kAttributeFloatLimit, buf));
}

int XMLWriter::Text(const char* text) {
    if (text == nullptr) return state_ != nullptr ? 1 : 0;
    return Text(std::string_view(text));
}

int XMLWriter::Text(std::string_view text) {
    if (state_ == nullptr) return 0;
    State& s = *state_;
    s.CloseTag(false);
    s.Put(text);
    s.line_start = false;
    return 1;
}

int XMLWriter::EndElement() {
    if (state_ == nullptr || state_->name_lengths.empty()) return 0;
    State& s = *state_;
    const size_t length = s.name_lengths.back();
    s.name_lengths.pop_back();
    const std::string_view name = std::string_view(s.names).substr(s.names.size() - length);
    if (s.tag_open) {
        s.Put(" />");
        s.tag_open = false;
    } else {
        if (s.line_start) s.PutIndent(s.name_lengths.size());
        s.Put("</");
        s.Put(name);
        s.Put(">");
    }
    s.names.resize(s.names.size() - length);
    s.Put(kNewline);
    s.line_start = true;
    return 1;
}

int XMLWriter::Element(std::string_view name, std::string_view text) {
    if (BeginElement(name) == 0) return 0;
    const int text_ok = Text(text);
    return EndElement() & text_ok;
}

int XMLWriter::Element(std::string_view name, int32_t value) {
    char buf[64];
    return Element(name, FormatInt(value, buf));
}

int XMLWriter::Element(std::string_view name, float value) {
    char buf[64];
    return Element(name, FormatFloat(value, kElementFloatLimit, buf));
}

int XMLWriter::Comment(std::string_view text) {
    if (state_ == nullptr) return 0;
    State& s = *state_;
    s.CloseTag(true);
    s.PutIndent(s.name_lengths.size());
    s.Put("<!-- ");
    s.Put(text);
    s.Put(" -->");
    s.Put(kNewline);
    s.line_start = true;
    return 1;
}

int XMLWriter::Close() {
    if (state_ == nullptr) return 0;
    state_->Flush();
    const bool ok = !state_->write_failed && ::close(state_->fd) == 0;
    delete state_;
    state_ = nullptr;
    return ok ? 1 : 0;
}

size_t XMLEscape(const char* input, size_t input_limit, char* output, size_t output_limit) {
    if (output == nullptr) return 0;
    size_t out = 0;
    for (size_t i = 0; input != nullptr && i < input_limit && input[i] != '\0'; ++i) {
        if (out >= output_limit) break;
        std::string_view piece;
        switch (input[i]) {
            case '"':
                piece = "&quot;";
                break;
            case '&':
                piece = "&amp;";
                break;
            case '\'':
                piece = "&apos;";
                break;
            case '<':
                piece = "&lt;";
                break;
            case '>':
                piece = "&gt;";
                break;
            default:
                piece = std::string_view(input + i, 1);
                break;
        }
        // An entity that does not fit whole is left out, so the output never passes the limit.
        if (out + piece.size() > output_limit) break;
        std::memcpy(output + out, piece.data(), piece.size());
        out += piece.size();
    }
    output[out] = '\0';
    return out + 1;
}

}  // namespace korvit::definition::xml
