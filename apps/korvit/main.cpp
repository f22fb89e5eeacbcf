// korvit: the desktop program. Options: --demo, --port PATH, --scan, a definition and a datalog
// to open, --play [--speed PERCENT], and --screenshot PATH [--tab NAME] [--after MS] [--graph]
// [--cursor SECONDS[,SECONDS]] to save a picture of the window and exit.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "controls/chart_navigation.h"
#include "controls/mm_tab_sheet.h"
#include "pages/histogram_page.h"
#include "pages/monitor_page.h"
#include "pages/monitor_review.h"
#include "shell/application.h"
#include "shell/demo.h"
#include "shell/main_window.h"
#include "shell/startup.h"

using namespace korvit::shell;

// Sanitizer builds: the font and bus libraries keep process-long caches by design.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libglib-2.0.so\n";
}

int main(int argc, char** argv) {
    // Answered before Qt starts, so that it works without a display (packaging checks, SSH).
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("korvit %s\n", KORVIT_VERSION);
            return 0;
        }
    }
    QApplication qt(argc, argv);
    QApplication::setApplicationName("Korvit");

    QCommandLineParser options;
    options.setApplicationDescription("Korvit: ALDL datastream monitor and logger");
    options.addHelpOption();
    options.addOption(QCommandLineOption("version", "Print the version and exit."));
    QCommandLineOption demo("demo", "Scan a simulated engine-control unit on the demo definition.");
    QCommandLineOption port("port", "Serial device to scan.", "PATH");
    QCommandLineOption scan("scan", "Start scanning the port as soon as the window is up.");
    QCommandLineOption play("play", "Start playing the datalog as soon as the window is up.");
    QCommandLineOption speed("speed", "Playback speed in percent (0: as fast as possible).",
                             "PERCENT");
    QCommandLineOption screenshot("screenshot", "Save the window as a PNG file and exit.", "PATH");
    QCommandLineOption tab("tab", "Page to show in the screenshot.", "NAME");
    QCommandLineOption after("after", "Milliseconds before the screenshot.", "MS", "1000");
    QCommandLineOption graph("graph", "Show the Histograms page as a 3D graph in the screenshot.");
    QCommandLineOption cursor(
        "cursor",
        "Fit the Monitors charts to all they hold and put the cursor at SECONDS in the "
        "screenshot; a second time after a comma sets the second cursor.",
        "SECONDS[,SECONDS]");
    options.addOptions({demo, port, scan, play, speed, screenshot, tab, after, graph, cursor});
    options.addPositionalArgument("files", "Definition (.adx) to load, datalog (.xdl) to open.",
                                  "[DEF.adx] [LOG.xdl]");
    options.process(qt);

    StartupRequest request;
    QString problem;
    if (!ParseStartupFiles(options.positionalArguments(), request, problem) ||
        (options.isSet(speed) &&
         !ParseSpeedPercent(options.value(speed), request.speed.emplace(), problem))) {
        std::fprintf(stderr, "korvit: %s\n", qPrintable(problem));
        return 2;
    }
    request.scan = options.isSet(scan) && !options.isSet(demo);
    request.play = options.isSet(play);
    request.unattended = options.isSet(screenshot);

    Application app;
    // Unattended, every Output line goes to stderr too, from the first one of the start-up on.
    std::optional<OutputEcho> echo;
    if (request.unattended) echo.emplace(app.log);
    if (request.unattended) DismissModalBoxes(app, &qt);
    const bool editor = app.editor.Load(QCoreApplication::applicationDirPath());
    if (!editor && !request.unattended) {
        // Without the editor the program still runs, with Edit and New disabled.
        QMessageBox::warning(
            nullptr, app.editor.failure().startsWith("Unable to Defcrafter") ? "Tessary" : "Error",
            app.editor.failure());
    }

    MainWindow window(app);
    if (!editor && request.unattended) app.log.PrintLine(app.editor.failure().toStdString());
    if (options.isSet(port)) app.UsePortForThisRun(options.value(port).toStdString());
    window.show();
    CarryOut(app, window, request);

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
        std::vector<double> cursors;
        if (options.isSet(cursor)) {
            for (const QString& part : options.value(cursor).split(',')) {
                bool number = false;
                const double t = part.toDouble(&number);
                if (!number || !std::isfinite(t) || cursors.size() == 2) {
                    std::fprintf(stderr, "korvit: --cursor takes SECONDS or SECONDS,SECONDS\n");
                    return 2;
                }
                cursors.push_back(t);
            }
        }
        bool ok = false;
        const int ms = options.value(after).toInt(&ok);
        QTimer::singleShot(ok && ms >= 0 ? ms : 1000, &window, [&window, path, cursors] {
            if (!cursors.empty()) {
                korvit::pages::MonitorReview* review = window.monitorPage()->review();
                review->SetView(korvit::controls::FitAll(review->full()));
                review->ChooseCursor(cursors[0]);
                if (cursors.size() > 1) review->SetSecondCursor(cursors[1]);
            }
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
