#include "acquisition/posix_serial_backend.h"

#include <gtest/gtest.h>

#include <vector>

#include "pty_peer.h"

namespace korvit::acquisition {
namespace {

TEST(PosixSerialBackend, LineSettingsRoundTripIncludingOddRates) {
    testing::PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    PosixSerialBackend backend;
    ASSERT_TRUE(backend.Open(peer.path()));

    LineSettings wanted;
    wanted.baud = 8192;
    wanted.byte_size = 7;
    wanted.parity = Parity::kEven;
    wanted.stop_bits = StopBits::kTwo;
    wanted.dtr_on = true;
    wanted.rts_on = true;
    ASSERT_TRUE(backend.SetLineSettings(wanted));
    LineSettings got;
    ASSERT_TRUE(backend.GetLineSettings(got));
    EXPECT_EQ(got.baud, 8192u);
    // A pseudo-terminal always reports 8 data bits and no parity, whatever was asked for.
    EXPECT_EQ(got.stop_bits, StopBits::kTwo);
    EXPECT_FALSE(got.out_cts_flow);
    // It has no modem lines either; the lines asked for are reported back.
    EXPECT_TRUE(got.dtr_on);
    EXPECT_TRUE(got.rts_on);

    wanted.baud = 160;
    wanted.stop_bits = StopBits::kOne;
    ASSERT_TRUE(backend.SetLineSettings(wanted));
    ASSERT_TRUE(backend.GetLineSettings(got));
    EXPECT_EQ(got.baud, 160u);
    EXPECT_EQ(got.stop_bits, StopBits::kOne);

    wanted.byte_size = 9;
    EXPECT_FALSE(backend.SetLineSettings(wanted));
    wanted.byte_size = 8;
    wanted.baud = 0;
    EXPECT_FALSE(backend.SetLineSettings(wanted));
}

TEST(PosixSerialBackend, HugeTimeoutProductsMeanNoBoundRatherThanNoWait) {
    testing::PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    PosixSerialBackend backend;
    ASSERT_TRUE(backend.Open(peer.path()));
    ASSERT_TRUE(backend.SetTimeouts({0, 0xFFFFFFFEu, 0, 0, 0}));
    const std::vector<uint8_t> block(4096, 0x3C);
    peer.Send(block);
    std::vector<uint8_t> buf(block.size());
    EXPECT_EQ(backend.Read(buf.data(), static_cast<uint32_t>(buf.size())), block.size());
    EXPECT_EQ(buf, block);
}

}  // namespace
}  // namespace korvit::acquisition
