#pragma once

#include <string>

namespace korvit::platform {

/// Directory of the running program (with a trailing slash), or empty when unknown.
std::string ProgramDirectory();

/// Where "temp.xdl" lives: next to the program when that directory is writable, otherwise in
/// $XDG_DATA_HOME/korvit/ (default ~/.local/share/korvit/), created when missing.
std::string RecordingDirectory();

/// The full path of the recording file "temp.xdl".
std::string RecordingPath();

}  // namespace korvit::platform
