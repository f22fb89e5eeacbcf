#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace korvit::cli {

/// An 8-bit text from a file (one byte per character, Latin-1) as UTF-8. Every text that comes
/// from a definition or a datalog goes through this before it reaches JSON or CSV: JSON needs
/// valid UTF-8, and nlohmann throws on anything else.
std::string Latin1ToUtf8(std::string_view text);

/// JSON text like nlohmann's dump (`indent` < 0: one line), but every number with a fraction is
/// the shortest text that reads back to the same number: a value that is exactly a 32-bit float
/// prints as that float's shortest text ("18.2", not 18.200000762939453), any other double as
/// the double's. Both come from std::to_chars.
std::string DumpJson(const nlohmann::ordered_json& json, int indent = -1);

}  // namespace korvit::cli
