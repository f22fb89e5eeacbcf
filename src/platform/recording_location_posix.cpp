#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/recording_location.h"

namespace korvit::platform {
namespace {

bool MakeDirectories(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i != path.size() && path[i] != '/') continue;
        const std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

std::string ProgramDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return {};
    std::string path(buffer.data(), static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string{} : path.substr(0, slash + 1);
}

bool DirectoryWritable(const std::string& dir) {
    return !dir.empty() && ::access(dir.c_str(), W_OK) == 0;
}

std::string UserDirectory(UserFolder kind) {
    const bool config = kind == UserFolder::kConfig;
    const char* variable = config ? "XDG_CONFIG_HOME" : "XDG_DATA_HOME";
    if (const char* xdg = std::getenv(variable); xdg != nullptr && xdg[0] != '\0') {
        return std::string(xdg) + "/korvit/";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return std::string(home) + (config ? "/.config" : "/.local/share") + "/korvit/";
    }
    return {};
}

std::string RecordingDirectory() {
    const std::string program = ProgramDirectory();
    if (DirectoryWritable(program)) return program;
    std::string dir;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        dir = std::string(xdg) + "/korvit/";
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        dir = std::string(home) + "/.local/share/korvit/";
    } else {
        dir = "/tmp/korvit/";
    }
    MakeDirectories(dir.substr(0, dir.size() - 1));
    return dir;
}

std::string RecordingPath() {
    return RecordingDirectory() + "temp.xdl";
}

}  // namespace korvit::platform
