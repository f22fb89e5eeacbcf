#include <windows.h>

#include <string>

#include "acquisition/port_failure.h"

namespace korvit::acquisition {
namespace {

// The system's own text for a Win32 error, without its trailing period and line break.
std::string SystemText(DWORD error) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string{};
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    if (message.empty()) message = "Windows error " + std::to_string(error);
    return message;
}

}  // namespace

std::string DescribePortFailure(const std::string& device, int error) {
    if (error == 0) return "";
    const auto code = static_cast<DWORD>(error);
    std::string text = SystemText(code);
    switch (code) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            text += ": " + device + " is in use by another program; close it and scan again.";
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            text += ": there is no port " + device +
                    "; is the adapter plugged in? Its COM port is listed in the Device Manager "
                    "under \"Ports (COM & LPT)\".";
            break;
        case ERROR_INVALID_NAME:
            text += ": " + device + " is not a port name; choose a COM port such as COM1.";
            break;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_PARAMETER:
            text += ": " + device + " is not a serial port, or its driver refused the settings.";
            break;
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_GEN_FAILURE:
            text += ": " + device + " has no device behind it; was the adapter unplugged?";
            break;
        default:
            text += ": " + device + ".";
            break;
    }
    return text;
}

}  // namespace korvit::acquisition
