#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace korvit::definition::xml {

/// Pretty-printing XML writer: CRLF lines, an indent unit per open element, output collected
/// in a 16384-byte buffer and written in whole buffers. Nothing is escaped here (see XMLEscape).
/// Every operation returns 1 when its output was accepted, else 0.
class XMLWriter {
  public:
    static constexpr size_t kBufferSize = 16384;

    XMLWriter();
    ~XMLWriter();
    XMLWriter(const XMLWriter&) = delete;
    XMLWriter& operator=(const XMLWriter&) = delete;

    int OpenFile(const std::string& path);
    int SetIndent(int n);
    int BeginElement(std::string_view name);
    int Attribute(std::string_view name, std::string_view value);
    int AttributeFormat(std::string_view name, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    int Attribute(std::string_view name, int32_t value);
    int Attribute(std::string_view name, float value);
    int Text(const char* text);
    int Text(std::string_view text);
    int EndElement();
    int Element(std::string_view name, std::string_view text);
    int Element(std::string_view name, int32_t value);
    int Element(std::string_view name, float value);
    int Comment(std::string_view text);
    int Close();

  private:
    struct State;
    State* state_ = nullptr;
};

/// Copies `input` (up to its terminator or input_limit characters) into `output`, replacing
/// " & ' < > by their entities; stops before a character once output_limit characters are
/// written, or when its entity would not fit whole; terminates the output and returns its
/// length plus one. `output` holds output_limit + 1 bytes.
size_t XMLEscape(const char* input, size_t input_limit, char* output, size_t output_limit);

}  // namespace korvit::definition::xml
