#pragma once

#include <cstdint>

namespace korvit::acquisition {

/// What the status bar shows about the link; shared between the engine, the player and the GUI.
enum class ConnectionStatus : uint32_t {
    Connected = 0,
    Connecting = 1,
    NotConnected = 2,
    LogPaused = 3,
    /// The port was lost and is being reopened (opt-in reconnect).
    Reconnecting = 4,
};

}  // namespace korvit::acquisition
