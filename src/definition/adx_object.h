#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "definition/owned_text.h"

namespace korvit::definition {

namespace xml {
class XMLWriter;
}

/// Type codes: one bit per class, so that callers select several classes with one mask.
enum : uint32_t {
    ADXTYPE_OBJECT = 2,
    ADXTYPE_VALUE = 4,
    ADXTYPE_BITMASK = 8,
    ADXTYPE_DASHBOARD = 16,
    ADXTYPE_MONITOR = 32,
    ADXTYPE_HISTOGRAM = 128,
    ADXTYPE_LISTVIEW = 256,
    ADXTYPE_LOOKUPTABLE = 512,
    ADXTYPE_MACRO = 0x10000,
    ADXTYPE_SENDCOMMAND = 0x20000,
    ADXTYPE_LISTENSILENCE = 0x40000,
    ADXTYPE_LISTENCHATTER = 0x80000,
    ADXTYPE_160BAUDLISTEN = 0x100000,
    ADXTYPE_TRIGGER = 0x200000,
    ADXTYPE_ALL = 0xFFFFFFFF,
};

/// Longest stored id (characters, without the terminator).
inline constexpr size_t kMaxIDLength = 15;
/// Longest id that a reference by text (macro node, header command) carries and compares.
inline constexpr size_t kMaxIDRefLength = 14;

/// Base of every definition object: texts, the text id with its hash, and the class's type code.
class ADXObject {
  public:
    explicit ADXObject(uint32_t type = ADXTYPE_OBJECT) : type_(type) {}
    virtual ~ADXObject() = default;
    ADXObject(const ADXObject&) = delete;
    ADXObject& operator=(const ADXObject&) = delete;

    /// Writes the object's element; 1 on success, 0 when no writer is given.
    virtual int WriteXML(xml::XMLWriter* writer) const;

    /// Copies at most 15 characters and sets idhash; null clears the id and sets idhash 0.
    void SetID(const char* text);
    void SetID(std::string_view text);
    /// Copies the id cut to min(size, 15) - 1 characters; returns the length copied.
    size_t GetID(char* buf, size_t size) const;
    /// The stored id (up to 15 characters).
    std::string_view id() const { return std::string_view(id_.data(), id_length_); }
    uint32_t idhash() const { return idhash_; }
    uint32_t type() const { return type_; }

    void SetTitle(const char* text, size_t length) { title_.Set(text, length); }
    void SetDesc(const char* text, size_t length) { desc_.Set(text, length); }
    size_t GetTitle(char* buf, size_t size) const { return title_.CopyTo(buf, size); }
    const OwnedText& title() const { return title_; }
    const OwnedText& desc() const { return desc_; }

    /// Carried and written unchanged.
    uint32_t baseflags = 0;

  private:
    OwnedText title_;
    OwnedText desc_;
    uint32_t type_;
    std::array<char, kMaxIDLength + 1> id_{};
    size_t id_length_ = 0;
    uint32_t idhash_ = 0;
};

/// Downcast by type code; none when the object is null or of another class.
template <typename T>
T* As(ADXObject* object) {
    return object != nullptr && object->type() == T::kType ? static_cast<T*>(object) : nullptr;
}
template <typename T>
const T* As(const ADXObject* object) {
    return object != nullptr && object->type() == T::kType ? static_cast<const T*>(object)
                                                           : nullptr;
}

}  // namespace korvit::definition
