#include "acquisition/dae_callback.h"

#include <algorithm>

#include "app/output_log.h"
#include "app/views.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"

namespace korvit::acquisition {

using definition::ADXCSendCommand;
using definition::ADXCTrigger;
using evaluation::Packet;

DAECallback::DAECallback(const definition::ADXDefinition& definition, AcquisitionState& state,
                         app::OutputLog& log)
    : definition_(definition), state_(state), log_(log) {}

int32_t DAECallback::OnRawData(const DataAcqEvent&, const uint8_t*, uint32_t) {
    return 0;
}

int32_t DAECallback::OnBytesRead(const DataAcqEvent&, const uint8_t* bytes, uint32_t count) {
    if (count != 0) log_.HexDump("Read", bytes, count);
    return 0;
}

int32_t DAECallback::OnListenSilenceBegin(const DataAcqEvent& event) {
    const auto* listen = definition::As<definition::ADXCListenSilence>(event.object);
    log_.Print("Looking for %i ms of silence...",
               listen != nullptr ? static_cast<int>(listen->silencelen) : 0);
    return 0;
}

int32_t DAECallback::OnListenSilenceEnd(const DataAcqEvent& event) {
    log_.PrintLine(event.result == ResultCode::Success ? "Silence found" : "NO SILENCE FOUND");
    return 0;
}

int32_t DAECallback::OnListenChatterBegin(const DataAcqEvent&) {
    log_.PrintLine("Looking for chatter...");
    return 0;
}

int32_t DAECallback::OnListenChatterEnd(const DataAcqEvent& event) {
    log_.PrintLine(event.result == ResultCode::Success ? "Chatter found" : "CHATTER NOT FOUND");
    return 0;
}

int32_t DAECallback::OnSendCommandBegin(const DataAcqEvent&) {
    return 0;
}

int32_t DAECallback::OnSendCommandEnd(const DataAcqEvent& event, const uint8_t* reply,
                                      uint32_t count) {
    // The page is emptied before every 201st reply line so that it never grows without bound.
    if (page_count_.fetch_add(1, std::memory_order_relaxed) + 1 > kRepliesPerPage) {
        log_.Clear();
        page_count_.store(0, std::memory_order_relaxed);
    }
    float t = static_cast<float>(state_.rate.Elapsed());
    definition::ADXObject* object = event.object;
    if (event.source == EventSource::Player) {
        object = definition_.FindByHash(event.objectidhash);
        if (object == nullptr) {
            log_.PrintLine("Log playback: Command not found in def. Wrong definition?");
            return kStatusFail;
        }
        t = static_cast<float>((datalog_ != nullptr ? datalog_->CurrentTimeMs() : 0u) / 1000.0);
    }

    if (event.result == ResultCode::Success) {
        const auto* command = definition::As<ADXCSendCommand>(object);
        if (command != nullptr && (command->flags & 1) != 0) {
            // The packet never reaches past the bytes that actually came.
            const uint32_t offset = std::min(command->packetoffset, count);
            const Packet packet{reply + offset,
                                std::min<size_t>(command->packetsize, count - offset)};
            state_.last_packet.Store(packet.data, packet.size, event.objectidhash);
            log_.Print("%.3f: Command/Reply Success", t);
            if (datalog_ != nullptr && datalog_->IsRecording() && Connected()) {
                datalog_->AppendReply(command->idhash(), reply, count);
            }
            definition_.ExtractCommandItems(packet, command->idhash());
            UpdateViews(t, packet, event.objectidhash);
            ConfirmConnected();
        } else {
            log_.Print("%.3f: Command sent. Reply not processed.", t);
        }
    } else {
        if (event.result == ResultCode::ChecksumError) {
            log_.Print("%.3f: Reply checksum error", t);
        } else {
            log_.Print("%.3f: !!!!!!SEND COMMAND FAILURE (0x%.8X)!!!!!!", t,
                       static_cast<unsigned>(event.result));
        }
        if (Connected()) {
            Flash("ALDL Data Error!");
            state_.errors.fetch_add(1, std::memory_order_relaxed);
        }
    }
    state_.rate.Count();
    RefreshStatus();
    return 0;
}

int32_t DAECallback::OnMacroBegin(const DataAcqEvent&) {
    log_.PrintLine("BEGIN MACRO");
    return 0;
}

int32_t DAECallback::OnMacroEnd(const DataAcqEvent&) {
    log_.PrintLine("END MACRO");
    return 0;
}

int32_t DAECallback::On160BaudListenBegin(const DataAcqEvent&) {
    log_.PrintLine("Listening for 160 baud packet");
    return 0;
}

int32_t DAECallback::On160BaudListenEnd(const DataAcqEvent& event, const uint8_t* packet,
                                        uint32_t count) {
    state_.rate.Count();
    const auto t = static_cast<float>(state_.rate.Elapsed());
    if (packet != nullptr && count != 0)
        state_.last_packet.Store(packet, count, event.objectidhash);
    switch (event.result) {
        case ResultCode::Success:
            log_.PrintLine("160 baud packet acquired");
            ConfirmConnected();
            UpdateViews(t, Packet{packet, packet != nullptr ? count : 0u}, event.objectidhash);
            break;
        case ResultCode::MalformedByte:
            state_.errors.fetch_add(1, std::memory_order_relaxed);
            log_.PrintLine("Data errors detected!");
            if (Connected()) Flash("Data Byte Error!");
            break;
        default:
            log_.PrintLine("160 BAUD PACKET ERROR");
            if (Connected()) Flash("Packet Error!");
            break;
    }
    RefreshStatus();
    return 0;
}

int32_t DAECallback::OnTrigger(const DataAcqEvent& event) {
    const auto* trigger = definition::As<ADXCTrigger>(event.object);
    if (trigger == nullptr) return 0;
    const uint32_t bits = trigger->triggertype;
    const uint32_t hash = trigger->idhash();
    if (bits & 0x02) FeedHistograms(hash);
    // Without a packet every item reads its last raw number.
    if (bits & 0x10) state_.gauges.Feed(Packet::None(), hash);
    const auto elapsed = static_cast<float>(state_.rate.Elapsed());
    if (bits & 0x08) state_.charts.Feed(elapsed, Packet::None(), hash);
    if (views_ == nullptr) return 0;
    if (bits & 0x04) views_->RedrawItemList();
    if (bits & 0x08) {
        views_->AddChartPoint(elapsed, Packet::None(), hash);
    }
    if (bits & 0x10) views_->GaugesChanged();
    return 0;
}

int32_t DAECallback::OnLogEnd() {
    if (views_ != nullptr) views_->PlaybackEnded();
    return 0;
}

void DAECallback::OnPlayerStopped() {
    if (views_ != nullptr) views_->UpdateLogBar();
}

int32_t DAECallback::OnLogSeekBegin(uint32_t, uint32_t) {
    seek_decoded_.store(false);
    return 0;
}

void DAECallback::OnLogSeekRecord(const DataAcqEvent& event, const uint8_t* reply, uint32_t count) {
    if (DecodeRecord(event.objectidhash, reply, count)) seek_decoded_.store(true);
}

int32_t DAECallback::OnLogSeekEnd() {
    // Before the first record (or in a log that cannot be indexed) nothing is shown.
    ShowPosition(seek_decoded_.exchange(false));
    if (datalog_ != nullptr) {
        const double seconds = datalog_->CurrentTimeMs() / 1000.0;
        state_.charts.SetCursor(seconds);
        if (views_ != nullptr) views_->SetChartTime(seconds);
    }
    return 0;
}

void DAECallback::ShowRecord(uint32_t command_hash, const uint8_t* reply, uint32_t count) {
    ShowPosition(command_hash != 0 && DecodeRecord(command_hash, reply, count));
}

bool DAECallback::DecodeRecord(uint32_t command_hash, const uint8_t* reply, uint32_t count) {
    const auto* command = definition::As<ADXCSendCommand>(definition_.FindByHash(command_hash));
    if (command == nullptr || (command->flags & 1) == 0 || reply == nullptr) return false;
    const uint32_t offset = std::min(command->packetoffset, count);
    const Packet packet{reply + offset, std::min<size_t>(command->packetsize, count - offset)};
    state_.last_packet.Store(packet.data, packet.size, command_hash);
    definition_.ExtractCommandItems(packet, command->idhash());
    return true;
}

void DAECallback::ShowPosition(bool decoded) {
    if (!decoded) state_.last_packet.Clear();
    state_.gauges.RestartAt(state_.last_packet.Load());
    if (views_ != nullptr) {
        views_->GaugesChanged();
        views_->RedrawItemList();
    }
}

int32_t DAECallback::OnLogPosition(uint32_t time_ms, uint32_t sampleindex) {
    state_.charts.SetCursor(time_ms / 1000.0);
    if (views_ != nullptr) {
        views_->SetChartTime(time_ms / 1000.0);
        views_->SetLogPosition(sampleindex);
    }
    return 0;
}

void DAECallback::UpdateViews(float t, Packet packet, uint32_t command_hash) {
    state_.gauges.Feed(packet, command_hash);
    if (views_ != nullptr) {
        views_->GaugesChanged();
        views_->RedrawItemList();
    }
    FeedHistograms(command_hash);
    state_.charts.Feed(t, packet, command_hash);
    if (views_ != nullptr) {
        views_->AddChartPoint(t, packet, command_hash);
        views_->ReplyDecoded(t, command_hash);
    }
}

void DAECallback::FeedHistograms(uint32_t command_hash) {
    bool have_snapshot = false;
    evaluation::PacketSnapshot snapshot;
    for (const auto& object : definition_.objects()) {
        auto* histogram = definition::As<definition::ADXHistogram>(object.get());
        if (histogram == nullptr ||
            (histogram->parentcmdidhash != command_hash && histogram->parentcmdidhash != 0)) {
            continue;
        }
        if (!have_snapshot) {
            state_.last_packet.LoadInto(snapshot);
            have_snapshot = true;
        }
        const int32_t cell = histogram->AddHistogramSample(definition_, snapshot.packet(),
                                                           snapshot.ReplyCommandHash);
        if (cell < 0) continue;
        state_.fed_cells.Add(histogram, cell);
        if (views_ != nullptr) views_->HistogramFed(histogram, cell);
    }
}

void DAECallback::ConfirmConnected() {
    if (state_.running.load() == 0) return;
    ConnectionStatus expected = ConnectionStatus::Connecting;
    if (state_.status.compare_exchange_strong(expected, ConnectionStatus::Connected) &&
        views_ != nullptr) {
        views_->RefreshStatus();
        views_->UpdateLogBar();
    }
}

void DAECallback::RefreshStatus() {
    if (views_ != nullptr) views_->RefreshStatus();
}

void DAECallback::Flash(const char* text) {
    if (views_ != nullptr) views_->FlashStatus(text);
}

}  // namespace korvit::acquisition
