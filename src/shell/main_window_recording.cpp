// The main window keeping what the user would not want lost: recordings left only in the
// recording file, the Output page's text, and refusals that keep a scan and a log apart.
#include <QFile>
#include <QSaveFile>

#include "controls/mm_rich_static.h"
#include "platform/file_move.h"
#include "platform/move_failure.h"
#include "platform/recording_location.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "shell/output_page.h"

namespace korvit::shell {

using datalog::DataLogState;

namespace {

// A refusal stays on the status line long enough to be read.
constexpr int kRefusalMs = 3000;

}  // namespace

void MainWindow::Refuse(const char* text) {
    app_.log.PrintLine(text);
    status_line_->Flash(text, Qt::black, QColor(255, 0, 0), kRefusalMs);
    SyncScanAction();
}

void MainWindow::SyncScanAction() {
    const bool running = app_.engine.running();
    // The status bar is refreshed once before the tool bars exist.
    for (QAction* action : {scan_, connect_}) {
        if (action != nullptr) action->setChecked(running);
    }
}

void MainWindow::StopRecording() {
    app_.datalog.FinishRecording();
    app_.datalog.Close();
    app_.log.PrintLine("Recording stopped");
}

bool MainWindow::SaveRecording(bool exiting) {
    for (;;) {
        const std::string path =
            ChooseFile("Select/Create file to save...", "Datalog (XDL) Files (*.xdl)", "xdl", true);
        if (!path.empty() && MoveRecordingTo(path)) return true;
        // Cancelled, or the move failed: the recording is still only in the recording file,
        // which the next Record overwrites.
        const int answer = Ask(KeepRecordingPrompt(exiting));
        if (answer == kPromptSave) continue;
        return answer == kPromptKeep;
    }
}

bool MainWindow::MoveRecordingTo(const std::string& path) {
    const std::string recording = platform::RecordingPath();
    const int error = platform::MoveFileNoReplace(recording, path);
    log_bar_->slider()->setValue(0);
    if (error != 0) {
        Ask({"Cannot overwrite",
             "Log save failed. Log backup saved in install directory as \"temp.xdl\"",
             QMessageBox::Critical,
             {"OK"}});
        app_.log.Print("Cannot overwrite existing log: %s, error 0x%X", path.c_str(),
                       static_cast<unsigned>(error));
        app_.log.Print("The log was not saved: %s",
                       platform::MoveFailureReason(error, recording, path).c_str());
        return false;
    }
    app_.settings.lastxdlpath =
        path.substr(0, std::min<size_t>(path.size(), app::AppSettings::kMaxPath));
    app_.log.Print("Log saved to %s", path.c_str());
    return true;
}

bool MainWindow::KeepRecordingAtExit() {
    if (app_.datalog.state() != DataLogState::Recording) return true;
    const int answer = Ask(KeepRecordingPrompt(true));
    if (answer == kPromptKeep) return true;  // the shutdown finishes it into the recording file
    if (answer != kPromptSave) return false;
    StopRecording();
    const bool go_on = SaveRecording(true);
    UpdateLogBarButtons();
    RefreshStatusBar();
    return go_on;
}

void MainWindow::SaveOutputAsText() {
    const std::string path =
        ChooseFile("Save Output as text...", "Text Files (*.txt);;All Files (*.*)", "txt", true);
    if (path.empty()) return;
    QSaveFile file(QString::fromStdString(path));
    const QByteArray text = output_->toPlainText().toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        app_.log.Print("Could not save the Output page to %s: %s", path.c_str(),
                       file.errorString().toUtf8().constData());
    }
}

}  // namespace korvit::shell
