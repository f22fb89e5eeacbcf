#pragma once

#include <atomic>
#include <cstdint>

#include "acquisition/data_acq_callback.h"
#include "acquisition/mm_serial.h"
#include "acquisition/reply_checks.h"

namespace korvit::app {
class OutputLog;
}

namespace korvit::definition {
class ADXObject;
class ADXCSendCommand;
class ADXCListenSilence;
class ADXCListenChatter;
class ADXC160BaudListen;
class ADXCTrigger;
class ADXMacro;
}  // namespace korvit::definition

namespace korvit::acquisition {

/// Runs definition command objects against the serial port and reports every step to the
/// callback. One operation at a time, on the thread that calls Execute; only the abort word is
/// touched from other threads.
class DataAcqEngine {
  public:
    enum Flags : uint32_t { kEcho = 1 };
    /// Deepest macro nesting that Execute follows; deeper calls stop the outermost macro.
    static constexpr int kMaxMacroDepth = 16;
    /// Largest reply, echo, window or packet buffer an operation makes; bigger ones fail as out
    /// of memory rather than reserving gigabytes for a damaged definition.
    static constexpr uint32_t kMaxBuffer = 1u << 20;

    DataAcqEngine() = default;
    DataAcqEngine(const DataAcqEngine&) = delete;
    DataAcqEngine& operator=(const DataAcqEngine&) = delete;

    /// Runs one object: a macro, send command, listen for silence or chatter, 160-baud listen or
    /// trigger. Returns a negative status for failures that stop the caller (no port, unknown
    /// object, no memory, a refused start notification), else what the end notification returned.
    int32_t Execute(definition::ADXObject* object);

    /// Asks the running operation to give up at its next checkpoint. Safe from any thread.
    void RequestAbort() { abort.store(1, std::memory_order_release); }

    /// Bit 0: the interface echoes every byte sent, so replies are preceded by the echo.
    uint32_t flags = 0;
    MMSerial port;
    /// The port every operation uses; tests and other back ends may point it elsewhere.
    MMSerial* port_ref = &port;
    IDataAcqCallback* callback = nullptr;
    DataAcqEvent event;
    std::atomic<uint32_t> abort{0};
    /// The line's baud rate; a send command that reads nothing waits until its bytes have left
    /// the line, so a loop of such commands runs at line pace. 0: no wait.
    uint32_t baud = 0;
    /// Which complete replies must add up to 0 modulo 256; one that does not fails with
    /// ChecksumError. Set its mode (which forgets what was learnt) before a scan.
    ReplyChecks checks;
    /// Longest quiet span the line must keep after a failed reply before the next request.
    static constexpr uint32_t kSettleSpanMs = 20;
    /// Forgets a failed reply whose remains the next send command would wait out (a new scan).
    void ForgetFailedReply() { settle_limit_ms_ = 0; }
    /// Where the engine's own warnings go (the runaway-macro guard); may be null.
    app::OutputLog* log = nullptr;

  private:
    int32_t SendCommand(definition::ADXCSendCommand& command);
    /// After a failed reply: waits until the line has been quiet for kSettleSpanMs (at most the
    /// failed command's reply time-out in all), so the late rest of that reply is never read
    /// as the next one. The send command purges right after.
    void SettleLine();
    /// True when bytes wait in the driver's queue (it takes some of them off).
    bool InputWaiting();
    int32_t ListenSilence(definition::ADXCListenSilence& command);
    int32_t ListenChatter(definition::ADXCListenChatter& command);
    int32_t Listen160Baud(definition::ADXC160BaudListen& command);
    int32_t RunMacro(definition::ADXMacro& macro);
    /// The macro's rounds and nodes; sets the event's result when it stops early.
    void RunMacroSteps(definition::ADXMacro& macro);
    int32_t Trigger(definition::ADXCTrigger& trigger);

    bool AbortSet() const { return abort.load(std::memory_order_acquire) != 0; }
    /// Reads and clears the abort word: true when a stop request was pending.
    bool TakeAbort() { return abort.exchange(0, std::memory_order_acq_rel) != 0; }

    /// Non-zero after a failed reply: the failed command's reply time-out, which bounds the wait
    /// for a quiet line before the next request.
    uint32_t settle_limit_ms_ = 0;
    int macro_depth_ = 0;
    bool macro_overflow_ = false;
};

}  // namespace korvit::acquisition
