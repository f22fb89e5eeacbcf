#include "definition/legacy/ads_numbers.h"

#include <cfloat>
#include <charconv>
#include <cmath>

namespace korvit::definition::legacy {
namespace {

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t SkipSpace(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    return i;
}

size_t SkipDigits(std::string_view text, size_t i) {
    while (i < text.size() && IsDigit(text[i])) ++i;
    return i;
}

}  // namespace

double ParseFloat(std::string_view text) {
    size_t start = SkipSpace(text);
    // from_chars takes no '+', so the sign is applied here.
    bool negative = false;
    if (start < text.size() && (text[start] == '+' || text[start] == '-')) {
        negative = text[start++] == '-';
    }
    size_t end = SkipDigits(text, start);
    size_t digits = end - start;
    if (end < text.size() && text[end] == '.') {
        const size_t after = SkipDigits(text, end + 1);
        digits += after - end - 1;
        end = after;
    }
    if (digits == 0) return 0.0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t e = end + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        const size_t exponent_end = SkipDigits(text, e);
        if (exponent_end > e) end = exponent_end;
    }
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + end, value);
    (void)ptr;
    if (ec != std::errc()) return 0.0;
    return negative ? -value : value;
}

float ToFloat(double value) {
    if (std::isnan(value)) return 0.0f;
    if (value > FLT_MAX) return FLT_MAX;
    if (value < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(value);
}

}  // namespace korvit::definition::legacy
