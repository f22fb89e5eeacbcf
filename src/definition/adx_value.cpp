#include "definition/adx_value.h"

namespace korvit::definition {

void ADXValue::SetValueEquation(std::string_view text) {
    expression_.SetEquation(text);
    // One record per variable slot, named by the letters of the text in order.
    vars_.clear();
    const size_t slots = expression_.variable_count();
    for (char c : expression_.text()) {
        if (vars_.size() == slots) break;
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) vars_.push_back(ADXValueVar{0, c, 0});
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
