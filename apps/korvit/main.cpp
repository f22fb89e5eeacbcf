// korvit: the desktop program. Options: --demo, --port PATH, a definition to load, and
// --screenshot PATH [--tab NAME] [--after MS] [--graph] to save a picture of the window and exit.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

#include "controls/mm_tab_sheet.h"
#include "pages/histogram_page.h"
#include "shell/application.h"
#include "shell/demo.h"
#include "shell/main_window.h"

using namespace korvit::shell;

// Sanitizer builds: the font and bus libraries keep process-long caches by design.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libglib-2.0.so\n";
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    QApplication::setApplicationName("Korvit");

    QCommandLineParser options;
    options.setApplicationDescription("Korvit: ALDL datastream monitor and logger");
    options.addHelpOption();
    QCommandLineOption demo("demo", "Scan a simulated engine-control unit on the demo definition.");
    QCommandLineOption port("port", "Serial device to scan.", "PATH");
    QCommandLineOption screenshot("screenshot", "Save the window as a PNG file and exit.", "PATH");
    QCommandLineOption tab("tab", "Page to show in the screenshot.", "NAME");
    QCommandLineOption after("after", "Milliseconds before the screenshot.", "MS", "1000");
    QCommandLineOption graph("graph", "Show the Histograms page as a 3D graph in the screenshot.");
    options.addOptions({demo, port, screenshot, tab, after, graph});
    options.addPositionalArgument("definition", "Definition (.adx) to load.", "[DEF.adx]");
    options.process(qt);

    Application app;
    if (!app.editor.Load(QCoreApplication::applicationDirPath())) {
        // Without the editor the program still runs, with Edit and New disabled.
        QMessageBox::warning(
            nullptr, app.editor.failure().startsWith("Unable to Defcrafter") ? "Tessary" : "Error",
            app.editor.failure());
    }

    MainWindow window(app);
    if (options.isSet(port)) app.settings.comport = options.value(port).toStdString();
    if (!options.positionalArguments().isEmpty()) {
        window.LoadDefinition(options.positionalArguments().front().toStdString());
    }
    window.show();

    Demo runner(app, window);
    if (options.isSet(demo)) runner.Start(Demo::FindSimulator(), Demo::FindDefinition());

    if (options.isSet(screenshot)) {
        const QString path = options.value(screenshot);
        if (options.isSet(tab)) {
            const int index = window.tabs()->IndexOf(options.value(tab));
            if (index < 0) {
                std::fprintf(stderr, "korvit: no page named %s\n", qPrintable(options.value(tab)));
                return 2;
            }
            window.tabs()->Select(index);
        }
        if (options.isSet(graph))
            window.findChild<korvit::pages::HistogramPage*>()->ShowGraph(true);
        bool ok = false;
        const int ms = options.value(after).toInt(&ok);
        QTimer::singleShot(ok && ms >= 0 ? ms : 1000, &window, [&window, path] {
            if (!window.grab().save(path, "PNG")) {
                std::fprintf(stderr, "korvit: cannot write %s\n", qPrintable(path));
                QCoreApplication::exit(1);
                return;
            }
            window.close();
        });
    }
    return qt.exec();
}
