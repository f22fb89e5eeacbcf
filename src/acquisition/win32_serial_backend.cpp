#include "acquisition/win32_serial_backend.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <memory>

namespace korvit::acquisition {
namespace {

HANDLE H(void* handle) {
    return static_cast<HANDLE>(handle);
}

Parity ParityFromDcb(BYTE parity) {
    switch (parity) {
        case ODDPARITY:
            return Parity::kOdd;
        case EVENPARITY:
            return Parity::kEven;
        case MARKPARITY:
            return Parity::kMark;
        case SPACEPARITY:
            return Parity::kSpace;
        default:
            return Parity::kNone;
    }
}

BYTE DcbParity(Parity parity) {
    switch (parity) {
        case Parity::kOdd:
            return ODDPARITY;
        case Parity::kEven:
            return EVENPARITY;
        case Parity::kMark:
            return MARKPARITY;
        case Parity::kSpace:
            return SPACEPARITY;
        case Parity::kNone:
            break;
    }
    return NOPARITY;
}

// A device that vanished (adapter unplugged) fails every transfer with one of these.
bool LineGone(DWORD error) {
    return error == ERROR_DEVICE_REMOVED || error == ERROR_BAD_COMMAND ||
           error == ERROR_GEN_FAILURE || error == ERROR_DEVICE_NOT_CONNECTED ||
           error == ERROR_OPERATION_ABORTED || error == ERROR_INVALID_HANDLE;
}

}  // namespace

std::unique_ptr<ISerialBackend> MakePlatformSerialBackend() {
    return std::make_unique<Win32SerialBackend>();
}

Win32SerialBackend::~Win32SerialBackend() {
    Close();
}

std::string Win32SerialBackend::FileNameForPort(const std::string& device) {
    // Only COM1 to COM9 are reserved names everywhere; higher ports exist only in the device
    // namespace.
    if (device.size() > 4 && (device[0] == 'C' || device[0] == 'c') &&
        (device[1] == 'O' || device[1] == 'o') && (device[2] == 'M' || device[2] == 'm')) {
        bool digits = true;
        for (size_t i = 3; i < device.size(); ++i) {
            digits = digits && std::isdigit(static_cast<unsigned char>(device[i])) != 0;
        }
        if (digits) return "\\\\.\\" + device;
    }
    return device;
}

bool Win32SerialBackend::Open(const std::string& device) {
    Close();
    last_error_ = 0;
    const HANDLE h = ::CreateFileA(FileNameForPort(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        last_error_ = static_cast<int>(::GetLastError());
        return false;
    }
    handle_ = h;
    hung_up_ = false;
    return true;
}

void Win32SerialBackend::Close() {
    if (handle_ == nullptr) return;
    ::CloseHandle(H(handle_));
    handle_ = nullptr;
    hung_up_ = false;
}

bool Win32SerialBackend::GetLineSettings(LineSettings& settings) {
    if (handle_ == nullptr) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(H(handle_), &dcb)) {
        last_error_ = static_cast<int>(::GetLastError());
        return false;
    }
    settings.baud = dcb.BaudRate;
    settings.byte_size = dcb.ByteSize;
    settings.parity = ParityFromDcb(dcb.Parity);
    settings.stop_bits = dcb.StopBits == TWOSTOPBITS    ? StopBits::kTwo
                         : dcb.StopBits == ONE5STOPBITS ? StopBits::kOnePointFive
                                                        : StopBits::kOne;
    settings.out_cts_flow = dcb.fOutxCtsFlow != 0;
    settings.out_dsr_flow = dcb.fOutxDsrFlow != 0;
    settings.dtr_on = dcb.fDtrControl != DTR_CONTROL_DISABLE;
    settings.dsr_sensitivity = dcb.fDsrSensitivity != 0;
    settings.rts_on = dcb.fRtsControl != RTS_CONTROL_DISABLE;
    return true;
}

bool Win32SerialBackend::SetLineSettings(const LineSettings& settings) {
    if (handle_ == nullptr || settings.baud == 0) return false;
    // Everything the settings do not name stays as the driver has it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(H(handle_), &dcb)) {
        last_error_ = static_cast<int>(::GetLastError());
        return false;
    }
    dcb.BaudRate = settings.baud;
    dcb.ByteSize = settings.byte_size;
    dcb.Parity = DcbParity(settings.parity);
    dcb.StopBits = settings.stop_bits == StopBits::kTwo            ? TWOSTOPBITS
                   : settings.stop_bits == StopBits::kOnePointFive ? ONE5STOPBITS
                                                                   : ONESTOPBIT;
    dcb.fOutxCtsFlow = settings.out_cts_flow ? 1 : 0;
    dcb.fOutxDsrFlow = settings.out_dsr_flow ? 1 : 0;
    dcb.fDtrControl = settings.dtr_on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = settings.dsr_sensitivity ? 1 : 0;
    dcb.fRtsControl = settings.rts_on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    if (!::SetCommState(H(handle_), &dcb)) {
        last_error_ = static_cast<int>(::GetLastError());
        return false;
    }
    return true;
}

bool Win32SerialBackend::SetBuffers(uint32_t input_size, uint32_t output_size) {
    return handle_ != nullptr && ::SetupComm(H(handle_), input_size, output_size) != 0;
}

bool Win32SerialBackend::GetTimeouts(SerialTimeouts& timeouts) {
    COMMTIMEOUTS t{};
    if (handle_ == nullptr || !::GetCommTimeouts(H(handle_), &t)) return false;
    timeouts.read_interval = t.ReadIntervalTimeout;
    timeouts.read_total_multiplier = t.ReadTotalTimeoutMultiplier;
    timeouts.read_total_constant = t.ReadTotalTimeoutConstant;
    timeouts.write_total_multiplier = t.WriteTotalTimeoutMultiplier;
    timeouts.write_total_constant = t.WriteTotalTimeoutConstant;
    return true;
}

bool Win32SerialBackend::SetTimeouts(const SerialTimeouts& timeouts) {
    if (handle_ == nullptr) return false;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = timeouts.read_interval;
    t.ReadTotalTimeoutMultiplier = timeouts.read_total_multiplier;
    t.ReadTotalTimeoutConstant = timeouts.read_total_constant;
    t.WriteTotalTimeoutMultiplier = timeouts.write_total_multiplier;
    t.WriteTotalTimeoutConstant = timeouts.write_total_constant;
    return ::SetCommTimeouts(H(handle_), &t) != 0;
}

bool Win32SerialBackend::Purge(bool transmit, bool receive) {
    if (handle_ == nullptr) return false;
    const DWORD flags = (transmit ? PURGE_TXCLEAR : 0) | (receive ? PURGE_RXCLEAR : 0);
    if (flags == 0) return true;
    return ::PurgeComm(H(handle_), flags) != 0;
}

uint32_t Win32SerialBackend::Read(uint8_t* buffer, uint32_t count) {
    if (handle_ == nullptr || buffer == nullptr || count == 0) return 0;
    DWORD got = 0;
    if (!::ReadFile(H(handle_), buffer, count, &got, nullptr)) {
        if (LineGone(::GetLastError())) hung_up_ = true;
    }
    return got;
}

uint32_t Win32SerialBackend::Write(const uint8_t* buffer, uint32_t count) {
    if (handle_ == nullptr || buffer == nullptr || count == 0) return 0;
    DWORD put = 0;
    if (!::WriteFile(H(handle_), buffer, count, &put, nullptr)) {
        if (LineGone(::GetLastError())) hung_up_ = true;
    }
    return put;
}

std::string Win32SerialBackend::DeviceNameForNumber(uint32_t number) const {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\COM%u", number);
    return name;
}

}  // namespace korvit::acquisition
