#include <windows.h>

#include <algorithm>

#include "platform/com_ports.h"
#include "platform/win32_text.h"

namespace korvit::platform {

std::vector<std::string> ListComPorts() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return ports;
    }
    // Each value maps a driver's device to its port name ("\Device\Serial0" = "COM1").
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t data[256] = {};
        DWORD name_size = 256;
        DWORD data_size = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, i, name, &name_size, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &data_size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        ports.push_back(Utf8FromWide(data));
    }
    ::RegCloseKey(key);
    auto number = [](const std::string& port) {
        const size_t digits = port.find_first_of("0123456789");
        return digits == std::string::npos ? 0L : std::strtol(port.c_str() + digits, nullptr, 10);
    };
    std::sort(ports.begin(), ports.end(), [&](const std::string& a, const std::string& b) {
        return std::pair{number(a), a} < std::pair{number(b), b};
    });
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

}  // namespace korvit::platform
