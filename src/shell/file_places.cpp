#include "shell/file_places.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

}  // namespace korvit::shell
