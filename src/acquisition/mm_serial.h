#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "acquisition/serial_backend.h"

namespace korvit::acquisition {

/// Where a port writes its diagnostic lines and hex dumps; the application's output log
/// implements it.
class ISerialLogSink {
  public:
    virtual ~ISerialLogSink() = default;
    virtual void WriteLine(std::string_view line) = 0;
    /// A title line, then one line per 16 bytes.
    virtual void WriteHexDump(const char* title, const uint8_t* bytes, size_t count) = 0;
};

/// The one serial port to the engine-control unit: open/close, line speed, driver buffers,
/// time-outs, purge, and blocking reads and writes under those time-outs.
/// Results are 1 (or non-zero) for success and 0 for failure. One thread at a time.
class MMSerial {
  public:
    /// A port over this platform's serial devices (termios on POSIX, COM ports on Windows).
    MMSerial();
    /// A port over the given backend (tests, other platforms).
    explicit MMSerial(std::unique_ptr<ISerialBackend> backend);
    ~MMSerial();
    MMSerial(const MMSerial&) = delete;
    MMSerial& operator=(const MMSerial&) = delete;

    /// Opens the device (a path such as /dev/ttyUSB0, or COM1) at the baud, 8 data bits, no parity,
    /// no hardware flow control, DTR and RTS raised. An open port is closed first.
    int Open(const std::string& device, uint32_t baud);
    /// Opens the platform's device for port number n (\\.\COMn on Windows; /dev/ttyS(n-1) on
    /// POSIX).
    int OpenByNumber(uint32_t number, uint32_t baud);
    /// Closes the port if open; always writes "MMSerial: Port Closed".
    void Close();
    bool IsOpen() const;

    int SetBaud(uint32_t baud);
    /// The baud the driver reports; 0 when closed or unreadable.
    uint32_t GetBaud();
    int SetBuffers(uint32_t input_size, uint32_t output_size);
    /// Sets the five time-outs (ms); the sixth value is ignored.
    int SetTimeouts(uint32_t read_interval, uint32_t read_total_multiplier,
                    uint32_t read_total_constant, uint32_t write_total_multiplier,
                    uint32_t write_total_constant, uint32_t unused = 0);
    /// Replaces only the read total constant.
    int SetReadTimeout(uint32_t read_total_constant);
    /// The time-outs in force; false when closed.
    bool GetTimeouts(SerialTimeouts& timeouts);
    /// Discards pending output (transmit) and/or input (receive); transfers in progress go on.
    int Purge(uint32_t transmit, uint32_t receive);

    /// Reads up to count bytes under the time-outs; returns the bytes read.
    uint32_t Read(uint8_t* buffer, uint32_t count);
    /// Writes count bytes under the write time-outs; returns the bytes written.
    uint32_t Write(const uint8_t* buffer, uint32_t count);

    /// True when the other end hung up; the port stays open until closed.
    bool HungUp() const;

    /// After a failed Open of `device`: why, in the system's words, and what to do about it;
    /// empty when the platform gave no reason.
    std::string OpenFailureReason(const std::string& device) const;

    /// Null (the default) writes nothing.
    void set_log(ISerialLogSink* log) { log_ = log; }
    ISerialLogSink* log() const { return log_; }

  private:
    void Line(std::string_view text);
    void CloseQuietly();

    std::unique_ptr<ISerialBackend> backend_;
    ISerialLogSink* log_ = nullptr;
};

}  // namespace korvit::acquisition
