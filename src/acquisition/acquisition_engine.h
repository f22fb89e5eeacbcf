#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "acquisition/acquisition_state.h"
#include "acquisition/dae_callback.h"
#include "acquisition/data_acq_engine.h"
#include "platform/auto_reset_event.h"

namespace korvit::app {
class IViews;
class OutputLog;
}  // namespace korvit::app

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::acquisition {

/// The acquisition engine: a connect thread that opens the port, runs the definition's connect
/// command once and its monitor command while the running flag is set, then the disconnect
/// command, and closes the port; and the stop work that ends it from another thread.
class AcquisitionEngine {
  public:
    /// Why the last scan ended.
    enum class ScanEnd : uint32_t {
        None,           // no scan has ended yet
        Stopped,        // the user stopped it; the disconnect command ran
        Finished,       // no monitor command: the connect command was all there was to do
        OpenFailed,     // the port could not be opened or configured
        PortLost,       // the other end hung up
        CommandFailed,  // a command returned a failure status
    };

    /// Behaviour beyond the default session; set while no scan runs.
    struct Options {
        /// Which replies whose bytes do not sum to 0 modulo 256 fail instead of being decoded:
        /// none, those of commands whose first replies all carried a checksum, or all.
        ChecksumMode verify_checksum = ChecksumMode::kAuto;
        /// A lost port is reopened once a second for up to `reconnect_seconds`.
        bool reconnect = false;
        uint32_t reconnect_seconds = 60;
    };

    /// Bits of StopWork's argument.
    enum StopFlags : uint32_t { kStopAcquisition = 1, kStopDatalog = 2, kCloseWindow = 4 };

    AcquisitionEngine(definition::ADXDefinition& definition, app::OutputLog& log);
    /// Stops a running scan and waits for the connect thread.
    ~AcquisitionEngine();
    AcquisitionEngine(const AcquisitionEngine&) = delete;
    AcquisitionEngine& operator=(const AcquisitionEngine&) = delete;

    /// Displays and datalog the callback reaches; set while no scan runs.
    void set_views(app::IViews* views);
    void set_datalog(IDatalogLink* datalog);
    void set_options(const Options& options) { options_ = options; }
    const Options& options() const { return options_; }

    /// Switches acquisition on and starts the connect thread on `port_name` (a device path);
    /// returns at once. False, and nothing happens, while a scan runs or is still ending.
    bool StartAcquisition(const std::string& port_name);

    /// Stops what the flags say, in bit order, blocking the calling thread until it is done:
    /// acquisition (the connect thread has ended when this returns), then the datalog; then asks
    /// the window to close. Call it from a worker thread when the caller must not block.
    void StopWork(uint32_t flags);

    /// Waits until no connect thread runs, at most `timeout`; true when idle. The stopped event
    /// stays signalled for the stop work.
    bool WaitIdle(std::chrono::nanoseconds timeout);

    bool running() const { return state_.running.load() != 0; }
    ConnectionStatus status() const { return state_.status.load(); }
    uint32_t errors() const { return state_.errors.load(); }
    ScanEnd last_end() const { return last_end_.load(); }
    AcquisitionState& state() { return state_; }
    DAECallback& callback() { return callback_; }
    DataAcqEngine& data_acq() { return engine_; }

  private:
    void ConnectThread(std::string port_name);
    /// Runs connect, monitor loop and disconnect on an open port.
    ScanEnd RunCommands(const std::string& port_name);
    /// Opens and configures the port; false when it cannot be had.
    bool OpenPort(const std::string& port_name);
    /// After a lost port: tries to reopen it once a second until it opens (true), the scan is
    /// stopped or the reconnect time has passed (false).
    bool Reconnect(const std::string& port_name);
    void RefreshViews();

    definition::ADXDefinition& definition_;
    app::OutputLog& log_;
    AcquisitionState state_;
    DataAcqEngine engine_;
    DAECallback callback_;
    /// Non-signalled exactly while a connect thread runs.
    platform::AutoResetEvent stopped_{true};
    /// True from StartAcquisition until the connect thread has finished its last step.
    std::atomic<bool> thread_active_{false};
    std::atomic<ScanEnd> last_end_{ScanEnd::None};
    Options options_;
    std::mutex thread_mutex_;
    std::thread thread_;
};

}  // namespace korvit::acquisition
