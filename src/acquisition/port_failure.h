#pragma once

#include <string>

namespace korvit::acquisition {

/// Why `device` could not be opened as a serial port, in the system's words, followed by what
/// the user can do about it: join the device's group, close the program that holds it, choose a
/// serial device. `error` is the backend's error of the request that failed (errno on POSIX,
/// GetLastError on Windows); 0 gives an empty text.
std::string DescribePortFailure(const std::string& device, int error);

}  // namespace korvit::acquisition
