#include "option_checks.h"

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

namespace korvit::cli {
namespace {

// The whole text as a finite number; "12abc", "", "inf" and "nan" are not.
std::optional<double> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace

CLI::Validator SecondsCheck() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const auto v = Number(text);
            if (v && *v >= 0) return {};
            return "must be a number of seconds, 0 or more (0 scans until Ctrl+C); got '" + text +
                   "'";
        },
        "SECONDS >= 0");
}

CLI::Validator SpeedCheck() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const auto v = Number(text);
            if (v && (*v == 0 || (*v > kUnpacedSpeedLimit && *v <= kMaxSpeed))) return {};
            return "must be a factor above 0.01 and at most 1000 (1 plays at the recorded pace, "
                   "0.5 at half, 2 at double), or 0 for unpaced; got '" +
                   text + "'";
        },
        "0 or 0.01 < FACTOR <= 1000");
}

}  // namespace korvit::cli
