// Play on a long log: the open (seek index and damage check) runs off the GUI thread, so the
// window keeps turning while it reads, and commands given meanwhile cancel it safely.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QSlider>
#include <QTimer>
#include <fstream>

#include "shell/log_bar.h"
#include "shell/main_window.h"

#include "../datalog/xdl_test_support.h"
#include "wait_until.h"
#include "window_fixture.h"

namespace {

using korvit::datalog::DataLogState;
using korvit::shell::LogBar;
using korvit::shell::MainWindow;

constexpr uint32_t kRecords = 100000;

class LogOpenTest : public WindowTest {
  protected:
    static void Put32At(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    /// A log of kRecords records, one per 50 ms, whose header counts one record more.
    std::string WriteLongLog() {
        using namespace korvit::datalog::testing;
        std::vector<BuiltRecord> records;
        records.reserve(kRecords);
        for (uint32_t i = 0; i < kRecords; ++i) {
            records.push_back({i * 50, 0, std::vector<uint8_t>(60, static_cast<uint8_t>(i))});
        }
        auto bytes = BuildXdl({{0x1, "DATA", 0x20000, 60, 60, {}}}, records);
        Put32At(bytes, 36, kRecords + 1);
        const std::string path = dir_ + "long.xdl";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        app_.settings.lastxdlpath = path;
        return path;
    }
    bool Said(const std::string& text) const {
        return lines_.Text().find(text) != std::string::npos;
    }
};

TEST_F(LogOpenTest, ALongLogOpensWhileTheWindowKeepsTurningAndItsWarningComesFirst) {
    const std::string path = WriteLongLog();
    MainWindow& w = Window();
    // Counts the turns of the event loop taken while the log is still being opened.
    int turns_while_opening = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (w.opening() && app_.datalog.state() == DataLogState::Closed) ++turns_while_opening;
    });
    ticker.start(0);

    w.Play();
    ASSERT_TRUE(w.opening());
    w.Play();  // pressed again while it opens: ignored
    ASSERT_TRUE(WaitUntil([&] { return Said("Playing " + path); }, 30000)) << lines_.Text();
    EXPECT_GT(turns_while_opening, 0);
    EXPECT_FALSE(w.opening());
    EXPECT_EQ(app_.datalog.state(), DataLogState::Playing);
    EXPECT_EQ(w.logBar()->slider()->maximum(), static_cast<int>(kRecords + 1));

    const std::string text = lines_.Text();
    const size_t warning = text.find(path +
                                     " is damaged: the header counts 100001 records, the "
                                     "file holds 100000");
    ASSERT_NE(warning, std::string::npos) << text;
    EXPECT_LT(warning, text.find("Playing " + path)) << text;
    EXPECT_EQ(text.find("Playing " + path), text.rfind("Playing " + path)) << text;

    // Seeks run on the index the worker built: one near the end lands on its record.
    w.Pause();
    ASSERT_TRUE(WaitUntil([&] { return !app_.datalog.player_running(); }, 10000));
    ASSERT_EQ(app_.datalog.Seek(kRecords - 2, korvit::datalog::kSeekRewind), 0u);
    EXPECT_EQ(app_.datalog.recordsread(), kRecords - 2);
    EXPECT_EQ(app_.datalog.currenttime(), (kRecords - 3) * 50);

    w.Stop();
    ASSERT_TRUE(WaitUntil([&] { return Said("Playback stopped"); }, 10000)) << lines_.Text();
    EXPECT_EQ(app_.datalog.state(), DataLogState::Closed);
}

TEST_F(LogOpenTest, StopLoadLogAndCloseDuringTheOpenCancelIt) {
    const std::string path = WriteLongLog();
    MainWindow& w = Window();
    w.choose_file = [&](const QString&, const QString&, const QString&, bool) {
        return dir_ + "other.xdl";
    };
    // Each command cancels the open: its result, already on its way, must not start playback.
    const std::vector<std::pair<const char*, std::function<void()>>> commands = {
        {"Stop", [&] { w.Stop(); }},
        {"Load Log", [&] { w.SelectLog(); }},
    };
    for (const auto& [name, command] : commands) {
        app_.settings.lastxdlpath = path;
        w.Play();
        ASSERT_TRUE(w.opening()) << name;
        command();
        EXPECT_FALSE(w.opening()) << name;
        // The worker has ended; its queued result, if any, is delivered by this turn.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_FALSE(Said("Playing " + path)) << name << "\n" << lines_.Text();
        EXPECT_EQ(app_.datalog.state(), DataLogState::Closed) << name;
    }

    // Play works again after a cancelled open.
    app_.settings.lastxdlpath = path;
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return Said("Playing " + path); }, 30000)) << lines_.Text();
    w.Stop();
    ASSERT_TRUE(WaitUntil([&] { return Said("Playback stopped"); }, 10000)) << lines_.Text();

    // Closing the window while a log opens ends the worker and leaves nothing playing.
    w.Play();
    ASSERT_TRUE(w.opening());
    w.show();
    QSignalSpy done(&w, &MainWindow::shutDown);
    w.close();
    ASSERT_TRUE(done.wait(10000));
    window_.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(app_.datalog.state(), DataLogState::Closed);
    EXPECT_FALSE(app_.datalog.player_running());
}

}  // namespace
