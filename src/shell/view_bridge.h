#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/views.h"

namespace korvit::shell {

/// Figures of how quickly status requests from worker threads reach the screen.
struct StatusLatency {
    uint64_t updates = 0;
    double total_ms = 0.0;
    double max_ms = 0.0;
};

/// Carries the engine's and the player's requests from their threads to the GUI thread without
/// ever waiting for it. Frequent requests (status, log bar, position, flashes) and display changes
/// are only marked; one frame timer (at most about 60 a second) drains them, so a log played as
/// fast as it reads costs the window one update a frame, and the last state always shows. The
/// first frame after a quiet spell comes at once. Stop notifications are delivered one by one, in
/// order.
class ViewBridge : public QObject, public app::IViews {
    Q_OBJECT
  public:
    explicit ViewBridge(QObject* parent = nullptr);

    void RefreshStatus() override { Request(kStatus); }
    void FlashStatus(const char* text) override;
    void UpdateLogBar() override { Request(kLogBar); }
    void SetLogPosition(uint32_t sampleindex) override;
    void GaugesChanged() override { Mark(kReplies); }
    void RedrawItemList() override { Mark(kReplies); }
    void HistogramFed(const definition::ADXHistogram*, int32_t) override { Mark(kHistograms); }
    /// Marks display changes (pages::DisplayChanges bits) from any thread; the next frame hands
    /// them to `frame`.
    void Mark(uint32_t changes);
    void AddChartPoint(float, evaluation::Packet, uint32_t) override { Mark(kCharts); }
    void ResetCharts() override { Mark(kCharts | kAtPosition); }
    void SetChartTime(double) override { Mark(kCharts); }

    void RecordingFailed() override;
    void PlaybackEnded() override;
    void AcquisitionStopped() override;
    void DatalogStopped() override;
    void CloseRequested() override;

    StatusLatency latency() const;

    /// Frames so far: each drains the requests and hands on the display changes.
    uint64_t frames() const { return frames_; }
    static constexpr int kFrameMs = 16;

  signals:
    void statusRequested();
    void flashRequested(const QString& text);
    void logBarRequested();
    void logPositionRequested(uint32_t sampleindex);
    void recordingFailed();
    void playbackEnded();
    void acquisitionStopped();
    void datalogStopped();
    void closeRequested();
    /// A frame is due: `changes` (pages::DisplayChanges bits) moved since the last one.
    void frame(uint32_t changes);

  private:
    enum Bits : uint32_t { kStatus = 1, kLogBar = 2, kPosition = 4, kFlash = 8 };
    // The display bits, as pages::DisplayChanges has them.
    enum Changes : uint32_t { kReplies = 1, kHistograms = 2, kCharts = 4, kAtPosition = 8 };
    void Request(uint32_t bits);
    /// Makes sure a frame is on its way; at most one call is queued to the GUI at a time.
    void Wake();
    void Drain(uint32_t bits);
    void ScheduleFrame();
    void DrawFrame();

    std::atomic<uint32_t> pending_{0};
    std::atomic<uint32_t> position_{0};
    std::atomic<int64_t> first_request_ns_{0};
    mutable std::mutex mutex_;
    std::string flash_;
    StatusLatency latency_;
    std::atomic<uint32_t> changes_{0};
    std::atomic<bool> woken_{false};
    QTimer frame_timer_;
    QElapsedTimer last_frame_;
    uint64_t frames_ = 0;
};

}  // namespace korvit::shell
