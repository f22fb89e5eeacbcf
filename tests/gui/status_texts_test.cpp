#include <gtest/gtest.h>

#include "shell/status_texts.h"

using namespace korvit::shell;
using korvit::acquisition::ConnectionStatus;
using korvit::datalog::DataLogState;

TEST(StatusTexts, StatusLineForEachStateWithItsColours) {
    struct Case {
        DataLogState state;
        ConnectionStatus status;
        StatusLook look;
    };
    const QColor white(255, 255, 255), black(0, 0, 0);
    const Case cases[] = {
        {DataLogState::Playing,
         ConnectionStatus::NotConnected,
         {"Log Playing", white, QColor(0, 0, 255)}},
        {DataLogState::Recording,
         ConnectionStatus::Connected,
         {"Log Recording", white, QColor(120, 120, 120)}},
        {DataLogState::Closed,
         ConnectionStatus::NotConnected,
         {"ALDL: Not Connected", black, QColor(255, 255, 0)}},
        {DataLogState::Open,
         ConnectionStatus::Connecting,
         {"ALDL: Connecting...", black, QColor(255, 170, 130)}},
        {DataLogState::Open,
         ConnectionStatus::LogPaused,
         {"Log Paused", black, QColor(255, 115, 40)}},
        {DataLogState::Stopping,
         ConnectionStatus::Connected,
         {"ALDL: Connected", white, QColor(0, 0, 255)}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusLineFor(c.state, c.status), c.look) << c.look.text.toStdString();
    }
}

TEST(StatusTexts, RateLineFormats) {
    EXPECT_EQ(RateLineFor(ConnectionStatus::Connected, DataLogState::Playing, 19.456f, 3, 0),
              QString("19.46 Hz   Errors: 3"));
    EXPECT_EQ(RateLineFor(ConnectionStatus::NotConnected, DataLogState::Playing, 8.0f, 0, 3723456),
              QString("8.00 Hz  1:2:03:456"));
    // At 60 hours the hour number starts again from 0.
    EXPECT_EQ(RateLineFor(ConnectionStatus::LogPaused, DataLogState::Recording, 0.0f, 0,
                          60u * 3600000u + 5),
              QString("0.00 Hz  0:0:00:005"));
    EXPECT_EQ(RateLineFor(ConnectionStatus::NotConnected, DataLogState::Closed, 5.0f, 1, 9),
              QString(""));
    EXPECT_FALSE(RateLineFor(ConnectionStatus::Connecting, DataLogState::Closed, 5.0f, 1, 9));
    EXPECT_FALSE(RateLineFor(ConnectionStatus::LogPaused, DataLogState::Open, 5.0f, 1, 9));
    // Never longer than the line holds.
    auto huge = RateLineFor(ConnectionStatus::Connected, DataLogState::Closed, 3.4e38f, 7, 0);
    EXPECT_LE(huge->size(), 49);
}

TEST(StatusTexts, TitleShowsTheLastTwoPathComponentsAndTheSpeed) {
    EXPECT_EQ(PathTail("/home/me/defs/engine.adx"), "defs/engine.adx");
    EXPECT_EQ(PathTail("C:\\defs\\engine.adx"), "defs\\engine.adx");
    EXPECT_EQ(PathTail("/engine.adx"), "engine.adx");
    EXPECT_EQ(PathTail("engine.adx"), "engine.adx");
    EXPECT_EQ(PathTail(""), "");
    EXPECT_EQ(TitleFor("/a/b/c.adx", "", 2.0f), "Korvit - ADX: b/c.adx  XDL:  (Speed: 200%)");
    EXPECT_EQ(TitleFor("", "/logs/x.xdl", 0.333f), "Korvit - ADX:   XDL: logs/x.xdl (Speed: 33%)");
    EXPECT_EQ(TitleFor("/d/" + std::string(400, 'n'), "", 1.0f).size(), 254);
}

TEST(StatusTexts, SpeedCheckMarkAndVersionText) {
    EXPECT_EQ(CheckedSpeedItem(4.0f), 0);
    EXPECT_EQ(CheckedSpeedItem(2.0f), 1);
    EXPECT_EQ(CheckedSpeedItem(1.0f), 2);
    EXPECT_EQ(CheckedSpeedItem(0.5f), 3);
    EXPECT_EQ(CheckedSpeedItem(0.25f), 4);
    EXPECT_EQ(CheckedSpeedItem(1.5f), kSpeedCustom);
    EXPECT_EQ(CheckedSpeedItem(0.0f), kSpeedAsFastAsPossible);
    EXPECT_EQ(VersionText(0, 5, 574, 1), "0.05.0574.01");
}
