#pragma once

#include <QAction>
#include <QMainWindow>
#include <QPointer>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/histogram_filters.h"
#include "shell/application.h"
#include "shell/histogram_review.h"
#include "shell/log_overview.h"
#include "shell/preferences_window.h"
#include "shell/status_texts.h"
#include "shell/user_prompt.h"

namespace korvit::controls {
class MMRichStatic;
class MMSplash;
class MMTabSheet;
class MMTextProgress;
}  // namespace korvit::controls
namespace korvit::pages {
class DashPage;
class DisplayPage;
class ItemListPage;
class MonitorPage;
class HistogramPage;
}  // namespace korvit::pages

namespace korvit::shell {

class LogBar;
class OutputPage;
class OutputPageSink;
class ViewBridge;

/// The program's one top-level window: menus, tool bars, log bar, tab pages and status bar.
/// Every command runs here on the GUI thread; the engine and the player reach it only through
/// the view bridge.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    /// Builds the window, reads the settings, places the window and loads the last definition
    /// when the settings ask for it.
    explicit MainWindow(Application& app, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// Loads a definition, writes the result to the Output page and rebuilds the pages.
    bool LoadDefinition(const std::string& path);
    void SetPlaybackSpeed(float speed);
    void RefreshStatusBar();
    /// Sets the connection status, then refreshes the status bar and the log bar.
    void SetConnectionStatus(acquisition::ConnectionStatus status);
    void RefreshTitle();
    void UpdateLogBarButtons();
    /// Every display page rebuilds from the definition; the shown one draws at once.
    void RebuildPages();
    /// The shown display page draws what changed (pages::DisplayChanges bits).
    void RefreshShownPage(uint32_t changes);

    /// Scan: starts acquisition, or stops it when it runs.
    void ToggleScan();
    void SelectLog();
    /// The Monitors charts fill from the whole selected log in the background and then show
    /// it whole; nothing when no log is selected.
    void ShowWholeLog();
    LogOverview* logOverview() const { return overview_; }
    HistogramReview* histogramReview() const { return histogram_review_; }
    pages::HistogramPage* histogramPage() const { return histograms_page_; }
    /// File > Export Histogram as CSV...: the shown histogram's grid with its axis labels and
    /// the statistic shown, as `korvit-cli histogram` prints it.
    void ExportHistogramCsv();
    const app::HistogramFilters& histogramFilters() const { return histogram_filters_; }
    pages::MonitorPage* monitorPage() const { return monitors_; }
    void StartRecording();
    void PlayOrPause();
    /// Resumes a paused log at once; otherwise opens the last log on a worker thread and plays
    /// it when the open is done. Play again while it opens is ignored.
    void Play();
    /// True from Play until the log it opens plays, fails to open or is cancelled (Stop, Record,
    /// Load Log, Scan or closing the window).
    bool opening() const { return opening_; }
    /// True from Export Visible Range as CSV... until the export has said how it went.
    bool exporting() const { return exporting_; }
    void Pause();
    void Stop();
    void JumpForward();
    void JumpBackward();

    // Parts that tests and the screenshot option look at.
    controls::MMRichStatic* statusLine() const { return status_line_; }
    controls::MMTextProgress* rateLine() const { return rate_line_; }
    controls::MMTabSheet* tabs() const { return tabs_; }
    OutputPage* outputPage() const { return output_; }
    pages::DashPage* dashPage() const { return dash_; }
    pages::ItemListPage* itemListPage() const { return item_lists_; }
    OutputPageSink* outputSink() const { return sink_; }
    LogBar* logBar() const { return log_bar_; }
    ViewBridge* views() const { return views_; }
    QAction* speedAction(int index) const { return speed_actions_[index]; }
    QAction* editAction() const { return edit_; }
    QAction* newAction() const { return new_; }
    QAction* scanAction() const { return scan_; }
    MMPropTreeContainer* preferences() const { return preferences_; }
    /// True while the definition holds changes made on the pages that are not saved yet.
    bool definitionModified() const { return definition_modified_; }
    /// Path choosers; tests replace them so that no dialog opens.
    std::function<std::string(const QString& title, const QString& filter, const QString& ext,
                              bool save)>
        choose_file;
    /// Questions and notices for the user; tests answer them here instead of in a message box.
    std::function<int(const UserPrompt& prompt)> ask;
    /// Asks for a playback speed in percent (0 to 1000) starting from `current`; nothing when
    /// cancelled. Tests replace it so that no dialog opens.
    std::function<std::optional<int>(int current)> ask_speed;
    /// Logger > Playback Speed > Custom...: asks for a percentage and plays at it.
    void AskPlaybackSpeed();

  signals:
    /// Shutdown finished: settings written, window about to close.
    void shutDown();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    void BuildMenus();
    void BuildToolBars();
    void BuildStatusBar();
    void BuildPages();
    /// Adds a display page as a tab of its own; the window rebuilds and refreshes it from then on.
    void AddDisplayPage(pages::DisplayPage* page, const QString& title);
    void ShowSplash();
    void ConnectViews();

    // File commands.
    void LoadDefinitionCommand();
    bool SaveDefinition();
    bool SaveDefinitionAs();
    void ImportDefinition();
    void EditDefinition();
    void NewDefinition();
    void OpenPreferencesWindow();
    void About();

    /// Runs the engine's stop work on a thread of its own, so that the GUI never blocks.
    void StartStopWork(uint32_t flags);
    /// Joins the stop-work threads that have ended.
    void JoinEndedStopWork();
    void OnDatalogStopped();
    void OnCloseRequested();
    std::string ChooseFile(const QString& title, const QString& filter, const QString& ext,
                           bool save);
    int Ask(const UserPrompt& prompt);

    // Reviewing a log on the Monitors charts (main_window_review.cpp).
    /// With a log loaded, moves it to the record at the chart time, so every page shows it.
    void SeekToChartTime(double seconds);
    /// The charts filled from the selected log: the cursor goes to the log's position (its
    /// first record when it is not open), and the Dash and Item Lists show that record.
    void ShowLogPosition();
    /// File > Export Chart Image...: the Monitors charts and legends as a PNG.
    void ExportChartImage();
    /// File > Export Visible Range as CSV...: the log's records in the charts' time view,
    /// read and written on a worker; the Output page says when it is done or why it failed.
    void ExportVisibleRangeCsv();
    /// Stops a running export (its file is left as it was) and waits for its thread.
    void CancelExport();

    // Changes made on the pages (main_window_changes.cpp).
    void WatchDefinitionChanges();
    void SetDefinitionModified(bool modified);
    /// Before the definition is replaced or the program exits: offers to save changes made on
    /// the pages. False when the user cancels or the save fails.
    bool SaveChangesFirst();
    // Where the window was: frame position and size (main_window_changes.cpp).
    void RestorePlacement();
    void RememberPlacement();
    /// Moves the window once the window manager has framed it, should the frame not be where
    /// it was restored to.
    void CorrectFramePosition();
    void WatchFrameAfterShow();

    // Sizes (main_window_layout.cpp).
    void SizeStatusParts();
    void ApplyMinimumSize();

    // Keeping recordings and the Output page (main_window_recording.cpp).
    /// Writes the refusal to the Output page and shows it on the status line.
    void Refuse(const char* text);
    /// Asks for a name and moves the recording there until it is saved or the user keeps it in
    /// the recording file; false when the user cancels (only offered when exiting).
    bool SaveRecording(bool exiting);
    /// A write to the recording failed and ended it.
    void OnRecordingFailed();
    /// True while the player thread may still use the definition.
    bool PlayerBusy() const;
    /// True while a scan or the player still uses the definition (a stopped scan is given a
    /// moment to finish its goodbye).
    bool DefinitionInUse();
    /// Exit while recording: false when the user cancels the exit.
    bool KeepRecordingAtExit();
    void SaveOutputAsText();
    void SyncScanAction();
    /// The worker's open is done: plays the log unless the open was cancelled meanwhile.
    void OpenFinished(datalog::PreparedLog& prepared);
    /// Drops a running open (its result is ignored) and waits for its thread, which then ends
    /// within a few thousand records.
    void CancelOpen();

    Application& app_;
    ViewBridge* views_;
    controls::MMRichStatic* status_line_ = nullptr;
    controls::MMTextProgress* rate_line_ = nullptr;
    controls::MMTabSheet* tabs_ = nullptr;
    controls::MMSplash* splash_ = nullptr;
    OutputPage* output_ = nullptr;
    pages::DashPage* dash_ = nullptr;
    pages::ItemListPage* item_lists_ = nullptr;
    pages::MonitorPage* monitors_ = nullptr;
    pages::HistogramPage* histograms_page_ = nullptr;
    /// The "Only when" filter of each histogram, kept in korvit-histograms.ini.
    app::HistogramFilters histogram_filters_;
    LogOverview* overview_ = nullptr;
    HistogramReview* histogram_review_ = nullptr;
    /// After a seek: the histograms are rebuilt to hold the records up to the new position.
    void RebuildHistogramsAtPosition();
    /// The log whose whole lines the charts show or are being filled from; empty for none.
    std::string overview_log_;
    std::vector<pages::DisplayPage*> display_pages_;
    OutputPageSink* sink_ = nullptr;
    LogBar* log_bar_ = nullptr;
    QPointer<MMPropTreeContainer> preferences_;
    QAction* edit_ = nullptr;
    QAction* new_ = nullptr;
    QAction* scan_ = nullptr;
    QAction* connect_ = nullptr;
    std::array<QAction*, kSpeedItems> speed_actions_{};
    /// The session's questions, put to the user through ChooseFile and Ask.
    class SessionQuestions : public datalog::ILogSessionUI {
      public:
        explicit SessionQuestions(MainWindow& window) : window_(window) {}
        std::optional<std::string> AskSavePath() override;
        void ShowError(const std::string& title, const std::string& text) override;
        bool AskSaveAgain() override;
        bool exiting = false;
        bool cancelled = false;

      private:
        MainWindow& window_;
    };
    SessionQuestions questions_{*this};
    struct StopWork {
        std::thread thread;
        std::unique_ptr<std::atomic<bool>> done;
    };
    std::vector<StopWork> stop_threads_;
    std::thread opener_;
    std::shared_ptr<std::atomic<bool>> open_cancel_;
    bool opening_ = false;
    std::thread exporter_;
    std::shared_ptr<std::atomic<bool>> export_cancel_;
    bool exporting_ = false;
    bool shutting_down_ = false;
    bool may_close_ = false;
    bool definition_modified_ = false;
    QPoint frame_target_;
    bool frame_pending_ = false;
};

}  // namespace korvit::shell
