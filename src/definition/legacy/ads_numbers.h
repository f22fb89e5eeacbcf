#pragma once

#include <cstdint>
#include <string_view>

namespace korvit::definition::legacy {

/// Decimal field: leading white space, an optional sign and digits; anything else ends the number.
/// No digits give 0; values beyond 32 bits saturate.
int32_t ParseDecimal(std::string_view text);

/// Hexadecimal field: every hex digit shifts into a 32-bit accumulator, every other character is
/// skipped, so "0x1F", "1F" and "x1f" all give 31.
uint32_t ParseHex(std::string_view text);

/// Floating-point field: leading white space, then a decimal number in the usual notation
/// (no hexadecimal, no "inf" or "nan"). No number, or one out of range, gives 0.
double ParseFloat(std::string_view text);

/// A double narrowed to float without leaving float's range.
float ToFloat(double value);

}  // namespace korvit::definition::legacy
