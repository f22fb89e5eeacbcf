#pragma once

#include <string>

namespace korvit::platform {

/// Why moving `source` to `target` failed with `error` (an errno value), in words a user can act
/// on, e.g. "the folder /x/nodir does not exist".
std::string MoveFailureReason(int error, const std::string& source, const std::string& target);

}  // namespace korvit::platform
