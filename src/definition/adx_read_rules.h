#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvit::definition::adx {

/// Every hexadecimal digit adds to a 32-bit accumulator (higher digits fall off); every other
/// character is skipped, so "0x1F", "1F" and "x1f" all give 31 and "10" gives 16.
uint32_t ReadHex(std::string_view text);
/// Leading white space, an optional sign and digits; no digits give 0; out-of-range numbers give
/// the nearer 32-bit limit.
int32_t ReadDecimal(std::string_view text);
/// Leading white space, then a decimal floating-point number; no number gives 0. Independent of
/// the C locale.
float ReadFloat(std::string_view text);
/// Splits at white space and takes the lowest 8 bits of each token by the hex rule, up to `limit`.
std::vector<uint8_t> ReadBytes(std::string_view text, size_t limit);

}  // namespace korvit::definition::adx
