#include "datalog/log_replay.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "definition/adx_bitmask.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"
#include "definition/adx_value.h"

namespace korvit::datalog {
namespace {

// Records between two progress calls: often enough for a responsive cancel, rarely enough to
// cost nothing.
constexpr uint32_t kProgressEvery = 4096;

}  // namespace

LogReplay::LogReplay(const definition::ADXDefinition& definition) : definition_(definition) {}

uint32_t LogReplay::Open(const std::string& path) {
    position_ = 0;
    record_count_ = 0;
    const uint32_t code = log_.Open(path);
    if (code != kDataLogOk) return code;
    path_ = path;
    record_count_ = log_.header().recordcount;
    record_.assign(std::max<uint32_t>(log_.LargestStoredSize(), 1), 0);
    reply_.assign(std::max<uint32_t>(log_.LargestReplySize(), 1), 0);
    last_ = evaluation::PacketSnapshot{};
    return kDataLogOk;
}

void LogReplay::Rewind() {
    if (log_.state() == DataLogState::Open) log_.Seek(0, kSeekRewind);
    position_ = 0;
    last_ = evaluation::PacketSnapshot{};
    for (const auto& object : definition_.objects()) {
        if (auto* value = definition::As<definition::ADXValue>(object.get())) {
            value->last_raw.store(0);
        } else if (auto* bitmask = definition::As<definition::ADXBitmask>(object.get())) {
            bitmask->last_raw.store(0);
        }
    }
}

uint32_t LogReplay::Next(ReplayedRecord& out) {
    if (log_.state() != DataLogState::Open) return kDataLogWrongState;
    const DataLogCommand* entry = nullptr;
    // Playback stops at the first record it cannot read, and so does the replay.
    const uint32_t code = log_.ReadRecord(record_.data(), record_.size(), &entry);
    if (code != kDataLogOk) return code;
    RebuildReply(*entry, record_.data(), reply_.data());
    position_ = log_.recordsread();
    out = ReplayedRecord{};
    out.sample = position_;
    out.time_ms = log_.currenttime();
    out.reply = reply_.data();
    out.reply_size = entry->replysize;
    out.last = &last_;
    if (entry->type != definition::ADXTYPE_SENDCOMMAND) return kDataLogOk;
    const auto* command =
        definition::As<definition::ADXCSendCommand>(definition_.FindByHash(entry->idhash));
    if (command == nullptr || (command->flags & 1) == 0) return kDataLogOk;
    // The packet never reaches past the reply's bytes.
    const uint32_t count = entry->replysize;
    const uint32_t offset = std::min(command->packetoffset, count);
    const evaluation::Packet packet{reply_.data() + offset,
                                    std::min<size_t>(command->packetsize, count - offset)};
    const size_t n = std::min(packet.size, evaluation::PacketSnapshot::kCapacity);
    if (n != 0) std::memcpy(last_.bytes.data(), packet.data, n);
    last_.length = static_cast<uint32_t>(n);
    last_.ReplyCommandHash = entry->idhash;
    definition_.ExtractCommandItems(packet, command->idhash());
    out.command_hash = entry->idhash;
    out.packet = packet;
    return kDataLogOk;
}

uint32_t LogReplay::RunTo(uint32_t sample, const std::function<void(const ReplayedRecord&)>& each,
                          const ReplayProgress& progress) {
    ReplayedRecord record;
    uint32_t since_progress = 0;
    while (position_ < sample) {
        if (progress && since_progress++ % kProgressEvery == 0) {
            if (!progress(position_, std::max(record_count_, position_))) return kReplayCancelled;
        }
        const uint32_t code = Next(record);
        if (code == kDataLogEnd) break;
        if (code != kDataLogOk) return code;
        if (each) each(record);
    }
    if (progress && !progress(position_, std::max(record_count_, position_))) {
        return kReplayCancelled;
    }
    return kDataLogOk;
}

LogReplay::State LogReplay::SaveState() const {
    State state;
    state.position = position_;
    state.last = last_;
    for (const auto& object : definition_.objects()) {
        if (auto* value = definition::As<definition::ADXValue>(object.get())) {
            state.raws.push_back(value->last_raw.load());
        } else if (auto* bitmask = definition::As<definition::ADXBitmask>(object.get())) {
            state.raws.push_back(bitmask->last_raw.load());
        }
    }
    return state;
}

uint32_t LogReplay::RestoreState(const State& state) {
    if (log_.state() != DataLogState::Open) return kDataLogWrongState;
    const uint32_t code = log_.Seek(state.position, kSeekRewind);
    if (code != kDataLogOk) return code;
    position_ = log_.recordsread();
    last_ = state.last;
    size_t k = 0;
    for (const auto& object : definition_.objects()) {
        if (k == state.raws.size()) break;
        if (auto* value = definition::As<definition::ADXValue>(object.get())) {
            value->last_raw.store(state.raws[k++]);
        } else if (auto* bitmask = definition::As<definition::ADXBitmask>(object.get())) {
            bitmask->last_raw.store(state.raws[k++]);
        }
    }
    return kDataLogOk;
}

void FeedHistograms(const definition::ADXDefinition& definition, const ReplayedRecord& record) {
    if (record.command_hash == 0 || record.last == nullptr) return;
    for (const auto& object : definition.objects()) {
        auto* histogram = definition::As<definition::ADXHistogram>(object.get());
        if (histogram == nullptr || (histogram->parentcmdidhash != record.command_hash &&
                                     histogram->parentcmdidhash != 0)) {
            continue;
        }
        histogram->AddHistogramSample(definition, record.last->packet(),
                                      record.last->ReplyCommandHash);
    }
}

uint32_t RebuildHistograms(LogReplay& replay, uint32_t sample, const ReplayProgress& progress) {
    const definition::ADXDefinition& definition = replay.definition();
    for (const auto& object : definition.objects()) {
        if (auto* histogram = definition::As<definition::ADXHistogram>(object.get())) {
            histogram->ClearHistogram();
        }
    }
    replay.Rewind();
    return replay.RunTo(
        sample, [&](const ReplayedRecord& record) { FeedHistograms(definition, record); },
        progress);
}

uint32_t AdvanceHistograms(LogReplay& replay, uint32_t sample, const ReplayProgress& progress) {
    if (sample < replay.position()) return RebuildHistograms(replay, sample, progress);
    const definition::ADXDefinition& definition = replay.definition();
    return replay.RunTo(
        sample, [&](const ReplayedRecord& record) { FeedHistograms(definition, record); },
        progress);
}

struct HistogramCheckpoints::Checkpoint {
    LogReplay::State state;
    std::vector<std::unique_ptr<definition::ADXHistogram>> histograms;
};

HistogramCheckpoints::HistogramCheckpoints(uint32_t every) : every_(std::max<uint32_t>(every, 1)) {}

HistogramCheckpoints::~HistogramCheckpoints() = default;

void HistogramCheckpoints::Clear() {
    checkpoints_.clear();
}

void HistogramCheckpoints::Save(const LogReplay& replay) {
    auto checkpoint = std::make_unique<Checkpoint>();
    checkpoint->state = replay.SaveState();
    for (const auto& object : replay.definition().objects()) {
        auto* histogram = definition::As<definition::ADXHistogram>(object.get());
        if (histogram == nullptr) continue;
        // A histogram of the same shape holds the copy.
        auto copy = std::make_unique<definition::ADXHistogram>();
        copy->SetRows(histogram->rows());
        copy->SetCols(histogram->cols());
        copy->SetHistorySize(histogram->GetHistorySize());
        copy->CopySamplesFrom(*histogram);
        checkpoint->histograms.push_back(std::move(copy));
    }
    const uint32_t position = checkpoint->state.position;
    checkpoints_[position] = std::move(checkpoint);
}

uint32_t HistogramCheckpoints::SeekTo(LogReplay& replay, uint32_t sample,
                                      const ReplayProgress& progress) {
    // The last checkpoint at or before the target, if any.
    const auto it = checkpoints_.upper_bound(sample);
    const Checkpoint* from = it == checkpoints_.begin() ? nullptr : std::prev(it)->second.get();
    const uint32_t at = replay.position();
    if (at > sample || (from != nullptr && from->state.position > at)) {
        if (from == nullptr) {
            const uint32_t code = RebuildHistograms(replay, 0);
            if (code != kDataLogOk) return code;
        } else {
            const uint32_t code = replay.RestoreState(from->state);
            if (code != kDataLogOk) return code;
            size_t k = 0;
            for (const auto& object : replay.definition().objects()) {
                auto* histogram = definition::As<definition::ADXHistogram>(object.get());
                if (histogram == nullptr) continue;
                if (k < from->histograms.size()) histogram->CopySamplesFrom(*from->histograms[k]);
                ++k;
            }
        }
    }
    while (replay.position() < sample) {
        const uint32_t next = std::min(sample, (replay.position() / every_ + 1) * every_);
        const uint32_t code = AdvanceHistograms(replay, next, progress);
        if (code != kDataLogOk) return code;
        if (replay.position() != next) break;  // the log ended
        if (next % every_ == 0 && checkpoints_.count(next) == 0) Save(replay);
    }
    return kDataLogOk;
}

size_t CopyHistogramSamples(const definition::ADXDefinition& from,
                            const definition::ADXDefinition& to) {
    size_t copied = 0;
    for (const auto& object : from.objects()) {
        const auto* source = definition::As<definition::ADXHistogram>(object.get());
        if (source == nullptr) continue;
        auto* target = definition::As<definition::ADXHistogram>(to.FindByHash(source->idhash()));
        if (target != nullptr && target->CopySamplesFrom(*source)) ++copied;
    }
    return copied;
}

}  // namespace korvit::datalog
