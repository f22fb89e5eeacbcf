#pragma once

#include <QString>
#include <initializer_list>
#include <string>

namespace korvit::shell {

/// The folder a file dialog starts in: the folder of the first path whose folder exists (the
/// current definition or log), else the user's documents folder, else the home folder.
QString DialogStartFolder(std::initializer_list<std::string> paths);

/// The path made absolute against the current folder, so that a path remembered in the
/// settings still names the same file when the program starts from another folder.
std::string AbsolutePath(const std::string& path);

}  // namespace korvit::shell
