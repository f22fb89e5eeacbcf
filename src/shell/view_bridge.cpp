#include "shell/view_bridge.h"

#include <QMetaObject>

#include "pages/display_page.h"

namespace korvit::shell {
namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

static_assert(pages::kRepliesChanged == 1 && pages::kHistogramsChanged == 2 &&
              pages::kChartsChanged == 4 && pages::kPositionChanged == 8);

}  // namespace

ViewBridge::ViewBridge(QObject* parent) : QObject(parent), frame_timer_(this) {
    frame_timer_.setSingleShot(true);
    connect(&frame_timer_, &QTimer::timeout, this, &ViewBridge::DrawFrame);
}

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

void ViewBridge::Mark(uint32_t changes) {
    changes_.fetch_or(changes);
    Wake();
}

void ViewBridge::Wake() {
    if (!woken_.exchange(true)) {
        QMetaObject::invokeMethod(this, &ViewBridge::ScheduleFrame, Qt::QueuedConnection);
    }
}

void ViewBridge::ScheduleFrame() {
    if (frame_timer_.isActive()) return;
    if (!last_frame_.isValid()) last_frame_.start();
    const qint64 since = last_frame_.elapsed();
    // The first frame comes at once; later ones keep a frame's distance from the last.
    const qint64 wait = frames_ == 0 ? 0 : std::max<qint64>(0, kFrameMs - since);
    if (wait == 0) {
        DrawFrame();
    } else {
        frame_timer_.start(static_cast<int>(wait));
    }
}

void ViewBridge::DrawFrame() {
    // Cleared before the bits are taken: whatever a worker marks from here on wakes the next
    // frame, and whatever it marked before is taken now.
    woken_.store(false);
    const uint32_t requests = pending_.exchange(0);
    const uint32_t changes = changes_.exchange(0);
    last_frame_.restart();
    ++frames_;
    Drain(requests);
    if (changes != 0) emit frame(changes);
}

void ViewBridge::Request(uint32_t bits) {
    if ((bits & kStatus) && first_request_ns_.load(std::memory_order_relaxed) == 0) {
        int64_t none = 0;
        first_request_ns_.compare_exchange_strong(none, NowNs());
    }
    pending_.fetch_or(bits);
    Wake();
}

void ViewBridge::Drain(uint32_t bits) {
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
    if (bits & kLogBar) emit logBarRequested();
    if (bits & kPosition) emit logPositionRequested(position_.load(std::memory_order_relaxed));
}

StatusLatency ViewBridge::latency() const {
    std::lock_guard lock(mutex_);
    return latency_;
}

void ViewBridge::RecordingFailed() {
    QMetaObject::invokeMethod(this, &ViewBridge::recordingFailed, Qt::QueuedConnection);
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
