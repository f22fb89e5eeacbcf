// The main window's commands: definitions, scanning, recording and playback.
#include <QFileDialog>
#include <chrono>

#include "controls/mm_text_progress.h"
#include "datalog/xdl_check.h"
#include "datalog/xdl_probe.h"
#include "definition/adx_histogram.h"
#include "definition/legacy/ads_import.h"
#include "pages/display_page.h"
#include "pages/monitor_page.h"
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
    const std::string absolute = AbsolutePath(path);
    return absolute.substr(0, std::min<size_t>(absolute.size(), app::AppSettings::kMaxPath));
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

bool MainWindow::PlayerBusy() const {
    // After Pause the player thread may still be inside a reply until it notices.
    const DataLogState state = app_.datalog.state();
    return state == DataLogState::Playing || state == DataLogState::Stopping ||
           app_.datalog.player_running();
}

bool MainWindow::DefinitionInUse() {
    if (app_.engine.running() || PlayerBusy()) return true;
    // A stopped scan's thread still sends the unit its goodbye before it ends; that takes at
    // most a reply's time-out, so it is waited out rather than refused.
    if (!app_.engine.WaitIdle(std::chrono::seconds(2))) return true;
    // The histogram rebuild hands its samples into the definition from its own thread.
    histogram_review_->Close();
    return false;
}

bool MainWindow::LoadDefinition(const std::string& path) {
    // The engine and the player hold pointers into the definition while they run.
    if (DefinitionInUse()) {
        app_.log.Print("Stop scanning and playback before loading %s", path.c_str());
        return false;
    }
    std::string error;
    const int loaded = app_.definition.Load(path, error, rate_line_);
    definition_modified_ = false;
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
    if (!SaveChangesFirst()) return;
    const std::string path = ChooseFile("Select ADX...", kAdxFilter, "adx", false);
    if (!path.empty()) LoadDefinition(path);
}

bool MainWindow::SaveDefinition() {
    const std::string& path = app_.settings.lastadxpath;
    if (path.empty()) return SaveDefinitionAs();
    if (!app_.definition.Save(path, rate_line_)) {
        app_.log.Print("Could not save %s", path.c_str());
        return false;
    }
    SetDefinitionModified(false);
    return true;
}

bool MainWindow::SaveDefinitionAs() {
    const std::string path = ChooseFile("Choose file to save to...", kAdxFilter, "adx", true);
    if (path.empty()) return false;
    if (!app_.definition.Save(path, rate_line_)) {
        app_.log.Print("Could not save %s", path.c_str());
        return false;
    }
    app_.settings.lastadxpath = Cut(path);
    SetDefinitionModified(false);
    return true;
}

void MainWindow::ImportDefinition() {
    if (!SaveChangesFirst()) return;
    const std::string path =
        ChooseFile("Select file to import...", "ADS Files (*.ads);;All Files (*.*)", "ads", false);
    if (path.empty()) return;
    if (DefinitionInUse()) {
        app_.log.Print("Stop scanning and playback before importing %s", path.c_str());
        return;
    }
    std::string error;
    if (!definition::legacy::ImportADS(path, app_.definition, error)) {
        if (!error.empty()) app_.log.PrintLine(error);
        return;
    }
    // The imported definition has no file yet: the next Save asks for one, and until then it
    // counts as changed.
    app_.settings.lastadxpath.clear();
    definition_modified_ = true;
    RebuildPages();
}

void MainWindow::EditDefinition() {
    if (!SaveChangesFirst()) return;
    if (app_.editor.Run(this, app_.settings.lastadxpath, &app_.log)) {
        LoadDefinition(app_.settings.lastadxpath);
    }
}

void MainWindow::NewDefinition() {
    if (!SaveChangesFirst()) return;
    std::string path;
    if (app_.editor.Run(this, path, &app_.log)) {
        app_.settings.lastadxpath = Cut(path);
        LoadDefinition(app_.settings.lastadxpath);
    }
}

void MainWindow::OpenPreferencesWindow() {
    if (preferences_) {
        preferences_->raise();
        preferences_->activateWindow();
        return;
    }
    QPointer<MainWindow> self(this);
    preferences_ = OpenPreferences(
        this, app_.settings.comport,
        [self] {
            if (self) self->setEnabled(true);
        },
        &app_.prefs, app::SafetyPrefsPath(app_.settings_path));
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
    CancelOpen();
    // A live scan takes every reply into the histograms and draws its lines from empty charts.
    app::HistogramFilters::Detach(app_.definition);
    histogram_review_->Close();
    overview_->Cancel();
    overview_log_.clear();
    monitors_->DropOverview();
    app_.engine.set_options(
        {app_.prefs.verify_checksum, app_.prefs.reconnect, app_.prefs.reconnect_seconds});
    app_.engine.StartAcquisition(app_.settings.comport);
    RefreshStatusBar();
}

void MainWindow::SelectLog() {
    CancelOpen();
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
            ShowWholeLog();
        }
    }
    UpdateLogBarButtons();
    RefreshTitle();
}

void MainWindow::StartRecording() {
    CancelOpen();
    app_.session.set_recording_path(platform::RecordingPath());
    app_.session.Record();
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
    if (app_.engine.running()) {
        Refuse(kStopScanningFirst);
        return;
    }
    if (opening_) return;
    // Playback takes into each histogram only the records its filter accepts.
    histogram_filters_.Apply(app_.definition);
    app_.session.set_last_xdl_path(app_.settings.lastxdlpath);
    if (app_.session.PlayResumes()) {
        app_.session.Play(&app_.engine.callback());
        UpdateLogBarButtons();
        RefreshStatusBar();
        return;
    }
    // Opening reads every record (the seek index and the damage check): seconds for a long log,
    // so it runs on a worker that hands the opened log back through the event loop.
    CancelOpen();
    opening_ = true;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    open_cancel_ = cancel;
    opener_ = std::thread([this, cancel, path = app_.session.last_xdl_path()] {
        std::shared_ptr<datalog::PreparedLog> prepared =
            datalog::LogSession::PrepareLog(path, cancel.get());
        QMetaObject::invokeMethod(
            this,
            [this, cancel, prepared] {
                if (!cancel->load()) OpenFinished(*prepared);
            },
            Qt::QueuedConnection);
    });
    UpdateLogBarButtons();
}

void MainWindow::OpenFinished(datalog::PreparedLog& prepared) {
    opening_ = false;
    if (opener_.joinable()) opener_.join();
    if (app_.engine.running()) {
        Refuse(kStopScanningFirst);
        return;
    }
    // Its rebuilds follow the position of the log open now, which the new run replaces.
    histogram_review_->Close();
    if (prepared.log.state() == DataLogState::Open) {
        // A run starts at the log's first record: the histograms hold the records from there up
        // to the position, not those of an earlier run or scan added to them.
        for (const auto& object : app_.definition.objects()) {
            if (auto* h = definition::As<definition::ADXHistogram>(object.get()))
                h->ClearHistogram();
        }
        views_->Mark(pages::kHistogramsChanged | pages::kPositionChanged);
    }
    if (app_.session.Play(&app_.engine.callback(), prepared) == datalog::kDataLogOk) {
        log_bar_->slider()->setRange(0, static_cast<int>(app_.datalog.header().recordcount));
        // Seeks in this log rebuild the histograms from it in the background.
        histogram_review_->Open(prepared.path, histogram_filters_);
    }
    UpdateLogBarButtons();
    RefreshStatusBar();
}

void MainWindow::CancelOpen() {
    if (open_cancel_) open_cancel_->store(true);
    opening_ = false;
    if (opener_.joinable()) opener_.join();
}

void MainWindow::Pause() {
    if (app_.datalog.state() == DataLogState::Playing) {
        app_.session.Pause();
        RefreshStatusBar();
        // The player ends at its next check and then says so; the buttons follow.
        views_->Mark(pages::kPositionChanged);
    }
    UpdateLogBarButtons();
}

void MainWindow::Stop() {
    CancelOpen();
    if (app_.session.StopRecording()) {
        SaveRecording(false);
    } else if (app_.datalog.state() == DataLogState::Playing ||
               app_.engine.status() == ConnectionStatus::LogPaused) {
        StartStopWork(acquisition::AcquisitionEngine::kStopDatalog);
    }
    UpdateLogBarButtons();
    RefreshStatusBar();
}

void MainWindow::JumpForward() {
    app_.session.JumpForward();
    RebuildHistogramsAtPosition();
    views_->Mark(pages::kPositionChanged);
    log_bar_->slider()->setValue(static_cast<int>(app_.datalog.recordsread()));
}

void MainWindow::JumpBackward() {
    app_.session.JumpBackward();
    RebuildHistogramsAtPosition();
    views_->Mark(pages::kPositionChanged);
    log_bar_->slider()->setValue(static_cast<int>(app_.datalog.recordsread()));
}

}  // namespace korvit::shell
