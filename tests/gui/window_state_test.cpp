// What a new user meets in the window: a gauge's kind changed from its own menu, changes made on
// the pages kept until the user says otherwise, the window where it was, Preferences in front,
// and nothing of a one-off run left in the settings.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <fstream>

#include "controls/mm_data_chart.h"
#include "controls/mm_digital_gauge_readout.h"
#include "controls/mm_status_gauge.h"
#include "controls/mm_tab_sheet.h"
#include "datalog/data_log.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_dashboard.h"
#include "definition/adx_value.h"
#include "pages/dash_page.h"
#include "platform/recording_location.h"
#include "shell/demo.h"
#include "shell/main_window.h"
#include "shell/preferences_window.h"
#include "shell/window_placement.h"

#include "wait_until.h"
#include "window_fixture.h"

using namespace korvit;
using namespace korvit::shell;
using acquisition::ConnectionStatus;
using datalog::DataLogState;
using definition::ADXBitmask;
using definition::ADXDashboard;
using definition::ADXValue;
using pages::DashPage;

namespace {

const std::string kDemo = KORVIT_SOURCE_DIR "/samples/demo.adx";
const std::string kAds = KORVIT_SOURCE_DIR "/tests/definition/legacy/sample.ads";

class WindowStateTest : public WindowTest {
  protected:
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
    /// A copy of the demo definition in the test's folder, loaded.
    std::string LoadCopy(const std::string& name = "car.adx") {
        const std::string path = dir_ + name;
        std::filesystem::copy_file(kDemo, path);
        EXPECT_TRUE(Window().LoadDefinition(path)) << lines_.Text();
        return path;
    }
    /// Gives Dash gauge 0 another value, the n-th or a later one: a change made on the pages.
    void ChangeOnDash(size_t n) {
        const uint32_t shown = Window().dashPage()->currentDashboard()->entries()[0].itemidhash;
        auto* value = app_.definition.NthOfType(ADXValue::kType, n);
        while (value != nullptr && value->idhash() == shown)
            value = app_.definition.NthOfType(ADXValue::kType, ++n);
        ASSERT_NE(value, nullptr);
        Window().dashPage()->ChooseItem(0, value);
    }
    uint32_t FirstEntryHashOnDisk(const std::string& path) {
        definition::ADXDefinition def;
        std::string error;
        EXPECT_EQ(def.Load(path, error), 1) << error;
        auto* dash = definition::As<ADXDashboard>(def.NthOfType(ADXDashboard::kType, 0));
        return dash == nullptr ? 0 : dash->entries()[0].itemidhash;
    }
    bool TitleMarked() { return Window().windowTitle().startsWith("*"); }

    std::deque<std::string> files_;
    std::deque<int> answers_;
    std::vector<UserPrompt> prompts_;
};

/// True once `widget` is deleted; the tests run no event loop of their own, so deferred
/// deletions are delivered here.
bool Deleted(const QPointer<QWidget>& widget) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return widget.isNull();
}

/// Right-clicks the widget and, in the menu that opens, goes to the submenu and chooses its
/// item with the keyboard, as a user would.
void ChooseFromContextMenu(QWidget* widget, const QString& submenu, int item) {
    QTimer::singleShot(0, [submenu, item] {
        QMenu* menu = nullptr;
        if (!WaitUntil(
                [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); },
                5000))
            return;
        QAction* sub = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->text() == submenu) sub = a;
        }
        if (sub == nullptr) {
            menu->close();
            return;
        }
        menu->setActiveAction(sub);
        QTest::keyClick(menu, Qt::Key_Right);
        QMenu* inner = sub->menu();
        if (!WaitUntil([&] { return QApplication::activePopupWidget() == inner; }, 5000)) return;
        for (int i = 0; i < item; ++i) QTest::keyClick(inner, Qt::Key_Down);
        QTest::keyClick(inner, Qt::Key_Return);
    });
    QTest::mousePress(widget, Qt::RightButton, {}, QPoint(5, 5));
}

// The gauge whose menu changes its kind is replaced while its own click is being handled: it
// must outlive that handler and go only afterwards.
TEST_F(WindowStateTest, GaugeKindChangesFromItsOwnMenu) {
    MainWindow& w = Window();
    w.show();
    w.tabs()->Select(w.tabs()->IndexOf("Dash"));
    LoadCopy();
    DashPage* dash = w.dashPage();
    ADXDashboard* board = dash->currentDashboard();
    ASSERT_NE(board, nullptr);
    ASSERT_EQ(board->entries()[4].gaugetype, DashPage::kDigital);

    // Digital readout -> Bitmasks > second bitmask: a status indicator.
    QPointer<QWidget> readout = dash->gauge(4);
    ChooseFromContextMenu(readout, "Bitmasks", 1);
    EXPECT_FALSE(readout.isNull()) << "deleted inside its own click";
    auto* status = qobject_cast<controls::MMStatusGauge*>(dash->gauge(4));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(board->entries()[4].gaugetype, DashPage::kStatus);
    EXPECT_EQ(board->entries()[4].item, app_.definition.NthOfType(ADXBitmask::kType, 1));
    EXPECT_TRUE(WaitUntil([&] { return Deleted(readout); }, 5000)) << "old gauge never deleted";
    EXPECT_TRUE(status->isVisible());
    EXPECT_TRUE(TitleMarked());

    // And back: status indicator -> Values > first value: a digital readout.
    QPointer<QWidget> indicator = dash->gauge(4);
    ChooseFromContextMenu(indicator, "Values", 0);
    EXPECT_FALSE(indicator.isNull());
    EXPECT_NE(qobject_cast<controls::MMDigitalGaugeReadout*>(dash->gauge(4)), nullptr);
    EXPECT_EQ(board->entries()[4].item, app_.definition.NthOfType(ADXValue::kType, 0));
    EXPECT_TRUE(WaitUntil([&] { return Deleted(indicator); }, 5000));
}

// A change made on the pages shows in the title; Load, Import and Exit offer to save it first,
// and Cancel leaves everything as it was.
TEST_F(WindowStateTest, PageChangesAreSavedOrDiscardedAtTheUsersChoice) {
    MainWindow& w = Window();
    const std::string car = LoadCopy();
    const std::string other = dir_ + "other.adx";
    std::filesystem::copy_file(kDemo, other);
    const uint32_t original = FirstEntryHashOnDisk(car);
    EXPECT_FALSE(TitleMarked());
    QAction* load = Find("Load Definition...\tCtrl + L");
    QAction* import = Find("Definition...");
    ASSERT_TRUE(load && import);

    ChangeOnDash(5);
    ASSERT_TRUE(w.definitionModified());
    EXPECT_TRUE(TitleMarked()) << w.windowTitle().toStdString();
    const uint32_t changed = w.dashPage()->currentDashboard()->entries()[0].itemidhash;
    ASSERT_NE(changed, original);

    // Cancel: no file is asked for and the change stays.
    files_ = {other};
    answers_ = {kPromptCancel};
    load->trigger();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].buttons, QStringList({"Save", "Discard", "Cancel"}));
    EXPECT_TRUE(prompts_[0].text.contains("car.adx")) << prompts_[0].text.toStdString();
    EXPECT_EQ(files_.size(), 1u);
    EXPECT_EQ(app_.settings.lastadxpath, car);
    EXPECT_TRUE(w.definitionModified());
    answers_ = {kPromptCancel};
    files_ = {kAds};
    import->trigger();
    EXPECT_EQ(files_.size(), 1u);
    EXPECT_EQ(w.dashPage()->currentDashboard()->entries()[0].itemidhash, changed);

    // Save: written to its file before the other one is loaded.
    files_ = {other};
    answers_ = {kPromptSave};
    load->trigger();
    EXPECT_EQ(FirstEntryHashOnDisk(car), changed);
    EXPECT_EQ(app_.settings.lastadxpath, other);
    EXPECT_FALSE(TitleMarked());

    // Discard: the file keeps what it had.
    ChangeOnDash(7);
    files_ = {car};
    answers_ = {kPromptDiscard};
    load->trigger();
    EXPECT_EQ(FirstEntryHashOnDisk(other), original);
    EXPECT_FALSE(w.definitionModified());

    // Exit: Cancel keeps the window; Save writes the change and the window goes.
    ChangeOnDash(9);
    const uint32_t at_exit = w.dashPage()->currentDashboard()->entries()[0].itemidhash;
    w.show();
    QSignalSpy done(&w, &MainWindow::shutDown);
    answers_ = {kPromptCancel};
    w.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(done.count(), 0);
    EXPECT_TRUE(w.isVisible());
    answers_ = {kPromptSave};
    w.close();
    ASSERT_TRUE(done.count() > 0 || done.wait(5000));
    EXPECT_EQ(FirstEntryHashOnDisk(car), at_exit);
    EXPECT_TRUE(answers_.empty());
}

// An imported definition has no file of its own: the next Save asks for one and never writes
// over the definition loaded before.
TEST_F(WindowStateTest, ImportedDefinitionIsSavedUnderANewName) {
    MainWindow& w = Window();
    const std::string car = LoadCopy();
    const std::string before = Slurp(car);
    files_ = {kAds};
    Find("Definition...")->trigger();
    ASSERT_TRUE(files_.empty());
    EXPECT_TRUE(app_.settings.lastadxpath.empty());
    EXPECT_TRUE(TitleMarked()) << "an import is not on disk yet";

    const std::string imported = dir_ + "imported.adx";
    files_ = {imported};
    Find("Save Definition\tCtrl+S")->trigger();
    EXPECT_TRUE(files_.empty()) << "Save did not ask for a name";
    EXPECT_EQ(Slurp(car), before);
    EXPECT_TRUE(std::filesystem::exists(imported));
    EXPECT_EQ(app_.settings.lastadxpath, imported);
    EXPECT_FALSE(w.definitionModified());

    // A file that is no definition leaves the loaded one and its name alone.
    ASSERT_TRUE(w.LoadDefinition(car));
    files_ = {dir_ + "missing.ads"};
    Find("Definition...")->trigger();
    EXPECT_EQ(app_.settings.lastadxpath, car);
    EXPECT_FALSE(w.definitionModified());
}

// Exit while recording, Save, the save fails, then Cancel: the user stays in the program.
TEST_F(WindowStateTest, ExitCancelledAfterAFailedSaveKeepsTheWindow) {
    MainWindow& w = Window();
    Demo demo(app_, w);
    ASSERT_TRUE(StartDemo(demo)) << lines_.Text();
    ASSERT_TRUE(
        WaitUntil([&] { return app_.engine.status() == ConnectionStatus::Connected; }, 10000));
    w.StartRecording();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.header().recordcount >= 3; }, 10000));
    w.show();
    QSignalSpy done(&w, &MainWindow::shutDown);
    files_ = {dir_ + "nodir/x.xdl"};
    answers_ = {kPromptSave, 0 /* OK on "Cannot overwrite" */, kPromptCancel};
    w.close();
    ASSERT_EQ(prompts_.size(), 3u);
    EXPECT_EQ(prompts_[2].buttons, QStringList({"Save", "Keep in temp.xdl", "Cancel"}));
    // A shutdown would stop the scan and close the window within moments.
    EXPECT_FALSE(WaitUntil([&] { return done.count() > 0 || !app_.engine.running(); }, 1500));
    EXPECT_TRUE(w.isVisible());
    EXPECT_GT(std::filesystem::file_size(platform::RecordingPath()), 40u);
}

// The window reopens where it was, frame and size, start after start; a place off every screen
// is brought back onto one.
TEST_F(WindowStateTest, WindowReopensWhereItWas) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint where = screen.topLeft() + QPoint(37, 58);
    app::AppSettings settings;
    settings.winposx = where.x();
    settings.winposy = where.y();
    settings.winsizex = 700;
    settings.winsizey = 480;
    settings.loadlastdef = 0;
    ASSERT_EQ(app::WriteSettings(settings, app_.settings_path), 1);

    for (int start = 0; start < 2; ++start) {
        Application app;
        app.settings_path = app_.settings_path;
        MainWindow w(app);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QCoreApplication::processEvents();
        EXPECT_EQ(w.frameGeometry().topLeft(), where) << "start " << start;
        EXPECT_EQ(w.size(), QSize(700, 480));
        QSignalSpy done(&w, &MainWindow::shutDown);
        w.close();
        ASSERT_TRUE(done.count() > 0 || done.wait(5000));
        app::AppSettings saved;
        app::ReadSettings(saved, app_.settings_path);
        EXPECT_EQ(QPoint(saved.winposx, saved.winposy), where) << "start " << start;
        EXPECT_EQ(QSize(saved.winsizex, saved.winsizey), QSize(700, 480));
    }

    settings.winposx = screen.right() + 5000;
    settings.winposy = screen.top() - 300;
    ASSERT_EQ(app::WriteSettings(settings, app_.settings_path), 1);
    Application app;
    app.settings_path = app_.settings_path;
    MainWindow w(app);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(screen.contains(w.frameGeometry().topLeft())) << w.frameGeometry().x();
    EXPECT_GE(w.frameGeometry().top(), screen.top());
}

TEST(WindowPlacement, KeepsTheTitleBarOnAScreen) {
    const QRect left(0, 0, 1920, 1080), right(1920, 0, 1280, 1024);
    // Anywhere visible stays.
    EXPECT_EQ(PlaceOnScreen({100, 98, 800, 600}, {left, right}), QPoint(100, 98));
    EXPECT_EQ(PlaceOnScreen({2000, 50, 800, 600}, {left, right}), QPoint(2000, 50));
    // Above the top (a menu bar out of reach) comes down to it; the same for the left edge
    // beyond a grip's width.
    EXPECT_EQ(PlaceOnScreen({100, -60, 800, 600}, {left, right}), QPoint(100, 0));
    EXPECT_EQ(PlaceOnScreen({-790, 10, 800, 600}, {left}), QPoint(-700, 10));
    // Off every screen: onto the first, still grabbable.
    EXPECT_EQ(PlaceOnScreen({9000, 9000, 800, 600}, {left, right}), QPoint(1820, 1050));
    // Mostly on the second screen: kept to that one's bottom.
    EXPECT_EQ(PlaceOnScreen({2500, 1010, 400, 300}, {left, right}), QPoint(2500, 1024 - 30));
}

// Preferences holds the window behind it until it is closed, and asking again brings the open
// one forward instead of a second.
TEST_F(WindowStateTest, PreferencesIsModalAndSingle) {
    MainWindow& w = Window();
    w.show();
    Find("Preferences...")->trigger();
    ASSERT_NE(w.preferences(), nullptr);
    EXPECT_TRUE(
        WaitUntil([&] { return QApplication::activeModalWidget() == w.preferences(); }, 2000));
    EXPECT_NE(w.preferences()->windowModality(), Qt::NonModal);
    Find("Preferences...")->trigger();
    EXPECT_EQ(w.findChildren<MMPropTreeContainer*>().size(), 1);
    w.preferences()->close();
    EXPECT_TRUE(WaitUntil([&] { return w.preferences() == nullptr; }, 2000));
}

// The demo's pseudo-terminal is for one run: the user's port stays in the settings. Paths are
// kept absolute so that a start from another folder finds them.
TEST_F(WindowStateTest, OneRunPortIsNotSavedAndPathsAreAbsolute) {
    app::AppSettings settings;
    settings.comport = "/dev/ttyS3";
    settings.loadlastdef = 0;
    ASSERT_EQ(app::WriteSettings(settings, app_.settings_path), 1);
    MainWindow& w = Window();
    Demo demo(app_, w);
    ASSERT_TRUE(StartDemo(demo)) << lines_.Text();
    ASSERT_TRUE(
        WaitUntil([&] { return app_.engine.status() == ConnectionStatus::Connected; }, 10000));
    EXPECT_NE(app_.settings.comport, "/dev/ttyS3");
    w.ToggleScan();
    ASSERT_TRUE(WaitUntil([&] { return !app_.engine.running(); }, 5000));
    // The scan thread still says goodbye to the unit after the running flag drops.
    ASSERT_TRUE(app_.engine.WaitIdle(std::chrono::seconds(5)));

    const std::string relative =
        std::filesystem::relative(kDemo, std::filesystem::current_path()).string();
    ASSERT_TRUE(w.LoadDefinition(relative)) << lines_.Text();
    EXPECT_EQ(app_.settings.lastadxpath,
              std::filesystem::weakly_canonical(kDemo).lexically_normal().string());

    QSignalSpy done(&w, &MainWindow::shutDown);
    w.close();
    ASSERT_TRUE(done.count() > 0 || done.wait(5000));
    app::AppSettings saved;
    app::ReadSettings(saved, app_.settings_path);
    EXPECT_EQ(saved.comport, "/dev/ttyS3");
    EXPECT_TRUE(std::filesystem::path(saved.lastadxpath).is_absolute()) << saved.lastadxpath;

    // A port the user picks during such a run is theirs.
    app_.UsePortForThisRun("/dev/pts/99");
    app_.settings.comport = "/dev/ttyUSB4";
    EXPECT_EQ(app_.SettingsToSave().comport, "/dev/ttyUSB4");
}

/// The children of `pid` named `name`, read from /proc.
std::vector<pid_t> ChildrenNamed(pid_t pid, const std::string& name) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid_text, comm, state;
        pid_t parent = 0;
        if (!(stat >> pid_text >> comm >> state >> parent)) continue;
        if (parent == pid && comm == "(" + name + ")") found.push_back(std::stoi(pid_text));
    }
    return found;
}

bool Running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pid_text, comm, state;
    return static_cast<bool>(stat >> pid_text >> comm >> state) && state != "Z" && state != "X";
}

// The demo's simulator is the program's: it goes when the program goes, even when the program
// is killed.
TEST(DemoSimulator, EndsWithTheProgramHoweverItEnds) {
    char pattern[] = "/tmp/korvit-demo-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    for (const int sig : {SIGTERM, SIGKILL}) {
        QProcess korvit;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir));
        korvit.setProcessEnvironment(env);
        // Into a file, not a pipe: a pipe closed with the program would end the simulator by
        // itself at its next line.
        korvit.setStandardOutputFile(QString::fromStdString(dir + "out.txt"));
        korvit.setStandardErrorFile(QString::fromStdString(dir + "err.txt"));
        korvit.start(KORVIT_APP_PATH,
                     {"--demo", "--screenshot", QString::fromStdString(dir) + "demo.png", "--after",
                      "60000"});
        ASSERT_TRUE(korvit.waitForStarted(10000));
        const pid_t pid = static_cast<pid_t>(korvit.processId());
        std::vector<pid_t> simulators;
        ASSERT_TRUE(WaitUntil(
            [&] { return !(simulators = ChildrenNamed(pid, "korvit-ecusim")).empty(); }, 20000));
        ::kill(pid, sig);
        ASSERT_TRUE(korvit.waitForFinished(10000));
        EXPECT_TRUE(WaitUntil([&] { return !Running(simulators.front()); }, 10000))
            << "signal " << sig;
        if (Running(simulators.front())) ::kill(simulators.front(), SIGKILL);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

namespace {

// At the smallest window every page can still be read: gauges at least 60 pixels, the
// Histograms controls side by side without covering each other, charts tall enough for axes.
TEST_F(WindowStateTest, EveryPageIsReadableAtTheSmallestWindow) {
    MainWindow& w = Window();
    LoadCopy();
    w.show();
    w.resize(200, 100);
    ASSERT_TRUE(WaitUntil([&] { return w.size() == w.minimumSize(); }, 2000));

    w.tabs()->Select(w.tabs()->IndexOf("Dash"));
    QCoreApplication::processEvents();
    DashPage* dash = w.dashPage();
    ASSERT_GT(dash->gaugeCount(), 0);
    for (int i = 0; i < dash->gaugeCount(); ++i) {
        EXPECT_GE(dash->gauge(i)->width(), 60) << "gauge " << i;
        EXPECT_GE(dash->gauge(i)->height(), 60) << "gauge " << i;
    }

    w.tabs()->Select(w.tabs()->IndexOf("Histograms"));
    QCoreApplication::processEvents();
    QWidget* histograms = w.findChild<QWidget*>("Histograms");
    ASSERT_NE(histograms, nullptr);
    std::vector<QWidget*> controls;
    for (QWidget* c : histograms->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (c->isVisible() && c->y() < 40) controls.push_back(c);
    }
    ASSERT_GE(controls.size(), 5u);
    for (size_t a = 0; a < controls.size(); ++a) {
        EXPECT_GE(controls[a]->width(), controls[a]->minimumSizeHint().width())
            << controls[a]->metaObject()->className();
        for (size_t b = a + 1; b < controls.size(); ++b) {
            EXPECT_FALSE(controls[a]->geometry().intersects(controls[b]->geometry()))
                << controls[a]->metaObject()->className() << " over "
                << controls[b]->metaObject()->className();
        }
    }

    w.tabs()->Select(w.tabs()->IndexOf("Monitors"));
    QCoreApplication::processEvents();
    const auto charts = w.findChild<QWidget*>("Monitors")->findChildren<controls::MMDataChart*>();
    ASSERT_FALSE(charts.isEmpty());
    for (auto* chart : charts) EXPECT_GE(chart->height(), 80);
}

}  // namespace

namespace {

// Unattended, the Output lines the window writes while it is being made reach stderr too:
// here the last definition of the settings, which is gone.
TEST(Unattended, StartUpLinesReachStderr) {
    char pattern[] = "/tmp/korvit-echo-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    // The program keeps its settings beside itself when it may write there.
    const std::string settings_path =
        std::filesystem::path(KORVIT_APP_PATH).parent_path().string() + "/Settings.dat";
    const bool had = std::filesystem::exists(settings_path);
    if (had) std::filesystem::copy_file(settings_path, dir + "kept.dat");
    app::AppSettings settings;
    settings.loadlastdef = 1;
    settings.lastadxpath = dir + "gone.adx";
    ASSERT_EQ(app::WriteSettings(settings, settings_path), 1);

    QProcess korvit;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    korvit.setProcessEnvironment(env);
    korvit.start(KORVIT_APP_PATH,
                 {"--screenshot", QString::fromStdString(dir + "shot.png"), "--after", "100"});
    const bool finished = korvit.waitForFinished(30000);
    const std::string err = korvit.readAllStandardError().toStdString();
    if (had) {
        std::filesystem::copy_file(dir + "kept.dat", settings_path,
                                   std::filesystem::copy_options::overwrite_existing);
    } else {
        std::filesystem::remove(settings_path);
    }
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(finished);
    EXPECT_NE(err.find("FAILED to Load " + dir + "gone.adx"), std::string::npos) << err;
}

}  // namespace
