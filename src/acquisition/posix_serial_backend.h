#pragma once

#include <string>

#include "acquisition/serial_backend.h"
#include "platform/clock.h"

namespace korvit::acquisition {

/// Serial devices through termios: exclusive open (flock and TIOCEXCL), raw mode, any baud rate
/// through termios2/BOTHER, and poll-driven transfers that follow the five time-outs.
class PosixSerialBackend final : public ISerialBackend {
  public:
    PosixSerialBackend() = default;
    ~PosixSerialBackend() override;
    PosixSerialBackend(const PosixSerialBackend&) = delete;
    PosixSerialBackend& operator=(const PosixSerialBackend&) = delete;

    bool Open(const std::string& device) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    bool GetLineSettings(LineSettings& settings) override;
    bool SetLineSettings(const LineSettings& settings) override;
    bool SetBuffers(uint32_t input_size, uint32_t output_size) override;
    bool GetTimeouts(SerialTimeouts& timeouts) override;
    bool SetTimeouts(const SerialTimeouts& timeouts) override;
    bool Purge(bool transmit, bool receive) override;

    uint32_t Read(uint8_t* buffer, uint32_t count) override;
    uint32_t Write(const uint8_t* buffer, uint32_t count) override;

    bool HungUp() const override { return hung_up_; }
    int LastError() const override { return last_error_; }
    std::string DeviceNameForNumber(uint32_t number) const override;

  private:
    uint32_t LineLost(platform::TimePoint deadline, uint32_t transferred);

    int fd_ = -1;
    int last_error_ = 0;
    bool hung_up_ = false;
    SerialTimeouts timeouts_;
    // Modem lines as last asked for, reported back where the device has none (pseudo-terminals).
    bool dtr_on_ = false;
    bool rts_on_ = false;
};

}  // namespace korvit::acquisition
