#include "app/safety_prefs.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvit::app {

namespace {

constexpr uint32_t kMaxReconnectSeconds = 86400;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

/// A decimal number; one too large for 64 bits saturates.
bool ParseNumber(std::string_view text, uint64_t& out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    if (end != text.data() + text.size()) return false;
    if (error == std::errc::result_out_of_range) out = UINT64_MAX;
    return error == std::errc() || error == std::errc::result_out_of_range;
}

}  // namespace

std::string SafetyPrefsPath(const std::string& settings_path) {
    if (settings_path.empty()) return {};
    const size_t slash = settings_path.find_last_of('/');
    return (slash == std::string::npos ? std::string() : settings_path.substr(0, slash + 1)) +
           "korvit.ini";
}

void ParseSafetyPrefs(SafetyPrefs& prefs, std::string_view text) {
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        const std::string_view line = Trim(text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view text = Trim(line.substr(eq + 1));
        if (key == "verifychecksum" &&
            acquisition::ParseChecksumMode(text, prefs.verify_checksum)) {
            continue;
        }
        uint64_t value = 0;
        if (!ParseNumber(text, value)) continue;
        if (key == "verifychecksum") {
            prefs.verify_checksum =
                value != 0 ? acquisition::ChecksumMode::kAlways : acquisition::ChecksumMode::kAuto;
        } else if (key == "reconnect") {
            prefs.reconnect = value != 0;
        } else if (key == "reconnectseconds") {
            prefs.reconnect_seconds =
                static_cast<uint32_t>(std::clamp<uint64_t>(value, 1, kMaxReconnectSeconds));
        }
    }
}

std::string FormatSafetyPrefs(const SafetyPrefs& prefs) {
    std::ostringstream out;
    out << "verifychecksum=" << acquisition::ChecksumModeName(prefs.verify_checksum) << "\n"
        << "reconnect=" << (prefs.reconnect ? 1 : 0) << "\n"
        << "reconnectseconds=" << prefs.reconnect_seconds << "\n";
    return out.str();
}

int ReadSafetyPrefs(SafetyPrefs& prefs, const std::string& path) {
    if (path.empty()) return 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::stringstream text;
    text << in.rdbuf();
    ParseSafetyPrefs(prefs, text.str());
    return 1;
}

int WriteSafetyPrefs(const SafetyPrefs& prefs, const std::string& path) {
    if (path.empty()) return 0;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return 0;
    out << FormatSafetyPrefs(prefs);
    out.close();
    return out ? 1 : 0;
}

}  // namespace korvit::app
