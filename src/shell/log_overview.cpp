#include "shell/log_overview.h"

#include <QDir>
#include <QMetaObject>
#include <QUuid>
#include <filesystem>

#include "app/chart_fill.h"
#include "datalog/log_replay.h"
#include "definition/adx_definition.h"

namespace korvit::shell {

LogOverview::LogOverview(QObject* parent) : QObject(parent) {}

LogOverview::~LogOverview() {
    Cancel();
}

void LogOverview::Cancel() {
    if (cancel_) cancel_->store(true);
    cancel_.reset();
    if (worker_.joinable()) worker_.join();
    busy_ = false;
}

bool LogOverview::Start(const definition::ADXDefinition& definition, const std::string& log_path,
                        std::vector<uint32_t> hashes, Done done) {
    Cancel();
    ++generation_;
    const std::string copy =
        QDir(QDir::tempPath())
            .filePath("korvit-overview-" + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                      ".adx")
            .toStdString();
    if (definition.Save(copy) == 0) {
        std::error_code ignored;
        std::filesystem::remove(copy, ignored);
        return false;
    }
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    busy_ = true;
    const uint64_t generation = generation_;
    worker_ = std::thread([this, cancel, generation, copy, log_path, hashes = std::move(hashes),
                           done = std::move(done)] {
        auto lines = std::make_shared<Lines>();
        auto first = std::make_shared<FirstRecord>();
        bool ok = false;
        {
            definition::ADXDefinition def;
            std::string error;
            const bool loaded = def.Load(copy, error) != 0;
            std::error_code ignored;
            std::filesystem::remove(copy, ignored);
            if (loaded && !cancel->load()) {
                datalog::LogReplay replay(def);
                if (replay.Open(log_path) == datalog::kDataLogOk) {
                    datalog::ReplayedRecord record;
                    while (replay.Next(record) == datalog::kDataLogOk) {
                        if (record.command_hash == 0) continue;
                        first->command_hash = record.command_hash;
                        first->time_ms = record.time_ms;
                        first->reply.assign(record.reply, record.reply + record.reply_size);
                        break;
                    }
                    // The lines are built here, so the GUI thread only swaps them in.
                    const uint32_t code =
                        app::FillSeriesFromLog(replay, hashes, *lines,
                                               [&](uint32_t, uint32_t) { return !cancel->load(); });
                    // A damaged record ends the lines there: what came before still shows.
                    ok = code != datalog::kReplayCancelled;
                }
            }
        }
        if (!ok || cancel->load()) return;
        QMetaObject::invokeMethod(
            this,
            [this, cancel, generation, log_path, hashes, lines, first, done] {
                if (cancel->load() || generation != generation_) return;
                busy_ = false;
                first_ = std::move(*first);
                if (done) done(log_path, hashes, *lines);
            },
            Qt::QueuedConnection);
    });
    return true;
}

}  // namespace korvit::shell
