#include "platform/move_failure.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korvit::platform {

std::string MoveFailureReason(int error, const std::string& source, const std::string& target) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path folder = fs::path(target).parent_path();
    if (folder.empty()) folder = ".";
    switch (error) {
        case EEXIST:
            return "a file named " + target + " already exists and is never replaced";
        case ENOENT:
        case ENOTDIR:
            if (!fs::is_directory(folder, ec)) {
                return "the folder " + folder.string() + " does not exist";
            }
            if (!fs::exists(source, ec)) return "the recording file " + source + " is missing";
            break;
        case EACCES:
        case EPERM:
            return "no permission to write in the folder " + folder.string();
        case EROFS:
            return "the folder " + folder.string() + " is on a read-only drive";
        case ENOSPC:
            return "the drive of " + folder.string() + " is full";
        default:
            break;
    }
    return std::strerror(error);
}

}  // namespace korvit::platform
