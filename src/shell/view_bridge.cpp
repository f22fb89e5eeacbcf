#include "shell/view_bridge.h"

#include <QMetaObject>

#include "pages/monitor_page.h"

namespace korvit::shell {
namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void ViewBridge::FlashStatus(const char* text) {
    {
        std::lock_guard lock(mutex_);
        flash_ = text ? text : "";
    }
    Request(kFlash);
}

void ViewBridge::SetLogPosition(uint32_t sampleindex) {
    position_.store(sampleindex, std::memory_order_relaxed);
    Request(kPosition);
}

void ViewBridge::UpdateDash(evaluation::Packet packet, uint32_t command_hash) {
    if (app::IViews* dash = dash_.load()) dash->UpdateDash(packet, command_hash);
}

void ViewBridge::RedrawItemList() {
    if (app::IViews* list = item_list_.load()) list->RedrawItemList();
}

void ViewBridge::AttachDisplays(app::IViews* dash, app::IViews* item_list) {
    dash_.store(dash);
    item_list_.store(item_list);
}

void ViewBridge::AddChartPoint(float t, evaluation::Packet packet, uint32_t command_hash) {
    if (pages::MonitorPage* page = monitors_.load()) page->Sample(t, packet, command_hash);
}

void ViewBridge::ResetCharts() {
    if (pages::MonitorPage* page = monitors_.load()) page->Reset();
    // The gauges and item list drop their readings too: nothing is shown before the first reply.
    if (app::IViews* dash = dash_.load()) dash->ResetCharts();
    if (app::IViews* list = item_list_.load()) list->RedrawItemList();
}

void ViewBridge::SetChartTime(double seconds) {
    if (pages::MonitorPage* page = monitors_.load()) page->SetCursorTime(seconds);
}

void ViewBridge::Request(uint32_t bits) {
    if (bits & kStatus) {
        int64_t none = 0;
        first_request_ns_.compare_exchange_strong(none, NowNs());
    }
    if (pending_.fetch_or(bits) == 0) {
        QMetaObject::invokeMethod(this, &ViewBridge::Drain, Qt::QueuedConnection);
    }
}

void ViewBridge::Drain() {
    const uint32_t bits = pending_.exchange(0);
    if (bits & kFlash) {
        QString text;
        {
            std::lock_guard lock(mutex_);
            text = QString::fromStdString(flash_);
        }
        emit flashRequested(text);
    }
    if (bits & kStatus) {
        const int64_t since = first_request_ns_.exchange(0);
        emit statusRequested();
        if (since != 0) {
            const double ms = static_cast<double>(NowNs() - since) / 1e6;
            std::lock_guard lock(mutex_);
            ++latency_.updates;
            latency_.total_ms += ms;
            latency_.max_ms = std::max(latency_.max_ms, ms);
        }
    }
    if (bits & kHistogram) emit histogramsFed();
    if (bits & kLogBar) emit logBarRequested();
    if (bits & kPosition) emit logPositionRequested(position_.load(std::memory_order_relaxed));
}

void ViewBridge::HistogramFed(const definition::ADXHistogram* histogram, int32_t cell) {
    {
        std::lock_guard lock(mutex_);
        if (fed_.size() < kMaxFedCells) {
            fed_.emplace_back(histogram, cell);
        } else {
            fed_overflow_ = true;
        }
    }
    Request(kHistogram);
}

std::vector<ViewBridge::FedCell> ViewBridge::TakeFedCells(bool* overflow) {
    std::lock_guard lock(mutex_);
    if (overflow != nullptr) *overflow = fed_overflow_;
    fed_overflow_ = false;
    return std::exchange(fed_, {});
}

StatusLatency ViewBridge::latency() const {
    std::lock_guard lock(mutex_);
    return latency_;
}

void ViewBridge::PlaybackEnded() {
    QMetaObject::invokeMethod(this, &ViewBridge::playbackEnded, Qt::QueuedConnection);
}

void ViewBridge::AcquisitionStopped() {
    QMetaObject::invokeMethod(this, &ViewBridge::acquisitionStopped, Qt::QueuedConnection);
}

void ViewBridge::DatalogStopped() {
    QMetaObject::invokeMethod(this, &ViewBridge::datalogStopped, Qt::QueuedConnection);
}

void ViewBridge::CloseRequested() {
    QMetaObject::invokeMethod(this, &ViewBridge::closeRequested, Qt::QueuedConnection);
}

}  // namespace korvit::shell
