#pragma once

#include <atomic>
#include <cstdint>

#include "acquisition/acquisition_state.h"
#include "acquisition/data_acq_callback.h"
#include "acquisition/datalog_link.h"
#include "evaluation/last_packet.h"

namespace korvit::app {
class IViews;
class OutputLog;
}  // namespace korvit::app

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::acquisition {

/// The application's handling of every engine and player notification: Output lines, the
/// connection status, error and rate counts, recording, decoding and view updates. Runs on the
/// thread that raises the notification (the connect thread or the player thread).
class DAECallback : public IDataLogCallback {
  public:
    /// Output lines the page keeps before it is emptied on the next reply.
    static constexpr uint32_t kRepliesPerPage = 200;

    DAECallback(const definition::ADXDefinition& definition, AcquisitionState& state,
                app::OutputLog& log);

    /// Displays to update; null (the default) updates none. Set before a scan or playback starts.
    void set_views(app::IViews* views) { views_ = views; }
    /// The datalog to record to and to ask for played times; null records nothing.
    void set_datalog(IDatalogLink* datalog) { datalog_ = datalog; }
    app::IViews* views() const { return views_; }
    IDatalogLink* datalog() const { return datalog_; }

    int32_t OnRawData(const DataAcqEvent& event, const uint8_t* bytes, uint32_t count) override;
    int32_t OnBytesRead(const DataAcqEvent& event, const uint8_t* bytes, uint32_t count) override;
    int32_t OnListenSilenceBegin(const DataAcqEvent& event) override;
    int32_t OnListenSilenceEnd(const DataAcqEvent& event) override;
    int32_t OnListenChatterBegin(const DataAcqEvent& event) override;
    int32_t OnListenChatterEnd(const DataAcqEvent& event) override;
    int32_t OnSendCommandBegin(const DataAcqEvent& event) override;
    int32_t OnSendCommandEnd(const DataAcqEvent& event, const uint8_t* reply,
                             uint32_t count) override;
    int32_t OnMacroBegin(const DataAcqEvent& event) override;
    int32_t OnMacroEnd(const DataAcqEvent& event) override;
    int32_t On160BaudListenBegin(const DataAcqEvent& event) override;
    int32_t On160BaudListenEnd(const DataAcqEvent& event, const uint8_t* packet,
                               uint32_t count) override;
    int32_t OnTrigger(const DataAcqEvent& event) override;

    int32_t OnLogEnd() override;
    void OnPlayerStopped() override;
    int32_t OnLogSeekBegin(uint32_t target, uint32_t flags) override;
    /// A record at the new position: its packet becomes the last packet and its command's
    /// items take their raw numbers, as when it was played; histograms and charts, which keep
    /// their own account of the position, are not fed.
    void OnLogSeekRecord(const DataAcqEvent& event, const uint8_t* reply, uint32_t count) override;
    /// The gauges restart at the position (no value before the first record).
    int32_t OnLogSeekEnd() override;
    int32_t OnLogPosition(uint32_t time_ms, uint32_t sampleindex) override;

    /// Feeds one packet (none: the items' last raw numbers) to the dash, the item list, the
    /// histograms and the charts, for the command `command_hash`.
    void UpdateViews(float t, evaluation::Packet packet, uint32_t command_hash);

    /// Shows one played record on the displays as a seek to it does (command 0: nothing, as
    /// before the first record), without feeding histograms or charts: the start of a log
    /// that was just chosen. Call it only while nothing plays or scans.
    void ShowRecord(uint32_t command_hash, const uint8_t* reply, uint32_t count);

    /// Starts the Output page's reply count again (a new scan empties the page).
    void ResetPageCount() { page_count_.store(0, std::memory_order_relaxed); }

  private:
    /// Marks the link live once the first good packet of a running scan arrives.
    void ConfirmConnected();
    /// The record's packet becomes the last packet and its command's items take their raw
    /// numbers; false when the definition does not process the command.
    bool DecodeRecord(uint32_t command_hash, const uint8_t* reply, uint32_t count);
    /// The gauges restart at the last packet (cleared when `decoded` is false); the dash and
    /// item list are told.
    void ShowPosition(bool decoded);
    /// Every histogram of the command (or of none) takes a sample from `LastPacket`.
    void FeedHistograms(uint32_t command_hash);
    void RefreshStatus();
    void Flash(const char* text);
    bool Connected() const { return state_.status.load() == ConnectionStatus::Connected; }

    const definition::ADXDefinition& definition_;
    AcquisitionState& state_;
    app::OutputLog& log_;
    app::IViews* views_ = nullptr;
    IDatalogLink* datalog_ = nullptr;
    std::atomic<uint32_t> page_count_{0};
    /// Whether the seek under way decoded a record at its position.
    std::atomic<bool> seek_decoded_{false};
};

}  // namespace korvit::acquisition
