#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/reply_checks.h"

namespace korvit::app {

/// Our own preferences beyond the fixed lines of Settings.dat, kept in "korvit.ini" beside it:
/// reply checksum verification and the opt-in reconnect after a lost port.
struct SafetyPrefs {
    /// Written as "off", "auto" or "always". Files from before the three modes hold 1 (read as
    /// always) or 0, which every file held unless the box was ticked, so 0 reads as automatic.
    acquisition::ChecksumMode verify_checksum = acquisition::ChecksumMode::kAuto;
    bool reconnect = false;
    /// How long a lost port is retried before the scan ends, in seconds (1 ... 86400).
    uint32_t reconnect_seconds = 60;
};

/// "korvit.ini" in the folder of `settings_path` (Settings.dat); empty when that is empty.
std::string SafetyPrefsPath(const std::string& settings_path);

/// Applies "key=value" lines; unknown keys and bad numbers are skipped, times are clamped.
void ParseSafetyPrefs(SafetyPrefs& prefs, std::string_view text);
std::string FormatSafetyPrefs(const SafetyPrefs& prefs);

/// 1 when the file was read; a missing file leaves the defaults.
int ReadSafetyPrefs(SafetyPrefs& prefs, const std::string& path);
/// 1 when the file was written.
int WriteSafetyPrefs(const SafetyPrefs& prefs, const std::string& path);

}  // namespace korvit::app
