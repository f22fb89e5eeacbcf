#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvit::app {

/// The user's settings: port, current definition and datalog, and the main window's placement.
/// Read from "Settings.dat" when the main window is created and written back when it closes.
struct AppSettings {
    /// Longest text kept in a path field (260 with the terminator).
    static constexpr size_t kMaxPath = 259;

#ifdef _WIN32
    std::string comport = "COM1";
#else
    std::string comport = "/dev/ttyUSB0";
#endif
    std::string lastadxpath;
    std::string lastxdlpath;
    int32_t loadlastdef = 1;
    int32_t winposx = 0;
    int32_t winposy = 0;
    int32_t winsizex = 0;
    int32_t winsizey = 0;

    /// Defaults for a screen of `width` x `height` pixels: three quarters of the width wide,
    /// 0.55 of the width high, centred.
    static AppSettings Defaults(int32_t width, int32_t height);
    void SetDefaultPlacement(int32_t width, int32_t height);
};

/// Applies "key=value" lines to the settings. Lines are taken 511 characters at a time; a line
/// without a value, an unknown key or a key in another case is skipped; numbers read as atoi does.
void ParseSettings(AppSettings& settings, std::string_view text);
/// The file's text: eight lines in a fixed order, each ending in CR LF.
std::string FormatSettings(const AppSettings& settings);

/// 1 when the file could be opened and was applied; 0 leaves the settings as they were.
int ReadSettings(AppSettings& settings, const std::string& path);
/// 1 when the file was written; creates the file's folder when it is missing.
int WriteSettings(const AppSettings& settings, const std::string& path);

/// Where a file of the program lives: in `program_dir` when that folder is writable, otherwise
/// in `$<xdg_variable>/korvit/` (default `~/<xdg_default>/korvit/`), or `%APPDATA%\Korvit\` on
/// Windows. Empty when neither is known.
std::string AppFilePath(const std::string& program_dir, std::string_view name,
                        const char* xdg_variable, const char* xdg_default);
/// "Settings.dat" beside the program, or in the user's configuration folder.
std::string SettingsFilePath(const std::string& program_dir);

}  // namespace korvit::app
