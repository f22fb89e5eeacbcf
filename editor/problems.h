#pragma once

#include <string>
#include <vector>

#include "definition/definition.h"

namespace korvit::editor {

/// One thing wrong with a definition, tied to the object (null: the header) and the field
/// (a name from the field table) where the user fixes it.
struct Problem {
    enum Kind {
        kDuplicateId,
        kHashCollision,
        kUnresolvedReference,
        kOutsidePacket,
        kLookupOrder,
        kEquation,
        kMissingItem,
        kOther,
    };
    Kind kind = kOther;
    const definition::ADXObject* object = nullptr;
    std::string field;
    std::string text;
};

/// Checks the whole definition: duplicate ids and id-hash collisions, references that name
/// nothing or the wrong class, values and bitmasks outside their command's packet, lookup tables
/// out of order, equations that do not convert or evaluate, gauges, list rows and chart series
/// without items, and macro steps without commands. Objects are checked in definition order.
std::vector<Problem> FindProblems(const definition::ADXDefinition& definition);

/// A short name of the kind, for the panel's first column.
const char* ProblemKindName(Problem::Kind kind);

}  // namespace korvit::editor
