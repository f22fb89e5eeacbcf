#pragma once

#include <nlohmann/json.hpp>

#include "definition/adx_definition.h"
#include "json_text.h"

namespace korvit::cli {

/// The definition as `dump` prints it: {"header": {...}, "objects": [...]}, fields in the order
/// of the object model, hashes and flag words as "0x%08X", references as the referenced id.
nlohmann::ordered_json DefinitionToJson(const definition::ADXDefinition& definition);

/// The line printed when a definition cannot be loaded: the loader's message, or a note that
/// the file has no accepted format version when the loader gave none.
/// A syntax error's line and column follow the message.
std::string LoadFailureMessage(const std::string& path, const std::string& error,
                               const definition::ADXDefinition& definition);
/// Prints the loader's warning (a definition that ends inside an element) to stderr, if any.
void WarnAboutLoad(const definition::ADXDefinition& definition);

}  // namespace korvit::cli
