#include "definition/adx_read_rules.h"

#include <charconv>
#include <limits>

namespace korvit::definition::adx {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view SkipSpace(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

uint32_t ReadHex(std::string_view text) {
    uint32_t value = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d >= 0) value = (value << 4) | static_cast<uint32_t>(d);
    }
    return value;
}

int32_t ReadDecimal(std::string_view text) {
    text = SkipSpace(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int64_t value = 0;
    constexpr int64_t kCap = int64_t{1} << 32;  // beyond either limit
    for (char c : text) {
        if (c < '0' || c > '9') break;
        if (value < kCap) value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

float ReadFloat(std::string_view text) {
    text = SkipSpace(text);
    // from_chars takes no leading plus sign.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    float value = 0.0f;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // Keep the sign and the order of magnitude that the text asked for: infinity or zero.
        const bool negative = text.front() == '-';
        const bool tiny =
            text.find("e-") != std::string_view::npos || text.find("E-") != std::string_view::npos;
        const float magnitude = tiny ? 0.0f : std::numeric_limits<float>::infinity();
        return negative ? -magnitude : magnitude;
    }
    return r.ec == std::errc() ? value : 0.0f;
}

std::vector<uint8_t> ReadBytes(std::string_view text, size_t limit) {
    std::vector<uint8_t> bytes;
    size_t i = 0;
    while (i < text.size() && bytes.size() < limit) {
        while (i < text.size() && IsSpace(text[i])) ++i;
        const size_t start = i;
        while (i < text.size() && !IsSpace(text[i])) ++i;
        if (i > start)
            bytes.push_back(static_cast<uint8_t>(ReadHex(text.substr(start, i - start))));
    }
    return bytes;
}

}  // namespace korvit::definition::adx
