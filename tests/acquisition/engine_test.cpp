#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "acquisition/acquisition_engine.h"
#include "app/output_log.h"
#include "app/views.h"
#include "definition/definition.h"
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

/// The whole output of a scan: the reply path empties the page every 200 replies, which a fast
/// unit reaches before the test reads the first lines.
class WholeOutput : public app::TextBufferSink {
  public:
    void Clear() override {}
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
        // Wait for silence, then loop on one request whose byte 1 of the packet is "rpm"; say
        // goodbye with 0xDD.
        char rpm_parent[16];
        std::snprintf(rpm_parent, sizeof rpm_parent, "0x%08X", definition::IDHashOf("mode1"));
        const std::string xml =
            "<ADXFORMAT version=\"0.50\"/><ADXHEADER><connectcmd>quiet</connectcmd>"
            "<monitorcmd>loop</monitorcmd><disconnectcmd>bye</disconnectcmd></ADXHEADER>"
            "<ADXCSENDCOMMAND id=\"mode1\" flags=\"1\"><bytestring size=\"5\">F4 57 01 00 B4"
            "</bytestring><replysize>6</replysize><packetoffset>2</packetoffset>"
            "<packetsize>3</packetsize></ADXCSENDCOMMAND>"
            "<ADXCSENDCOMMAND id=\"bye\"><bytestring size=\"1\">DD</bytestring>"
            "</ADXCSENDCOMMAND><ADXCLISTENSILENCE id=\"quiet\"><silencelen>20</silencelen>"
            "<totaltimeout>500</totaltimeout></ADXCLISTENSILENCE>"
            "<ADXVALUE id=\"rpm\"><parentcmdidhash>" +
            std::string(rpm_parent) +
            "</parentcmdidhash><packetoffset>1</packetoffset><MATH equation=\"X\"/></ADXVALUE>"
            "<ADXMACRO id=\"loop\"><NODE commandID=\"mode1\"/></ADXMACRO>";
        std::string error;
        EXPECT_EQ(def.LoadBuffer(xml.data(), xml.size(), error), 1) << error;
        mode1 = definition::As<ADXCSendCommand>(def.FindByID("mode1"));
        monitor = definition::As<ADXMacro>(def.FindByID("loop"));
        value = definition::As<definition::ADXValue>(def.FindByID("rpm"));
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
    ADXMacro* monitor = nullptr;
    definition::ADXValue* value = nullptr;
    app::OutputLog log;
    WholeOutput output;
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
    const size_t first_scan = output.Text().size();
    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    ASSERT_TRUE(Eventually([&] { return views.decoded >= 1; }));
    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    const Bytes got = peer->Received();
    ASSERT_GE(got.size(), kRequest.size());
    EXPECT_TRUE(std::equal(kRequest.begin(), kRequest.end(), got.begin()));
    EXPECT_EQ(output.Text().find("silence", first_scan), std::string::npos);
}

TEST_F(EngineTest, APortThatCannotBeOpenedIsReported) {
    ASSERT_TRUE(engine.StartAcquisition("/dev/korvit-no-such-port"));
    ASSERT_TRUE(engine.WaitIdle(std::chrono::seconds(10)));
    EXPECT_EQ(output.Text(),
              "Unable to open port (/dev/korvit-no-such-port)!\r\nNo such file or directory: "
              "/dev/korvit-no-such-port does not exist; is the adapter plugged in? USB serial "
              "adapters appear as /dev/ttyUSB0 or /dev/ttyACM0.");
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
