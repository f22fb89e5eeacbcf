#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXDefinition;
class ADXObject;
}  // namespace korvit::definition

namespace korvit::evaluation {

/// A condition a record must meet before a histogram takes a sample from it: a bitmask in a
/// given state, or a value within an inclusive range. Written as "ID=true", "ID=false" or
/// "ID=LOW..HIGH".
struct HistogramFilter {
    enum class Kind { kBitmask, kRange };

    Kind kind = Kind::kBitmask;
    std::string item;  // id of the bitmask or value
    bool state = true;
    double low = 0.0;
    double high = 0.0;

    /// Reads the text form; none (and `error` says why) when it is malformed. Whether the item
    /// exists is checked by Resolve.
    static std::optional<HistogramFilter> Parse(std::string_view text,
                                                std::string* error = nullptr);
    std::string Format() const;

    bool operator==(const HistogramFilter&) const = default;
};

/// A filter bound to the object it names in one definition.
class ResolvedHistogramFilter {
  public:
    /// None (and `error` says why) when the item is missing or of the wrong kind: a state needs
    /// a bitmask, a range a value.
    static std::optional<ResolvedHistogramFilter> Resolve(const HistogramFilter& filter,
                                                          const definition::ADXDefinition& def,
                                                          std::string* error = nullptr);

    /// Whether the record meets the condition. `packet` is the last reply's packet and
    /// `command_hash` its command: an item of another command is judged by its last raw number,
    /// as the histogram's own axes are. A value that is not a number is never within a range.
    bool Accepts(const definition::ADXDefinition& def, Packet packet, uint32_t command_hash) const;

    const HistogramFilter& filter() const { return filter_; }

  private:
    HistogramFilter filter_;
    definition::ADXObject* object_ = nullptr;
};

}  // namespace korvit::evaluation
