#pragma once

#include <string>

namespace korvit::platform {

/// Moves `from` to `to` without ever replacing an existing `to`. Across file systems the file
/// is copied (to a name that must not exist) and the source is removed only after the copy is
/// complete. Returns 0 on success, else an errno value (EEXIST when `to` exists).
int MoveFileNoReplace(const std::string& from, const std::string& to);

/// Moves `from` to `to` in one step, replacing an existing `to` (on the same file system).
/// Returns 0 on success, else an errno value.
int MoveFileReplacing(const std::string& from, const std::string& to);

}  // namespace korvit::platform
