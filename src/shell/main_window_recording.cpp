// The main window keeping what the user would not want lost: recordings left only in the
// recording file, the Output page's text, and refusals that keep a scan and a log apart.
#include <QFile>
#include <QSaveFile>

#include "app/histogram_csv.h"
#include "controls/mm_rich_static.h"
#include "definition/adx_histogram.h"
#include "pages/histogram_page.h"
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

std::optional<std::string> MainWindow::SessionQuestions::AskSavePath() {
    const std::string path = window_.ChooseFile("Select/Create file to save...",
                                                "Datalog (XDL) Files (*.xdl)", "xdl", true);
    if (path.empty()) return std::nullopt;
    return path;
}

void MainWindow::SessionQuestions::ShowError(const std::string& title, const std::string& text) {
    window_.Ask({QString::fromStdString(title),
                 QString::fromStdString(text),
                 QMessageBox::Critical,
                 {"OK"}});
}

bool MainWindow::SessionQuestions::AskSaveAgain() {
    const int answer = window_.Ask(KeepRecordingPrompt(exiting));
    if (answer == kPromptSave) return true;
    cancelled = answer != kPromptKeep;
    return false;
}

bool MainWindow::SaveRecording(bool exiting) {
    questions_.exiting = exiting;
    questions_.cancelled = false;
    const bool saved = app_.session.SaveRecording();
    if (saved) {
        const std::string& path = app_.session.last_xdl_path();
        app_.settings.lastxdlpath =
            path.substr(0, std::min<size_t>(path.size(), app::AppSettings::kMaxPath));
    }
    return saved || !questions_.cancelled;
}

void MainWindow::OnRecordingFailed() {
    status_line_->Flash("Recording failed", Qt::black, QColor(255, 0, 0), kRefusalMs);
    UpdateLogBarButtons();
    RefreshStatusBar();
}

bool MainWindow::KeepRecordingAtExit() {
    if (app_.datalog.state() != DataLogState::Recording && !app_.session.recording_failed())
        return true;
    const int answer = Ask(KeepRecordingPrompt(true));
    if (answer == kPromptKeep) return true;  // the shutdown finishes it into the recording file
    if (answer != kPromptSave) return false;
    app_.session.StopRecording();
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

void MainWindow::ExportHistogramCsv() {
    definition::ADXHistogram* histogram = histograms_page_->current();
    if (histogram == nullptr) {
        app_.log.PrintLine("No histogram to export: the definition has none");
        return;
    }
    const std::string path =
        ChooseFile("Export Histogram as CSV...", "CSV Files (*.csv);;All Files (*.*)", "csv", true);
    if (path.empty()) return;
    const std::string csv = app::HistogramCsv(*histogram, histograms_page_->statistic());
    QSaveFile file(QString::fromStdString(path));
    const auto size = static_cast<qint64>(csv.size());
    if (!file.open(QIODevice::WriteOnly) || file.write(csv.data(), size) != size ||
        !file.commit()) {
        app_.log.Print("Could not export the histogram to %s: %s", path.c_str(),
                       file.errorString().toUtf8().constData());
        return;
    }
    app_.log.Print("Exported histogram %s to %s", std::string(histogram->id()).c_str(),
                   path.c_str());
}

}  // namespace korvit::shell
