#pragma once

#include <cstdint>

#include "datalog/data_log.h"

namespace korvit::datalog {

/// Log bar commands, in tool bar order.
enum LogBarCommand : uint32_t {
    kLogBarRecord = 20001,
    kLogBarPlay = 20000,
    kLogBarPause = 20003,
    kLogBarStop = 20002,
    kLogBarSelect = 20004,
};

/// Which log bar controls are enabled.
struct LogBarButtons {
    bool play = false;
    bool record = false;
    bool stop = false;
    bool pause = false;
    bool select = false;
    bool slider = false;

    bool operator==(const LogBarButtons&) const = default;
};

/// The enabled controls for a datalog state and connection status (`connected`: the engine is
/// Connected; `log_paused`: playback is paused).
LogBarButtons LogBarButtonStates(DataLogState state, bool connected, bool log_paused);

}  // namespace korvit::datalog
