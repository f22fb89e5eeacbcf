#include "ecu_simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "acquisition/mm_serial.h"
#include "bit_stream.h"
#include "definition/adx_commands.h"
#include "ecu_signals.h"

namespace korvit::ecusim {
namespace {

using acquisition::MMSerial;
using definition::ADXCSendCommand;
using Steady = std::chrono::steady_clock;

const std::vector<uint8_t> kRequest = {0xF4, 0x57, 0x01, 0x00, 0xB4};
constexpr uint32_t kReplySize = 67;

double MsSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

/// A simulator serving a definition on its own thread, and a port opened on its line.
class SimulatorTest : public ::testing::Test {
  protected:
    SimulatorTest() {
        auto request = std::make_unique<ADXCSendCommand>();
        request->SetID("Mode1");
        request->SetBytes(kRequest.data(), kRequest.size());
        request->replysize = kReplySize;
        request->packetoffset = 3;
        request->packetsize = 63;
        definition.Insert(std::move(request));
    }

    ~SimulatorTest() override {
        port.Close();
        if (simulator) simulator->Stop();
        if (thread.joinable()) thread.join();
    }

    void Start(SimOptions options = {}) {
        simulator = std::make_unique<EcuSimulator>(definition, std::move(options));
        std::string error;
        ASSERT_TRUE(simulator->Open(error)) << error;
        thread = std::thread([this] { simulator->Run(); });
        ASSERT_EQ(port.Open(simulator->path(), 8192), 1);
    }

    static SimOptions WithFault(FaultKind kind, double rate) {
        SimOptions options;
        options.faults.push_back({kind, rate});
        return options;
    }

    std::vector<uint8_t> Read(uint32_t count, uint32_t interval_ms, uint32_t total_ms) {
        port.SetTimeouts(interval_ms, 0, total_ms, 0, 300);
        std::vector<uint8_t> buf(count);
        buf.resize(port.Read(buf.data(), count));
        return buf;
    }

    void SendRequest() {
        port.Purge(1, 1);
        ASSERT_EQ(port.Write(kRequest.data(), static_cast<uint32_t>(kRequest.size())),
                  kRequest.size());
    }

    definition::ADXDefinition definition;
    std::unique_ptr<EcuSimulator> simulator;
    std::thread thread;
    MMSerial port;
};

TEST_F(SimulatorTest, AnswersItsCommandsAndIgnoresOtherBytes) {
    Start();
    EXPECT_EQ(simulator->baud(), 8192u);
    for (int i = 0; i < 3; ++i) {
        SendRequest();
        const std::vector<uint8_t> reply = Read(kReplySize, 100, 3000);
        ASSERT_EQ(reply.size(), kReplySize);
        EXPECT_EQ(reply[0], 0xF4);
        EXPECT_TRUE(EcuSignals::SumsToZero(reply));
    }
    EXPECT_EQ(simulator->commands_seen(), 3u);

    const uint8_t noise[] = {0x01, 0xF4, 0x57, 0x02};
    port.Write(noise, sizeof noise);
    EXPECT_TRUE(Read(kReplySize, 100, 300).empty());
}

TEST_F(SimulatorTest, PacesRepliesAtTheLineRate) {
    SimOptions options;
    options.baud = 1200;
    Start(options);
    SendRequest();
    const auto start = Steady::now();
    EXPECT_EQ(Read(kReplySize, 200, 5000).size(), kReplySize);
    // The 5-byte request and the 67-byte reply share the line: 72 bytes of 10 bits at 1200 baud
    // take 600 ms.
    EXPECT_GE(MsSince(start), 590.0);
}

TEST_F(SimulatorTest, EchoesWhatItHearsBeforeReplying) {
    definition.flags = definition::ADXDefinition::kEchoesSentBytes;
    Start();
    SendRequest();
    EXPECT_EQ(Read(5, 100, 2000), kRequest);
    const std::vector<uint8_t> reply = Read(kReplySize, 100, 2000);
    ASSERT_EQ(reply.size(), kReplySize);
    EXPECT_TRUE(EcuSignals::SumsToZero(reply));
}

TEST_F(SimulatorTest, NoReplyLeavesTheReaderEmptyHanded) {
    Start(WithFault(FaultKind::kNoReply, 1.0));
    SendRequest();
    EXPECT_TRUE(Read(kReplySize, 50, 400).empty());
    EXPECT_EQ(simulator->commands_seen(), 1u);
}

TEST_F(SimulatorTest, DroppedBytesShortenTheReply) {
    SimOptions options = WithFault(FaultKind::kDrop, 0.5);
    options.seed = 7;
    Start(options);
    SendRequest();
    const size_t got = Read(kReplySize, 100, 1500).size();
    EXPECT_GT(got, 0u);
    EXPECT_LT(got, kReplySize);
}

TEST_F(SimulatorTest, CorruptedBytesDifferFromWhatWasSent) {
    SimOptions options = WithFault(FaultKind::kCorrupt, 1.0);
    options.echo = true;
    Start(options);
    SendRequest();
    const std::vector<uint8_t> echo = Read(5, 100, 2000);
    ASSERT_EQ(echo.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_NE(echo[i], kRequest[i]) << i;
}

TEST_F(SimulatorTest, LateReplyArrivesAfterTheReaderGaveUp) {
    SimOptions options = WithFault(FaultKind::kLate, 1.0);
    options.late_delay = std::chrono::milliseconds(400);
    Start(options);
    SendRequest();
    EXPECT_TRUE(Read(kReplySize, 30, 150).empty());
    const std::vector<uint8_t> reply = Read(kReplySize, 100, 3000);
    ASSERT_EQ(reply.size(), kReplySize);
    EXPECT_TRUE(EcuSignals::SumsToZero(reply));
}

TEST_F(SimulatorTest, EveryNthReplyIsLateAndTheOthersAreNot) {
    SimOptions options;
    options.late_every = 3;
    options.late_delay = std::chrono::milliseconds(400);
    Start(options);
    for (int i = 1; i <= 6; ++i) {
        SCOPED_TRACE(i);
        SendRequest();
        const bool late = i % 3 == 0;
        // A prompt reply takes about 90 ms on the line; a late one has not started by 250 ms.
        std::vector<uint8_t> reply = Read(kReplySize, 100, 250);
        EXPECT_EQ(reply.empty(), late);
        if (late) reply = Read(kReplySize, 100, 3000);
        ASSERT_EQ(reply.size(), kReplySize);
        EXPECT_TRUE(EcuSignals::SumsToZero(reply));
    }
}

TEST_F(SimulatorTest, StalledLineStopsHalfWayAndResumes) {
    SimOptions options = WithFault(FaultKind::kStall, 1.0);
    options.stall_time = std::chrono::milliseconds(500);
    Start(options);
    SendRequest();
    const std::vector<uint8_t> first = Read(kReplySize, 100, 5000);
    EXPECT_EQ(first.size(), kReplySize / 2);
    const auto resume = Steady::now();
    const std::vector<uint8_t> rest = Read(kReplySize - first.size(), 100, 5000);
    EXPECT_EQ(rest.size(), kReplySize - first.size());
    EXPECT_GE(MsSince(resume), 300.0);
}

TEST_F(SimulatorTest, HangUpCutsTheReplyAndEndsTheLine) {
    Start(WithFault(FaultKind::kHangup, 1.0));
    SendRequest();
    const size_t got = Read(kReplySize, 100, 3000).size();
    EXPECT_GT(got, 0u);
    EXPECT_LE(got, kReplySize / 2);
    thread.join();  // Run ends by itself after hanging up
    EXPECT_TRUE(Read(1, 0, 50).empty());
    EXPECT_TRUE(port.HungUp());
}

TEST_F(SimulatorTest, StreamsWellFormed160BaudPackets) {
    auto listen = std::make_unique<definition::ADXC160BaudListen>();
    listen->packetsize = 3;
    definition.Insert(std::move(listen));
    Start();
    EXPECT_TRUE(simulator->streams_160_baud());
    // Two packets are 2 * (10 + 27) elements at 160 a second; read a little more than two.
    const std::vector<uint8_t> stream = Read(100, 300, 5000);
    ASSERT_EQ(stream.size(), 100u);
    int malformed = 0;
    const auto packets = test::DecodePackets(stream, 3, &malformed);
    EXPECT_EQ(malformed, 0);
    EXPECT_GE(packets.size(), 2u);
}

TEST_F(SimulatorTest, ChattersWithSilentGapsUntilACommandComes) {
    auto chatter = std::make_unique<definition::ADXCListenChatter>();
    const uint8_t pattern[] = {0x55, 0xAA, 0x33};
    chatter->SetBytes(pattern, sizeof pattern);
    definition.Insert(std::move(chatter));
    auto silence = std::make_unique<definition::ADXCListenSilence>();
    silence->silencelen = 40;
    definition.Insert(std::move(silence));
    Start();

    // The pattern shows up within the stream of chatter.
    const std::vector<uint8_t> heard = Read(64, 500, 1500);
    const auto found =
        std::search(heard.begin(), heard.end(), std::begin(pattern), std::end(pattern));
    EXPECT_NE(found, heard.end());

    // Between frames the line falls silent for longer than the listen asks for.
    bool silent = false;
    for (int i = 0; i < 100 && !silent; ++i) silent = Read(1, 40, 40).empty();
    EXPECT_TRUE(silent);

    // A command quiets it: after the reply nothing more comes for a while.
    SendRequest();
    EXPECT_EQ(Read(kReplySize, 100, 2000).size(), kReplySize);
    EXPECT_TRUE(Read(16, 100, 800).empty());
}

}  // namespace
}  // namespace korvit::ecusim
