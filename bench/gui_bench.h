#pragma once

// What the window and page benchmarks share: CPU time of the GUI thread and of the whole
// program, the window scanning korvit-ecusim on the demo definition, and a main() that runs the
// benchmarks inside an offscreen QApplication.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

#include "controls/mm_tab_sheet.h"
#include "shell/application.h"
#include "shell/main_window.h"

namespace korvit::bench {

/// CPU seconds used so far by the calling thread.
inline double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

/// CPU seconds, user and system, used so far by the whole program.
inline double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// Runs the event loop for `ms` the way the program's own loop runs: asleep until something
/// happens. (QTest::qWait wakes every 10 ms, which would be counted as the window's CPU.)
inline void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Runs the event loop until `done` holds, looking every 50 ms.
template <typename Done>
void RunUntil(Done done) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(50);
    if (!done()) loop.exec();
}

/// korvit-ecusim serving the demo definition and a window scanning it. The user's settings are
/// left alone.
class DemoScan {
  public:
    DemoScan() {
        app.settings_path.clear();
        app.settings.loadlastdef = 0;
    }
    ~DemoScan() {
        // After a failed Start the simulator still runs.
        if (sim_.state() == QProcess::NotRunning) return;
        sim_.terminate();
        sim_.waitForFinished(2000);
    }

    /// Starts the simulator, shows the window with the demo loaded and `tab` in front (none:
    /// the first page), starts the scan and lets it settle for a second. Returns what failed,
    /// or nullptr.
    const char* Start(const char* tab = nullptr) {
        sim_.start(KORVIT_ECUSIM_PATH, {KORVIT_SOURCE_DIR "/samples/demo.adx"});
        if (!sim_.waitForReadyRead(5000)) return "korvit-ecusim did not start";
        const std::string port = QString::fromLocal8Bit(sim_.readLine()).trimmed().toStdString();
        window = std::make_unique<shell::MainWindow>(app);
        window->show();
        if (!window->LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"))
            return "demo definition did not load";
        if (tab != nullptr) window->tabs()->Select(window->tabs()->IndexOf(tab));
        app.settings.comport = port;
        window->ToggleScan();
        QTest::qWait(1000);  // connect and settle
        return nullptr;
    }

    /// Stops the scan, waits for the engine to go idle and ends the simulator.
    void Stop() {
        if (window) window->ToggleScan();
        app.engine.WaitIdle(std::chrono::seconds(5));
        sim_.terminate();
        sim_.waitForFinished(2000);
    }

  private:
    QProcess sim_;  // declared first: it outlives the window that talks to it

  public:
    shell::Application app;
    std::unique_ptr<shell::MainWindow> window;
};

/// The whole main() of a window benchmark: an offscreen QApplication unless a platform is
/// chosen, then the registered benchmarks.
inline int RunGuiBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace korvit::bench
