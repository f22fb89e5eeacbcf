#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "definition/adx_object.h"
#include "definition/adx_parser.h"

namespace korvit::definition::adx {

/// The type code of the object element with this lower-case name, or 0.
uint32_t ObjectTypeOfElement(std::string_view name);
/// A new object of the class with this type code, with its defaults.
std::unique_ptr<ADXObject> CreateObject(uint32_t type);
/// Reads the attributes of an object's own start tag (id, title and the class's own ones).
void ReadObjectAttributes(ADXObject& object, const ADXParser::Element& element);
/// Sets the field of `object` that a child element names; unknown names are ignored.
/// `list_entry_index` counts the entries of the list view under construction.
void ReadObjectField(ADXObject& object, const ADXParser::Element& element,
                     size_t& list_entry_index);

}  // namespace korvit::definition::adx
