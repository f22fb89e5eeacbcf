// COM ports on Windows: names, the device namespace for COM10 and above, and why an open failed.
#include <gtest/gtest.h>

#include <string>

#include "acquisition/mm_serial.h"
#include "acquisition/port_failure.h"
#include "acquisition/win32_serial_backend.h"

namespace korvit::acquisition {
namespace {

TEST(Win32SerialBackend, HighPortsGoThroughTheDeviceNamespace) {
    EXPECT_EQ(Win32SerialBackend::FileNameForPort("COM1"), "COM1");
    EXPECT_EQ(Win32SerialBackend::FileNameForPort("COM9"), "COM9");
    EXPECT_EQ(Win32SerialBackend::FileNameForPort("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(Win32SerialBackend::FileNameForPort("com256"), "\\\\.\\com256");
    // Already in the namespace, or not a COM port at all: as given.
    EXPECT_EQ(Win32SerialBackend::FileNameForPort("\\\\.\\COM12"), "\\\\.\\COM12");
    EXPECT_EQ(Win32SerialBackend::FileNameForPort("COM1X"), "COM1X");
    EXPECT_EQ(Win32SerialBackend::FileNameForPort("LPT12"), "LPT12");

    Win32SerialBackend backend;
    EXPECT_EQ(backend.DeviceNameForNumber(3), "\\\\.\\COM3");
    EXPECT_EQ(backend.DeviceNameForNumber(12), "\\\\.\\COM12");
}

TEST(Win32SerialBackend, AMissingPortFailsSilentlyAndIsExplained) {
    MMSerial port;
    EXPECT_EQ(port.Open("COM199", 8192), 0);
    EXPECT_FALSE(port.IsOpen());
    const std::string reason = port.OpenFailureReason("COM199");
    EXPECT_NE(reason.find(": there is no port COM199; is the adapter plugged in?"),
              std::string::npos)
        << reason;

    // A closed port moves no bytes and takes no settings.
    uint8_t byte = 0;
    EXPECT_EQ(port.Read(&byte, 1), 0u);
    EXPECT_EQ(port.Write(&byte, 1), 0u);
    EXPECT_EQ(port.SetTimeouts(300, 0, 2000, 0, 110), 0);
    EXPECT_EQ(port.SetBuffers(1024, 512), 0);
}

TEST(Win32SerialBackend, ReasonsNameWhatTheUserCanDo) {
    EXPECT_EQ(DescribePortFailure("COM3", 0), "");
    const std::string busy = DescribePortFailure("COM3", 5 /*ERROR_ACCESS_DENIED*/);
    EXPECT_NE(busy.find(": COM3 is in use by another program; close it and scan again."),
              std::string::npos)
        << busy;
    const std::string missing = DescribePortFailure("COM4", 2 /*ERROR_FILE_NOT_FOUND*/);
    EXPECT_NE(missing.find(": there is no port COM4;"), std::string::npos) << missing;
    EXPECT_NE(DescribePortFailure("COM5", 1167 /*ERROR_DEVICE_NOT_CONNECTED*/)
                  .find("COM5 has no device behind it"),
              std::string::npos);
}

}  // namespace
}  // namespace korvit::acquisition
