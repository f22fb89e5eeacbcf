#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "acquisition/dae_callback.h"
#include "app/output_log.h"
#include "app/views.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"

namespace korvit::acquisition {
namespace {

using definition::ADXCSendCommand;

class FakeDatalog : public IDatalogLink {
  public:
    bool IsRecording() const override { return recording; }
    void AppendReply(uint32_t hash, const uint8_t* reply, uint32_t count) override {
        records.push_back({hash, std::vector<uint8_t>(reply, reply + count)});
    }
    uint32_t CurrentTimeMs() const override { return time_ms; }
    void Stop() override {}

    bool recording = true;
    uint32_t time_ms = 0;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> records;
};

class CallLog : public app::IViews {
  public:
    void GaugesChanged() override { calls.push_back("dash"); }
    void RedrawItemList() override { calls.push_back("list"); }
    void AddChartPoint(float, evaluation::Packet packet, uint32_t) override {
        calls.push_back(packet.present() ? "chart packet" : "chart none");
    }
    void FlashStatus(const char* text) override { calls.push_back(std::string("flash ") + text); }
    void SetChartTime(double seconds) override {
        calls.push_back("time " + std::to_string(static_cast<int>(seconds * 1000)));
    }
    void SetLogPosition(uint32_t sample) override {
        calls.push_back("sample " + std::to_string(sample));
    }
    std::vector<std::string> calls;
};

class DAECallbackTest : public ::testing::Test {
  protected:
    DAECallbackTest() {
        auto send = std::make_unique<ADXCSendCommand>();
        send->SetID("mode1");
        send->flags = 1;
        send->packetoffset = 2;
        send->packetsize = 4;
        command = send.get();
        def.Insert(std::move(send));
        auto value = std::make_unique<definition::ADXValue>();
        value->SetID("v");
        value->parentcmdidhash = command->idhash();
        value->packetoffset = 1;
        item = value.get();
        def.Insert(std::move(value));
        log.AddSink(&box);
        callback.set_views(&views);
        callback.set_datalog(&datalog);
        event.object = command;
        event.objectidhash = command->idhash();
    }

    int32_t Reply(std::vector<uint8_t> reply, ResultCode result = ResultCode::Success) {
        event.result = result;
        return callback.OnSendCommandEnd(event, reply.data(), static_cast<uint32_t>(reply.size()));
    }

    definition::ADXDefinition def;
    ADXCSendCommand* command = nullptr;
    definition::ADXValue* item = nullptr;
    AcquisitionState state;
    app::OutputLog log;
    app::TextBufferSink box;
    CallLog views;
    FakeDatalog datalog;
    DAECallback callback{def, state, log};
    DataAcqEvent event;
};

TEST_F(DAECallbackTest, AProcessedReplyIsCopiedDecodedShownAndConfirmsTheLink) {
    state.running = 1;
    state.status = ConnectionStatus::Connecting;
    item->SetValueEquation("X");
    state.gauges.Watch(&def, {item});
    EXPECT_EQ(Reply({9, 9, 0x10, 0x20, 0x30, 0x40, 9}), 0);
    const auto packet = state.last_packet.Load();
    EXPECT_EQ(packet.length, 4u);
    EXPECT_EQ(packet.ReplyCommandHash, command->idhash());
    EXPECT_EQ(packet.bytes[3], 0x40);
    EXPECT_EQ(item->last_raw.load(), 0x20u);
    EXPECT_EQ(views.calls, (std::vector<std::string>{"dash", "list", "chart packet"}));
    // The gauge reading was computed from the reply's packet before the Dash was told.
    const auto readings = state.gauges.Readings();
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_TRUE(readings[0].has_value);
    EXPECT_EQ(readings[0].value, static_cast<float>(0x20));
    EXPECT_EQ(state.status.load(), ConnectionStatus::Connected);
    EXPECT_TRUE(datalog.records.empty()) << "the reply that confirms the link is not recorded";

    Reply({1, 2, 3, 4, 5, 6});
    ASSERT_EQ(datalog.records.size(), 1u);
    EXPECT_EQ(datalog.records[0].second.size(), 6u);
    EXPECT_NE(box.Text().find(": Command/Reply Success\r\n"), std::string::npos);

    // A reply shorter than the packet: only what came is copied.
    Reply({1, 2, 3});
    EXPECT_EQ(state.last_packet.Load().length, 1u);
    Reply({1});
    EXPECT_EQ(state.last_packet.Load().length, 0u);

    command->flags = 0;
    Reply({1, 2, 3, 4, 5, 6});
    EXPECT_NE(box.Text().find(": Command sent. Reply not processed."), std::string::npos);
}

TEST_F(DAECallbackTest, FailuresAreCountedAndFlashedOnlyWhileConnected) {
    state.status = ConnectionStatus::Connecting;
    Reply({}, ResultCode::ShortRead);
    EXPECT_EQ(state.errors.load(), 0u);
    state.status = ConnectionStatus::Connected;
    Reply({}, ResultCode::ShortWrite);
    EXPECT_EQ(state.errors.load(), 1u);
    EXPECT_NE(box.Text().find(": !!!!!!SEND COMMAND FAILURE (0x00000005)!!!!!!"),
              std::string::npos);
    EXPECT_EQ(views.calls.back(), "flash ALDL Data Error!");
}

TEST_F(DAECallbackTest, ThePageIsEmptiedBeforeThe201stReplyLine) {
    for (int i = 0; i < 200; ++i) Reply({0, 0, 1, 2, 3, 4});
    const std::string full = box.Text();
    EXPECT_EQ(std::count(full.begin(), full.end(), '\n'), 199);
    Reply({0, 0, 1, 2, 3, 4});
    EXPECT_EQ(box.Text().find('\n'), std::string::npos);
    EXPECT_NE(box.Text().find("Command/Reply Success"), std::string::npos);
}

TEST_F(DAECallbackTest, PlayedRecordsUseTheLoadedDefinitionAndTheirOwnTime) {
    event.source = EventSource::Player;
    datalog.time_ms = 2500;
    ADXCSendCommand proxy;  // what the player hands over: flags 1, no packet layout
    proxy.flags = 1;
    event.object = &proxy;
    Reply({0, 0, 7, 8, 9, 10});
    EXPECT_EQ(box.Text(), "2.500: Command/Reply Success");
    EXPECT_EQ(state.last_packet.Load().bytes[0], 7);

    event.objectidhash = 0x12345678;
    EXPECT_EQ(Reply({1, 2, 3}), kStatusFail);
    EXPECT_NE(box.Text().find("Log playback: Command not found in def. Wrong definition?"),
              std::string::npos);

    callback.OnLogPosition(1500, 42);
    EXPECT_EQ(views.calls.back(), "sample 42");
    EXPECT_EQ(views.calls[views.calls.size() - 2], "time 1500");
}

TEST_F(DAECallbackTest, SlowPacketsAndTriggers) {
    definition::ADXC160BaudListen listen;
    listen.SetID("slow");
    event.object = &listen;
    event.objectidhash = listen.idhash();
    const uint8_t packet[] = {0xAB, 0xCD};
    state.running = 1;
    state.status = ConnectionStatus::Connecting;
    event.result = ResultCode::Success;
    callback.On160BaudListenEnd(event, packet, 2);
    EXPECT_EQ(state.status.load(), ConnectionStatus::Connected);
    EXPECT_EQ(state.last_packet.Load().ReplyCommandHash, listen.idhash());

    event.result = ResultCode::MalformedByte;
    callback.On160BaudListenEnd(event, packet, 2);
    EXPECT_EQ(state.errors.load(), 1u);
    event.result = ResultCode::NoSync;
    callback.On160BaudListenEnd(event, nullptr, 2);
    EXPECT_EQ(box.Text(),
              "160 baud packet acquired\r\nData errors detected!\r\n160 BAUD PACKET ERROR");
    EXPECT_EQ(views.calls.back(), "flash Packet Error!");

    views.calls.clear();
    // A trigger reads the gauge's item from its last raw number.
    definition::ADXValue loose;
    loose.SetValueEquation("X");
    loose.last_raw = 0x33;
    state.gauges.Watch(&def, {&loose});
    definition::ADXCTrigger trigger;
    trigger.triggertype = 0x04 | 0x10;
    event.object = &trigger;
    callback.OnTrigger(event);
    EXPECT_EQ(views.calls, (std::vector<std::string>{"list", "dash"}));
    EXPECT_EQ(state.gauges.Readings()[0].value, static_cast<float>(0x33));
    views.calls.clear();
    trigger.triggertype = 0xFFFFFFFFu;
    callback.OnTrigger(event);
    EXPECT_EQ(views.calls, (std::vector<std::string>{"list", "chart none", "dash"}));
}

}  // namespace
}  // namespace korvit::acquisition
