#pragma once

#include <CLI/CLI.hpp>

namespace korvit::cli {

/// --seconds: a finite number, 0 or more.
CLI::Validator SecondsCheck();

/// --speed: 0 plays unpaced; the player paces only factors above 0.01, so a factor must lie
/// above that, up to 1000 (beyond it no recorded gap lasts a millisecond).
CLI::Validator SpeedCheck();
inline constexpr float kUnpacedSpeedLimit = 0.01f;
inline constexpr float kMaxSpeed = 1000.0f;

}  // namespace korvit::cli
