// The editor library as the program calls it: loaded by QLibrary, entry point with a path buffer.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLibrary>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>

#include "app/output_log.h"

namespace {

using Entry = int (*)(void*, char*, korvit::app::OutputLog*, int);

Entry LoadEntry(QLibrary& library) {
    library.setFileName(QStringLiteral(KORVIT_EDITOR_DIR "/libDefcrafter.so"));
    if (!library.load()) return nullptr;
    return reinterpret_cast<Entry>(library.resolve("DefcrafterEntry"));
}

/// Runs `drive` on the editor window once its modal loop is up.
void WhenEditorShows(std::function<void(QDialog*)> drive) {
    QTimer::singleShot(10, [drive] {
        auto* w = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (w == nullptr || w->objectName() != "DefcrafterWindow") {
            WhenEditorShows(drive);
            return;
        }
        drive(w);
    });
}

std::string Slurp(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

TEST(EditorLibrary, EditSavesThroughTheEntryPointAndNewClosedUnsavedReturnsZero) {
    QLibrary library;
    const Entry entry = LoadEntry(library);
    ASSERT_NE(entry, nullptr) << library.errorString().toStdString();
    QTemporaryDir dir;
    const QString path = dir.filePath("demo.adx");
    ASSERT_TRUE(QFile::copy(QStringLiteral(KORVIT_SOURCE_DIR "/samples/demo.adx"), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    korvit::app::TextBufferSink sink;
    korvit::app::OutputLog log;
    log.AddSink(&sink);
    QWidget owner;

    // Edit: change the author on the header form, Save, close.
    char buffer[260] = {};
    const QByteArray native = path.toLocal8Bit();
    std::memcpy(buffer, native.constData(), static_cast<size_t>(native.size()));
    WhenEditorShows([](QDialog* w) {
        auto* author = w->findChild<QWidget*>("field:author")->findChild<QLineEdit*>("edit");
        author->setFocus();
        author->selectAll();
        QTest::keyClicks(author, "Entry test");
        for (QAction* a : w->findChildren<QAction*>()) {
            if (a->text() == "Save") a->trigger();
        }
        w->reject();
    });
    EXPECT_NE(entry(&owner, buffer, &log, 0), 0);
    EXPECT_STREQ(buffer, native.constData());
    EXPECT_NE(Slurp(path).find("<author>Entry test</author>"), std::string::npos);
    EXPECT_NE(sink.Text().find("Saved " + path.toStdString()), std::string::npos) << sink.Text();

    // New, closed without saving: nothing to load, and the buffer stays empty.
    const std::string before = Slurp(path);
    char empty[260] = {};
    WhenEditorShows([](QDialog* w) { w->reject(); });
    EXPECT_EQ(entry(&owner, empty, &log, 0), 0);
    EXPECT_EQ(empty[0], '\0');
    EXPECT_EQ(Slurp(path), before);
    // Other tests of this program look for the library afresh.
    library.unload();
}

}  // namespace
