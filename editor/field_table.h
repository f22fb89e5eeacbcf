#pragma once

// Every editable field of every definition class, described once: its kind, limits and how to
// read and write it as a QVariant. The form, undo, duplicate, rename and the problem checks all
// work from this table instead of knowing the classes one by one.

#include <QMetaType>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "definition/definition.h"

namespace korvit::editor {

using definition::ADXDefinition;
using definition::ADXObject;

/// A reference held by a field: the stored hash and the object it points to. References kept
/// only as a hash (parentcmdidhash, equation links) leave the object null and are looked up by
/// hash where needed; references kept as pointers carry both, so that undo restores both.
struct RefValue {
    uint32_t hash = 0;
    ADXObject* object = nullptr;
    bool operator==(const RefValue&) const = default;
};

enum class FieldKind {
    kId,         // QByteArray, at most 15 characters
    kText,       // QByteArray, or a null QVariant for none
    kUnsigned,   // qlonglong within [min, max]
    kFloat,      // double (stored as f32)
    kFlags,      // qlonglong, a 32-bit word shown as hex with its documented bits
    kHex,        // qlonglong, a 32-bit word shown as hex
    kBytes,      // QByteArray of raw bytes
    kReference,  // RefValue
    kColor,      // qlonglong, 24-bit RGB with red in the lowest byte
    kEnum,       // qlonglong, one of the named choices (other stored numbers are kept)
    kEquation,   // QVariantList {QByteArray text, QVariantList vars}; vars are {letter, type,
                 // RefValue}
    kTable,      // QVariantList of rows, each a QVariantList of cells described by columns
};

/// A named number: a bit of a flag word, or one value of an enumeration.
struct Choice {
    uint32_t value;
    const char* name;
};

/// A cell kind of a table field. kText cells of a lookup table's output hold the number as text
/// when the table is numeric.
struct Column {
    const char* name;
    FieldKind kind;
    double min = 0;
    double max = 0;
    size_t max_length = 0;
    uint32_t ref_mask = 0;
    std::vector<Choice> choices = {};
    bool read_only = false;
};

struct FieldDesc {
    std::string name;   // the field's name in the data model (and in `korvit-cli dump`)
    std::string label;  // what the form shows
    FieldKind kind;
    double min = 0;
    double max = 0;
    size_t max_length = 0;
    std::vector<Choice> choices = {};  // bits of kFlags, names of kEnum
    uint32_t ref_mask = 0;             // classes a kReference (or a table's reference) may name
    std::vector<Column> columns = {};  // kTable
    size_t max_rows = 255;
    const char* help = "";
    /// Reads the field of `object` (null: the header).
    std::function<QVariant(const ADXDefinition&, const ADXObject*)> get;
    /// Writes it; the value is one `get` could have returned or one the form validated.
    std::function<void(ADXDefinition&, ADXObject*, const QVariant&)> set;
};

/// The fields of a class (by type code); type 0 gives the header's fields.
const std::vector<FieldDesc>& FieldsOf(uint32_t type);
/// Index of the named field in FieldsOf(type), or -1.
int FieldIndex(uint32_t type, const std::string& name);

/// Classes that hold a reply packet, which values, bitmasks and histograms decode.
inline constexpr uint32_t kPacketCommands =
    definition::ADXTYPE_SENDCOMMAND | definition::ADXTYPE_160BAUDLISTEN;
/// Every command class, and macros: what the header and macro steps may run.
inline constexpr uint32_t kRunnable =
    definition::ADXTYPE_MACRO | definition::ADXTYPE_SENDCOMMAND |
    definition::ADXTYPE_LISTENSILENCE | definition::ADXTYPE_LISTENCHATTER |
    definition::ADXTYPE_160BAUDLISTEN | definition::ADXTYPE_TRIGGER;
inline constexpr uint32_t kItems = definition::ADXTYPE_VALUE | definition::ADXTYPE_BITMASK;

/// The C++ class name of a type code ("ADXValue"), and a short name for menus ("Value").
const char* ClassName(uint32_t type);
const char* ClassLabel(uint32_t type);
/// Every class type code, in the order the editor lists them.
const std::vector<uint32_t>& AllClasses();
/// A fresh object of the class, with its defaults.
std::unique_ptr<ADXObject> CreateObject(uint32_t type);

/// Every field of an object (or of the header, for null) in table order, and the way back.
std::vector<QVariant> Snapshot(const ADXDefinition& definition, const ADXObject* object);
void Restore(ADXDefinition& definition, ADXObject* object, const std::vector<QVariant>& state);

/// A reference value naming `object` (none for null).
RefValue RefTo(ADXObject* object);
/// The reference a stored hash resolves to in the definition.
RefValue RefFromHash(const ADXDefinition& definition, uint32_t hash);

}  // namespace korvit::editor

Q_DECLARE_METATYPE(korvit::editor::RefValue)
