#pragma once

#include <cstdint>

#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXHistogram;
}

namespace korvit::app {

/// What the engine and the player ask of the displays and the window frame. Called on worker
/// threads: an implementation updates its models and requests a repaint, and never waits for the
/// GUI thread. Every operation does nothing by default, so a front end overrides what it shows.
class IViews {
  public:
    virtual ~IViews() = default;

    /// The gauge readings in the acquisition state took a reply or a trigger.
    virtual void GaugesChanged() {}
    /// Raw numbers and `LastPacket` changed: the item list is redrawn when it is visible.
    virtual void RedrawItemList() {}
    /// The core's chart points took the reply's points at t seconds (every chart value of the
    /// command, or of none, from the packet or, without one, from its last raw number).
    virtual void AddChartPoint(float /*t*/, evaluation::Packet /*packet*/,
                               uint32_t /*command_hash*/) {}
    /// A reply or 160-baud packet went through every view: its items hold their new raw numbers
    /// and `LastPacket` holds the packet.
    virtual void ReplyDecoded(float /*t*/, uint32_t /*command_hash*/) {}
    /// A sample went into `cell` (column * 65536 + row) of the histogram; its statistics are
    /// already updated and the cell is in the acquisition state's fed cells.
    virtual void HistogramFed(const definition::ADXHistogram* /*histogram*/, int32_t /*cell*/) {}
    /// The monitor charts start again (a new scan or playback run); the core's chart points are
    /// already marked.
    virtual void ResetCharts() {}
    /// The charts' time cursor moved to the given seconds (playback position) in the core.
    virtual void SetChartTime(double /*seconds*/) {}

    /// The status bar shows the current connection status, rate and error count.
    virtual void RefreshStatus() {}
    /// Flashes a short failure text on the status line.
    virtual void FlashStatus(const char* /*text*/) {}
    /// The log bar's buttons follow the datalog and connection state.
    virtual void UpdateLogBar() {}
    /// The log bar's position slider moves to the sample.
    virtual void SetLogPosition(uint32_t /*sampleindex*/) {}

    /// A write to the recording failed: the recording has ended ("Recording failed").
    virtual void RecordingFailed() {}
    /// The player reached the end of the datalog: the shell runs its Stop command.
    virtual void PlaybackEnded() {}
    /// Stop work finished stopping acquisition.
    virtual void AcquisitionStopped() {}
    /// Stop work finished stopping the datalog.
    virtual void DatalogStopped() {}
    /// Stop work asks the main window to close.
    virtual void CloseRequested() {}
};

}  // namespace korvit::app
