#pragma once

// How field values read as text in the form and in table cells, and the way back.

#include <QColor>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

#include "field_table.h"

namespace korvit::editor {

/// Text of a value as the form shows it, and the way back (nullopt with a reason when the
/// text is not valid for the kind).
QString FormatCell(const ADXDefinition& def, FieldKind kind, const QVariant& v,
                   const std::vector<Choice>& choices);
std::optional<QVariant> ParseCell(const ADXDefinition& def, FieldKind kind, const QString& text,
                                  double min, double max, size_t max_length, uint32_t ref_mask,
                                  const std::vector<Choice>& choices, QString& why);
/// "id - title" of an object, as drop-downs and the tree show it.
QString ObjectLabel(const ADXObject* object);

QString Hex8(qlonglong v);
QString Hex6(qlonglong v);
/// Up to eight hexadecimal digits, with or without 0x.
std::optional<qulonglong> ParseHex(QString text);
/// Colours are 24-bit RGB with red in the lowest byte.
QColor ToQColor(uint32_t c);
uint32_t FromQColor(const QColor& c);
/// The object a reference names: its pointer, or the first object with its hash.
const ADXObject* Target(const ADXDefinition& def, const RefValue& ref);
QString Latin1(std::string_view s);

}  // namespace korvit::editor
