#include "shell/startup.h"

#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <cstdio>

#include "datalog/data_log.h"
#include "shell/application.h"
#include "shell/file_places.h"
#include "shell/main_window.h"

namespace korvit::shell {

bool ParseStartupFiles(const QStringList& files, StartupRequest& request, QString& problem) {
    for (const QString& file : files) {
        const QString suffix = QFileInfo(file).suffix().toLower();
        QString* slot = suffix == "adx"   ? &request.definition
                        : suffix == "xdl" ? &request.datalog
                                          : nullptr;
        if (slot == nullptr) {
            problem = file + ": not a definition (.adx) or a datalog (.xdl)";
            return false;
        }
        if (!slot->isEmpty()) {
            problem = file + ": only one " + (suffix == "adx" ? "definition" : "datalog") +
                      " can be opened";
            return false;
        }
        *slot = file;
    }
    return true;
}

bool ParseSpeedPercent(const QString& text, float& speed, QString& problem) {
    bool ok = false;
    const double percent = text.toDouble(&ok);
    if (!ok || !std::isfinite(percent) || percent < 0 || percent > 100000) {
        problem = "--speed takes a percentage from 0 to 100000, not " + text;
        return false;
    }
    speed = static_cast<float>(percent / 100.0);
    return true;
}

OutputEcho::OutputEcho(app::OutputLog& log) : log_(log) {
    log_.AddSink(&sink_);
}

OutputEcho::~OutputEcho() {
    log_.RemoveSink(&sink_);
}

void CarryOut(Application& app, MainWindow& window, const StartupRequest& request) {
    if (request.unattended) {
        // A file dialog would wait for a user who is not there.
        window.choose_file = [](const QString&, const QString&, const QString&, bool) {
            return std::string();
        };
    }
    bool ready = true;
    if (!request.definition.isEmpty()) {
        ready = window.LoadDefinition(request.definition.toStdString());
    }
    if (request.speed) window.SetPlaybackSpeed(*request.speed);
    if (!request.datalog.isEmpty()) {
        const std::string path = request.datalog.toStdString();
        app.settings.lastxdlpath = AbsolutePath(path).substr(0, app::AppSettings::kMaxPath);
        window.RefreshTitle();
        window.ShowWholeLog();
        if (!request.play) {
            // Selecting a log does not open it; say at once when it could not be played.
            datalog::DataLog probe;
            const uint32_t code = probe.Open(path);
            if (code != 0) {
                app.log.PrintLine(datalog::FormatOpenError(path, code));
                ready = false;
            }
        }
        window.UpdateLogBarButtons();
    }
    if (!ready) return;
    if (request.play) {
        window.Play();
    } else if (request.scan) {
        window.ToggleScan();
    }
}

void DismissModalBoxes(Application& app, QObject* owner) {
    auto* timer = new QTimer(owner);
    // Timers also run inside a dialog's own event loop, so a box shown by a constructor or a
    // command is caught too.
    QObject::connect(timer, &QTimer::timeout, [&app] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) return;
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            const std::string line =
                (box->windowTitle() + ": " + box->text()).toLocal8Bit().toStdString();
            app.log.PrintLine(line);
            std::fprintf(stderr, "korvit: %s\n", line.c_str());
        }
        dialog->reject();
    });
    timer->start(20);
}

}  // namespace korvit::shell
