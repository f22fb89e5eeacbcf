#include "shell/histogram_review.h"

#include <QDir>
#include <QMetaObject>
#include <QUuid>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/histogram_filters.h"
#include "datalog/log_replay.h"
#include "definition/adx_definition.h"

namespace korvit::shell {

HistogramReview::HistogramReview(definition::ADXDefinition& live, datalog::DataLog& datalog,
                                 QObject* parent)
    : QObject(parent), live_(live), datalog_(datalog) {}

HistogramReview::~HistogramReview() {
    Close();
}

void HistogramReview::Close() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        request_ = false;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
    ++generation_;
    busy_ = false;
    log_.clear();
}

bool HistogramReview::Open(std::string log_path, const app::HistogramFilters& filters) {
    Close();
    // The definition as the pages show it (series added since loading, too), as ADX text.
    const std::string scratch =
        QDir(QDir::tempPath())
            .filePath("korvit-review-" + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                      ".adx")
            .toStdString();
    std::string adx;
    if (live_.Save(scratch) != 0) {
        std::ifstream in(scratch, std::ios::binary);
        adx.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ignored;
    std::filesystem::remove(scratch, ignored);
    if (adx.empty()) return false;
    stop_ = false;
    log_ = log_path;
    auto copy = std::make_shared<const app::HistogramFilters>(filters);
    worker_ = std::thread(&HistogramReview::Run, this, std::move(adx), log_path, std::move(copy));
    return true;
}

void HistogramReview::Rebuild() {
    if (!worker_.joinable()) return;
    ++generation_;
    busy_ = true;
    {
        std::lock_guard lock(mutex_);
        request_ = true;
    }
    wake_.notify_all();
}

void HistogramReview::Run(std::string adx, std::string log,
                          std::shared_ptr<const app::HistogramFilters> filters) {
    std::string error;
    definition::ADXDefinition copy;
    if (copy.LoadBuffer(adx.data(), adx.size(), error) == 0) return;
    filters->Apply(copy);
    datalog::LogReplay replay(copy);
    const bool opened = replay.Open(log) == datalog::kDataLogOk;
    datalog::HistogramCheckpoints checkpoints;
    for (;;) {
        uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || request_; });
            if (stop_) return;
            request_ = false;
            generation = generation_.load();
        }
        if (!opened) continue;
        // A newer request (or Close) makes this one moot: stop replaying for it.
        const auto moot = [&](uint32_t, uint32_t) {
            std::lock_guard lock(mutex_);
            return !stop_ && !request_;
        };
        // Follows the displays' position (a playing player moves it on meanwhile) until the
        // replay is close enough behind to catch up while the player waits.
        bool handed = false;
        bool stuck = false;
        uint32_t handed_at = 0;
        while (!handed && moot(0, 0)) {
            const uint32_t target = datalog_.shown();
            const uint32_t at = replay.position();
            if (!stuck && (target < at || target > at + kCatchUpRecords)) {
                const uint32_t code = checkpoints.SeekTo(replay, target, moot);
                if (code == datalog::kReplayCancelled) break;
                // A damaged record, or a log that ends before the position: the replay goes
                // no further, so what it holds is handed over.
                stuck = code != datalog::kDataLogOk || (replay.position() == at && at < target);
                continue;
            }
            datalog_.HoldDisplays([&](uint32_t shown) {
                const uint32_t now = replay.position();
                if (!stuck && (shown < now || shown > now + kCatchUpRecords)) return;
                if (!stuck && shown > now) checkpoints.SeekTo(replay, shown);
                datalog::CopyHistogramSamples(copy, live_);
                handed = true;
                handed_at = shown;
            });
        }
        if (!handed) continue;
        QMetaObject::invokeMethod(
            this,
            [this, generation, handed_at] {
                if (generation == generation_.load()) busy_ = false;
                ++applied_;
                emit rebuilt(handed_at);
            },
            Qt::QueuedConnection);
    }
}

}  // namespace korvit::shell
