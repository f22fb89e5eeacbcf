#pragma once

#include <string>
#include <string_view>

#include "definition/legacy/aldl_definition.h"

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::definition::legacy {

/// Resets `ads` and reads an ADS file into it. 1 when the file was opened and read to its end;
/// 0 for an empty path, a file that cannot be opened or a read error. Malformed content is not
/// an error: missing fields keep their defaults and unknown blocks are skipped.
int ReadADS(const std::string& path, ALDLDefinition& ads);

/// The same reading over text already in memory.
void ReadADSText(std::string_view text, ALDLDefinition& ads);

/// Empties `adx` and fills it with the commands, lookup tables, values, bitmasks and default view
/// built from `ads`. 0 when either is missing, else 1.
int ConvertToADX(ADXDefinition* adx, const ALDLDefinition* ads);

/// Imports an ADS file into `out` (what the CLI and the GUI call). 1 on success; 0 with a message
/// when the file cannot be read or holds no ADS definition, and then `out` is left untouched.
int ImportADS(const std::string& path, ADXDefinition& out, std::string& error);

}  // namespace korvit::definition::legacy
