#pragma once

namespace korvit::cli {

/// Installs Ctrl+C and SIGTERM handlers for its lifetime; the handlers only write a byte to a
/// pipe, which the command's loop waits on. The old handlers come back on destruction.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// Waits up to `timeout_ms` for a stop signal; true when one came.
    static bool Wait(int timeout_ms);
    /// Wakes a Wait without a signal (from another thread).
    static void Wake();
};

}  // namespace korvit::cli
