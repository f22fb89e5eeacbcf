// The definition editor's entry point, called by korvit for Edit Definition and New Definition.
// It shows the editor modally over the owner window. The result is nonzero when a definition was
// saved; its full path is then in the 260-character buffer.

#include <QApplication>
#include <QWidget>
#include <cstring>

#include "editor_window.h"

namespace korvit::app {
class OutputLog;
}

extern "C" __attribute__((visibility("default"))) int DefcrafterEntry(void* owner, char* path,
                                                                      korvit::app::OutputLog* log,
                                                                      int reserved) {
    (void)reserved;
    if (path == nullptr || QApplication::instance() == nullptr) return 0;
    const QString start = QString::fromLocal8Bit(path, static_cast<qsizetype>(strnlen(path, 259)));
    korvit::editor::EditorWindow window(log, static_cast<QWidget*>(owner));
    if (start.isEmpty()) {
        window.StartNew();
    } else {
        window.OpenForEdit(start);
    }
    window.setWindowModality(Qt::ApplicationModal);
    window.exec();
    const QByteArray saved = window.saved_path().toLocal8Bit();
    if (saved.isEmpty() || saved.size() > korvit::editor::EditorDocument::kMaxPath) return 0;
    std::memcpy(path, saved.constData(), static_cast<size_t>(saved.size()));
    path[saved.size()] = '\0';
    return 1;
}
