#pragma once

#include <atomic>
#include <cstdint>

#include "acquisition/data_acq_callback.h"
#include "acquisition/mm_serial.h"

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
    /// When set, a complete reply whose bytes do not add up to 0 modulo 256 fails with
    /// ChecksumError (opt-in: the default session takes replies as they come).
    bool verify_checksum = false;
    /// Where the engine's own warnings go (the runaway-macro guard); may be null.
    app::OutputLog* log = nullptr;

  private:
    int32_t SendCommand(definition::ADXCSendCommand& command);
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

    int macro_depth_ = 0;
    bool macro_overflow_ = false;
};

}  // namespace korvit::acquisition
