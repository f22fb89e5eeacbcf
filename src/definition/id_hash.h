#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvit::definition {

/// Pearson-table rotate hash over `length` bytes; stored in ADX files, so the table and seed
/// are part of the file format. A null pointer gives 0.
uint32_t ComputeIDHash(const void* data, size_t length, uint32_t modulus = 0xFFFFFFFFu);

/// Hash of an object id: the text is cut to its first 15 characters, as `SetID` stores it.
uint32_t IDHashOf(std::string_view id);

}  // namespace korvit::definition
