#pragma once

#include <string>

#include "acquisition/serial_backend.h"

namespace korvit::acquisition {

/// COM ports through the Win32 communications functions: CreateFileA (exclusive, synchronous),
/// Get/SetCommState, SetupComm, Get/SetCommTimeouts, PurgeComm, ReadFile and WriteFile. The
/// driver applies the five time-outs itself.
class Win32SerialBackend final : public ISerialBackend {
  public:
    Win32SerialBackend() = default;
    ~Win32SerialBackend() override;
    Win32SerialBackend(const Win32SerialBackend&) = delete;
    Win32SerialBackend& operator=(const Win32SerialBackend&) = delete;

    /// "COM10" and above are opened through their "\\.\COMn" form; other names as given.
    bool Open(const std::string& device) override;
    void Close() override;
    bool IsOpen() const override { return handle_ != nullptr; }

    bool GetLineSettings(LineSettings& settings) override;
    bool SetLineSettings(const LineSettings& settings) override;
    bool SetBuffers(uint32_t input_size, uint32_t output_size) override;
    bool GetTimeouts(SerialTimeouts& timeouts) override;
    bool SetTimeouts(const SerialTimeouts& timeouts) override;
    bool Purge(bool transmit, bool receive) override;

    uint32_t Read(uint8_t* buffer, uint32_t count) override;
    uint32_t Write(const uint8_t* buffer, uint32_t count) override;

    bool HungUp() const override { return hung_up_; }
    /// The Win32 error code (GetLastError) of the last failed request.
    int LastError() const override { return last_error_; }
    std::string DeviceNameForNumber(uint32_t number) const override;

    /// The name CreateFileA is given for a port name.
    static std::string FileNameForPort(const std::string& device);

  private:
    void* handle_ = nullptr;
    int last_error_ = 0;
    bool hung_up_ = false;
};

}  // namespace korvit::acquisition
