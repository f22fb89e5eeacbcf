#pragma once

#include <string>

namespace korvit::platform {

/// Directory of the running program (with a trailing slash), or empty when unknown.
std::string ProgramDirectory();

/// True when files can be created in `dir` (a path with a trailing separator).
bool DirectoryWritable(const std::string& dir);

enum class UserFolder { kConfig, kData };

/// The per-user folder for Korvit's files when the program's own folder is not writable, with a
/// trailing separator, or empty when there is none: $XDG_CONFIG_HOME/korvit/ (~/.config/korvit/)
/// and $XDG_DATA_HOME/korvit/ (~/.local/share/korvit/) on POSIX, %APPDATA%\Korvit\ on Windows.
std::string UserDirectory(UserFolder kind);

/// Where "temp.xdl" lives: next to the program when that directory is writable, otherwise in the
/// user's data folder, created when missing.
std::string RecordingDirectory();

/// The full path of the recording file "temp.xdl".
std::string RecordingPath();

}  // namespace korvit::platform
