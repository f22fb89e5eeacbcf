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

HistogramReview::HistogramReview(definition::ADXDefinition& live, QObject* parent)
    : QObject(parent), live_(live) {}

HistogramReview::~HistogramReview() {
    Close();
}

void HistogramReview::Close() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        request_.reset();
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

void HistogramReview::RebuildTo(uint32_t sample) {
    if (!worker_.joinable()) return;
    ++generation_;
    busy_ = true;
    {
        std::lock_guard lock(mutex_);
        request_ = sample;
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
        uint32_t sample = 0;
        uint64_t generation = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || request_.has_value(); });
            if (stop_) return;
            sample = *request_;
            request_.reset();
            generation = generation_.load();
        }
        if (!opened) continue;
        // A newer request (or Close) makes this one moot: stop replaying for it.
        const auto moot = [&](uint32_t, uint32_t) {
            std::lock_guard lock(mutex_);
            return !stop_ && !request_.has_value();
        };
        if (checkpoints.SeekTo(replay, sample, moot) == datalog::kReplayCancelled) continue;
        // The snapshot is the GUI thread's alone: the copy goes on with the next request.
        auto snapshot = std::make_shared<definition::ADXDefinition>();
        if (snapshot->LoadBuffer(adx.data(), adx.size(), error) == 0) continue;
        datalog::CopyHistogramSamples(copy, *snapshot);
        QMetaObject::invokeMethod(
            this,
            [this, snapshot, generation, sample] {
                if (generation != generation_.load()) return;
                datalog::CopyHistogramSamples(*snapshot, live_);
                busy_ = false;
                ++applied_;
                emit rebuilt(sample);
            },
            Qt::QueuedConnection);
    }
}

}  // namespace korvit::shell
