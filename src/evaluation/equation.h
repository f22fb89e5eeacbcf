#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace korvit::evaluation {

/// The MATH equation of a value: its text (at most 99 characters) and the forms derived from it.
class ADXEquation {
public:
    static constexpr size_t kTextCapacity = 100;

    /// Stores the text (cut to 99 characters); null empties it.
    void SetEquation(const char* text);
    void SetEquation(std::string_view text);
    std::string_view text() const { return std::string_view(text_.data()); }

private:
    std::array<char, kTextCapacity> text_{};
};

}  // namespace korvit::evaluation
