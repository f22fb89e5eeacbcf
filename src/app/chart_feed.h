#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "app/chart_points.h"
#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXDefinition;
class ADXValue;
}  // namespace korvit::definition

namespace korvit::app {

/// The chart points that replies bring, kept in the core until the Monitors page takes them.
/// The reply thread feeds every reply (each watched value computed once); the GUI thread takes
/// what is new when it draws, so nothing is dropped however long the page stays hidden.
///
/// Two locks, each held briefly: `watch_mutex_` guards the watched values and is held by Feed
/// while it computes and by Watch; `pending_mutex_` guards what is waiting and is held only
/// while points are appended, while Take swaps them out, and by Reset and SetCursor.
class ChartFeed {
  public:
    /// A reply that brought points: its time and its command, so that each chart's time axis
    /// can follow the points it got, in the order they came.
    struct Arrival {
        float t = 0.0f;
        uint32_t command_hash = 0;
    };
    /// What came since the last Take. A reset splits it: what lies before the marks came before
    /// the last reset, the rest after it.
    struct Batch {
        /// One line per watched value, in the order Watch gave them.
        std::vector<std::vector<ChartPoint>> lines;
        std::vector<size_t> lines_before_reset;
        std::vector<Arrival> arrivals;
        size_t arrivals_before_reset = 0;
        bool reset = false;
        /// The newest cursor time, if it moved; `cursor_after_reset` tells on which side of the
        /// reset it was set.
        std::optional<float> cursor;
        bool cursor_after_reset = false;
        /// True when nothing came at all.
        bool empty() const;
    };

    /// Keeps lines for these values (nulls and repeats are the caller's to avoid) from now on.
    /// With `keep_waiting`, points waiting for a value that stays watched are kept (a series
    /// added or removed); without, everything waiting is dropped (a definition loaded anew).
    void Watch(const definition::ADXDefinition* definition,
               std::vector<definition::ADXValue*> values, bool keep_waiting);
    /// A reply of the command (or a trigger, without a packet) at t seconds: every watched value
    /// of the command, or of none, adds its point, computed from the packet or from its last raw
    /// number; the cursor moves to t. Called on the reply thread.
    void Feed(float t, evaluation::Packet packet, uint32_t command_hash);
    /// A new scan or playback run: the lines start again (what is waiting is kept, marked as
    /// before the reset).
    void Reset();
    /// Moves the charts' time cursor (the playback position).
    void SetCursor(double seconds);
    /// Hands over everything that is waiting. The batch's storage goes back to the feed for the
    /// points to come, so that a steady feed allocates nothing.
    void Take(Batch& batch);

  private:
    void ClearPendingLocked(size_t lines);

    std::mutex watch_mutex_;
    const definition::ADXDefinition* definition_ = nullptr;
    std::vector<definition::ADXValue*> values_;
    /// What the reply being fed computed, and for which values; reused for every reply.
    std::vector<float> computed_;
    std::vector<char> fed_;

    std::mutex pending_mutex_;
    Batch pending_;
};

}  // namespace korvit::app
