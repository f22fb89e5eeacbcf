#pragma once

#include <string>
#include <string_view>

namespace korvit::ecusim {

/// A line or unit fault the simulator injects on request.
enum class FaultKind {
    kDrop,     ///< each sent byte is lost with the rate's probability
    kCorrupt,  ///< each sent byte is altered with the rate's probability
    kLate,     ///< a reply starts only after the late delay
    kNoReply,  ///< a command gets no reply
    kStall,    ///< the line stops for the stall time half-way through a reply
    kHangup,   ///< the unit closes the line half-way through a reply
};

struct Fault {
    FaultKind kind = FaultKind::kDrop;
    /// Probability per byte (drop, corrupt) or per reply (the others), 0 to 1.
    double rate = 1.0;
};

/// Parses "KIND" or "KIND:RATE"; false with a message for an unknown kind or a bad rate.
bool ParseFault(std::string_view text, Fault& fault, std::string& error);

/// The kind's name as the command line spells it.
const char* FaultName(FaultKind kind);

}  // namespace korvit::ecusim
