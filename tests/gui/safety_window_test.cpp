#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/demo.h"
#include "shell/main_window.h"
#include "shell/status_texts.h"

#include "controls/mm_rich_static.h"
#include "wait_until.h"
#include "window_fixture.h"

using namespace korvit::shell;
using korvit::acquisition::ConnectionStatus;
using korvit::datalog::DataLogState;

namespace {

class SafetyWindowTest : public WindowTest {};

TEST_F(SafetyWindowTest, GeneralPageChoicesGoToKorvitIniNotSettingsDat) {
    std::ofstream(dir_ + "korvit.ini") << "reconnectseconds=15\n";
    MainWindow& w = Window();
    EXPECT_EQ(app_.prefs.reconnect_seconds, 15u);
    w.show();
    Find("Preferences...")->trigger();
    ASSERT_NE(w.preferences(), nullptr);
    auto* verify = w.preferences()->findChild<QComboBox*>("VerifyChecksums");
    auto* reconnect = w.preferences()->findChild<QCheckBox*>("Reconnect");
    auto* seconds = w.preferences()->findChild<QSpinBox*>("ReconnectSeconds");
    ASSERT_TRUE(verify && reconnect && seconds);
    ASSERT_EQ(verify->count(), 3);
    EXPECT_EQ(verify->itemText(0), "Off");
    EXPECT_EQ(verify->itemText(1), "Automatic");
    EXPECT_EQ(verify->itemText(2), "Always");
    EXPECT_EQ(reconnect->text(), "Reconnect when the port is lost");
    EXPECT_EQ(verify->currentText(), "Automatic");  // absent from korvit.ini
    EXPECT_FALSE(seconds->isEnabled());             // only with reconnect on
    verify->setCurrentIndex(0);
    reconnect->setChecked(true);
    EXPECT_TRUE(seconds->isEnabled());
    seconds->setValue(5);
    w.preferences()->okButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return w.preferences() == nullptr; }, 5000));
    EXPECT_EQ(app_.prefs.verify_checksum, korvit::acquisition::ChecksumMode::kOff);
    EXPECT_TRUE(app_.prefs.reconnect);
    EXPECT_EQ(app_.prefs.reconnect_seconds, 5u);
    std::ifstream in(dir_ + "korvit.ini");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "verifychecksum=off\nreconnect=1\nreconnectseconds=5\n");
    EXPECT_FALSE(std::filesystem::exists(app_.settings_path));  // Settings.dat is not touched
}

TEST_F(SafetyWindowTest, ALostPortIsRetriedWithItsOwnStatusUntilTheUserStops) {
    EXPECT_EQ(StatusLineFor(DataLogState::Closed, ConnectionStatus::Reconnecting),
              (StatusLook{"ALDL: Reconnecting", QColor(0, 0, 0), QColor(255, 170, 130)}));
    app_.prefs.reconnect = true;
    MainWindow& w = Window();
    auto demo = std::make_unique<Demo>(app_, w);
    ASSERT_TRUE(StartDemo(*demo));
    ASSERT_TRUE(
        WaitUntil([&] { return app_.engine.status() == ConnectionStatus::Connected; }, 10000));
    demo.reset();
    ASSERT_TRUE(
        WaitUntil([&] { return w.statusLine()->shownText() == "ALDL: Reconnecting"; }, 10000))
        << w.statusLine()->shownText().toStdString();
    EXPECT_TRUE(app_.engine.running());
    EXPECT_NE(lines_.Text().find("Reconnecting to "), std::string::npos) << lines_.Text();
    w.ToggleScan();
    ASSERT_TRUE(app_.engine.WaitIdle(std::chrono::seconds(3)));
    EXPECT_EQ(app_.engine.last_end(), korvit::acquisition::AcquisitionEngine::ScanEnd::Stopped);
}

}  // namespace
