#include "fault.h"

#include <array>
#include <charconv>
#include <utility>

namespace korvit::ecusim {
namespace {

struct KindInfo {
    FaultKind kind;
    const char* name;
    double default_rate;
};

// Byte faults default to a light sprinkle; reply faults default to every other reply or so.
constexpr std::array<KindInfo, 6> kKinds = {{
    {FaultKind::kDrop, "drop", 0.05},
    {FaultKind::kCorrupt, "corrupt", 0.05},
    {FaultKind::kLate, "late", 0.5},
    {FaultKind::kNoReply, "noreply", 0.5},
    {FaultKind::kStall, "stall", 0.2},
    {FaultKind::kHangup, "hangup", 0.2},
}};

}  // namespace

const char* FaultName(FaultKind kind) {
    for (const auto& info : kKinds) {
        if (info.kind == kind) return info.name;
    }
    return "?";
}

bool ParseFault(std::string_view text, Fault& fault, std::string& error) {
    const size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const KindInfo* found = nullptr;
    for (const auto& info : kKinds) {
        if (name == info.name) found = &info;
    }
    if (found == nullptr) {
        error = "unknown fault \"" + std::string(name) +
                "\" (use drop, corrupt, late, noreply, stall or hangup)";
        return false;
    }
    double rate = found->default_rate;
    if (colon != std::string_view::npos) {
        const std::string_view number = text.substr(colon + 1);
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), rate);
        if (ec != std::errc() || end != number.data() + number.size() || !(rate >= 0.0) ||
            rate > 1.0) {
            error = "fault rate \"" + std::string(number) + "\" is not a number from 0 to 1";
            return false;
        }
    }
    fault = Fault{found->kind, rate};
    return true;
}

}  // namespace korvit::ecusim
