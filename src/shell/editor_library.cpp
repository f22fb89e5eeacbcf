#include "shell/editor_library.h"

#include <QDir>
#include <algorithm>
#include <cstring>

namespace korvit::shell {

EditorLibrary::~EditorLibrary() {
    if (library_.isLoaded()) library_.unload();
}

bool EditorLibrary::Load(const QString& directory) {
    entry_ = nullptr;
    // Beside the program (a build tree), then where the package installs it (lib/korvit beside
    // bin/), then the system's library search.
    const QDir dir(directory);
    bool loaded = false;
#ifdef _WIN32
    // Windows: Defcrafter.dll beside korvit.exe, and nowhere else.
    const QStringList names = {dir.filePath("Defcrafter.dll")};
#else
    const QStringList names = {dir.filePath("libDefcrafter.so"),
                               dir.filePath("../lib/korvit/libDefcrafter.so"), "Defcrafter"};
#endif
    for (const QString& name : names) {
        library_.setFileName(name);
        if (library_.load()) {
            loaded = true;
            break;
        }
    }
    if (!loaded) {
        failure_ =
            "Unable to Defcrafter.dll. Be sure it is in your path or application directory and "
            "restart the application";
        return false;
    }
    entry_ = reinterpret_cast<Entry>(library_.resolve("DefcrafterEntry"));
    if (entry_ == nullptr) {
        failure_ =
            "Unable to get Defcrafter entry point. Makes sure Defcrafter.dll is valid and in the "
            "correct directory.";
        library_.unload();
        return false;
    }
    failure_.clear();
    return true;
}

bool EditorLibrary::Run(void* owner, std::string& path, app::OutputLog* log) const {
    if (entry_ == nullptr) return false;
    char buffer[kPathBuffer] = {};
    std::memcpy(buffer, path.data(), std::min(path.size(), kPathBuffer - 1));
    if (entry_(owner, buffer, log, 0) == 0) return false;
    buffer[kPathBuffer - 1] = '\0';
    path = buffer;
    return true;
}

}  // namespace korvit::shell
