// The main window's commands: definitions, scanning, recording and playback.
#include <QFileDialog>
#include <QTimer>

#include "controls/mm_text_progress.h"
#include "datalog/xdl_check.h"
#include "datalog/xdl_probe.h"
#include "definition/legacy/ads_import.h"
#include "platform/recording_location.h"
#include "shell/file_places.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "shell/preferences_window.h"
#include "shell/refusals.h"
#include "shell/view_bridge.h"

namespace korvit::shell {

using acquisition::ConnectionStatus;
using datalog::DataLogState;

namespace {

const QString kAdxFilter = "ADX Files (*.adx);;All Files (*.*)";
const QString kXdlFilter = "Datalog (XDL) Files (*.xdl)";

std::string Cut(const std::string& path) {
    return path.substr(0, std::min<size_t>(path.size(), app::AppSettings::kMaxPath));
}

}  // namespace

std::string MainWindow::ChooseFile(const QString& title, const QString& filter, const QString& ext,
                                   bool save) {
    if (choose_file) return choose_file(title, filter, ext, save);
    // Logs start where the current log is, definitions where the current definition is.
    const auto& settings = app_.settings;
    const QString folder = ext == "xdl"
                               ? DialogStartFolder({settings.lastxdlpath, settings.lastadxpath})
                               : DialogStartFolder({settings.lastadxpath, settings.lastxdlpath});
    QFileDialog dialog(this, title, folder, filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(ext);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

int MainWindow::Ask(const UserPrompt& prompt) {
    return ask ? ask(prompt) : ShowPrompt(this, prompt);
}

bool MainWindow::LoadDefinition(const std::string& path) {
    // The engine and the player hold pointers into the definition while they run.
    if (app_.engine.running() || app_.datalog.state() == DataLogState::Playing) {
        app_.log.Print("Stop scanning and playback before loading %s", path.c_str());
        return false;
    }
    std::string error;
    const int loaded = app_.definition.Load(path, error, rate_line_);
    if (loaded) {
        app_.settings.lastadxpath = Cut(path);
        app_.log.Print("Loaded %s", path.c_str());
        if (!app_.definition.load_warning.empty()) app_.log.PrintLine(app_.definition.load_warning);
    } else {
        app_.log.Print("FAILED to Load %s", path.c_str());
        if (!error.empty()) app_.log.PrintLine(error);
        const std::string& where = app_.definition.load_error_location;
        if (!where.empty()) app_.log.Print("at %s", where.c_str());
    }
    RebuildPages();
    return loaded != 0;
}

void MainWindow::LoadDefinitionCommand() {
    const std::string path = ChooseFile("Select ADX...", kAdxFilter, "adx", false);
    if (!path.empty()) LoadDefinition(path);
}

void MainWindow::SaveDefinition() {
    if (app_.settings.lastadxpath.empty()) {
        SaveDefinitionAs();
        return;
    }
    app_.definition.Save(app_.settings.lastadxpath, rate_line_);
}

void MainWindow::SaveDefinitionAs() {
    const std::string path = ChooseFile("Choose file to save to...", kAdxFilter, "adx", true);
    if (path.empty()) return;
    if (app_.definition.Save(path, rate_line_)) {
        app_.settings.lastadxpath = Cut(path);
    } else {
        app_.log.Print("Could not save %s", path.c_str());
    }
}

void MainWindow::ImportDefinition() {
    const std::string path =
        ChooseFile("Select file to import...", "ADS Files (*.ads);;All Files (*.*)", "ads", false);
    if (path.empty()) return;
    if (app_.engine.running() || app_.datalog.state() == DataLogState::Playing) {
        app_.log.Print("Stop scanning and playback before importing %s", path.c_str());
        return;
    }
    std::string error;
    if (definition::legacy::ImportADS(path, app_.definition, error)) {
        RebuildPages();
    } else if (!error.empty()) {
        app_.log.PrintLine(error);
    }
    // The imported definition has no file yet: the next Save asks for one.
    app_.settings.lastadxpath.clear();
}

void MainWindow::EditDefinition() {
    if (app_.editor.Run(this, app_.settings.lastadxpath, &app_.log)) {
        LoadDefinition(app_.settings.lastadxpath);
    }
}

void MainWindow::NewDefinition() {
    std::string path;
    if (app_.editor.Run(this, path, &app_.log)) {
        app_.settings.lastadxpath = Cut(path);
        LoadDefinition(app_.settings.lastadxpath);
    }
}

void MainWindow::OpenPreferencesWindow() {
    if (preferences_) return;
    QPointer<MainWindow> self(this);
    preferences_ = OpenPreferences(
        this, app_.settings.comport,
        [self] {
            if (self) self->setEnabled(true);
        },
        &app_.prefs, app::SafetyPrefsPath(app_.settings_path));
    preferences_->setWindowModality(Qt::ApplicationModal);
    preferences_->move(geometry().center() - preferences_->rect().center());
}

void MainWindow::ToggleScan() {
    if (app_.engine.running()) {
        StartStopWork(acquisition::AcquisitionEngine::kStopAcquisition);
        SyncScanAction();
        return;
    }
    const DataLogState state = app_.datalog.state();
    if (state == DataLogState::Playing || state == DataLogState::Stopping ||
        app_.engine.status() == ConnectionStatus::LogPaused) {
        Refuse(kStopLogFirst);
        return;
    }
    app_.engine.set_options(
        {app_.prefs.verify_checksum, app_.prefs.reconnect, app_.prefs.reconnect_seconds});
    app_.engine.StartAcquisition(app_.settings.comport);
    RefreshStatusBar();
}

void MainWindow::SelectLog() {
    if (app_.datalog.Pause()) SetConnectionStatus(ConnectionStatus::LogPaused);
    const std::string path = ChooseFile("Select datalog...", kXdlFilter, "xdl", false);
    if (!path.empty()) {
        // Say now, not at Play, when the file is no datalog; the current log then stays.
        const datalog::XdlProbe probe = datalog::ProbeXdl(path);
        if (probe.code != datalog::kDataLogOk) {
            app_.log.Print("Not a datalog: %s (%s, error 0x%X)", path.c_str(),
                           std::string(datalog::DescribeDataLogCode(probe.code)).c_str(),
                           probe.code);
        } else {
            app_.settings.lastxdlpath = Cut(path);
            const auto& t = probe.header.starttime;
            app_.log.Print("Selected %s: %u records, recorded %04u-%02u-%02u %02u:%02u:%02u",
                           path.c_str(), probe.header.recordcount, t[0], t[1], t[3], t[4], t[5],
                           t[6]);
        }
    }
    UpdateLogBarButtons();
    RefreshTitle();
}

void MainWindow::StartRecording() {
    if (app_.datalog.state() != DataLogState::Recording) {
        datalog::RecoverUnfinishedRecording(platform::RecordingPath(), app_.log);
    }
    app_.datalog.Record(platform::RecordingPath(), app_.definition);
    UpdateLogBarButtons();
    RefreshStatusBar();
}

void MainWindow::PlayOrPause() {
    if (app_.datalog.state() == DataLogState::Playing) {
        Pause();
    } else {
        Play();
    }
}

void MainWindow::Play() {
    datalog::DataLog& log = app_.datalog;
    if (app_.engine.running()) {
        Refuse(kStopScanningFirst);
        return;
    }
    if (log.state() == DataLogState::Open && app_.engine.status() == ConnectionStatus::LogPaused) {
        log.StartPlayer();
        app_.log.PrintLine("Playback unpaused");
        UpdateLogBarButtons();
        return;
    }
    const float speed = log.speed();
    log.SetCallback(&app_.engine.callback());
    const std::string& path = app_.settings.lastxdlpath;
    const uint32_t code = log.Open(path);
    if (code != 0) {
        app_.log.PrintLine(datalog::FormatOpenError(path, code));
        UpdateLogBarButtons();
        RefreshStatusBar();
        return;
    }
    log.SetSpeed(speed);
    log_bar_->slider()->setRange(0, static_cast<int>(log.header().recordcount));
    app_.engine.state().last_packet.Clear();  // no value shown until the first record
    views_->ResetCharts();
    log.StartPlayer();
    app_.log.Print("Playing %s", path.c_str());
    if (const auto check = datalog::CheckXdlFile(path)) {
        if (const std::string warning = check->Warning(path); !warning.empty()) {
            app_.log.PrintLine(warning);
        }
    }
    UpdateLogBarButtons();
    RefreshStatusBar();
}

void MainWindow::Pause() {
    if (app_.datalog.Pause()) {
        SetConnectionStatus(ConnectionStatus::LogPaused);
        app_.log.PrintLine("Playback paused");
        // The player ends at its next check; the buttons follow once it has.
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this, poll] {
            if (app_.datalog.player_running()) return;
            UpdateLogBarButtons();
            poll->deleteLater();
        });
        poll->start(20);
    }
    UpdateLogBarButtons();
}

void MainWindow::Stop() {
    datalog::DataLog& log = app_.datalog;
    if (log.state() == DataLogState::Recording) {
        StopRecording();
        SaveRecording(false);
    } else if (log.state() == DataLogState::Playing ||
               app_.engine.status() == ConnectionStatus::LogPaused) {
        StartStopWork(acquisition::AcquisitionEngine::kStopDatalog);
    }
    UpdateLogBarButtons();
    RefreshStatusBar();
}

void MainWindow::JumpForward() {
    app_.datalog.Seek(app_.datalog.recordsread() + 10, 0);
    log_bar_->slider()->setValue(static_cast<int>(app_.datalog.recordsread()));
}

void MainWindow::JumpBackward() {
    const uint32_t read = app_.datalog.recordsread();
    app_.datalog.Seek(read < 10 ? 0 : read - 10, datalog::kSeekRewind);
    log_bar_->slider()->setValue(static_cast<int>(app_.datalog.recordsread()));
}

}  // namespace korvit::shell
