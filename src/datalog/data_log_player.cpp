#include <algorithm>
#include <cmath>

#include "datalog/data_log.h"
#include "definition/adx_commands.h"
#include "platform/precise_wait.h"

namespace korvit::datalog {
namespace {

using acquisition::DataAcqEvent;
using acquisition::EventSource;
using acquisition::ResultCode;

// The pacing wait sleeps to an absolute deadline in slices no longer than this, so that Pause
// and Stop are seen quickly without keeping a core busy.
constexpr auto kSleepSlice = std::chrono::milliseconds(5);

// The log whose player runs on this thread, if any.
thread_local const DataLog* t_player_of = nullptr;

}  // namespace

bool DataLog::OnPlayerThread() const {
    return t_player_of == this;
}

double DataLog::ClockMs() const {
    const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto elapsed = std::chrono::steady_clock::duration(now - clock_origin_ns_.load());
    return std::chrono::duration<double, std::milli>(elapsed).count();
}

bool DataLog::WaitUntil(int64_t deadline_ns, uint32_t seeks) {
    const platform::TimePoint deadline{std::chrono::nanoseconds(deadline_ns)};
    for (;;) {
        if (state_.load() != DataLogState::Playing) return false;
        if (seeks_.load() != seeks) return true;
        const platform::TimePoint now = platform::Clock::now();
        if (now >= deadline) return true;
        platform::WaitUntil(std::min(deadline, now + kSleepSlice));
    }
}

uint32_t DataLog::StartPlayer() {
    if (callback_ == nullptr) return kDataLogNoCallback;
    if (state_.load() != DataLogState::Open) return kDataLogWrongState;
    const uint64_t position = file_.Tell();
    if (position >= header_.endmark || position < header_.firstrecord) {
        std::lock_guard guard(lock_);
        file_.Seek(header_.firstrecord);
    }
    if (playerthread_.load() != 0) return kDataLogIOError;
    JoinPlayer();
    state_.store(DataLogState::Playing);
    playerthread_.store(1);
    std::lock_guard guard(join_lock_);
    player_ = std::thread([this] { PlayerThread(); });
    return kDataLogOk;
}

bool DataLog::Pause() {
    DataLogState playing = DataLogState::Playing;
    return state_.compare_exchange_strong(playing, DataLogState::Stopping);
}

void DataLog::StopPlayer() {
    Pause();
    JoinPlayer();
}

void DataLog::JoinPlayer() {
    // The end of a log and a closing window may both stop the player at once: one joins it,
    // the others wait for that. The player never joins itself.
    if (OnPlayerThread()) return;
    std::lock_guard guard(join_lock_);
    if (player_.joinable()) player_.join();
}

void DataLog::PlayerThread() {
    t_player_of = this;
    // The proxy stands in for the real command in every played notification; the reply path
    // finds the real one by the event's idhash.
    definition::ADXCSendCommand proxy;
    proxy.replytimeout = 200;
    record_buffer_.assign(std::max<uint32_t>(LargestStoredSize(), 1), 0);
    reply_buffer_.assign(std::max<uint32_t>(LargestReplySize(), 1), 0);

    DataAcqEvent event;
    event.source = EventSource::Player;
    event.result = ResultCode::Success;
    previoustime_.store(currenttime_.load());

    // Each record's deadline is its time stamp's distance from an anchor record, divided by the
    // speed, so that the time spent handling records never adds up to drift. The anchor moves
    // when the run starts, after a seek, when the speed changes and when time goes backwards;
    // from a fresh anchor the wait is the gap to the previous record, counted from just before
    // the read.
    bool anchored = false;
    int64_t anchor_ns = 0;
    uint32_t anchor_ms = 0;
    float anchor_speed = 0;
    uint32_t code = kDataLogOk;
    while (state_.load() == DataLogState::Playing) {
        RestartClock();
        const int64_t read_start = clock_origin_ns_.load();
        const DataLogCommand* command = nullptr;
        uint32_t seeks = 0;
        uint32_t sample = 0;
        uint32_t time = 0;
        {
            std::lock_guard guard(lock_);
            code = ReadRecordLocked(record_buffer_.data(), record_buffer_.size(), &command);
            seeks = seeks_.load();
            sample = recordsread_.load();
            time = currenttime_.load();
        }
        if (code != kDataLogOk) break;
        RebuildReply(*command, record_buffer_.data(), reply_buffer_.data());

        const float speed = speed_.load();
        const uint32_t previous = previoustime_.load();
        if (reanchor_.exchange(false) || speed != anchor_speed || time < previous) anchored = false;
        if (time != 0 && speed > 0.01f) {
            if (!anchored) {
                anchored = true;
                anchor_ns = read_start;
                anchor_ms = std::min(previous, time);
                anchor_speed = speed;
            }
            const double wait_ms = (time - anchor_ms) / speed;
            if (!WaitUntil(anchor_ns + static_cast<int64_t>(wait_ms * 1e6), seeks)) break;
        } else if (time == 0) {
            anchored = true;
            anchor_ns = read_start;
            anchor_ms = 0;
            anchor_speed = speed;
        }
        std::lock_guard shown(shown_lock_);
        // A record read before a seek belongs to the old position: the next read is at the new.
        if (seeks_.load() != seeks) continue;
        previoustime_.store(time);
        if (command->type == definition::ADXTYPE_SENDCOMMAND) {
            proxy.flags = 1;
            proxy.replysize = command->replysize;
            event.object = &proxy;
            event.objectidhash = command->idhash;
            event.sampleindex = sample;
            callback_->OnSendCommandEnd(event, reply_buffer_.data(), command->replysize);
        }
        shown_.store(sample);
        callback_->OnLogPosition(time, sample);
    }
    player_result_.store(code);
    // The end of the log stops playback; so does a damaged or unreadable record, which the
    // handler reports with player_result().
    if (code != kDataLogOk) callback_->OnLogEnd();
    DataLogState state = state_.load();
    if (state == DataLogState::Stopping || state == DataLogState::Playing) {
        state_.compare_exchange_strong(state, DataLogState::Open);
    }
    playerthread_.store(0);
    callback_->OnPlayerStopped();
}

void DataLog::BuildIndex(const std::atomic<bool>* cancel) {
    index_.clear();
    index_complete_ = false;
    // Room for the records the header counts, so that a long log's index is never copied while
    // it grows; a damaged count is held to what the file's size can hold (a record is 12 bytes
    // at least).
    const uint64_t size = file_.Size();
    const uint64_t span = size > header_.firstrecord ? size - header_.firstrecord : 0;
    index_.reserve(static_cast<size_t>(std::min<uint64_t>(header_.recordcount, span / 12)));
    std::vector<uint8_t> buffer(std::max<uint32_t>(LargestStoredSize(), 1));
    std::lock_guard guard(lock_);
    const uint32_t saved_count = recordsread_.load();
    const uint32_t saved_time = currenttime_.load();
    file_.Seek(header_.firstrecord);
    uint32_t code = kDataLogOk;
    for (uint32_t n = 0;; ++n) {
        if (cancel != nullptr && n % 4096 == 0 && cancel->load()) {
            code = kDataLogIOError;
            break;
        }
        const uint64_t start = file_.Tell();
        const DataLogCommand* command = nullptr;
        code = ReadRecordLocked(buffer.data(), buffer.size(), &command);
        if (code == kDataLogNoCommand) continue;
        if (code != kDataLogOk) break;
        index_.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(file_.Tell()),
                          currenttime_.load(), static_cast<uint8_t>(command - commands_.data())});
    }
    index_complete_ = code == kDataLogEnd;
    index_times_ascending_ =
        std::is_sorted(index_.begin(), index_.end(),
                       [](const IndexEntry& a, const IndexEntry& b) { return a.time < b.time; });
    index_end_position_ = file_.Tell();
    if (!index_complete_) index_.clear();
    index_.shrink_to_fit();
    recordsread_.store(saved_count);
    currenttime_.store(saved_time);
}

uint32_t DataLog::Seek(uint32_t target, uint32_t flags) {
    const DataLogState state = state_.load();
    if (state != DataLogState::Playing && state != DataLogState::Open) return kDataLogWrongState;
    if (flags & kSeekUnsupported) return kDataLogBadSeekFlag;
    if (callback_ != nullptr && callback_->OnLogSeekBegin(target, flags) < 0) {
        return kDataLogSeekRefused;
    }
    RestartClock();
    uint32_t code = kDataLogOk;
    // No played record reaches the displays while the position moves, and none read before
    // the seek reaches them after it.
    std::lock_guard shown(shown_lock_);
    std::vector<ShownRecord> records;
    {
        std::lock_guard guard(lock_);
        if (flags & kSeekRewind) {
            file_.Seek(header_.firstrecord);
            recordsread_.store(0);
        }
        if (target != 0) {
            code = index_complete_ ? SeekByIndex(target, flags) : SeekByReading(target, flags);
        }
        previoustime_.store(currenttime_.load());
        reanchor_.store(true);
        seeks_.fetch_add(1);
        shown_.store(recordsread_.load());
        if (callback_ != nullptr) records = RecordsAtPosition();
    }
    if (callback_ != nullptr) {
        DataAcqEvent event;
        event.source = EventSource::Player;
        event.result = ResultCode::Success;
        event.sampleindex = shown_.load();
        for (const ShownRecord& record : records) {
            event.objectidhash = record.command->idhash;
            callback_->OnLogSeekRecord(event, record.reply.data(),
                                       static_cast<uint32_t>(record.reply.size()));
        }
        callback_->OnLogSeekEnd();
    }
    return code;
}

std::vector<DataLog::ShownRecord> DataLog::RecordsAtPosition() {
    // Items of other commands keep the numbers of their own latest record, so the latest record
    // of each command within this many before the position is decoded too.
    constexpr size_t kLookBack = 1024;
    std::vector<ShownRecord> records;
    if (!index_complete_ || recordsread_.load() == 0) return records;
    const uint64_t position = file_.Tell();
    // The record at the position is the last one that ends at or before it.
    const auto after = std::upper_bound(
        index_.begin(), index_.end(), position,
        [](uint64_t pos, const IndexEntry& entry) { return pos < uint64_t{entry.end}; });
    size_t j = static_cast<size_t>(after - index_.begin());
    std::vector<size_t> chosen;
    std::vector<bool> seen(commands_.size(), false);
    size_t unseen = commands_.size();
    for (size_t k = 0; j > 0 && k < kLookBack && unseen > 0; ++k) {
        const IndexEntry& entry = index_[--j];
        if (entry.command >= seen.size() || seen[entry.command]) continue;
        seen[entry.command] = true;
        --unseen;
        // Only send commands' records reach the reply path when played.
        if (commands_[entry.command].type == definition::ADXTYPE_SENDCOMMAND) chosen.push_back(j);
    }
    const uint32_t read = recordsread_.load();
    const uint32_t time = currenttime_.load();
    std::vector<uint8_t> buffer(std::max<uint32_t>(LargestStoredSize(), 1));
    for (auto i = chosen.rbegin(); i != chosen.rend(); ++i) {
        const DataLogCommand* command = nullptr;
        if (!file_.Seek(index_[*i].offset) ||
            ReadRecordLocked(buffer.data(), buffer.size(), &command) != kDataLogOk) {
            continue;
        }
        ShownRecord record;
        record.command = command;
        record.reply.assign(std::max<uint32_t>(command->replysize, 1), 0);
        RebuildReply(*command, buffer.data(), record.reply.data());
        record.reply.resize(command->replysize);
        records.push_back(std::move(record));
    }
    // Reading them moved nothing that a seek reports.
    file_.Seek(position);
    recordsread_.store(read);
    currenttime_.store(time);
    return records;
}

void DataLog::HoldDisplays(const std::function<void(uint32_t shown)>& work) {
    std::lock_guard shown(shown_lock_);
    work(shown_.load());
}

uint32_t DataLog::SeekByReading(uint32_t target, uint32_t flags) {
    // Its own buffer: the player's may be reallocated by a new run while this one seeks.
    std::vector<uint8_t> buffer(std::max<uint32_t>(LargestStoredSize(), 1));
    for (;;) {
        const uint64_t start = file_.Tell();
        const DataLogCommand* command = nullptr;
        const uint32_t code = ReadRecordLocked(buffer.data(), buffer.size(), &command);
        if (code == kDataLogNoCommand) continue;
        // A read error or damage would repeat on every try: stop with it instead of looping.
        if (code != kDataLogOk) return code;
        if (flags & kSeekByTime) {
            if (currenttime_.load() > target) {
                file_.Seek(start);
                recordsread_.fetch_sub(1);
                return kDataLogOk;
            }
        } else if (recordsread_.load() >= target) {
            return kDataLogOk;
        }
    }
}

uint32_t DataLog::SeekByIndex(uint32_t target, uint32_t flags) {
    // The first indexed record at or after the position is the one the next read returns.
    const uint64_t position = file_.Tell();
    const auto first =
        std::lower_bound(index_.begin(), index_.end(), position,
                         [](const IndexEntry& entry, uint64_t pos) { return entry.offset < pos; });
    const size_t j = static_cast<size_t>(first - index_.begin());
    const size_t count = index_.size();
    const uint32_t read_before = recordsread_.load();

    auto at_end = [&] {
        recordsread_.store(read_before + static_cast<uint32_t>(count - j));
        if (count > j) currenttime_.store(index_[count - 1].time);
        file_.Seek(index_end_position_);
        return kDataLogEnd;
    };

    if (flags & kSeekByTime) {
        // The first record from the position whose time is above the target; a binary search
        // when the stamps never go backwards, as recordings' stamps do not.
        size_t i = j;
        if (index_times_ascending_) {
            i = static_cast<size_t>(std::upper_bound(index_.begin() + j, index_.end(), target,
                                                     [](uint32_t t, const IndexEntry& entry) {
                                                         return t < entry.time;
                                                     }) -
                                    index_.begin());
        } else {
            while (i < count && index_[i].time <= target) ++i;
        }
        if (i == count) return at_end();
        recordsread_.store(read_before + static_cast<uint32_t>(i - j));
        currenttime_.store(index_[i].time);
        file_.Seek(index_[i].offset);
        return kDataLogOk;
    }
    const size_t reads = target > read_before ? target - read_before : 1;
    if (j + reads > count) return at_end();
    const IndexEntry& last = index_[j + reads - 1];
    recordsread_.store(read_before + static_cast<uint32_t>(reads));
    currenttime_.store(last.time);
    file_.Seek(last.end);
    return kDataLogOk;
}

}  // namespace korvit::datalog
