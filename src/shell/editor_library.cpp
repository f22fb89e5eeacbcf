#include "shell/editor_library.h"

#include <QDir>
#include <algorithm>
#include <cstring>

namespace korvit::shell {

bool EditorLibrary::Load(const QString& directory) {
    entry_ = nullptr;
    library_.setFileName(QDir(directory).filePath("libDefcrafter.so"));
    if (!library_.load()) {
        library_.setFileName("Defcrafter");
        if (!library_.load()) {
            failure_ =
                "Unable to Defcrafter.dll. Be sure it is in your path or application directory and "
                "restart the application";
            return false;
        }
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
