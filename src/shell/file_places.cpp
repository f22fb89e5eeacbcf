#include "shell/file_places.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>

namespace korvit::shell {

QString DialogStartFolder(std::initializer_list<std::string> paths) {
    for (const std::string& path : paths) {
        if (path.empty()) continue;
        const QFileInfo file(QString::fromStdString(path));
        const QDir folder = file.absoluteDir();
        if (folder.exists()) return folder.absolutePath();
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists()) return documents;
    return QDir::homePath();
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace korvit::shell
