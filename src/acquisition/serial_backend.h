#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvit::acquisition {

enum class Parity : uint8_t { kNone, kOdd, kEven, kMark, kSpace };
enum class StopBits : uint8_t { kOne, kOnePointFive, kTwo };

/// The line settings of an open port, in the terms of a Win32 device-control block.
struct LineSettings {
    uint32_t baud = 0;
    uint8_t byte_size = 8;
    Parity parity = Parity::kNone;
    StopBits stop_bits = StopBits::kOne;
    bool out_cts_flow = false;     ///< hold output while CTS is low
    bool out_dsr_flow = false;     ///< hold output while DSR is low
    bool dtr_on = false;           ///< raise DTR while open
    bool dsr_sensitivity = false;  ///< drop input while DSR is low
    bool rts_on = false;           ///< raise RTS while open
};

/// The five read/write time-outs in milliseconds, with Win32 COMMTIMEOUTS meaning:
/// a read of n bytes ends when n bytes came, when more than read_interval ms pass between two
/// bytes after the first, or when read_total_multiplier * n + read_total_constant ms passed.
/// Zero turns a bound off; read_interval = kNoWait with both totals 0 returns what is queued.
struct SerialTimeouts {
    static constexpr uint32_t kNoWait = 0xFFFFFFFFu;

    uint32_t read_interval = 0;
    uint32_t read_total_multiplier = 0;
    uint32_t read_total_constant = 0;
    uint32_t write_total_multiplier = 0;
    uint32_t write_total_constant = 0;

    bool operator==(const SerialTimeouts&) const = default;
};

/// One platform's access to a serial device. Every call but Open and IsOpen needs an open device
/// and returns false (or 0 bytes) otherwise. Not thread-safe: one user thread at a time.
class ISerialBackend {
  public:
    virtual ~ISerialBackend() = default;

    /// Opens an existing device for reading and writing, exclusively.
    virtual bool Open(const std::string& device) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual bool GetLineSettings(LineSettings& settings) = 0;
    virtual bool SetLineSettings(const LineSettings& settings) = 0;
    /// Asks the driver for receive and transmit queues of these sizes (a hint where unsupported).
    virtual bool SetBuffers(uint32_t input_size, uint32_t output_size) = 0;
    virtual bool GetTimeouts(SerialTimeouts& timeouts) = 0;
    virtual bool SetTimeouts(const SerialTimeouts& timeouts) = 0;
    /// Discards pending output and/or input.
    virtual bool Purge(bool transmit, bool receive) = 0;

    /// Blocking transfers bounded by the time-outs; they return the bytes moved.
    virtual uint32_t Read(uint8_t* buffer, uint32_t count) = 0;
    virtual uint32_t Write(const uint8_t* buffer, uint32_t count) = 0;

    /// True once the other end hung up (cable pulled, peer closed); reads then find no bytes.
    virtual bool HungUp() const = 0;

    /// The platform's error number of the last request that failed (opening the device, reading
    /// or applying its line settings); 0 when unknown. Open resets it.
    virtual int LastError() const { return 0; }

    /// The device name that port number n has on this platform.
    virtual std::string DeviceNameForNumber(uint32_t number) const = 0;
};

/// The backend for this platform's serial devices (termios on POSIX, COM ports on Windows).
std::unique_ptr<ISerialBackend> MakePlatformSerialBackend();

}  // namespace korvit::acquisition
