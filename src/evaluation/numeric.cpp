#include "evaluation/numeric.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace korvit::evaluation {

size_t FormatFixed(double v, int digits, char* out, size_t capacity) {
    if (digits < 0) digits = 6;  // as printf treats a negative precision
    if (std::isnan(v)) {
        const std::string_view text = std::signbit(v) ? "-nan" : "nan";
        if (text.size() > capacity) return SIZE_MAX;
        std::memcpy(out, text.data(), text.size());
        return text.size();
    }
    const auto [end, ec] = std::to_chars(out, out + capacity, v, std::chars_format::fixed, digits);
    return ec == std::errc() ? static_cast<size_t>(end - out) : SIZE_MAX;
}

}  // namespace korvit::evaluation
