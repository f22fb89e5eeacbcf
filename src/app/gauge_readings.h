#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXDefinition;
class ADXObject;
}  // namespace korvit::definition

namespace korvit::app {

/// What one gauge shows: the latest reading and the lowest and highest readings since the gauge
/// was set up. `has_value` stays false until a reply (or a trigger) gave the item a reading.
struct GaugeReading {
    bool has_value = false;
    float value = 0.0f;
    float lowest = 0.0f;
    float highest = 0.0f;
    /// A bitmask's state (0 or 1); values leave it 0.
    uint32_t state = 0;
};

/// The readings of the gauges on the shown dashboard, fed on the reply thread by every reply so
/// that no reading is lost between two frames, and read by the Dash on the GUI thread.
class GaugeReadings {
  public:
    /// Keeps one reading per item (values and bitmasks; anything else, or null, never reads) and
    /// forgets every earlier reading.
    void Watch(const definition::ADXDefinition* definition,
               std::vector<definition::ADXObject*> items);
    /// A reply of the command: every watched item of the command (or of none) computes its
    /// reading from the packet, or from its last raw number when there is no packet.
    void Feed(evaluation::Packet packet, uint32_t command_hash);
    /// Forgets every reading (the items stay watched).
    void Clear();
    /// Every reading starts again at what `last` shows (a seek, or gauges newly shown): the
    /// item's value under the packet-selection rule, which is also its lowest and highest.
    /// Before the first reply (`last` empty) no gauge reads.
    void RestartAt(const evaluation::PacketSnapshot& last);
    /// Counts the restarts, so that a gauge knows when its own lowest and highest go too.
    uint64_t restarts() const;
    /// A copy of the readings, in the order the items were given.
    std::vector<GaugeReading> Readings() const;
    /// Counts the feeds and clears, so that a reader can tell whether anything moved.
    uint64_t generation() const;

  private:
    /// The readings a value computed lately, by raw number. A value whose every letter is its
    /// own raw number reads the same for the same raw number, so a raw number seen before costs
    /// no equation; 8-bit values keep every one of their 256.
    struct Memo {
        struct Entry {
            uint32_t raw = 0;
            bool known = false;
            float value = 0.0f;
        };
        std::array<Entry, 256> entries;
    };
    static bool Memoizable(const definition::ADXObject* item);

    mutable std::mutex mutex_;
    const definition::ADXDefinition* definition_ = nullptr;
    std::vector<definition::ADXObject*> items_;
    std::vector<GaugeReading> readings_;
    // One per item: the memo of a value that has one, else null.
    std::vector<std::unique_ptr<Memo>> memos_;
    uint64_t generation_ = 0;
    uint64_t restarts_ = 0;
};

}  // namespace korvit::app
