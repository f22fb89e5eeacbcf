#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "definition/adx_object.h"

namespace korvit::definition {

/// One step of a macro: a command named by text id (first 14 characters), with its own
/// flags and repeat count.
struct ADXMacroNode {
    ADXObject* command = nullptr;
    std::array<char, 16> commandID{};
    uint32_t flags = 0;
    uint32_t repeatcount = 1;

    /// Stores at most 14 characters.
    void SetCommandID(std::string_view id);
    std::string_view command_id() const { return std::string_view(commandID.data()); }
};

/// A sequence of command steps, run as a whole repeatcount times.
class ADXMacro : public ADXObject {
  public:
    static constexpr uint32_t kType = ADXTYPE_MACRO;

    ADXMacro() : ADXObject(kType) {}
    int WriteXML(xml::XMLWriter* writer) const override;

    void AppendNode(const ADXMacroNode& node) { nodes_.push_back(node); }
    /// Copies node i out; 0 when i is out of range.
    int GetNode(size_t i, ADXMacroNode& out) const;
    /// Copies a node into slot i; 0 when i is out of range.
    int SetNode(size_t i, const ADXMacroNode& node);
    size_t count() const { return nodes_.size(); }
    const std::vector<ADXMacroNode>& nodes() const { return nodes_; }
    std::vector<ADXMacroNode>& nodes() { return nodes_; }

    uint32_t flags = 0;
    uint32_t repeatcount = 1;

  private:
    std::vector<ADXMacroNode> nodes_;
};

}  // namespace korvit::definition
