#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "acquisition/dae_callback.h"
#include "controls/mm_rich_static.h"
#include "controls/mm_tab_sheet.h"
#include "controls/mm_text_progress.h"
#include "shell/demo.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "shell/output_page.h"
#include "shell/view_bridge.h"

#include "../datalog/xdl_test_support.h"
#include "wait_until.h"
#include "window_fixture.h"

using namespace korvit::shell;
using korvit::acquisition::ConnectionStatus;
using korvit::datalog::DataLogState;
using korvit::datalog::LogBarButtons;

namespace {

class MainWindowTest : public WindowTest {
  protected:
    std::string OutputText() {
        QCoreApplication::processEvents();
        Window().outputSink()->Flush();
        return Window().outputPage()->toPlainText().toStdString();
    }
    QStringList MenuTexts(const QString& title) {
        for (QAction* a : Window().menuBar()->actions()) {
            if (a->text() != title) continue;
            QStringList texts;
            for (QAction* item : a->menu()->actions()) {
                texts << (item->isSeparator() ? "-" : item->text());
            }
            return texts;
        }
        return {};
    }
};

}  // namespace

TEST_F(MainWindowTest, MenusCarryTheirTextsAndShortcuts) {
    QStringList top;
    for (QAction* a : Window().menuBar()->actions()) top << a->text();
    EXPECT_EQ(top, QStringList({"&File", "Scanner", "Logger", "&Help"}));
    EXPECT_EQ(MenuTexts("&File"),
              QStringList({"Load Definition...\tCtrl + L", "Save Definition\tCtrl+S",
                           "Save Definition As...\tCtrl + Shift + S", "Import", "-",
                           "Edit Definition...\tCtrl + F2", "New Definition...\tCtrl + N", "-",
                           "Export Chart Image...", "Export Visible Range as CSV...",
                           "Export Histogram as CSV...", "-", "Preferences...", "-", "E&xit"}));
    EXPECT_EQ(MenuTexts("Scanner"), QStringList({"Scan\t'"}));
    EXPECT_EQ(MenuTexts("Logger"),
              QStringList({"Load Log...\t Ctrl + Alt + L", "-", "Record\tCtrl + Alt + Space",
                           "Play\tSpace", "Stop\tCtrl + Space", "Pause\tSpace", "-",
                           "Jump Forward 10 Samples\t]", "Jump Backward 10 Samples\t[", "-",
                           "Playback Speed"}));
    EXPECT_EQ(MenuTexts("&Help"), QStringList({"&About ..."}));

    const std::pair<const char*, QKeySequence> keys[] = {
        {"Load Definition...\tCtrl + L", QKeySequence("Ctrl+L")},
        {"Save Definition As...\tCtrl + Shift + S", QKeySequence("Ctrl+Shift+S")},
        {"Edit Definition...\tCtrl + F2", QKeySequence("Ctrl+F2")},
        {"Scan\t'", QKeySequence(Qt::Key_QuoteLeft)},
        {"Record\tCtrl + Alt + Space", QKeySequence("Ctrl+Alt+Space")},
        {"Pause\tSpace", QKeySequence(Qt::Key_Space)},
        {"Stop\tCtrl + Space", QKeySequence("Ctrl+Space")},
        {"Jump Forward 10 Samples\t]", QKeySequence(Qt::Key_BracketRight)},
        {"Jump Backward 10 Samples\t[", QKeySequence(Qt::Key_BracketLeft)},
        {"400%\tCtrl + 7", QKeySequence("Ctrl+7")},
        {"25%\tCtrl + 3", QKeySequence("Ctrl+3")},
        {"Custom...\tCtrl + 0", QKeySequence("Ctrl+0")},
    };
    for (const auto& [text, key] : keys) {
        QAction* action = Find(text);
        ASSERT_NE(action, nullptr) << text;
        EXPECT_EQ(action->shortcut(), key) << text;
    }
    // One key, one action: Space must not be ambiguous between Play and Pause.
    EXPECT_TRUE(Find("Play\tSpace")->shortcut().isEmpty());
}

TEST_F(MainWindowTest, SpeedKeysCheckTheirItemAndShowInTheTitle) {
    MainWindow& w = Window();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_TRUE(w.speedAction(2)->isChecked());
    EXPECT_TRUE(w.windowTitle().endsWith("(Speed: 100%)"));

    QTest::keyClick(&w, Qt::Key_6, Qt::ControlModifier);
    EXPECT_EQ(app_.datalog.speed(), 2.0f);
    EXPECT_TRUE(w.windowTitle().endsWith("(Speed: 200%)")) << w.windowTitle().toStdString();
    for (int i = 0; i < kSpeedItems; ++i) EXPECT_EQ(w.speedAction(i)->isChecked(), i == 1) << i;

    w.SetPlaybackSpeed(1.5f);
    EXPECT_TRUE(w.speedAction(kSpeedCustom)->isChecked());
    EXPECT_FALSE(w.speedAction(1)->isChecked());
    EXPECT_TRUE(w.windowTitle().endsWith("(Speed: 150%)"));

    w.speedAction(kSpeedAsFastAsPossible)->trigger();
    EXPECT_EQ(app_.datalog.speed(), 0.0f);
    EXPECT_TRUE(w.speedAction(kSpeedAsFastAsPossible)->isChecked());
    EXPECT_FALSE(w.speedAction(kSpeedCustom)->isChecked());
    EXPECT_EQ(w.speedAction(kSpeedAsFastAsPossible)->text(), "As fast as possible");
}

// Custom... asks for a percentage: 0 plays as fast as possible, a preset's value checks the
// preset, anything else checks Custom; a cancel or a figure out of range changes nothing.
TEST_F(MainWindowTest, CustomSpeedAsksForAPercentage) {
    MainWindow& w = Window();
    std::optional<int> answer;
    int asked_with = -1;
    w.ask_speed = [&](int current) {
        asked_with = current;
        return answer;
    };
    answer = 350;
    w.speedAction(kSpeedCustom)->trigger();
    EXPECT_EQ(asked_with, 100);
    EXPECT_FLOAT_EQ(app_.datalog.speed(), 3.5f);
    EXPECT_TRUE(w.speedAction(kSpeedCustom)->isChecked());
    EXPECT_TRUE(w.windowTitle().endsWith("(Speed: 350%)")) << w.windowTitle().toStdString();

    answer = std::nullopt;  // cancelled
    w.speedAction(kSpeedCustom)->trigger();
    EXPECT_EQ(asked_with, 350);
    EXPECT_FLOAT_EQ(app_.datalog.speed(), 3.5f);
    EXPECT_TRUE(w.speedAction(kSpeedCustom)->isChecked());

    answer = 1001;
    w.speedAction(kSpeedCustom)->trigger();
    EXPECT_FLOAT_EQ(app_.datalog.speed(), 3.5f);

    answer = 50;
    w.speedAction(kSpeedCustom)->trigger();
    EXPECT_EQ(app_.datalog.speed(), 0.5f);
    EXPECT_TRUE(w.speedAction(3)->isChecked());
    EXPECT_FALSE(w.speedAction(kSpeedCustom)->isChecked());

    answer = 0;
    w.speedAction(kSpeedCustom)->trigger();
    EXPECT_EQ(app_.datalog.speed(), 0.0f);
    EXPECT_TRUE(w.speedAction(kSpeedAsFastAsPossible)->isChecked());
}

TEST_F(MainWindowTest, StatusBarFollowsTheConnectionAndTheDatalog) {
    MainWindow& w = Window();
    auto* line = w.statusLine();
    EXPECT_EQ(line->shownText(), "ALDL: Not Connected");
    EXPECT_EQ(line->shownBackground(), QColor(255, 255, 0));

    w.SetConnectionStatus(ConnectionStatus::Connected);
    EXPECT_EQ(line->shownText(), "ALDL: Connected");
    EXPECT_EQ(line->shownTextColor(), QColor(255, 255, 255));
    EXPECT_EQ(w.rateLine()->text(), "0.00 Hz   Errors: 0");

    w.SetConnectionStatus(ConnectionStatus::Connecting);
    EXPECT_EQ(line->shownText(), "ALDL: Connecting...");
    EXPECT_EQ(w.rateLine()->text(), "0.00 Hz   Errors: 0");  // kept

    // A flash from a worker thread shows in red and goes after 500 ms.
    std::thread([&] { w.views()->FlashStatus("Packet Error!"); }).join();
    ASSERT_TRUE(WaitUntil([&] { return line->shownText() == QString("Packet Error!"); }, 2000));
    EXPECT_EQ(line->shownBackground(), QColor(255, 0, 0));
    ASSERT_TRUE(
        WaitUntil([&] { return line->shownText() == QString("ALDL: Connecting..."); }, 2000))
        << line->shownText().toStdString();

    w.SetConnectionStatus(ConnectionStatus::NotConnected);
    EXPECT_EQ(w.rateLine()->text(), "");
}

TEST_F(MainWindowTest, LogBarFollowsItsTableInEveryState) {
    MainWindow& w = Window();
    struct Row {
        DataLogState state;
        ConnectionStatus status;
        LogBarButtons buttons;  // play, record, stop, pause, select, slider
    };
    const Row rows[] = {
        {DataLogState::Closed, ConnectionStatus::NotConnected, {1, 0, 0, 0, 1, 0}},
        {DataLogState::Closed, ConnectionStatus::Connected, {1, 1, 0, 0, 1, 0}},
        {DataLogState::Open, ConnectionStatus::LogPaused, {1, 0, 1, 0, 0, 1}},
        {DataLogState::Open, ConnectionStatus::Connected, {1, 1, 0, 0, 1, 0}},
        {DataLogState::Open, ConnectionStatus::Connecting, {1, 0, 0, 0, 1, 0}},
        {DataLogState::Created, ConnectionStatus::Connected, {0, 0, 0, 0, 0, 0}},
        {DataLogState::Playing, ConnectionStatus::NotConnected, {0, 0, 1, 1, 0, 1}},
        {DataLogState::Recording, ConnectionStatus::Connected, {0, 0, 1, 0, 0, 0}},
        {DataLogState::Stopping, ConnectionStatus::LogPaused, {1, 0, 0, 0, 1, 0}},
    };
    for (const auto& row : rows) {
        app_.datalog.SetState(row.state);
        w.SetConnectionStatus(row.status);
        EXPECT_EQ(w.logBar()->enabled(), row.buttons)
            << static_cast<int>(row.state) << "/" << static_cast<int>(row.status);
    }
    app_.datalog.SetState(DataLogState::Closed);
    QStringList tips;
    for (QAction* a : {w.logBar()->record(), w.logBar()->play(), w.logBar()->pause(),
                       w.logBar()->stop(), w.logBar()->select()}) {
        tips << a->toolTip();
    }
    EXPECT_EQ(
        tips,
        QStringList({"Begin Recording", "Play Current Log Session", "Pause Playback of Log Session",
                     "Stop Playback of Current Log Session", "Select a Log Session to Play"}));
}

TEST_F(MainWindowTest, BrokenDefinitionWritesTwoOutputLines) {
    const std::string broken = dir_ + "broken.adx";
    std::ofstream(broken) << "<?xml version=\"1.0\"?>\n<ADXFORMAT version=\"x\"><ADXHEADER>"
                             "<baud>8192</baud></ADXHEADER>";
    MainWindow& w = Window();
    QCoreApplication::processEvents();  // the start-up lines reach the page first
    lines_.Clear();
    w.outputPage()->clear();
    EXPECT_FALSE(w.LoadDefinition(broken));
    const std::string text = lines_.Text();
    ASSERT_EQ(text.rfind("FAILED to Load " + broken + "\r\n", 0), 0u) << text;
    EXPECT_GT(text.size(), ("FAILED to Load " + broken + "\r\n").size());  // the loader's reason
    EXPECT_EQ(app_.settings.lastadxpath, "");  // the current path stays as it was

    // The page shows the same lines, the first without a line break before it.
    EXPECT_EQ(OutputText().rfind("FAILED to Load " + broken + "\n", 0), 0u);

    EXPECT_FALSE(w.LoadDefinition(dir_ + "missing.adx"));
    EXPECT_NE(lines_.Text().find("FAILED to Load " + dir_ + "missing.adx"), std::string::npos);
}

TEST_F(MainWindowTest, SettingsAreReadAtStartAndWrittenAtExit) {
    std::ofstream(app_.settings_path) << "lastadxpath=\r\ncomport=/dev/ttyS3\r\nloadlastdef=1\r\n"
                                         "winposx=-2000\r\nwinposy=40\r\nwinsizex=700\r\n"
                                         "winsizey=450\r\nbogus line\r\n";
    MainWindow& w = Window();
    EXPECT_EQ(app_.settings.comport, "/dev/ttyS3");
    EXPECT_EQ(w.size(), QSize(700, 450));
    // loadlastdef with an empty path tries the empty path.
    EXPECT_EQ(lines_.Text().rfind("FAILED to Load ", 0), 0u);

    w.show();
    QSignalSpy done(&w, &MainWindow::shutDown);
    w.close();
    EXPECT_TRUE(w.isVisible());  // the stop work runs first
    ASSERT_TRUE(done.wait(5000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
    const std::string written = Slurp(app_.settings_path);
    EXPECT_NE(written.find("comport=/dev/ttyS3\r\nloadlastdef=1\r\nlastxdlpath=\r\n"),
              std::string::npos)
        << written;
    EXPECT_NE(written.find("winsizex=700\r\nwinsizey=450\r\n"), std::string::npos) << written;
}

TEST_F(MainWindowTest, PreferencesOkStoresTheTypedDeviceAndCancelDoesNot) {
    MainWindow& w = Window();
    w.show();
    Find("Preferences...")->trigger();
    ASSERT_NE(w.preferences(), nullptr);
    auto* prefs = w.preferences();
    EXPECT_EQ(prefs->windowTitle(), "Preferences");
    ASSERT_NE(prefs->shownPage(), nullptr);
    auto* box = prefs->findChild<QComboBox*>("ComPort");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());  // COM Setup is the page shown first
    QStringList pages;
    for (int i = 0; i < prefs->tree()->topLevelItemCount(); ++i) {
        pages << prefs->tree()->topLevelItem(i)->text(0);
    }
    EXPECT_EQ(pages, QStringList({"General", "COM Setup", "Keyboard Accelerators"}));

    box->setCurrentText("/dev/pts/7");
    prefs->cancelButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return w.preferences() == nullptr; }, 5000));
    EXPECT_EQ(app_.settings.comport, "/dev/ttyUSB0");

    Find("Preferences...")->trigger();
    w.preferences()->findChild<QComboBox*>("ComPort")->setCurrentText("/dev/pts/7");
    w.preferences()->okButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return w.preferences() == nullptr; }, 5000));
    EXPECT_EQ(app_.settings.comport, "/dev/pts/7");
    EXPECT_TRUE(w.isEnabled());
}

/// Runs `drive` on the definition editor once its modal loop is up.
void WhenEditorShows(std::function<void(QDialog*)> drive) {
    QTimer::singleShot(10, [drive] {
        auto* editor = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (editor == nullptr || editor->objectName() != "DefcrafterWindow") {
            WhenEditorShows(drive);
            return;
        }
        drive(editor);
    });
}

TEST_F(MainWindowTest, EditorLibraryEnablesEditAndNewAndTheWindowLoadsWhatItSaves) {
    {
        MainWindow& w = Window();
        EXPECT_FALSE(w.editAction()->isEnabled());
        EXPECT_FALSE(w.newAction()->isEnabled());
    }
    window_.reset();
    EXPECT_FALSE(app_.editor.Load(QString::fromStdString(dir_)));
    EXPECT_TRUE(app_.editor.failure().startsWith("Unable to Defcrafter.dll"));
    ASSERT_TRUE(app_.editor.Load(KORVIT_EDITOR_DIR)) << app_.editor.failure().toStdString();
    MainWindow& w = Window();
    EXPECT_TRUE(w.editAction()->isEnabled());

    // Closed without saving: nothing changes. While the editor is up it is the modal window, so
    // the main window takes no input.
    app_.settings.lastadxpath = "/defs/kept.adx";
    lines_.Clear();
    bool modal = false;
    WhenEditorShows([&modal](QDialog* editor) {
        modal = editor->isModal();
        editor->reject();
    });
    w.editAction()->trigger();
    WhenEditorShows([](QDialog* editor) { editor->reject(); });
    w.newAction()->trigger();
    EXPECT_TRUE(modal);
    EXPECT_EQ(app_.settings.lastadxpath, "/defs/kept.adx");
    EXPECT_EQ(lines_.Text(), "");

    // Saved: the window loads the saved definition.
    const std::string path = dir_ + "demo.adx";
    std::filesystem::copy_file(KORVIT_SOURCE_DIR "/samples/demo.adx", path);
    app_.settings.lastadxpath = path;
    WhenEditorShows([](QDialog* editor) {
        for (QAction* a : editor->findChildren<QAction*>()) {
            if (a->text() == "Save") a->trigger();
        }
        editor->reject();
    });
    w.editAction()->trigger();
    EXPECT_NE(lines_.Text().find("Saved " + path), std::string::npos) << lines_.Text();
    EXPECT_NE(lines_.Text().find("Loaded " + path), std::string::npos) << lines_.Text();
    EXPECT_EQ(app_.settings.lastadxpath, path);
}

TEST_F(MainWindowTest, MissingDeviceAndMissingDatalogEndInOutputLines) {
    MainWindow& w = Window();
    app_.settings.comport = dir_ + "no-such-tty";
    w.ToggleScan();
    ASSERT_TRUE(app_.engine.WaitIdle(std::chrono::seconds(5)));
    ASSERT_TRUE(WaitUntil(
        [&] { return w.statusLine()->shownText() == QString("ALDL: Not Connected"); }, 2000))
        << w.statusLine()->shownText().toStdString();
    EXPECT_NE(lines_.Text().find("Unable to open port (" + dir_ + "no-such-tty)!"),
              std::string::npos)
        << lines_.Text();

    app_.settings.lastxdlpath = dir_ + "gone.xdl";
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return !w.opening(); }, 10000));
    EXPECT_NE(lines_.Text().find("Could not open " + dir_ + "gone.xdl, error 0xC"),
              std::string::npos)
        << lines_.Text();
    EXPECT_EQ(app_.datalog.state(), DataLogState::Closed);
    EXPECT_EQ(w.statusLine()->shownText(), "ALDL: Not Connected");
}

TEST(OutputPage, LinesFromWorkerThreadsArriveInOrderAndClearEmptiesThePage) {
    OutputPage page;
    OutputPageSink sink(&page);
    korvit::app::OutputLog log;
    log.AddSink(&sink);
    log.PrintLine("first");
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) log.Print("line %d", i);
    });
    worker.join();
    QCoreApplication::processEvents();
    const QStringList lines = page.toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 101);
    EXPECT_EQ(lines.front(), "first");
    EXPECT_EQ(lines.back(), "line 99");

    // A second batch right after the first waits for the next frame, then empties the page.
    log.Clear();
    log.PrintLine("after");
    EXPECT_TRUE(WaitUntil([&] { return page.toPlainText() == "after"; }, 2000))
        << page.toPlainText().toStdString();
    log.RemoveSink(&sink);
}

// A hidden page takes lines less often, and shown again it holds every one of them at once.
TEST(OutputPage, AHiddenPageCatchesUpTheMomentItIsShown) {
    OutputPage page;
    OutputPageSink sink(&page);
    korvit::app::OutputLog log;
    log.AddSink(&sink);
    page.show();
    log.PrintLine("shown");
    ASSERT_TRUE(WaitUntil([&] { return page.toPlainText() == "shown"; }, 2000));
    page.hide();
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i) log.Print("line %d", i);
    });
    worker.join();
    QCoreApplication::processEvents();
    page.show();
    const QStringList lines = page.toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 101);
    EXPECT_EQ(lines[1], "line 0");
    EXPECT_EQ(lines.back(), "line 99");
    log.RemoveSink(&sink);
}

// The whole round through the window against the simulator: scan, record, save the recording,
// play it back to its end, then close the window during a second playback.
TEST_F(MainWindowTest, RecordedScanPlaysBackToItsEndAndClosingStopsPlayback) {
    MainWindow& w = Window();
    std::string chosen = dir_ + "run.xdl";
    w.choose_file = [&chosen](const QString&, const QString&, const QString&, bool) {
        return chosen;
    };
    Demo demo(app_, w);
    ASSERT_TRUE(StartDemo(demo)) << lines_.Text();
    ASSERT_TRUE(
        WaitUntil([&] { return w.statusLine()->shownText() == QString("ALDL: Connected"); }, 10000))
        << w.statusLine()->shownText().toStdString();

    w.StartRecording();
    EXPECT_EQ(w.statusLine()->shownText(), "Log Recording");
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.header().recordcount >= 6; }, 10000));
    w.Stop();
    EXPECT_NE(lines_.Text().find("Log saved to " + chosen), std::string::npos) << lines_.Text();
    w.ToggleScan();
    ASSERT_TRUE(app_.engine.WaitIdle(std::chrono::seconds(5)));
    ASSERT_TRUE(WaitUntil(
        [&] { return w.statusLine()->shownText() == QString("ALDL: Not Connected"); }, 5000))
        << w.statusLine()->shownText().toStdString();

    ASSERT_TRUE(std::filesystem::exists(chosen));
    const auto saved_size = std::filesystem::file_size(chosen);

    w.Play();

    ASSERT_TRUE(WaitUntil([&] { return !w.opening(); }, 10000));
    const int records = w.findChild<LogBar*>()->slider()->maximum();
    EXPECT_GE(records, 6);
    EXPECT_EQ(w.statusLine()->shownText(), "Log Playing");
    ASSERT_TRUE(WaitUntil([&] { return w.findChild<LogBar*>()->slider()->value() > 0; }, 5000));
    ASSERT_TRUE(WaitUntil(
        [&] { return OutputText().find("Playback stopped") != std::string::npos; }, 10000));
    EXPECT_EQ(app_.datalog.state(), DataLogState::Closed);
    EXPECT_EQ(w.findChild<LogBar*>()->slider()->value(), 0);
    EXPECT_EQ(w.statusLine()->shownText(), "ALDL: Not Connected");
    EXPECT_EQ(std::filesystem::file_size(chosen), saved_size);  // playing never writes

    w.Play();

    ASSERT_TRUE(WaitUntil([&] { return !w.opening(); }, 10000));
    ASSERT_EQ(app_.datalog.state(), DataLogState::Playing);
    w.show();
    QSignalSpy done(&w, &MainWindow::shutDown);
    w.close();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_NE(app_.datalog.state(), DataLogState::Playing);
    EXPECT_NE(Slurp(app_.settings_path).find("lastxdlpath=" + chosen + "\r\n"), std::string::npos);
}

// What a recording holds, without its clock: the command table and each record's command and
// bytes.
struct RecordedContents {
    uint32_t code = 0;
    std::vector<uint32_t> table;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records;
};

RecordedContents ReadRecording(const std::string& path) {
    RecordedContents out;
    korvit::datalog::DataLog log;
    out.code = log.Open(path);
    if (out.code != 0) return out;
    for (const auto& command : log.commands()) out.table.push_back(command.idhash);
    std::vector<uint8_t> buffer(log.LargestStoredSize() + 1);
    const korvit::datalog::DataLogCommand* entry = nullptr;
    while (log.ReadRecord(buffer.data(), buffer.size(), &entry) == 0) {
        out.records.push_back(
            {entry->idhash,
             std::vector<uint8_t>(buffer.begin(), buffer.begin() + entry->storedsize)});
    }
    log.Close();
    return out;
}

/// Answers the save question the way `korvit-cli scan --record` does.
class SavePathAnswer : public korvit::datalog::ILogSessionUI {
  public:
    explicit SavePathAnswer(std::string path) : path_(std::move(path)) {}
    std::optional<std::string> AskSavePath() override { return path_; }
    void ShowError(const std::string&, const std::string&) override {}

  private:
    std::string path_;
};

// The window and the command-line program record through the same session: the same replies
// give the same files.
TEST_F(MainWindowTest, WindowAndCommandLineRecordTheSameFileForTheSameReplies) {
    app_.settings.loadlastdef = 0;
    MainWindow& w = Window();
    ASSERT_TRUE(w.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"));
    const std::string window_file = dir_ + "window.xdl";
    w.choose_file = [&](const QString&, const QString&, const QString&, bool) {
        return window_file;
    };
    // The command-line program's pieces, as `scan --record` puts them together.
    korvit::definition::ADXDefinition def;
    std::string error;
    ASSERT_EQ(def.Load(KORVIT_SOURCE_DIR "/samples/demo.adx", error), 1) << error;
    korvit::acquisition::AcquisitionState state;
    korvit::app::OutputLog log;
    korvit::datalog::DataLog datalog;
    korvit::datalog::LogSession session(def, state, log, datalog);
    SavePathAnswer answer(dir_ + "cli.xdl");
    session.set_ui(&answer);
    session.set_recording_path(dir_ + "cli-temp.xdl");
    korvit::acquisition::DAECallback callback(def, state, log);
    callback.set_datalog(&session);
    state.status = ConnectionStatus::Connected;
    w.SetConnectionStatus(ConnectionStatus::Connected);

    ASSERT_EQ(session.Record(), 0u);
    w.StartRecording();
    ASSERT_EQ(app_.datalog.state(), DataLogState::Recording);
    const auto feed = [](korvit::acquisition::IDataAcqCallback& target,
                         korvit::definition::ADXDefinition& in) {
        auto* command = in.FindByID("mode1");
        ASSERT_NE(command, nullptr);
        korvit::acquisition::DataAcqEvent event;
        event.object = command;
        event.objectidhash = command->idhash();
        std::thread worker([&] {
            std::vector<uint8_t> reply(67);
            for (int i = 0; i < 25; ++i) {
                for (size_t k = 0; k < reply.size(); ++k)
                    reply[k] = static_cast<uint8_t>(i * 7 + k);
                target.OnSendCommandEnd(event, reply.data(), static_cast<uint32_t>(reply.size()));
            }
        });
        worker.join();
    };
    feed(app_.engine.callback(), app_.definition);
    feed(callback, def);
    w.Stop();
    session.StopCommand();

    const RecordedContents from_window = ReadRecording(window_file);
    const RecordedContents from_cli = ReadRecording(dir_ + "cli.xdl");
    ASSERT_EQ(from_window.code, 0u) << lines_.Text();
    ASSERT_EQ(from_cli.code, 0u);
    EXPECT_EQ(from_window.records.size(), 25u);
    EXPECT_EQ(from_window.table, from_cli.table);
    EXPECT_EQ(from_window.records, from_cli.records);
    EXPECT_EQ(std::filesystem::file_size(window_file),
              std::filesystem::file_size(dir_ + "cli.xdl"));
    w.SetConnectionStatus(ConnectionStatus::NotConnected);
}

// A damaged log plays with its warning said first, before any line of the player.
TEST_F(MainWindowTest, ADamagedLogIsReportedBeforeItPlays) {
    MainWindow& w = Window();
    const std::string damaged = dir_ + "damaged.xdl";
    {
        using namespace korvit::datalog::testing;
        const auto bytes =
            BuildXdl({{0x1, "X", 0x20000, 1, 1, {}}}, {{0, 0, {1}}, {1, 0, {2}, -30}});
        std::ofstream(damaged, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    app_.settings.lastxdlpath = damaged;
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return !w.opening(); }, 10000));
    ASSERT_TRUE(WaitUntil(
        [&] { return lines_.Text().find("Playback stopped") != std::string::npos; }, 10000))
        << lines_.Text();
    const std::string text = lines_.Text();
    const size_t warning = text.find(damaged + " is damaged");
    ASSERT_NE(warning, std::string::npos) << text;
    EXPECT_LT(warning, text.find("Playing " + damaged)) << text;
}

// The disk fills up during a recording: the window says "Recording failed", the recording
// ends with the records written before it, and Stop still saves those.
TEST_F(MainWindowTest, AFailedWriteEndsTheRecordingAndSaysSo) {
    MainWindow& w = Window();
    const std::string chosen = dir_ + "cut.xdl";
    w.choose_file = [&chosen](const QString&, const QString&, const QString&, bool) {
        return chosen;
    };
    Demo demo(app_, w);
    ASSERT_TRUE(StartDemo(demo)) << lines_.Text();
    ASSERT_TRUE(WaitUntil(
        [&] { return app_.engine.status() == korvit::acquisition::ConnectionStatus::Connected; },
        10000));

    // From here on no file of this process may grow past 4000 bytes.
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old_limit{};
    ::getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit small = old_limit;
    small.rlim_cur = 4000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    w.StartRecording();
    const bool failed = WaitUntil([&] { return app_.session.recording_failed(); }, 10000);
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    ASSERT_TRUE(failed);

    EXPECT_NE(app_.datalog.state(), DataLogState::Recording);
    EXPECT_TRUE(WaitUntil([&] { return w.statusLine()->shownText() == "Recording failed"; }, 5000))
        << w.statusLine()->shownText().toStdString();
    EXPECT_NE(lines_.Text().find("Recording failed: File too large"), std::string::npos);
    w.Stop();
    EXPECT_FALSE(app_.session.recording_failed());
    EXPECT_EQ(app_.datalog.state(), DataLogState::Closed);
    const std::string text = lines_.Text();
    EXPECT_LT(text.find("Recording failed"), text.find("Recording stopped"));
    EXPECT_NE(text.find("Log saved to " + chosen), std::string::npos) << text;
    EXPECT_GT(std::filesystem::file_size(chosen), 0u);
    EXPECT_LE(std::filesystem::file_size(chosen), 4000u);
    w.ToggleScan();
    ASSERT_TRUE(app_.engine.WaitIdle(std::chrono::seconds(5)));
}

// Pulling the cable (the simulator ends and its line hangs up) ends the scan with its Output
// line; a recording in progress keeps what it had and saves normally.
TEST_F(MainWindowTest, LostLineEndsTheScanAndKeepsTheRecording) {
    MainWindow& w = Window();
    const std::string chosen = dir_ + "kept.xdl";
    w.choose_file = [&chosen](const QString&, const QString&, const QString&, bool) {
        return chosen;
    };
    auto demo = std::make_unique<Demo>(app_, w);
    ASSERT_TRUE(StartDemo(*demo));
    ASSERT_TRUE(
        WaitUntil([&] { return app_.engine.status() == ConnectionStatus::Connected; }, 10000));
    w.StartRecording();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.header().recordcount >= 3; }, 10000));

    demo.reset();
    ASSERT_TRUE(WaitUntil(
        [&] { return lines_.Text().find("Lost the port (") != std::string::npos; }, 10000))
        << lines_.Text();
    ASSERT_TRUE(app_.engine.WaitIdle(std::chrono::seconds(5)));
    EXPECT_FALSE(app_.engine.running());
    const uint32_t kept = app_.datalog.header().recordcount;
    EXPECT_GE(kept, 3u);

    w.Stop();
    EXPECT_NE(lines_.Text().find("Log saved to " + chosen), std::string::npos) << lines_.Text();
    // Every record written before the loss plays back from the saved file.
    korvit::datalog::DataLog check;
    ASSERT_EQ(check.Open(chosen), 0u);
    EXPECT_EQ(check.header().recordcount, kept);
    ASSERT_TRUE(
        WaitUntil([&] { return w.statusLine()->shownText() == "ALDL: Not Connected"; }, 5000))
        << w.statusLine()->shownText().toStdString();
}

TEST_F(MainWindowTest, ClosingDuringAScanStopsItAndWritesTheSettings) {
    MainWindow& w = Window();
    Demo demo(app_, w);
    ASSERT_TRUE(StartDemo(demo));
    ASSERT_TRUE(
        WaitUntil([&] { return app_.engine.status() == ConnectionStatus::Connected; }, 10000));
    const std::string port = app_.settings.comport;
    w.show();
    QSignalSpy done(&w, &MainWindow::shutDown);
    w.close();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_FALSE(app_.engine.running());
    EXPECT_TRUE(app_.engine.WaitIdle(std::chrono::seconds(1)));
    // The demo's pseudo-terminal was for this run: the user's own port is what is kept.
    const std::string saved = Slurp(app_.settings_path);
    EXPECT_EQ(saved.find("comport=" + port + "\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("comport=/dev/ttyUSB0\r\n"), std::string::npos) << saved;
}
