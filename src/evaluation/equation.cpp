#include "evaluation/equation.h"

#include <cstring>

namespace korvit::evaluation {

void ADXEquation::SetEquation(const char* text) {
    SetEquation(text == nullptr ? std::string_view() : std::string_view(text));
}

void ADXEquation::SetEquation(std::string_view text) {
    const size_t n = text.size() < kTextCapacity - 1 ? text.size() : kTextCapacity - 1;
    text_.fill('\0');
    std::memcpy(text_.data(), text.data(), n);
}

}  // namespace korvit::evaluation
