#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvit::app {

/// Our own preferences beyond the fixed lines of Settings.dat, kept in "korvit.ini" beside it:
/// the opt-in reply checksum verification and reconnect after a lost port.
struct SafetyPrefs {
    bool verify_checksum = false;
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
