#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "acquisition/acquisition_engine.h"
#include "app/output_log.h"
#include "app/views.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "definition/adx_macro.h"
#include "definition/adx_value.h"
#include "pty_peer.h"

namespace korvit::acquisition {
namespace {

using definition::ADXCListenChatter;
using definition::ADXCListenSilence;
using definition::ADXCSendCommand;
using definition::ADXMacro;
using testing::Bytes;
using testing::Consume;
using testing::ScriptedPeer;

const Bytes kRequest{0xF4, 0x57, 0x01, 0x00, 0xB4};
const Bytes kGoodbye{0xDD};

/// Remembers what the engine told the displays.
class ViewLog : public app::IViews {
  public:
    explicit ViewLog(AcquisitionState& state) : state_(state) {}
    void RefreshStatus() override {
        if (state_.status.load() == ConnectionStatus::Connected) saw_connected = true;
        if (state_.status.load() == ConnectionStatus::Connecting) saw_connecting = true;
    }
    void ReplyDecoded(float, uint32_t) override { ++decoded; }
    void AcquisitionStopped() override { ++stopped; }
    void FlashStatus(const char* text) override {
        std::lock_guard lock(mutex);
        flashes += text;
    }

    std::atomic<bool> saw_connecting{false};
    std::atomic<bool> saw_connected{false};
    std::atomic<int> decoded{0};
    std::atomic<int> stopped{0};
    std::mutex mutex;
    std::string flashes;

  private:
    AcquisitionState& state_;
};

/// Waits (without a timing assertion) until the condition holds or a generous limit passes.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class EngineTest : public ::testing::Test {
  protected:
    EngineTest() {
        auto send = std::make_unique<ADXCSendCommand>();
        send->SetID("mode1");
        send->SetBytes(kRequest.data(), kRequest.size());
        send->replysize = 6;
        send->replytimeout = 200;
        send->packetoffset = 2;
        send->packetsize = 3;
        send->flags = 1;
        mode1 = send.get();
        def.Insert(std::move(send));

        auto bye = std::make_unique<ADXCSendCommand>();
        bye->SetID("bye");
        bye->SetBytes(kGoodbye.data(), kGoodbye.size());
        disconnect = bye.get();
        def.Insert(std::move(bye));

        auto quiet = std::make_unique<ADXCListenSilence>();
        quiet->SetID("quiet");
        quiet->silencelen = 20;
        quiet->totaltimeout = 500;
        silence = quiet.get();
        def.Insert(std::move(quiet));

        auto rpm = std::make_unique<definition::ADXValue>();
        rpm->SetID("rpm");
        rpm->parentcmdidhash = mode1->idhash();
        rpm->packetoffset = 1;
        rpm->SetEquation("X");
        value = rpm.get();
        def.Insert(std::move(rpm));

        auto loop = std::make_unique<ADXMacro>();
        loop->SetID("loop");
        definition::ADXMacroNode node;
        node.command = mode1;
        loop->AppendNode(node);
        monitor = loop.get();
        def.Insert(std::move(loop));

        def.connect_command = silence;
        def.monitor_command = monitor;
        def.disconnect_command = disconnect;
        log.AddSink(&output);
        engine.set_views(&views);
    }

    ~EngineTest() override { engine.StopWork(AcquisitionEngine::kStopAcquisition); }

    /// A unit that answers the data request with `reply()` and ignores everything else.
    void StartPeer(std::function<Bytes()> reply) {
        peer = std::make_unique<ScriptedPeer>([reply](Bytes& pending) {
            Bytes out;
            while (!pending.empty()) {
                if (Consume(pending, kRequest)) {
                    Bytes r = reply();
                    out.insert(out.end(), r.begin(), r.end());
                } else {
                    pending.erase(pending.begin());
                }
            }
            return out;
        });
    }

    bool Ended(const Bytes& tail) const {
        const Bytes got = peer->Received();
        return got.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), got.rbegin());
    }

    definition::ADXDefinition def;
    ADXCSendCommand* mode1 = nullptr;
    ADXCSendCommand* disconnect = nullptr;
    ADXCListenSilence* silence = nullptr;
    ADXMacro* monitor = nullptr;
    definition::ADXValue* value = nullptr;
    app::OutputLog log;
    app::TextBufferSink output;
    AcquisitionEngine engine{def, log};
    ViewLog views{engine.state()};
    std::unique_ptr<ScriptedPeer> peer;
};

TEST_F(EngineTest, ScansDecodesAndStopsWithTheDisconnectCommand) {
    StartPeer([] { return Bytes{0xAA, 0xBB, 0x11, 0x22, 0x33, 0x44}; });
    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    EXPECT_FALSE(engine.StartAcquisition(peer->path())) << "one scan at a time";
    ASSERT_TRUE(Eventually([&] { return views.decoded >= 3; }));
    EXPECT_EQ(engine.status(), ConnectionStatus::Connected);

    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    EXPECT_FALSE(engine.running());
    EXPECT_EQ(engine.status(), ConnectionStatus::NotConnected);
    EXPECT_EQ(engine.last_end(), AcquisitionEngine::ScanEnd::Stopped);
    EXPECT_EQ(views.stopped, 1);
    EXPECT_TRUE(views.saw_connecting && views.saw_connected);
    EXPECT_TRUE(Eventually([&] { return Ended(kGoodbye); }))
        << "the disconnect command is the last thing sent";
    // The stop may catch a send command after its write (result 2); nothing else failed.
    EXPECT_LE(engine.errors(), 1u);
    EXPECT_EQ(output.Text().find("FAILURE (0x00000006)"), std::string::npos);

    // The packet is the three bytes from offset 2; the value reads its byte 1.
    const auto packet = engine.state().last_packet.Load();
    EXPECT_EQ(packet.length, 3u);
    EXPECT_EQ(packet.ReplyCommandHash, mode1->idhash());
    EXPECT_EQ(Bytes(packet.bytes.begin(), packet.bytes.begin() + 3), (Bytes{0x11, 0x22, 0x33}));
    EXPECT_EQ(value->last_raw.load(), 0x22u);

    const std::string text = output.Text();
    for (const char* line :
         {"Looking for 20 ms of silence...\r\nSilence found\r\nBEGIN MACRO\r\n",
          ": Command/Reply Success\r\nEND MACRO", ": Command sent. Reply not processed."}) {
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }

    // Idle: a second stop returns at once and still reports.
    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    EXPECT_EQ(views.stopped, 2);
}

TEST_F(EngineTest, ConnectAndMonitorCommandsAreOptional) {
    StartPeer([] { return Bytes(6, 0x01); });
    def.monitor_command = nullptr;
    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
    EXPECT_EQ(engine.last_end(), AcquisitionEngine::ScanEnd::Finished);
    EXPECT_EQ(engine.status(), ConnectionStatus::NotConnected);
    EXPECT_FALSE(engine.running());
    EXPECT_TRUE(peer->Received().empty()) << "neither monitor nor disconnect command ran";

    // Without a connect command the first bytes on the line are the monitor's request.
    def.monitor_command = monitor;
    def.connect_command = nullptr;
    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    ASSERT_TRUE(Eventually([&] { return views.decoded >= 1; }));
    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    const Bytes got = peer->Received();
    ASSERT_GE(got.size(), kRequest.size());
    EXPECT_TRUE(std::equal(kRequest.begin(), kRequest.end(), got.begin()));
    EXPECT_EQ(output.Text().find("silence"), std::string::npos);
}

TEST_F(EngineTest, APortThatCannotBeOpenedIsReported) {
    ASSERT_TRUE(engine.StartAcquisition("/dev/korvit-no-such-port"));
    ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
    EXPECT_EQ(output.Text(), "Unable to open port (/dev/korvit-no-such-port)!");
    EXPECT_EQ(engine.last_end(), AcquisitionEngine::ScanEnd::OpenFailed);
    EXPECT_EQ(engine.status(), ConnectionStatus::NotConnected);
    EXPECT_FALSE(engine.running());
}

TEST_F(EngineTest, FailedRepliesAreCountedOnlyOnceConnected) {
    // Every third reply is cut short; garbage and missing replies likewise count as failures.
    auto n = std::make_shared<std::atomic<int>>(0);
    StartPeer([n] {
        const int i = (*n)++;
        if (i == 0) return Bytes{0x01};  // fails before the first good reply: not counted
        if (i % 3 == 0) return Bytes{0x01, 0x02};
        if (i % 3 == 1) return Bytes{};
        return Bytes{0, 0, 1, 2, 3, 4};
    });
    def.connect_command = nullptr;
    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    ASSERT_TRUE(Eventually([&] { return engine.errors() >= 4; }));
    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    const std::string text = output.Text();
    EXPECT_NE(text.find(": !!!!!!SEND COMMAND FAILURE (0x00000006)!!!!!!"), std::string::npos);
    EXPECT_LT(engine.errors(), static_cast<uint32_t>(n->load()));
    EXPECT_NE(views.flashes.find("ALDL Data Error!"), std::string::npos);
    EXPECT_TRUE(Eventually([&] { return Ended(kGoodbye); }));
}

TEST_F(EngineTest, StopDuringAStalledLineReturnsAndStillSaysGoodbye) {
    auto stalled = std::make_shared<std::atomic<bool>>(false);
    StartPeer([stalled] { return *stalled ? Bytes{} : Bytes(6, 0x05); });
    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    ASSERT_TRUE(Eventually([&] { return views.decoded >= 1; }));
    *stalled = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    EXPECT_FALSE(engine.running());
    EXPECT_TRUE(Eventually([&] { return Ended(kGoodbye); }));
}

TEST_F(EngineTest, StopWhileAMacroListensEndsTheListenAndTheMacro) {
    StartPeer([] { return Bytes(6, 0x07); });
    auto chatter = std::make_unique<ADXCListenChatter>();
    chatter->SetID("hello");
    const Bytes never{0x42, 0x42};
    chatter->SetBytes(never.data(), never.size());
    chatter->listentimeout = 60000;
    definition::ADXMacroNode node;
    node.command = chatter.get();
    monitor->AppendNode(node);
    def.Insert(std::move(chatter));
    def.connect_command = nullptr;

    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    ASSERT_TRUE(Eventually(
        [&] { return output.Text().find("Looking for chatter...") != std::string::npos; }));
    // The unit chatters something else, so the listen keeps sliding until the stop.
    std::atomic<bool> talking{true};
    std::thread talker([&] {
        while (talking) {
            peer->Send({0x01});
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    talking = false;
    talker.join();
    const std::string text = output.Text();
    EXPECT_NE(text.find("CHATTER NOT FOUND\r\nEND MACRO"), std::string::npos) << text;
    EXPECT_TRUE(Eventually([&] { return Ended(kGoodbye); }));
    EXPECT_EQ(engine.last_end(), AcquisitionEngine::ScanEnd::Stopped);
}

TEST_F(EngineTest, AHungUpLineEndsTheScanWithALine) {
    StartPeer([] { return Bytes(6, 0x09); });
    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    ASSERT_TRUE(Eventually([&] { return views.decoded >= 1; }));
    peer->HangUp();
    ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
    EXPECT_EQ(engine.last_end(), AcquisitionEngine::ScanEnd::PortLost);
    EXPECT_NE(output.Text().find("Lost the port (" + peer->path() + ")!"), std::string::npos);
    EXPECT_EQ(engine.status(), ConnectionStatus::NotConnected);
    engine.StopWork(AcquisitionEngine::kStopAcquisition);  // returns at once when idle
}

}  // namespace
}  // namespace korvit::acquisition
