#include "definition/adx_macro.h"

#include <cstring>

namespace korvit::definition {

void ADXMacroNode::SetCommandID(std::string_view id) {
    commandID.fill('\0');
    const size_t n = strnlen(id.data(), id.size() < kMaxIDRefLength ? id.size() : kMaxIDRefLength);
    std::memcpy(commandID.data(), id.data(), n);
}

int ADXMacro::GetNode(size_t i, ADXMacroNode& out) const {
    if (i >= nodes_.size()) return 0;
    out = nodes_[i];
    return 1;
}

int ADXMacro::SetNode(size_t i, const ADXMacroNode& node) {
    if (i >= nodes_.size()) return 0;
    nodes_[i] = node;
    return 1;
}

}  // namespace korvit::definition
