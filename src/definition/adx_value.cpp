#include "definition/adx_value.h"

#include <cctype>

namespace korvit::definition {

void ADXValue::SetEquation(std::string_view text) {
    expression_.SetEquation(text);
    vars_.clear();
    for (char c : expression_.text()) {
        if (std::isalpha(static_cast<unsigned char>(c))) vars_.push_back(ADXValueVar{0, c, 0});
    }
}

void ADXValue::SetVar(const ADXValueVar& var) {
    for (auto& v : vars_) {
        if (v.varID == var.varID) {
            v = var;
            return;
        }
    }
}

}  // namespace korvit::definition
