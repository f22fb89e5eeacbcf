#pragma once

#include <QObject>
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
/// ever waiting for it. Frequent requests (status, log bar, position, flashes) are merged: any
/// number of them before the GUI gets round to it costs one update. Stop notifications are
/// delivered one by one, in order.
class ViewBridge : public QObject, public app::IViews {
    Q_OBJECT
  public:
    explicit ViewBridge(QObject* parent = nullptr) : QObject(parent) {}

    void RefreshStatus() override { Request(kStatus); }
    void FlashStatus(const char* text) override;
    void UpdateLogBar() override { Request(kLogBar); }
    void SetLogPosition(uint32_t sampleindex) override;
    void ResetCharts() override {}
    /// Gauge and item-list updates go straight to their pages, which update their models on the
    /// calling thread and merge their repaints.
    void UpdateDash(evaluation::Packet packet, uint32_t command_hash) override;
    void RedrawItemList() override;
    void AttachDisplays(app::IViews* dash, app::IViews* item_list);
    /// Keeps the cell for the histogram page; cells are never dropped, only their repaints merged.
    void HistogramFed(const definition::ADXHistogram* histogram, int32_t cell) override;

    void PlaybackEnded() override;
    void AcquisitionStopped() override;
    void DatalogStopped() override;
    void CloseRequested() override;

    StatusLatency latency() const;

    using FedCell = std::pair<const definition::ADXHistogram*, int32_t>;
    /// The cells fed since the last call, oldest first. `overflow` is set when more arrived than
    /// are kept one by one (the page then rebuilds the whole view).
    std::vector<FedCell> TakeFedCells(bool* overflow);
    static constexpr size_t kMaxFedCells = 4096;

  signals:
    void statusRequested();
    void flashRequested(const QString& text);
    void logBarRequested();
    void logPositionRequested(uint32_t sampleindex);
    void playbackEnded();
    void acquisitionStopped();
    void datalogStopped();
    void closeRequested();
    void histogramsFed();

  private:
    enum Bits : uint32_t { kStatus = 1, kLogBar = 2, kPosition = 4, kFlash = 8, kHistogram = 16 };
    void Request(uint32_t bits);
    void Drain();

    std::atomic<uint32_t> pending_{0};
    std::atomic<uint32_t> position_{0};
    std::atomic<app::IViews*> dash_{nullptr};
    std::atomic<app::IViews*> item_list_{nullptr};
    std::atomic<int64_t> first_request_ns_{0};
    mutable std::mutex mutex_;
    std::string flash_;
    StatusLatency latency_;
    std::vector<FedCell> fed_;
    bool fed_overflow_ = false;
};

}  // namespace korvit::shell
