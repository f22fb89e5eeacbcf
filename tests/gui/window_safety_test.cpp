// What a new user runs into in the window: a scan and a log refusing each other, recordings that
// are never left only in temp.xdl without asking, the Output page, Load Log's check, the file
// dialogs' folder and the window's smallest size.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "app/views.h"
#include "controls/mm_rich_static.h"
#include "controls/mm_text_progress.h"
#include "datalog/data_log.h"
#include "platform/recording_location.h"
#include "shell/demo.h"
#include "shell/file_places.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "shell/output_page.h"

#include "../datalog/xdl_test_support.h"
#include "wait_until.h"
#include "window_fixture.h"

using namespace korvit::shell;
using korvit::acquisition::ConnectionStatus;
using korvit::datalog::DataLogState;

namespace {

class WindowSafetyTest : public WindowTest {
  protected:
    // The window with its dialogs and boxes answered from the queues below; an unexpected
    // question fails the test instead of blocking it.
    void ConfigureWindow(MainWindow& window) override {
        window.choose_file = [this](const QString&, const QString&, const QString&, bool) {
            if (files_.empty()) return std::string();
            std::string path = files_.front();
            files_.pop_front();
            return path;
        };
        window.ask = [this](const UserPrompt& prompt) {
            prompts_.push_back(prompt);
            if (answers_.empty()) {
                ADD_FAILURE() << "unexpected question: " << prompt.text.toStdString();
                return static_cast<int>(prompt.buttons.size()) - 1;
            }
            const int answer = answers_.front();
            answers_.pop_front();
            return answer;
        };
    }
    bool Said(const std::string& text) { return lines_.Text().find(text) != std::string::npos; }
    void StartDemoScan(Demo& demo) {
        ASSERT_TRUE(StartDemo(demo)) << lines_.Text();
        ASSERT_TRUE(
            WaitUntil([&] { return app_.engine.status() == ConnectionStatus::Connected; }, 10000));
    }
    void RecordSome(MainWindow& w, uint32_t records = 3) {
        w.StartRecording();
        ASSERT_EQ(app_.datalog.state(), DataLogState::Recording);
        ASSERT_TRUE(WaitUntil([&] { return app_.datalog.header().recordcount >= records; }, 10000));
    }
    void WaitForFlashEnd(MainWindow& w) {
        ASSERT_TRUE(WaitUntil([&] { return !w.statusLine()->flashing(); }, 5000));
    }

    std::deque<std::string> files_;
    std::deque<int> answers_;
    std::vector<UserPrompt> prompts_;
};

// Stands between the reply path and the window's views and, once armed, holds the player thread
// inside its next reply (after the gauges took it, before the histograms do) until released.
class HoldingViews : public korvit::app::IViews {
  public:
    explicit HoldingViews(korvit::app::IViews* inner) : inner_(inner) {}
    ~HoldingViews() override { Release(); }

    void Arm() {
        std::lock_guard lock(mutex_);
        armed_ = true;
    }
    bool held() {
        std::lock_guard lock(mutex_);
        return held_;
    }
    void Release() {
        std::lock_guard lock(mutex_);
        armed_ = false;
        changed_.notify_all();
    }

    void GaugesChanged() override {
        std::unique_lock lock(mutex_);
        if (armed_) {
            held_ = true;
            // Bounded, so that a failing test cannot hang the run.
            changed_.wait_for(lock, std::chrono::seconds(30), [this] { return !armed_; });
            held_ = false;
        }
        lock.unlock();
        inner_->GaugesChanged();
    }
    void RedrawItemList() override { inner_->RedrawItemList(); }
    void AddChartPoint(float t, korvit::evaluation::Packet packet, uint32_t hash) override {
        inner_->AddChartPoint(t, packet, hash);
    }
    void ReplyDecoded(float t, uint32_t hash) override { inner_->ReplyDecoded(t, hash); }
    void HistogramFed(const korvit::definition::ADXHistogram* histogram, int32_t cell) override {
        inner_->HistogramFed(histogram, cell);
    }
    void ResetCharts() override { inner_->ResetCharts(); }
    void SetChartTime(double seconds) override { inner_->SetChartTime(seconds); }
    void RefreshStatus() override { inner_->RefreshStatus(); }
    void FlashStatus(const char* text) override { inner_->FlashStatus(text); }
    void UpdateLogBar() override { inner_->UpdateLogBar(); }
    void SetLogPosition(uint32_t sampleindex) override { inner_->SetLogPosition(sampleindex); }
    void RecordingFailed() override { inner_->RecordingFailed(); }
    void PlaybackEnded() override { inner_->PlaybackEnded(); }
    void AcquisitionStopped() override { inner_->AcquisitionStopped(); }
    void DatalogStopped() override { inner_->DatalogStopped(); }
    void CloseRequested() override { inner_->CloseRequested(); }

    korvit::app::IViews* inner() const { return inner_; }

  private:
    korvit::app::IViews* inner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool held_ = false;
};

}  // namespace

// A log played during a scan would mix both streams; each refuses the other, on the Output page
// and the status line, and the Scan action shows whether a scan runs.
TEST_F(WindowSafetyTest, ScanAndPlaybackRefuseEachOther) {
    MainWindow& w = Window();
    Demo demo(app_, w);
    StartDemoScan(demo);
    EXPECT_TRUE(w.scanAction()->isChecked());
    RecordSome(w, 10);  // about a second, four at the quarter speed it plays at below
    const std::string log = dir_ + "drive.xdl";
    files_ = {log};
    w.Stop();
    ASSERT_TRUE(Said("Log saved to " + log)) << lines_.Text();

    w.Play();

    ASSERT_TRUE(WaitUntil([&] { return !w.opening(); }, 10000));
    EXPECT_NE(app_.datalog.state(), DataLogState::Playing);
    EXPECT_TRUE(Said("Stop scanning before playing a log"));
    EXPECT_EQ(w.statusLine()->shownText(), "Stop scanning before playing a log");
    WaitForFlashEnd(w);
    EXPECT_EQ(w.statusLine()->shownText(), "ALDL: Connected");

    w.ToggleScan();
    ASSERT_TRUE(WaitUntil([&] { return !w.scanAction()->isChecked(); }, 5000));
    ASSERT_TRUE(app_.engine.WaitIdle(std::chrono::seconds(5)));

    w.SetPlaybackSpeed(0.25f);  // slow enough that the log still plays while the test looks
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return !w.opening(); }, 10000));
    ASSERT_EQ(app_.datalog.state(), DataLogState::Playing);
    lines_.Clear();
    w.ToggleScan();
    EXPECT_FALSE(app_.engine.running());
    EXPECT_FALSE(w.scanAction()->isChecked());
    EXPECT_TRUE(Said("Stop the log before scanning"));
    EXPECT_EQ(w.statusLine()->shownText(), "Stop the log before scanning");

    // Paused counts as playing: the log still holds the pages.
    w.Pause();
    ASSERT_EQ(app_.engine.status(), ConnectionStatus::LogPaused);
    lines_.Clear();
    w.scanAction()->trigger();
    EXPECT_FALSE(app_.engine.running());
    EXPECT_FALSE(w.scanAction()->isChecked());
    EXPECT_TRUE(Said("Stop the log before scanning"));
    w.Stop();
}

// Pause only asks the player to stop: until its thread has left the reply it is in, Load and
// Import would free the objects it still uses, so both are refused; afterwards Load works.
TEST_F(WindowSafetyTest, LoadAndImportWaitForThePlayerThreadAfterPause) {
    MainWindow& w = Window();
    ASSERT_TRUE(w.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"));
    const korvit::definition::ADXCSendCommand* command = nullptr;
    for (const auto& object : app_.definition.objects()) {
        command = korvit::definition::As<korvit::definition::ADXCSendCommand>(object.get());
        if (command != nullptr && command->replysize > 0) break;
        command = nullptr;
    }
    ASSERT_NE(command, nullptr);
    using namespace korvit::datalog::testing;
    std::vector<BuiltRecord> records;
    for (uint32_t i = 0; i < 400; ++i) {
        records.push_back({i * 50, 0, std::vector<uint8_t>(command->replysize, uint8_t(i))});
    }
    const auto bytes = BuildXdl({{command->idhash(),
                                  std::string(command->id()),
                                  korvit::definition::ADXTYPE_SENDCOMMAND,
                                  command->replysize,
                                  command->replysize,
                                  {}}},
                                records);
    const std::string log = dir_ + "drive.xdl";
    std::ofstream(log, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    app_.settings.lastxdlpath = log;

    HoldingViews views(app_.engine.callback().views());
    app_.engine.set_views(&views);
    views.Arm();
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return views.held(); }, 10000)) << lines_.Text();
    w.Pause();
    ASSERT_NE(app_.datalog.state(), DataLogState::Playing);
    ASSERT_TRUE(app_.datalog.player_running());

    const auto* first = app_.definition.objects().front().get();
    lines_.Clear();
    EXPECT_FALSE(w.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"));
    EXPECT_TRUE(Said("Stop scanning and playback before loading")) << lines_.Text();
    files_ = {dir_ + "old.ads"};
    QAction* import = Find("Definition...");
    ASSERT_NE(import, nullptr);
    import->trigger();
    EXPECT_TRUE(Said("Stop scanning and playback before importing")) << lines_.Text();
    EXPECT_EQ(app_.definition.objects().front().get(), first);

    // Let go: the player finishes its reply with the objects it had and ends.
    views.Release();
    ASSERT_TRUE(WaitUntil([&] { return !app_.datalog.player_running(); }, 10000));
    w.Stop();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.state() == DataLogState::Closed; }, 10000));
    app_.engine.set_views(views.inner());
    lines_.Clear();
    EXPECT_TRUE(w.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx")) << lines_.Text();
}

// Exit while recording and a cancelled save dialog both ask before the drive is left only in
// temp.xdl; a save into a missing folder names the reason and offers the dialog again.
TEST_F(WindowSafetyTest, RecordingIsNeverLeftOnlyInTempXdlWithoutAsking) {
    MainWindow& w = Window();
    Demo demo(app_, w);
    StartDemoScan(demo);
    RecordSome(w);

    // Stop, cancel the dialog, keep it in temp.xdl.
    answers_ = {kPromptKeep};
    w.Stop();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "The recording is only in temp.xdl. Save it?");
    EXPECT_EQ(prompts_[0].buttons, QStringList({"Save", "Keep in temp.xdl"}));
    EXPECT_EQ(app_.datalog.state(), DataLogState::Closed);
    EXPECT_GT(std::filesystem::file_size(korvit::platform::RecordingPath()), 40u);

    // A folder that does not exist: the classic line, the reason, then the question again.
    RecordSome(w);
    prompts_.clear();
    const std::string missing = dir_ + "nodir/x.xdl";
    const std::string good = dir_ + "good.xdl";
    files_ = {missing, good};
    answers_ = {0, kPromptSave};  // OK on "Cannot overwrite", then Save
    w.Stop();
    ASSERT_EQ(prompts_.size(), 2u);
    EXPECT_EQ(prompts_[0].title, "Cannot overwrite");
    EXPECT_EQ(prompts_[1].text, "The recording is only in temp.xdl. Save it?");
    EXPECT_TRUE(Said("Cannot overwrite existing log: " + missing + ", error 0x2")) << lines_.Text();
    EXPECT_TRUE(Said("The log was not saved: the folder " + dir_ + "nodir does not exist"))
        << lines_.Text();
    EXPECT_TRUE(Said("Log saved to " + good));
    EXPECT_EQ(app_.settings.lastxdlpath, good);

    // Exit while recording: Cancel keeps the window and the recording.
    RecordSome(w);
    w.show();
    QSignalSpy done(&w, &MainWindow::shutDown);
    prompts_.clear();
    answers_ = {kPromptCancel};
    w.close();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].buttons, QStringList({"Save", "Keep in temp.xdl", "Cancel"}));
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 0);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(app_.datalog.state(), DataLogState::Recording);

    // Save, cancel the dialog once, Save again: the recording lands where the user said.
    const std::string at_exit = dir_ + "exit.xdl";
    files_ = {"", at_exit};
    answers_ = {kPromptSave, kPromptSave};
    w.close();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_TRUE(Said("Log saved to " + at_exit)) << lines_.Text();
    korvit::datalog::DataLog check;
    ASSERT_EQ(check.Open(at_exit), 0u);
    EXPECT_GE(check.header().recordcount, 3u);
}

TEST_F(WindowSafetyTest, OutputPageIsReadOnlyAndStaysWhereTheUserScrolled) {
    MainWindow& w = Window();
    w.resize(700, 500);
    w.show();
    OutputPage* page = w.outputPage();
    for (int i = 0; i < 300; ++i) app_.log.Print("line %d", i);
    ASSERT_TRUE(WaitUntil([&] { return page->toPlainText().endsWith("line 299"); }, 2000));
    const QString before = page->toPlainText();
    page->setFocus();
    QTest::keyClicks(page, "typed");
    QTest::keyClick(page, Qt::Key_Backspace);
    QTest::keyClick(page, Qt::Key_Delete);
    EXPECT_EQ(page->toPlainText(), before);

    QScrollBar* bar = page->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());  // follows the newest line
    bar->setValue(10);
    for (int i = 0; i < 50; ++i) app_.log.Print("more %d", i);
    ASSERT_TRUE(WaitUntil([&] { return page->toPlainText().endsWith("more 49"); }, 2000));
    EXPECT_EQ(bar->value(), 10);  // left where the user reads
    bar->setValue(bar->maximum());
    app_.log.PrintLine("newest");
    ASSERT_TRUE(WaitUntil([&] { return page->toPlainText().endsWith("newest"); }, 2000));
    EXPECT_EQ(bar->value(), bar->maximum());  // following again

    page->copyAllAction()->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), page->toPlainText());
    const std::string text_file = dir_ + "output.txt";
    files_ = {text_file};
    page->saveAsTextAction()->trigger();
    EXPECT_EQ(Slurp(text_file), page->toPlainText().toStdString() + "\n");

    // Both are in the page's context menu.
    QContextMenuEvent menu_event(QContextMenuEvent::Mouse, QPoint(20, 20),
                                 page->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(page->viewport(), &menu_event);
    QMenu* menu = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }, 2000));
    EXPECT_TRUE(menu->actions().contains(page->copyAllAction()));
    EXPECT_TRUE(menu->actions().contains(page->saveAsTextAction()));
    menu->close();
}

TEST_F(WindowSafetyTest, LoadLogChecksTheFileAtOnce) {
    MainWindow& w = Window();
    const std::string junk = dir_ + "notes.xdl";
    std::ofstream(junk) << "these are my notes, not a datalog at all";
    files_ = {junk};
    w.SelectLog();
    EXPECT_TRUE(Said("Not a datalog: " + junk + " (")) << lines_.Text();
    EXPECT_EQ(app_.settings.lastxdlpath, "");

    // A real datalog: two records of the demo's first command.
    korvit::definition::ADXDefinition def;
    std::string error;
    ASSERT_EQ(def.Load(KORVIT_SOURCE_DIR "/samples/demo.adx", error), 1) << error;
    const std::string log = dir_ + "two.xdl";
    korvit::datalog::DataLog writer;
    ASSERT_EQ(writer.Record(log, def), 0u);
    const auto& command = writer.commands().front();
    std::vector<uint8_t> reply(command.replysize, 0x11);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(writer.AppendRecord(command.idhash, reply.data(), command.replysize), 0u);
    }
    ASSERT_EQ(writer.Close(), 1u);
    files_ = {log};
    w.SelectLog();
    EXPECT_TRUE(Said("Selected " + log + ": 2 records, recorded ")) << lines_.Text();
    EXPECT_EQ(app_.settings.lastxdlpath, log);
    EXPECT_TRUE(w.windowTitle().contains("two.xdl"));
}

TEST_F(WindowSafetyTest, DialogsStartInTheCurrentFilesFolder) {
    std::filesystem::create_directory(dir_ + "defs");
    const std::string def = dir_ + "defs/car.adx";
    EXPECT_EQ(DialogStartFolder({def, dir_ + "logs/x.xdl"}).toStdString(), dir_ + "defs");
    // A folder that is gone is skipped; nothing left gives the documents or home folder.
    EXPECT_EQ(DialogStartFolder({dir_ + "gone/x.xdl", def}).toStdString(), dir_ + "defs");
    const QString fallback = DialogStartFolder({"", dir_ + "gone/x.adx"});
    EXPECT_TRUE(fallback == QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) ||
                fallback == QDir::homePath())
        << fallback.toStdString();
}

// At its smallest the window still shows the whole status texts and the log bar with its
// slider at full width.
TEST_F(WindowSafetyTest, SmallestWindowClipsNothing) {
    MainWindow& w = Window();
    w.show();
    w.resize(250, 150);
    ASSERT_TRUE(WaitUntil([&] { return w.size() == w.minimumSize(); }, 2000));
    EXPECT_GT(w.width(), 250);
    QCoreApplication::processEvents();

    auto* line = w.statusLine();
    const QFontMetrics metrics(line->textFont());
    for (const char* text :
         {"ALDL: Not Connected", "ALDL: Connecting...", "Stop scanning before playing a log"}) {
        EXPECT_GT(line->width(), metrics.horizontalAdvance(text)) << text;
    }
    EXPECT_GT(
        w.rateLine()->width(),
        QFontMetrics(w.rateLine()->textFont()).horizontalAdvance("9999.99 Hz   Errors: 99999"));
    const QRect bar = w.statusBar()->rect();
    for (QWidget* part : {static_cast<QWidget*>(line), static_cast<QWidget*>(w.rateLine())}) {
        EXPECT_TRUE(bar.contains(part->geometry())) << part->objectName().toStdString();
        EXPECT_TRUE(part->isVisible());
    }
    LogBar* log = w.logBar();
    EXPECT_TRUE(log->isVisible());
    EXPECT_GE(log->width(), log->minimumSizeHint().width());
    EXPECT_TRUE(w.rect().contains(QRect(log->mapTo(&w, QPoint(0, 0)), log->size())));
    const int small_slider = log->slider()->width();
    // The picture shows the longest status text (a refusal) and a rate line text.
    w.SetConnectionStatus(ConnectionStatus::Connected);
    w.SetConnectionStatus(ConnectionStatus::LogPaused);
    w.ToggleScan();
    EXPECT_EQ(line->shownText(), "Stop the log before scanning");
    if (const char* shots = std::getenv("KORVIT_SHOT_DIR")) {
        w.grab().save(QString(shots) + "/window-minimum.png");
    }

    // The pages make the smallest window wide enough for the slider's full width already; it
    // keeps that width however wide the window grows.
    EXPECT_EQ(small_slider, 400);
    w.resize(1400, w.minimumHeight());
    ASSERT_TRUE(WaitUntil([&] { return log->slider()->width() == 400; }, 2000))
        << log->slider()->width();
}
