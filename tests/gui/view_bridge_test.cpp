// Requests from worker threads reach the window in frames: a burst costs a few updates, never
// one per request, and the last state always shows.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSlider>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "controls/mm_data_chart.h"
#include "controls/mm_rich_static.h"
#include "controls/mm_tab_sheet.h"
#include "datalog/data_log.h"
#include "definition/definition.h"
#include "pages/display_page.h"
#include "pages/monitor_page.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "shell/view_bridge.h"

#include "support/generated_log.h"
#include "wait_until.h"
#include "window_fixture.h"

namespace {

using korvit::acquisition::ConnectionStatus;
using korvit::datalog::DataLogState;
using korvit::shell::MainWindow;
using korvit::shell::ViewBridge;
namespace datalog = korvit::datalog;
namespace definition = korvit::definition;

constexpr const char* kDemo = KORVIT_SOURCE_DIR "/samples/demo.adx";
constexpr uint32_t kGapMs = 50;

TEST(ViewBridge, ABurstFromAWorkerComesInFramesAndEndsOnItsLastState) {
    ViewBridge bridge;
    std::atomic<int> positions{0};
    std::atomic<uint32_t> shown{0};
    int statuses = 0;
    int flashes = 0;
    uint32_t changes = 0;
    QString flash;
    QObject::connect(&bridge, &ViewBridge::logPositionRequested, [&](uint32_t sample) {
        shown = sample;
        ++positions;
    });
    QObject::connect(&bridge, &ViewBridge::statusRequested, [&] { ++statuses; });
    QObject::connect(&bridge, &ViewBridge::flashRequested, [&](const QString& text) {
        flash = text;
        ++flashes;
    });
    QObject::connect(&bridge, &ViewBridge::frame, [&](uint32_t c) { changes |= c; });

    // The worker asks as fast as it can until the window has moved the position a few times,
    // then asks for its last state and stops.
    constexpr uint32_t kLast = 0xFFFFFFu;
    std::atomic<uint64_t> requests{0};
    QElapsedTimer clock;
    clock.start();
    std::thread worker([&] {
        uint32_t i = 0;
        while (positions.load() < 4) {
            bridge.SetLogPosition(++i % kLast);
            bridge.RefreshStatus();
            bridge.GaugesChanged();
            requests.fetch_add(1);
        }
        bridge.FlashStatus("ALDL Data Error!");
        bridge.SetLogPosition(kLast);
        bridge.RefreshStatus();
        bridge.HistogramFed(nullptr, 0);
    });
    const bool ended = WaitUntil([&] { return shown.load() == kLast; }, 10000);
    worker.join();
    ASSERT_TRUE(ended) << shown.load();
    ASSERT_TRUE(WaitUntil([&] { return flashes > 0; }, 2000));
    const qint64 elapsed = clock.elapsed();

    EXPECT_EQ(flash, "ALDL Data Error!");
    EXPECT_GE(statuses, 1);
    EXPECT_EQ(changes,
              uint32_t{korvit::pages::kRepliesChanged | korvit::pages::kHistogramsChanged});
    // One update at most per frame, and frames at least a frame's time apart (the timer may
    // fire a little early), however many requests came.
    EXPECT_GT(requests.load(), static_cast<uint64_t>(positions.load()));
    EXPECT_LE(static_cast<uint64_t>(positions.load()), bridge.frames());
    EXPECT_LE(static_cast<uint64_t>(statuses), bridge.frames());
    EXPECT_LE(bridge.frames(), static_cast<uint64_t>(elapsed / (ViewBridge::kFrameMs - 2) + 2));
    EXPECT_GE(bridge.latency().updates, 1u);

    // Once the requests stop, so do the frames.
    const uint64_t frames = bridge.frames();
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(bridge.frames(), frames);
}

/// A log of the demo definition: its table from a real (empty) recording, then `count` mode-1
/// records 50 ms apart, their bytes changing with the record.
std::string WriteLog(const std::string& path, uint32_t count) {
    definition::ADXDefinition def;
    std::string error;
    if (def.Load(kDemo, error) == 0) return {};
    const bool written = korvit::testing::WriteGeneratedLog(
        def, path, count, [](uint32_t) { return kGapMs; },
        [](uint32_t i, uint32_t k) { return static_cast<uint8_t>(i * 3 + k * 7); });
    return written ? path : std::string();
}

class WindowFramesTest : public WindowTest {
  protected:
    void ConfigureWindow(MainWindow& w) override {
        w.choose_file = [this](const QString&, const QString&, const QString&, bool) {
            return log_;
        };
    }
    std::string log_;
};

// A status change from the reply thread shows with the next frame or the one after.
TEST_F(WindowFramesTest, AStatusChangeFromAWorkerShowsWithinTwoFrames) {
    MainWindow& w = Window();
    w.show();
    ASSERT_TRUE(
        WaitUntil([&] { return w.statusLine()->shownText() == "ALDL: Not Connected"; }, 2000));
    const uint64_t before = w.views()->frames();
    std::thread([&] {
        app_.engine.state().status.store(ConnectionStatus::Connected);
        w.views()->RefreshStatus();
    }).join();
    ASSERT_TRUE(WaitUntil([&] { return w.statusLine()->shownText() == "ALDL: Connected"; }, 2000));
    EXPECT_LE(w.views()->frames() - before, 2u);
    app_.engine.state().status.store(ConnectionStatus::NotConnected);
}

// A log played as fast as it reads and paused: the window shows where it stopped, however many
// positions came in between, and where a seek took it; at its end the position goes back to the
// start and the cursor stays on the last record.
TEST_F(WindowFramesTest, PausedAndEndedPlaybackShowTheirLastPosition) {
    constexpr uint32_t kRecords = 100000;
    log_ = WriteLog(dir_ + "fast.xdl", kRecords);
    ASSERT_FALSE(log_.empty());
    MainWindow& w = Window();
    w.show();
    ASSERT_TRUE(w.LoadDefinition(kDemo));
    w.tabs()->Select(w.tabs()->IndexOf("Monitors"));
    app_.settings.lastxdlpath = log_;
    app_.datalog.SetSpeed(0);
    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return !w.opening(); }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.recordsread() >= kRecords / 4; }, 20000));
    w.Pause();
    ASSERT_TRUE(WaitUntil([&] { return !app_.datalog.player_running(); }, 10000));
    const uint32_t read = app_.datalog.recordsread();
    ASSERT_LT(read, kRecords);
    QSlider* slider = w.logBar()->slider();
    ASSERT_TRUE(WaitUntil([&] { return slider->value() == static_cast<int>(read); }, 2000))
        << slider->value() << " of " << read;
    ASSERT_TRUE(WaitUntil([&] { return w.statusLine()->shownText() == "Log Paused"; }, 2000));
    const auto* time = w.monitorPage()->entry(0).time_axis;
    const float paused_at = static_cast<float>(app_.datalog.currenttime() / 1000.0);
    ASSERT_TRUE(WaitUntil([&] { return time->cursor() == paused_at; }, 2000))
        << time->cursor() << " " << paused_at;

    // A seek while paused moves the cursor back.
    slider->setValue(static_cast<int>(read / 2));
    emit w.logBar()->seekRequested(static_cast<int>(read / 2));
    EXPECT_EQ(app_.datalog.recordsread(), read / 2);
    const float sought = static_cast<float>(app_.datalog.currenttime() / 1000.0);
    EXPECT_LT(sought, paused_at);
    ASSERT_TRUE(WaitUntil([&] { return time->cursor() == sought; }, 2000))
        << time->cursor() << " " << sought;

    w.Play();
    ASSERT_TRUE(WaitUntil([&] { return app_.datalog.state() == DataLogState::Closed; }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return slider->value() == 0; }, 2000)) << slider->value();
    ASSERT_TRUE(
        WaitUntil([&] { return w.statusLine()->shownText() == "ALDL: Not Connected"; }, 2000));
    const float last = static_cast<float>((kRecords - 1) * kGapMs / 1000.0);
    ASSERT_TRUE(WaitUntil([&] { return time->cursor() == last; }, 2000)) << time->cursor();
}

}  // namespace
