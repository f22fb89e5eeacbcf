#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace korvit::evaluation {

/// Truncation toward zero that never overflows: a number outside the range, or not a number,
/// gives the x86 "integer indefinite" value (the lowest integer), as the hardware conversion does.
inline int64_t TruncToInt64(double v) {
    if (!(v > -9223372036854775808.0 && v < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64_t>(v);
}

inline int32_t TruncToInt32(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(v);
}

/// The value truncated toward zero to 64 bits, then its low 32 bits.
inline uint32_t TruncToLow32(double v) {
    return static_cast<uint32_t>(TruncToInt64(v));
}

/// "%.*f" without the process locale (the GUI installs one from the environment, which may
/// use a decimal comma). Writes at most `capacity` characters, unterminated; returns the length,
/// or SIZE_MAX when the text does not fit.
size_t FormatFixed(double v, int digits, char* out, size_t capacity);

}  // namespace korvit::evaluation
