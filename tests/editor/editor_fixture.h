#pragma once

// Shared helpers of the editor tests: temporary files, the CLI's dump, planted definitions.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <string>

#include "editor_document.h"

namespace editor_test {

inline std::string Slurp(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

inline void Write(const QString& path, const std::string& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), static_cast<qint64>(text.size()));
}

/// `korvit-cli dump` of a file: the definition as the core loads it.
inline std::string Dump(const QString& path) {
    QProcess cli;
    cli.start(QStringLiteral(KORVIT_CLI_PATH), {QStringLiteral("dump"), path});
    if (!cli.waitForFinished(30000)) return "timeout";
    return cli.readAllStandardOutput().toStdString();
}

/// Saves the document to `name` in the directory and dumps the file.
inline std::string SaveAndDump(korvit::editor::EditorDocument& doc, const QTemporaryDir& dir,
                               const QString& name) {
    const QString path = dir.filePath(name);
    QString error;
    if (!doc.Save(path, error)) return "save failed: " + error.toStdString();
    return Dump(path);
}

inline QString DemoPath() {
    return QStringLiteral(KORVIT_SOURCE_DIR "/samples/demo.adx");
}

}  // namespace editor_test
