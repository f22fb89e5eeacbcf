// The definition editor on a large definition: 10,000 objects of mixed classes (the same block
// as the load benchmark). Prints the time until the window is usable, the cost of one keystroke
// in a field, and the time of a full problem check.
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "definition/definition.h"
#include "editor_window.h"
#include "field_editor.h"
#include "sample_definition.h"

namespace {

using namespace korvit::definition;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("korvit-editor-bench-" + std::to_string(::getpid()) + ".adx"))
                                 .string();
    {
        ADXDefinition def;
        korvit::bench::AddSampleObjects(def, 1);
        def.Save(path);
        std::printf("definition: %zu objects, %ju bytes\n", def.size(),
                    static_cast<uintmax_t>(std::filesystem::file_size(path)));
    }

    std::vector<double> open_ms;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        korvit::editor::EditorWindow w(nullptr);
        w.OpenForEdit(QString::fromStdString(path));
        w.show();
        QApplication::processEvents();
        open_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf(
        "open to usable window (load, tree, form, problem check, first paint): median %.1f ms (5 "
        "runs)\n",
        Median(open_ms));

    korvit::editor::EditorWindow w(nullptr);
    w.OpenForEdit(QString::fromStdString(path));
    w.show();
    QApplication::processEvents();
    QElapsedTimer check;
    check.start();
    w.CheckProblemsNow();
    std::printf("full problem check: %.1f ms (%zu problems)\n",
                static_cast<double>(check.nsecsElapsed()) / 1e6, w.problems().size());

    w.Select(w.document().definition().FindByID("val100_7"));
    auto* title = w.FieldEditorFor("title")->findChild<QLineEdit*>("edit");
    title->setFocus();
    std::vector<double> key_ms;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer t;
        t.start();
        QTest::keyClick(title, static_cast<char>('a' + i % 26));
        QApplication::processEvents();
        key_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf(
        "keystroke in a title field: median %.3f ms, max %.3f ms (200 keys; the problem check runs "
        "300 ms after typing stops)\n",
        Median(key_ms), *std::max_element(key_ms.begin(), key_ms.end()));

    auto* equation = w.FieldEditorFor("equation")->findChild<QLineEdit*>("edit");
    equation->setFocus();
    equation->end(false);
    key_ms.clear();
    for (int i = 0; i < 40; ++i) {
        QElapsedTimer t;
        t.start();
        QTest::keyClick(equation, i % 2 == 0 ? '+' : '1');
        QApplication::processEvents();
        key_ms.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::printf(
        "keystroke in an equation (tester recomputed): median %.3f ms, max %.3f "
        "ms\n",
        Median(key_ms), *std::max_element(key_ms.begin(), key_ms.end()));
    std::filesystem::remove(path);
    return 0;
}
