#pragma once

#include <string>
#include <vector>

namespace korvit::platform {

#ifdef _WIN32
/// The COM ports Windows knows (the registry's HARDWARE\DEVICEMAP\SERIALCOMM key), in natural
/// order: COM2 before COM10.
std::vector<std::string> ListComPorts();
#endif

}  // namespace korvit::platform
