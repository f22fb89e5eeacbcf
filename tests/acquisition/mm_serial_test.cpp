#include "acquisition/mm_serial.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "pty_peer.h"

namespace korvit::acquisition {
namespace {

using std::chrono::milliseconds;
using testing::PtyPeer;
using testing::RecordingLog;
using Steady = std::chrono::steady_clock;

double MsSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

class MMSerialTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        port.set_log(&log);
        ASSERT_EQ(port.Open(peer.path(), 8192), 1);
        log.lines.clear();
    }

    struct Timed {
        uint32_t bytes;
        double ms;
    };
    /// Reads up to count bytes under the given time-outs and says how long it took.
    Timed TimedRead(uint32_t count, uint32_t interval, uint32_t multiplier, uint32_t constant) {
        EXPECT_EQ(port.SetTimeouts(interval, multiplier, constant, 0, 300), 1);
        std::vector<uint8_t> buf(count);
        const auto start = Steady::now();
        const uint32_t n = port.Read(buf.data(), count);
        return {n, MsSince(start)};
    }

    PtyPeer peer;
    RecordingLog log;
    MMSerial port;
};

TEST(MMSerialOpen, ReportsTheDeviceAndBaudAndKeepsOthersOut) {
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    RecordingLog log;
    MMSerial port;
    port.set_log(&log);

    ASSERT_EQ(port.Open(peer.path(), 8192), 1);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.GetBaud(), 8192u);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "MMSerial: " + peer.path() + " opened at 8192 baud");

    MMSerial second;
    EXPECT_EQ(second.Open(peer.path(), 8192), 0);
    EXPECT_FALSE(second.IsOpen());

    // Opening again closes the old handle first, which also lets the device be reopened.
    ASSERT_EQ(port.Open(peer.path(), 160), 1);
    ASSERT_EQ(log.lines.size(), 3u);
    EXPECT_EQ(log.lines[1], "MMSerial: Port Closed");
    EXPECT_EQ(port.GetBaud(), 160u);

    port.Close();
    EXPECT_EQ(second.Open(peer.path(), 8192), 1);
}

TEST(MMSerialOpen, MissingOrNonSerialDevicesFailAndAClosedPortDoesNothing) {
    RecordingLog log;
    MMSerial port;
    port.set_log(&log);
    EXPECT_EQ(port.Open("/dev/korvit-no-such-port", 8192), 0);
    EXPECT_FALSE(port.IsOpen());
    uint8_t buf[4] = {1, 2, 3, 4};
    EXPECT_EQ(port.Read(buf, 4), 0u);
    EXPECT_EQ(port.Write(buf, 4), 0u);
    EXPECT_EQ(port.SetBuffers(1024, 512), 0);
    EXPECT_EQ(port.SetTimeouts(300, 0, 2000, 0, 110), 0);
    EXPECT_EQ(port.SetReadTimeout(100), 0);
    EXPECT_EQ(port.SetBaud(9600), 0);
    EXPECT_EQ(port.GetBaud(), 0u);
    EXPECT_EQ(port.Purge(1, 1), 0);
    EXPECT_TRUE(log.lines.empty()) << "a missing device and a closed port write nothing";
    port.Close();
    EXPECT_EQ(log.lines, std::vector<std::string>{"MMSerial: Port Closed"});

    log.lines.clear();
    EXPECT_EQ(port.Open("/dev/null", 8192), 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"MMSerial: GetCommState Failed", "MMSerial: Port Closed"}));
}

TEST_F(MMSerialTest, ChangesBaudAndReadTimeoutWithTheirLines) {
    EXPECT_EQ(port.SetBaud(160), 1);
    EXPECT_EQ(port.GetBaud(), 160u);
    EXPECT_EQ(port.SetBuffers(1024, 512), 1);
    ASSERT_EQ(port.SetTimeouts(300, 0, 2000, 0, 110, 12345), 1);
    EXPECT_EQ(port.SetReadTimeout(750), 1);
    SerialTimeouts t;
    ASSERT_TRUE(port.GetTimeouts(t));
    EXPECT_EQ(t, (SerialTimeouts{300, 0, 750, 0, 110}));
    EXPECT_EQ(log.lines, (std::vector<std::string>{"MMSerial: Baud changed to 160",
                                                   "MMSerial: Comm Read Timeout Set To 750 ms"}));
}

TEST_F(MMSerialTest, WritesAndReadsBytesWithHexDumps) {
    const std::vector<uint8_t> command = {0xF4, 0x57, 0x01, 0x00, 0xB4};
    ASSERT_EQ(port.SetTimeouts(30, 0, 2000, 0, 300), 1);
    EXPECT_EQ(port.Write(command.data(), 5), 5u);
    EXPECT_EQ(peer.Receive(5, milliseconds(2000)), command);

    const std::vector<uint8_t> reply = {0x00, 0x80, 0xFF, 0x41};
    peer.Send(reply);
    uint8_t buf[4] = {};
    ASSERT_EQ(port.Read(buf, 4), 4u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 4), reply);

    EXPECT_EQ(log.lines, (std::vector<std::string>{"MMSerial: Write", "MMSerial: Read"}));
    ASSERT_EQ(log.dumped.size(), 2u);
    EXPECT_EQ(log.dumped[0], command);
    EXPECT_EQ(log.dumped[1], reply);
}

TEST_F(MMSerialTest, ReadsEndAtTheirTotalOrIntervalTimeout) {
    // Nothing arrives: the read waits out the total and dumps nothing. The interval bound only
    // starts with the first byte, so it must not cut this read short.
    Timed t = TimedRead(8, 20, 0, 250);
    EXPECT_EQ(t.bytes, 0u);
    EXPECT_GE(t.ms, 250.0);
    EXPECT_TRUE(log.lines.empty());

    // The total grows with the count: 5 bytes at 40 ms each.
    t = TimedRead(5, 0, 40, 0);
    EXPECT_EQ(t.bytes, 0u);
    EXPECT_GE(t.ms, 200.0);

    // Three bytes, then a gap longer than the interval: far below the 20 s total.
    peer.Send({1, 2, 3});
    t = TimedRead(10, 30, 0, 20000);
    EXPECT_EQ(t.bytes, 3u);
    EXPECT_LT(t.ms, 10000.0);
}

TEST_F(MMSerialTest, BytesTrickleInWithinTheIntervalAndComplete) {
    ASSERT_EQ(port.SetTimeouts(500, 0, 20000, 0, 300), 1);
    std::thread sender([this] {
        for (uint8_t b = 0; b < 6; ++b) {
            peer.Send({b});
            std::this_thread::sleep_for(milliseconds(5));
        }
    });
    uint8_t buf[6] = {};
    EXPECT_EQ(port.Read(buf, 6), 6u);
    sender.join();
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 6), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
}

TEST_F(MMSerialTest, NoWaitIntervalReturnsOnlyWhatIsQueued) {
    uint8_t buf[4];
    ASSERT_EQ(port.SetTimeouts(SerialTimeouts::kNoWait, 0, 0, 0, 0), 1);
    EXPECT_EQ(port.Read(buf, 4), 0u);

    // Interval and multiplier at their maximum: wait up to the constant for the first byte, then
    // return at once with what came.
    ASSERT_EQ(port.SetTimeouts(SerialTimeouts::kNoWait, SerialTimeouts::kNoWait, 20000, 0, 0), 1);
    peer.Send({7, 8});
    const auto start = Steady::now();
    const uint32_t n = port.Read(buf, 4);
    EXPECT_LT(MsSince(start), 10000.0);
    ASSERT_GE(n, 1u);
    EXPECT_EQ(buf[0], 7);
}

TEST_F(MMSerialTest, PurgeDiscardsPendingInput) {
    ASSERT_EQ(port.SetTimeouts(30, 0, 2000, 0, 300), 1);
    peer.Send({1, 2, 3, 4, 5, 6});
    uint8_t buf[6];
    ASSERT_EQ(port.Read(buf, 1), 1u);  // the bytes have reached the port's queue
    EXPECT_EQ(port.Purge(0, 0), 1);
    EXPECT_EQ(port.Purge(1, 1), 1);
    ASSERT_EQ(port.SetTimeouts(0, 0, 100, 0, 300), 1);
    EXPECT_EQ(port.Read(buf, 5), 0u);
}

TEST_F(MMSerialTest, WriteEndsAtItsTotalTimeoutWhenNobodyReads) {
    ASSERT_EQ(port.SetTimeouts(0, 0, 0, 0, 200), 1);
    std::vector<uint8_t> flood(4 << 20, 0x55);
    port.set_log(nullptr);
    const uint32_t n = port.Write(flood.data(), static_cast<uint32_t>(flood.size()));
    EXPECT_GT(n, 0u);
    EXPECT_LT(n, flood.size());
}

TEST_F(MMSerialTest, HangUpShowsAsASilentLineThatStillHonoursTimeouts) {
    ASSERT_EQ(port.SetTimeouts(30, 0, 150, 0, 150), 1);
    peer.HangUp();
    uint8_t buf[4] = {1, 2, 3, 4};
    auto start = Steady::now();
    EXPECT_EQ(port.Read(buf, 4), 0u);
    EXPECT_GE(MsSince(start), 150.0);
    EXPECT_TRUE(port.HungUp());
    start = Steady::now();
    EXPECT_EQ(port.Write(buf, 4), 0u);
    EXPECT_GE(MsSince(start), 150.0);
    EXPECT_TRUE(port.IsOpen());
}

}  // namespace
}  // namespace korvit::acquisition
