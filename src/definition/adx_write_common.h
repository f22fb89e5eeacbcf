#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "definition/adx_object.h"
#include "definition/owned_text.h"
#include "definition/xml/xml_writer.h"

namespace korvit::definition::adx {

/// The text with " & ' < > replaced by their entities (XMLEscape, with room for every entity).
std::string Escaped(std::string_view text);

/// "0x%.8X" (H8), "%.8X" (H8n), "0x%.6X", "0x%.4X", "0x%.2X", "0x%X".
std::string H8(uint32_t v);
std::string H8n(uint32_t v);
std::string H6(uint32_t v);
std::string H4(uint32_t v);
std::string H2(uint32_t v);
std::string HX(uint32_t v);

/// Starts the object's element with the attributes every object carries: id, idhash, title
/// and baseflags (when not 0). The caller adds its own attributes, then calls WriteDesc.
void BeginObjectElement(xml::XMLWriter& w, const ADXObject& object, std::string_view element);
/// The desc child, when the object has a non-empty description.
void WriteDesc(xml::XMLWriter& w, const ADXObject& object);
/// An element with escaped text, written only when the text is present and non-empty.
void WriteTextIfAny(xml::XMLWriter& w, std::string_view name, const OwnedText& text);
/// An element whose text is H8, written only when the value is not 0.
void WriteHex8IfSet(xml::XMLWriter& w, std::string_view name, uint32_t value);
/// A byte string: one "0x%.2X " token per byte, cut to `capacity` - 1 characters, with its
/// size attribute; whole bytes only, so at most capacity / 5 bytes appear.
void WriteByteString(xml::XMLWriter& w, const uint8_t* bytes, size_t size, size_t capacity);

}  // namespace korvit::definition::adx
