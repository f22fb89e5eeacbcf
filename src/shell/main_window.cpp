#include "shell/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "controls/mm_rich_static.h"
#include "controls/mm_splash.h"
#include "controls/mm_tab_sheet.h"
#include "controls/mm_text_progress.h"
#include "datalog/xdl_check.h"
#include "definition/adx_value.h"
#include "evaluation/item_readout.h"
#include "pages/dash_page.h"
#include "pages/display_page.h"
#include "pages/histogram_page.h"
#include "pages/item_list_page.h"
#include "pages/monitor_page.h"
#include "pages/monitor_review.h"
#include "platform/clock.h"
#include "platform/recording_location.h"
#include "shell/log_bar.h"
#include "shell/output_page.h"
#include "shell/preferences_window.h"
#include "shell/status_texts.h"
#include "shell/view_bridge.h"

namespace korvit::shell {

using acquisition::ConnectionStatus;
using datalog::DataLogState;

MainWindow::MainWindow(Application& app, QWidget* parent)
    : QMainWindow(parent), app_(app), views_(new ViewBridge(this)) {
    setObjectName("KORVIT");
    setWindowTitle("Korvit");
    resize(650, 500);
    ShowSplash();

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        app_.settings.SetDefaultPlacement(area.width(), area.height());
    }
    app::ReadSettings(app_.settings, app_.settings_path);
    app::ReadSafetyPrefs(app_.prefs, app::SafetyPrefsPath(app_.settings_path));
    RestorePlacement();

    BuildMenus();
    BuildStatusBar();
    BuildToolBars();
    BuildPages();
    ConnectViews();
    WatchDefinitionChanges();
    ApplyMinimumSize();
    datalog::RecoverUnfinishedRecording(platform::RecordingPath(), app_.log);

    if (app_.settings.loadlastdef != 0) LoadDefinition(app_.settings.lastadxpath);
    SetPlaybackSpeed(1.0f);
    UpdateLogBarButtons();
    if (!platform::HighResolutionClockAvailable()) {
        QMessageBox::information(this, "Improper hardware",
                                 "Your CPU does not support high-resolution timer. This will "
                                 "prevent correct monitoring and logging.");
    }
    const bool editor = app_.editor.loaded();
    edit_->setEnabled(editor);
    new_->setEnabled(editor);
}

MainWindow::~MainWindow() {
    CancelOpen();
    CancelExport();
    for (StopWork& work : stop_threads_) work.thread.join();
    // Closed without the shutdown sequence (as tests do): stop what runs, then let go of the
    // page and the views before they go.
    if (app_.engine.running())
        app_.engine.StopWork(acquisition::AcquisitionEngine::kStopAcquisition);
    app_.engine.WaitIdle(std::chrono::seconds(5));
    app_.datalog.Close();
    app_.engine.set_views(nullptr);
    app_.session.set_views(nullptr);
    app_.session.set_ui(nullptr);
    app_.log.RemoveSink(sink_);
}

void MainWindow::ShowSplash() {
    splash_ = new controls::MMSplash(this, controls::MMSplash::DefaultPicture());
    QFont font("Arial");
    font.setPixelSize(13);
    font.setBold(true);
    splash_->SetTextItem(0, "Build " + BuildVersionText(), QPoint(260, 111), font, Qt::black);
    splash_->ShowFor(3000);
}

void MainWindow::BuildMenus() {
    QMenuBar* bar = menuBar();
    auto add = [this](QMenu* menu, const char* text, QKeySequence key, auto slot) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        if (!key.isEmpty()) action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu* file = bar->addMenu("&File");
    add(file, "Load Definition...\tCtrl + L", QKeySequence(Qt::CTRL | Qt::Key_L),
        &MainWindow::LoadDefinitionCommand);
    add(file, "Save Definition\tCtrl+S", QKeySequence(Qt::CTRL | Qt::Key_S),
        &MainWindow::SaveDefinition);
    add(file, "Save Definition As...\tCtrl + Shift + S",
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &MainWindow::SaveDefinitionAs);
    QMenu* import = file->addMenu("Import");
    add(import, "Definition...", {}, &MainWindow::ImportDefinition);
    file->addSeparator();
    edit_ = add(file, "Edit Definition...\tCtrl + F2", QKeySequence(Qt::CTRL | Qt::Key_F2),
                &MainWindow::EditDefinition);
    new_ = add(file, "New Definition...\tCtrl + N", QKeySequence(Qt::CTRL | Qt::Key_N),
               &MainWindow::NewDefinition);
    file->addSeparator();
    add(file, "Export Chart Image...", {}, &MainWindow::ExportChartImage);
    add(file, "Export Visible Range as CSV...", {}, &MainWindow::ExportVisibleRangeCsv);
    add(file, "Export Histogram as CSV...", {}, &MainWindow::ExportHistogramCsv);
    file->addSeparator();
    add(file, "Preferences...", {}, &MainWindow::OpenPreferencesWindow);
    file->addSeparator();
    add(file, "E&xit", {}, &QWidget::close);

    QMenu* scanner = bar->addMenu("Scanner");
    // The key is the grave accent; the menu shows an apostrophe.
    scan_ = add(scanner, "Scan\t'", QKeySequence(Qt::Key_QuoteLeft), &MainWindow::ToggleScan);
    scan_->setCheckable(true);  // checked while scanning

    QMenu* logger = bar->addMenu("Logger");
    add(logger, "Load Log...\t Ctrl + Alt + L", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L),
        &MainWindow::SelectLog);
    logger->addSeparator();
    add(logger, "Record\tCtrl + Alt + Space", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Space),
        &MainWindow::StartRecording);
    // Play and Pause both toggle; Space belongs to Pause (one key cannot serve two actions).
    add(logger, "Play\tSpace", {}, &MainWindow::PlayOrPause);
    add(logger, "Stop\tCtrl + Space", QKeySequence(Qt::CTRL | Qt::Key_Space), &MainWindow::Stop);
    add(logger, "Pause\tSpace", QKeySequence(Qt::Key_Space), &MainWindow::PlayOrPause);
    logger->addSeparator();
    add(logger, "Jump Forward 10 Samples\t]", QKeySequence(Qt::Key_BracketRight),
        &MainWindow::JumpForward);
    add(logger, "Jump Backward 10 Samples\t[", QKeySequence(Qt::Key_BracketLeft),
        &MainWindow::JumpBackward);
    logger->addSeparator();
    QMenu* speed = logger->addMenu("Playback Speed");
    static const char* const kTexts[] = {"400%\tCtrl + 7", "200%\tCtrl + 6", "100%\tCtrl + 5",
                                         "50%\tCtrl + 4", "25%\tCtrl + 3"};
    static const Qt::Key kKeys[] = {Qt::Key_7, Qt::Key_6, Qt::Key_5, Qt::Key_4, Qt::Key_3};
    for (int i = 0; i < 5; ++i) {
        QAction* a = speed->addAction(kTexts[i]);
        a->setShortcut(QKeySequence(Qt::CTRL | kKeys[i]));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, i] { SetPlaybackSpeed(kSpeedPresets[i]); });
        speed_actions_[i] = a;
    }
    speed->addSeparator();
    QAction* fastest = speed->addAction("As fast as possible");
    fastest->setCheckable(true);
    connect(fastest, &QAction::triggered, this, [this] { SetPlaybackSpeed(0.0f); });
    speed_actions_[kSpeedAsFastAsPossible] = fastest;
    QAction* custom = speed->addAction("Custom...\tCtrl + 0");
    custom->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    custom->setCheckable(true);
    connect(custom, &QAction::triggered, this, &MainWindow::AskPlaybackSpeed);
    speed_actions_[kSpeedCustom] = custom;

    QMenu* help = bar->addMenu("&Help");
    add(help, "&About ...", {}, &MainWindow::About);
}

void MainWindow::BuildToolBars() {
    QStyle* s = style();
    QToolBar* file = addToolBar("File");
    file->setObjectName("FileToolBar");
    file->setIconSize(QSize(16, 16));
    file->addAction(s->standardIcon(QStyle::SP_DialogOpenButton), "Load ADX", this,
                    &MainWindow::LoadDefinitionCommand);
    file->addAction(s->standardIcon(QStyle::SP_DialogSaveButton), "Save ADX", this,
                    &MainWindow::SaveDefinition);
    QAction* edit = file->addAction(s->standardIcon(QStyle::SP_FileDialogDetailedView), "Edit ADX",
                                    this, &MainWindow::EditDefinition);
    connect(edit_, &QAction::enabledChanged, edit, &QAction::setEnabled);

    QToolBar* connect_bar = addToolBar("Connect");
    connect_bar->setObjectName("ConnectToolBar");
    connect_bar->setIconSize(QSize(16, 16));
    connect_ = connect_bar->addAction(s->standardIcon(QStyle::SP_DriveNetIcon),
                                      "Connect/Disconnect", this, &MainWindow::ToggleScan);
    connect_->setCheckable(true);

    QToolBar* log = addToolBar("Log");
    log->setObjectName("LogToolBar");
    log_bar_ = new LogBar(log);
    log->addWidget(log_bar_);
    connect(log_bar_->record(), &QAction::triggered, this, &MainWindow::StartRecording);
    connect(log_bar_->play(), &QAction::triggered, this, &MainWindow::Play);
    connect(log_bar_->pause(), &QAction::triggered, this, &MainWindow::Pause);
    connect(log_bar_->stop(), &QAction::triggered, this, &MainWindow::Stop);
    connect(log_bar_->select(), &QAction::triggered, this, &MainWindow::SelectLog);
    connect(log_bar_, &LogBar::seekRequested, this, [this](int sample) {
        app_.session.SeekTo(static_cast<uint32_t>(sample));
        RebuildHistogramsAtPosition();
        views_->Mark(pages::kPositionChanged);
    });
}

void MainWindow::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    status_line_ = new controls::MMRichStatic(bar);
    status_line_->setObjectName("StatusLine");
    rate_line_ = new controls::MMTextProgress(bar);
    rate_line_->setObjectName("RateLine");
    rate_line_->SetRange(0, 1024);
    bar->addWidget(status_line_);
    bar->addWidget(rate_line_);
    SizeStatusParts();
    auto* empty = new QLabel(bar);
    empty->setFixedWidth(128);
    bar->addWidget(empty);
    bar->addWidget(new QLabel(bar), 1);
    RefreshStatusBar();
}

void MainWindow::BuildPages() {
    tabs_ = new controls::MMTabSheet(this);
    setCentralWidget(tabs_);
    output_ = new OutputPage(tabs_);
    sink_ = new OutputPageSink(output_);
    app_.log.AddSink(sink_);
    connect(output_, &OutputPage::saveAsTextRequested, this, &MainWindow::SaveOutputAsText);
    tabs_->AddPage(output_, "Output");
    tabs_->Select(0);
    acquisition::AcquisitionState& state = app_.engine.state();
    // The display pages, in tab order.
    dash_ = new pages::DashPage(app_.definition, state.gauges, state.last_packet, tabs_);
    AddDisplayPage(dash_, "Dash");
    item_lists_ = new pages::ItemListPage(app_.definition, state.last_packet, tabs_);
    AddDisplayPage(item_lists_, "Item Lists");
    histograms_page_ = new pages::HistogramPage(app_.definition, state.fed_cells, tabs_);
    AddDisplayPage(histograms_page_, "Histograms");
    histogram_filters_.Read(app::HistogramFiltersPath(app_.settings_path));
    histograms_page_->SetFilters(&histogram_filters_);
    connect(histograms_page_, &pages::HistogramPage::filterRefused, this,
            [this](const QString& text) { app_.log.PrintLine(text.toStdString()); });
    histogram_review_ = new HistogramReview(app_.definition, app_.datalog, this);
    connect(histogram_review_, &HistogramReview::rebuilt, this,
            [this] { views_->Mark(pages::kHistogramsChanged | pages::kPositionChanged); });
    connect(histograms_page_, &pages::HistogramPage::filterChanged, this, [this] {
        // A log under review is counted again with the new filter, up to the position.
        if (histogram_review_->open()) {
            histogram_review_->Open(histogram_review_->log(), histogram_filters_);
            RebuildHistogramsAtPosition();
        }
        const std::string path = app::HistogramFiltersPath(app_.settings_path);
        if (!path.empty() && histogram_filters_.Write(path) == 0) {
            app_.log.Print("Could not save the histogram filters to %s", path.c_str());
        }
        // A scan takes every reply: the filter waits for the next playback.
        if (app_.engine.running()) app::HistogramFilters::Detach(app_.definition);
    });
    auto* monitors = new pages::MonitorPage(app_.definition, state.charts, tabs_);
    monitors->setObjectName("Monitors");
    AddDisplayPage(monitors, "Monitors");
    monitors_ = monitors;
    overview_ = new LogOverview(this);
    // A series added while a whole log is shown fills from the log too.
    connect(monitors, &pages::MonitorPage::seriesAdded, this, [this](uint32_t hash) {
        if (overview_log_.empty()) return;
        if (overview_->busy()) {
            ShowWholeLog();  // the running fill starts again with every series
            return;
        }
        overview_->Start(
            app_.definition, overview_log_, {hash},
            [this](const std::string&, const std::vector<uint32_t>& hashes,
                   LogOverview::Lines& lines) { monitors_->FillFromLog(hashes, lines, false); });
    });
    connect(monitors_->review(), &pages::MonitorReview::cursorChosen, this,
            &MainWindow::SeekToChartTime);
    // A text lookup's line holds 0, so its text at the cursor is the item list's. With a log
    // open the cursor moves the log and the items hold the record there; in a scan they hold
    // the latest reply, which the cursor shows only at the end of the lines.
    monitors_->review()->SetTextLookupSource([this](definition::ADXValue& value, double t) {
        const DataLogState state = app_.datalog.state();
        const bool log_open = state == DataLogState::Open || state == DataLogState::Playing ||
                              state == DataLogState::Stopping;
        const bool at_latest = app_.engine.running() && t + 1e-3 >= monitors_->review()->full().end;
        if (!log_open && !at_latest) return QString(evaluation::kNoValueText);
        evaluation::PacketSnapshot packet;
        app_.engine.state().last_packet.LoadInto(packet);
        return QString::fromLatin1(
            evaluation::ReadValue(value, app_.definition, packet).text.data());
    });

    connect(tabs_, &QTabWidget::currentChanged, this,
            [this] { RefreshShownPage(pages::kEverythingChanged); });
}

void MainWindow::AddDisplayPage(pages::DisplayPage* page, const QString& title) {
    display_pages_.push_back(page);
    tabs_->AddPage(page->widget(), title);
}

void MainWindow::RefreshShownPage(uint32_t changes) {
    const QWidget* shown = tabs_->currentWidget();
    for (pages::DisplayPage* page : display_pages_) {
        if (page->widget() == shown) page->Refresh(changes);
    }
}

void MainWindow::ConnectViews() {
    app_.engine.set_views(views_);
    app_.session.set_views(views_);
    app_.session.set_ui(&questions_);
    connect(views_, &ViewBridge::recordingFailed, this, &MainWindow::OnRecordingFailed);
    connect(views_, &ViewBridge::frame, this, &MainWindow::RefreshShownPage);
    connect(views_, &ViewBridge::statusRequested, this, &MainWindow::RefreshStatusBar);
    connect(views_, &ViewBridge::logBarRequested, this, &MainWindow::UpdateLogBarButtons);
    connect(views_, &ViewBridge::flashRequested, this, [this](const QString& text) {
        status_line_->Flash(text, Qt::black, QColor(255, 0, 0), 500);
    });
    connect(views_, &ViewBridge::logPositionRequested, this, [this](uint32_t sample) {
        if (!log_bar_->slider()->isSliderDown()) {
            log_bar_->slider()->setValue(static_cast<int>(sample));
        }
    });
    // The player raises the end while it is still playing and then leaves the Playing state,
    // before this queued call arrives: stop the log it left open, unless the user already did.
    connect(views_, &ViewBridge::playbackEnded, this, [this] {
        const DataLogState state = app_.datalog.state();
        if (state == DataLogState::Open || state == DataLogState::Playing) {
            StartStopWork(acquisition::AcquisitionEngine::kStopDatalog);
        }
        UpdateLogBarButtons();
        RefreshStatusBar();
    });
    connect(views_, &ViewBridge::acquisitionStopped, this, [this] {
        JoinEndedStopWork();
        RefreshStatusBar();
    });
    connect(views_, &ViewBridge::datalogStopped, this, &MainWindow::OnDatalogStopped);
    connect(views_, &ViewBridge::closeRequested, this, &MainWindow::OnCloseRequested);
}

void MainWindow::RefreshStatusBar() {
    const DataLogState state = app_.datalog.state();
    const ConnectionStatus status = app_.engine.status();
    const StatusLook look = StatusLineFor(state, status);
    status_line_->SetText(look.text);
    status_line_->SetTextColor(look.text_color);
    status_line_->SetBackgroundColor(look.background);
    const auto rate = RateLineFor(status, state, app_.engine.state().rate.Rate(),
                                  app_.engine.errors(), app_.datalog.currenttime());
    if (rate) rate_line_->SetText(*rate);
    SyncScanAction();
}

void MainWindow::SetConnectionStatus(ConnectionStatus status) {
    app_.engine.state().status = status;
    RefreshStatusBar();
    UpdateLogBarButtons();
}

void MainWindow::RefreshTitle() {
    // A leading "*" says the definition holds changes made on the pages that are not saved.
    const QString title =
        TitleFor(app_.settings.lastadxpath, app_.settings.lastxdlpath, app_.datalog.speed());
    setWindowTitle(definition_modified_ ? "*" + title : title);
}

void MainWindow::UpdateLogBarButtons() {
    const ConnectionStatus status = app_.engine.status();
    log_bar_->Apply(datalog::LogBarButtonStates(app_.datalog.state(),
                                                status == ConnectionStatus::Connected,
                                                status == ConnectionStatus::LogPaused));
}

void MainWindow::RebuildPages() {
    // Each page rebuilds from the definition just loaded, showing no value until the next reply:
    // the last packet was decoded by the definition before.
    app_.engine.state().last_packet.Clear();
    histogram_review_->Close();  // its copy is of the definition before
    for (const std::string& problem : histogram_filters_.Apply(app_.definition)) {
        app_.log.PrintLine(problem);
    }
    for (pages::DisplayPage* page : display_pages_) page->Rebuild();
    RefreshShownPage(pages::kEverythingChanged);
    RefreshTitle();
    if (!overview_log_.empty()) ShowWholeLog();
}

void MainWindow::RebuildHistogramsAtPosition() {
    histogram_review_->Rebuild();
}

void MainWindow::ShowWholeLog() {
    overview_log_ = app_.settings.lastxdlpath;
    if (overview_log_.empty()) return;
    overview_->Start(app_.definition, overview_log_, monitors_->SeriesHashes(),
                     [this](const std::string& path, const std::vector<uint32_t>& hashes,
                            LogOverview::Lines& lines) {
                         if (path != overview_log_) return;
                         monitors_->FillFromLog(hashes, lines, true);
                         ShowLogPosition();
                     });
}

void MainWindow::SetPlaybackSpeed(float speed) {
    app_.datalog.SetSpeed(speed);
    RefreshTitle();
    const int checked = CheckedSpeedItem(speed);
    for (int i = 0; i < kSpeedItems; ++i) speed_actions_[i]->setChecked(i == checked);
}

void MainWindow::AskPlaybackSpeed() {
    const int current = static_cast<int>(std::lround(app_.datalog.speed() * 100.0f));
    std::optional<int> percent;
    if (ask_speed) {
        percent = ask_speed(current);
    } else {
        bool ok = false;
        const int chosen = QInputDialog::getInt(
            this, "Playback Speed", "Speed in percent (0 = as fast as possible):",
            std::clamp(current, 0, kMaxCustomSpeedPercent), 0, kMaxCustomSpeedPercent, 10, &ok);
        if (ok) percent = chosen;
    }
    // Cancelled or out of range: the speed stays, and so does the check mark.
    if (!percent || *percent < 0 || *percent > kMaxCustomSpeedPercent) {
        SetPlaybackSpeed(app_.datalog.speed());
        return;
    }
    SetPlaybackSpeed(static_cast<float>(*percent) / 100.0f);
}

void MainWindow::About() {
    QDialog box(this);
    box.setWindowTitle("About");
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(new QLabel("Korvit Version", &box));
    auto* version = new QLabel(BuildVersionText(), &box);
    version->setObjectName("Version");
    layout->addWidget(version);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    box.adjustSize();
    box.move(geometry().center() - box.rect().center());
    box.exec();
}

void MainWindow::StartStopWork(uint32_t flags) {
    JoinEndedStopWork();
    auto done = std::make_unique<std::atomic<bool>>(false);
    std::atomic<bool>* flag = done.get();
    stop_threads_.push_back({std::thread([this, flags, flag] {
                                 app_.engine.StopWork(flags);
                                 flag->store(true);
                             }),
                             std::move(done)});
}

void MainWindow::JoinEndedStopWork() {
    std::erase_if(stop_threads_, [](StopWork& work) {
        if (!work.done->load()) return false;
        work.thread.join();
        return true;
    });
}

void MainWindow::OnDatalogStopped() {
    JoinEndedStopWork();
    app_.session.PlaybackStopped();
    log_bar_->slider()->setValue(0);
    UpdateLogBarButtons();
    RefreshStatusBar();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (may_close_) {
        event->accept();
        return;
    }
    event->ignore();
    if (shutting_down_) return;
    if (!SaveChangesFirst()) return;
    if (!KeepRecordingAtExit()) return;
    shutting_down_ = true;
    CancelOpen();
    using Engine = acquisition::AcquisitionEngine;
    StartStopWork(Engine::kStopAcquisition | Engine::kStopDatalog | Engine::kCloseWindow);
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    WatchFrameAfterShow();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    CorrectFramePosition();
}

void MainWindow::OnCloseRequested() {
    RememberPlacement();
    app::WriteSettings(app_.SettingsToSave(), app_.settings_path);
    may_close_ = true;
    emit shutDown();
    close();
}

}  // namespace korvit::shell
