#include "ecu_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "bit_stream.h"
#include "fault.h"

namespace korvit::ecusim {
namespace {

std::unique_ptr<definition::ADXCSendCommand> Mode1Request() {
    auto command = std::make_unique<definition::ADXCSendCommand>();
    const uint8_t bytes[] = {0xF4, 0x57, 0x01, 0x00, 0xB4};
    command->SetBytes(bytes, sizeof bytes);
    command->replysize = 67;
    command->packetoffset = 3;
    command->packetsize = 63;
    return command;
}

TEST(EcuSignals, ReplyCarriesTheHeaderDataAndAChecksumWhenTheCommandHasOne) {
    const auto command = Mode1Request();
    const std::vector<uint8_t> reply = EcuSignals::Reply(*command, 12.5);
    ASSERT_EQ(reply.size(), 67u);
    EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 3),
              (std::vector<uint8_t>{0xF4, 0x57, 0x01}));
    EXPECT_TRUE(EcuSignals::SumsToZero(reply));

    // Without a checksum in the command the last byte is data like the rest.
    definition::ADXCSendCommand plain;
    const uint8_t bytes[] = {0x01, 0x02};
    plain.SetBytes(bytes, sizeof bytes);
    plain.replysize = 8;
    const std::vector<uint8_t> data = EcuSignals::Reply(plain, 12.5);
    EXPECT_EQ(data, EcuSignals::DataBytes(8, 12.5));

    plain.replysize = 0;
    EXPECT_TRUE(EcuSignals::Reply(plain, 1.0).empty());
}

TEST(EcuSignals, ValuesDriftSmoothlyAndCoverAWideRange) {
    const size_t n = 20;
    std::vector<int> low(n, 255);
    std::vector<int> high(n, 0);
    std::vector<uint8_t> previous = EcuSignals::DataBytes(n, 0.0);
    for (int step = 1; step <= 400; ++step) {
        const std::vector<uint8_t> now = EcuSignals::DataBytes(n, step * 0.05);
        for (size_t i = 0; i < n; ++i) {
            // 50 ms between replies never moves a value by more than a few counts.
            EXPECT_LE(std::abs(now[i] - previous[i]), 10) << "byte " << i << " step " << step;
            low[i] = std::min<int>(low[i], now[i]);
            high[i] = std::max<int>(high[i], now[i]);
        }
        previous = now;
    }
    for (size_t i = 0; i < n; ++i) EXPECT_GE(high[i] - low[i], 100) << "byte " << i;
}

TEST(EcuSignals, The160BaudStreamDecodesBackToItsData) {
    const std::vector<uint8_t> a = {0x00, 0xFF, 0xA5, 0x01};
    const std::vector<uint8_t> b = {0x80, 0x7F, 0x3C, 0xFF};
    std::vector<uint8_t> stream = EcuSignals::Encode160Baud(a);
    const std::vector<uint8_t> second = EcuSignals::Encode160Baud(b);
    stream.insert(stream.end(), second.begin(), second.end());
    // A receiver that starts mid-stream, inside the first synchronisation run.
    stream.erase(stream.begin(), stream.begin() + 4);
    stream.insert(stream.end(), second.begin(), second.end());

    int malformed = 0;
    const auto packets = test::DecodePackets(stream, 4, &malformed);
    EXPECT_EQ(malformed, 0);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], b);
    EXPECT_EQ(packets[1], b);

    // From the start, both packets come out.
    const auto whole = test::DecodePackets(EcuSignals::Encode160Baud(a), 4, &malformed);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0], a);
}

TEST(FaultOption, ParsesKindsAndRates) {
    Fault fault;
    std::string error;
    ASSERT_TRUE(ParseFault("drop:0.25", fault, error));
    EXPECT_EQ(fault.kind, FaultKind::kDrop);
    EXPECT_DOUBLE_EQ(fault.rate, 0.25);
    ASSERT_TRUE(ParseFault("hangup", fault, error));
    EXPECT_EQ(fault.kind, FaultKind::kHangup);
    EXPECT_GT(fault.rate, 0.0);
    for (const char* kind : {"corrupt", "late", "noreply", "stall"}) {
        ASSERT_TRUE(ParseFault(std::string(kind) + ":1", fault, error)) << kind;
        EXPECT_STREQ(FaultName(fault.kind), kind);
        EXPECT_DOUBLE_EQ(fault.rate, 1.0);
    }

    EXPECT_FALSE(ParseFault("melt", fault, error));
    EXPECT_NE(error.find("unknown fault \"melt\""), std::string::npos);
    for (const char* bad : {"drop:", "drop:x", "drop:1.5", "drop:-0.1", "drop:0.5x"}) {
        EXPECT_FALSE(ParseFault(bad, fault, error)) << bad;
    }
}

}  // namespace
}  // namespace korvit::ecusim
