#include "acquisition/acquisition_engine.h"

#include <thread>

#include "app/output_log.h"
#include "app/views.h"
#include "definition/adx_definition.h"

namespace korvit::acquisition {

namespace {
// Port settings right after opening; every command then sets its own time-outs.
constexpr uint32_t kReadInterval = 300;
constexpr uint32_t kReadTotalConstant = 2000;
constexpr uint32_t kWriteTotalConstant = 110;
constexpr uint32_t kInputBuffer = 1024;
constexpr uint32_t kOutputBuffer = 512;
}  // namespace

AcquisitionEngine::AcquisitionEngine(definition::ADXDefinition& definition, app::OutputLog& log)
    : definition_(definition), log_(log), callback_(definition, state_, log) {
    engine_.log = &log_;
}

AcquisitionEngine::~AcquisitionEngine() {
    if (running()) StopWork(kStopAcquisition);
    std::lock_guard lock(thread_mutex_);
    if (thread_.joinable()) thread_.join();
}

void AcquisitionEngine::set_views(app::IViews* views) {
    callback_.set_views(views);
}

void AcquisitionEngine::set_datalog(IDatalogLink* datalog) {
    callback_.set_datalog(datalog);
}

bool AcquisitionEngine::StartAcquisition(const std::string& port_name) {
    std::lock_guard lock(thread_mutex_);
    if (running() || thread_active_.load()) return false;
    if (thread_.joinable()) thread_.join();  // the last scan's thread has finished its work

    state_.running = 1;
    log_.Clear();
    callback_.ResetPageCount();
    state_.errors = 0;
    state_.rate.Start();
    state_.last_packet.Clear();  // the displays show no value until the first reply
    state_.gauges.Clear();
    state_.charts.Reset();
    if (app::IViews* views = callback_.views()) views->ResetCharts();
    // Reset here rather than on the new thread, so that a stop issued right after the start
    // always waits for the thread.
    stopped_.Reset();
    thread_active_ = true;
    thread_ = std::thread(&AcquisitionEngine::ConnectThread, this, port_name);
    return true;
}

void AcquisitionEngine::ConnectThread(std::string port_name) {
    const bool echo = (definition_.flags & definition::ADXDefinition::kEchoesSentBytes) != 0;
    engine_.flags = echo ? uint32_t{DataAcqEngine::kEcho} : 0u;
    engine_.callback = &callback_;
    engine_.baud = definition_.baud;
    // What automatic verification learnt holds for this scan, across reconnects.
    engine_.checks.set_mode(options_.verify_checksum);
    engine_.ForgetFailedReply();

    MMSerial& port = *engine_.port_ref;
    ScanEnd end = ScanEnd::OpenFailed;
    if (OpenPort(port_name)) {
        for (;;) {
            state_.status = ConnectionStatus::Connecting;
            RefreshViews();
            end = RunCommands(port_name);
            port.Close();
            if (end != ScanEnd::PortLost || !options_.reconnect) break;
            if (!Reconnect(port_name)) {
                // A stop while the port was away ends the scan as the user asked.
                if (state_.running.load() == 0) end = ScanEnd::Stopped;
                break;
            }
        }
    } else {
        log_.Print("Unable to open port (%s)!", port_name.c_str());
        const std::string reason = port.OpenFailureReason(port_name);
        if (!reason.empty()) log_.PrintLine(reason);
    }
    last_end_ = end;

    state_.status = ConnectionStatus::NotConnected;
    RefreshViews();
    state_.running = 0;
    thread_active_ = false;
    stopped_.Set();
}

bool AcquisitionEngine::OpenPort(const std::string& port_name) {
    MMSerial& port = *engine_.port_ref;
    return port.Open(port_name, definition_.baud) != 0 &&
           port.SetTimeouts(kReadInterval, 0, kReadTotalConstant, 0, kWriteTotalConstant) != 0 &&
           port.SetBuffers(kInputBuffer, kOutputBuffer) != 0;
}

bool AcquisitionEngine::Reconnect(const std::string& port_name) {
    using Clock = std::chrono::steady_clock;
    state_.status = ConnectionStatus::Reconnecting;
    RefreshViews();
    log_.Print("Reconnecting to %s (giving up after %u s)...", port_name.c_str(),
               options_.reconnect_seconds);
    const auto lost_at = Clock::now();
    const auto give_up = lost_at + std::chrono::seconds(options_.reconnect_seconds);
    auto next_try = lost_at;
    while (state_.running.load() == 1) {
        const auto now = Clock::now();
        if (now >= next_try) {
            if (OpenPort(port_name)) {
                const double gap = std::chrono::duration<double>(Clock::now() - lost_at).count();
                log_.Print("Reconnected to %s after %.1f s", port_name.c_str(), gap);
                return true;
            }
            if (now >= give_up) break;
            next_try += std::chrono::seconds(1);
        }
        // Short naps, so that a stop request ends the wait at once.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (state_.running.load() == 1) {
        log_.Print("Gave up reconnecting to %s after %u s", port_name.c_str(),
                   options_.reconnect_seconds);
    }
    return false;
}

AcquisitionEngine::ScanEnd AcquisitionEngine::RunCommands(const std::string& port_name) {
    MMSerial& port = *engine_.port_ref;
    auto lost = [&] {
        if (!port.HungUp()) return false;
        // A vanished device does not come back on the same handle: end the scan.
        log_.Print("Lost the port (%s)!", port_name.c_str());
        return true;
    };

    definition::ADXObject* const connect = definition_.connect_command;
    definition::ADXObject* const monitor = definition_.monitor_command;
    if (connect != nullptr) {
        if (engine_.Execute(connect) < 0) return ScanEnd::CommandFailed;
        if (lost()) return ScanEnd::PortLost;
    }
    if (monitor == nullptr) return ScanEnd::Finished;
    while (state_.running.load() == 1) {
        if (engine_.Execute(monitor) < 0) return ScanEnd::CommandFailed;
        if (lost()) return ScanEnd::PortLost;
    }
    // Only a user's stop clears the running flag: the unit is then told goodbye.
    engine_.Execute(definition_.disconnect_command);
    return ScanEnd::Stopped;
}

void AcquisitionEngine::StopWork(uint32_t flags) {
    if (flags & kStopAcquisition) {
        state_.running = 0;
        engine_.RequestAbort();
        stopped_.Wait();
        stopped_.Set();  // idle again: a later stop returns at once
        {
            std::lock_guard lock(thread_mutex_);
            if (thread_.joinable() && !thread_active_.load()) thread_.join();
        }
        if (app::IViews* views = callback_.views()) views->AcquisitionStopped();
    }
    if (flags & kStopDatalog) {
        if (IDatalogLink* datalog = callback_.datalog()) datalog->Stop();
        if (app::IViews* views = callback_.views()) views->DatalogStopped();
    }
    if (flags & kCloseWindow) {
        if (app::IViews* views = callback_.views()) views->CloseRequested();
    }
}

bool AcquisitionEngine::WaitIdle(std::chrono::nanoseconds timeout) {
    if (!stopped_.WaitFor(timeout)) return false;
    stopped_.Set();
    return true;
}

void AcquisitionEngine::RefreshViews() {
    if (app::IViews* views = callback_.views()) {
        views->RefreshStatus();
        views->UpdateLogBar();
    }
}

}  // namespace korvit::acquisition
