#pragma once

#include <cstdint>
#include <string_view>

namespace korvit::definition::legacy {

/// Floating-point field, read in double precision: leading white space, then a decimal number in
/// the usual notation (no hexadecimal, no "inf" or "nan"). No number, or one out of range, gives 0.
/// Hexadecimal and decimal fields use the ADX reading rules (definition/adx_read_rules.h).
double ParseFloat(std::string_view text);

/// A double narrowed to float without leaving float's range.
float ToFloat(double value);

}  // namespace korvit::definition::legacy
