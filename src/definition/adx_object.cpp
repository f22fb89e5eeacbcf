#include "definition/adx_object.h"

#include <cstring>

#include "definition/id_hash.h"

namespace korvit::definition {

int ADXObject::WriteXML(xml::XMLWriter* writer) const {
    return writer != nullptr ? 1 : 0;
}

void ADXObject::SetID(const char* text) {
    if (text == nullptr) {
        id_.fill('\0');
        id_length_ = 0;
        idhash_ = 0;
        return;
    }
    SetID(std::string_view(text, strnlen(text, kMaxIDLength)));
}

void ADXObject::SetID(std::string_view text) {
    // Stops at an embedded terminator as a C string copy would.
    const size_t n = strnlen(text.data(), text.size() < kMaxIDLength ? text.size() : kMaxIDLength);
    id_.fill('\0');
    std::memcpy(id_.data(), text.data(), n);
    id_length_ = n;
    idhash_ = ComputeIDHash(id_.data(), n);
}

size_t ADXObject::GetID(char* buf, size_t size) const {
    if (buf == nullptr || size == 0) return 0;
    const size_t cap = size < kMaxIDLength ? size : kMaxIDLength;
    return BoundedCopy(buf, cap, id());
}

}  // namespace korvit::definition
