#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvit::definition {

/// A definition text that is either absent ("none") or an owned copy of some bytes.
/// Reading into a caller's buffer always terminates and cuts on overflow.
class OwnedText {
  public:
    OwnedText() = default;

    /// Null gives none; otherwise a copy of `length` bytes (which may be empty).
    void Set(const char* text, size_t length);
    void Set(std::string_view text) { Set(text.data(), text.size()); }
    void Clear();

    bool present() const { return present_; }
    bool empty() const { return text_.empty(); }
    std::string_view view() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    size_t size() const { return text_.size(); }

    /// Copies into buf (size counts the terminator); returns the number of characters copied.
    size_t CopyTo(char* buf, size_t size) const;

  private:
    bool present_ = false;
    std::string text_;
};

/// Bounded copy of `text` into buf of `size` bytes (terminator included); returns the length
/// copied.
size_t BoundedCopy(char* buf, size_t size, std::string_view text);

}  // namespace korvit::definition
