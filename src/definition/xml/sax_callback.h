#pragma once

#include <cstdint>
#include <string>

namespace korvit::definition::xml {

/// One attribute of a start tag; the pointers reach into the reader's buffer and are valid
/// only during the callback.
struct SAXAttribute {
    const char16_t* name;
    uint32_t name_length;
    const char16_t* value;
    uint32_t value_length;
};

/// Status codes of the XML layer.
inline constexpr int32_t kSAXOk = 0;
inline constexpr int32_t kSAXRefused = static_cast<int32_t>(0x80004004u);
inline constexpr int32_t kSAXNoCallback = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t kSAXFileError = static_cast<int32_t>(0x861B0001u);
inline constexpr int32_t kSAXSyntaxError = static_cast<int32_t>(0x861B0002u);

/// Receives the events of a SAXReader in document order. A negative status from any event but
/// Error stops the reader. The reader keeps file_name, line and column up to date.
class ISAXCallback {
  public:
    virtual ~ISAXCallback() = default;

    virtual int32_t StartDocument() = 0;
    virtual int32_t EndDocument() = 0;
    virtual int32_t StartElement(const char16_t* name, uint32_t name_length,
                                 const SAXAttribute* attributes, uint32_t attribute_count) = 0;
    virtual int32_t Characters(const char16_t* text, uint32_t length, bool continued) = 0;
    virtual int32_t EndElement(const char16_t* name, uint32_t name_length) = 0;
    virtual int32_t StartCDATA() = 0;
    virtual int32_t CDATAText(const char16_t* text, uint32_t length, bool continued) = 0;
    virtual int32_t EndCDATA() = 0;
    virtual int32_t Error(uint32_t code, const char* message) = 0;

    std::string file_name;
    uint32_t line = 1;
    uint32_t column = 0;
};

}  // namespace korvit::definition::xml
