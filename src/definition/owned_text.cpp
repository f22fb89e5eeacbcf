#include "definition/owned_text.h"

#include <cstring>

namespace korvit::definition {

void OwnedText::Set(const char* text, size_t length) {
    if (text == nullptr) {
        Clear();
        return;
    }
    present_ = true;
    text_.assign(text, length);
}

void OwnedText::Clear() {
    present_ = false;
    text_.clear();
}

size_t OwnedText::CopyTo(char* buf, size_t size) const {
    return BoundedCopy(buf, size, text_);
}

size_t BoundedCopy(char* buf, size_t size, std::string_view text) {
    if (buf == nullptr || size == 0) return 0;
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return n;
}

}  // namespace korvit::definition
