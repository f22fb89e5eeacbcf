// The gauge readings the reply thread keeps for the Dash.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "app/gauge_readings.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"

using korvit::app::GaugeReadings;
using korvit::definition::ADXBitmask;
using korvit::definition::ADXDefinition;
using korvit::definition::ADXValue;
using korvit::evaluation::Packet;

namespace {

constexpr uint32_t kCommand = 0xC0FFEEu;

class GaugeReadingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto value = std::make_unique<ADXValue>();
        value->SetID("speed");
        value->parentcmdidhash = kCommand;
        value->SetValueEquation("X*2");
        speed_ = value.get();
        def_.Insert(std::move(value));
        auto loose = std::make_unique<ADXValue>();
        loose->SetID("loose");  // of no command: any reply's packet, or its last raw number
        loose->packetoffset = 1;
        loose->SetValueEquation("X");
        loose_ = loose.get();
        def_.Insert(std::move(loose));
        auto flag = std::make_unique<ADXBitmask>();
        flag->SetID("flag");
        flag->parentcmdidhash = kCommand;
        flag->packetoffset = 2;
        flag->operand = 1;
        flag->result = 1;
        flag_ = flag.get();
        def_.Insert(std::move(flag));
        readings_.Watch(&def_, {speed_, loose_, flag_, nullptr});
    }
    void Feed(std::vector<uint8_t> bytes, uint32_t command = kCommand) {
        readings_.Feed(Packet{bytes.data(), bytes.size()}, command);
    }

    ADXDefinition def_;
    ADXValue* speed_ = nullptr;
    ADXValue* loose_ = nullptr;
    ADXBitmask* flag_ = nullptr;
    GaugeReadings readings_;
};

}  // namespace

TEST_F(GaugeReadingsTest, EveryReplyWidensTheLowestAndHighestAndTheLastOneShows) {
    EXPECT_FALSE(readings_.Readings()[0].has_value);
    for (uint8_t raw : {30, 10, 90, 40}) Feed({raw, 7, 1});
    auto r = readings_.Readings();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_TRUE(r[0].has_value);
    EXPECT_EQ(r[0].value, 80.0f);
    EXPECT_EQ(r[0].lowest, 20.0f);
    EXPECT_EQ(r[0].highest, 180.0f);
    EXPECT_EQ(r[1].value, 7.0f);
    EXPECT_EQ(r[2].state, 1u);
    EXPECT_FALSE(r[3].has_value);

    // Another command's reply moves only the item of no command.
    Feed({200, 9, 0}, 0x1234u);
    r = readings_.Readings();
    EXPECT_EQ(r[0].value, 80.0f);
    EXPECT_EQ(r[1].value, 9.0f);
    EXPECT_EQ(r[2].state, 1u);

    // Without a packet (a trigger) each item reads its last raw number.
    loose_->last_raw = 55;
    readings_.Feed(Packet::None(), kCommand);
    r = readings_.Readings();
    EXPECT_EQ(r[0].value, 80.0f);
    EXPECT_EQ(r[1].value, 55.0f);
    EXPECT_EQ(r[1].lowest, 7.0f);
    EXPECT_EQ(r[1].highest, 55.0f);
}

// A seek: every reading starts again at the position's last packet, lowest and highest with it,
// each item under the packet-selection rule; with no record there, no gauge reads.
TEST_F(GaugeReadingsTest, RestartingAtAPositionReadsTheLastPacketWithMinMaxThere) {
    for (uint8_t raw : {30, 10, 90}) Feed({raw, 7, 1});
    const uint64_t restarts = readings_.restarts();
    korvit::evaluation::PacketSnapshot last;
    last.bytes[0] = 25;
    last.bytes[1] = 3;
    last.bytes[2] = 0;
    last.length = 3;
    last.ReplyCommandHash = 0x1234u;  // another command's packet: speed reads its last raw
    speed_->last_raw = 12;
    readings_.RestartAt(last);
    EXPECT_EQ(readings_.restarts(), restarts + 1);
    auto r = readings_.Readings();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_TRUE(r[0].has_value);
    EXPECT_EQ(r[0].value, 24.0f);
    EXPECT_EQ(r[0].lowest, 24.0f);
    EXPECT_EQ(r[0].highest, 24.0f);
    EXPECT_EQ(r[1].value, 3.0f);  // the loose item takes any packet
    EXPECT_EQ(r[1].lowest, 3.0f);
    EXPECT_FALSE(r[3].has_value);

    last.ReplyCommandHash = kCommand;
    readings_.RestartAt(last);
    r = readings_.Readings();
    EXPECT_EQ(r[0].value, 50.0f);
    EXPECT_EQ(r[0].highest, 50.0f);
    EXPECT_EQ(r[2].state, 0u);
    Feed({40, 1, 1});  // playing on widens from the position
    r = readings_.Readings();
    EXPECT_EQ(r[0].lowest, 50.0f);
    EXPECT_EQ(r[0].highest, 80.0f);
    EXPECT_EQ(r[2].state, 1u);

    readings_.RestartAt(korvit::evaluation::PacketSnapshot{});  // before the first record
    for (const auto& reading : readings_.Readings()) EXPECT_FALSE(reading.has_value);
}

TEST_F(GaugeReadingsTest, WatchingAgainStartsWithoutReadingsAndGenerationsCountChanges) {
    Feed({1, 2, 0});
    const uint64_t fed = readings_.generation();
    Feed({3, 4, 0}, 0x1234u);  // the loose item still moves
    EXPECT_GT(readings_.generation(), fed);
    readings_.Watch(&def_, {speed_});
    const uint64_t watched = readings_.generation();
    ASSERT_EQ(readings_.Readings().size(), 1u);
    EXPECT_FALSE(readings_.Readings()[0].has_value);
    Feed({5, 0, 0}, 0x1234u);  // nothing watched belongs to it
    EXPECT_EQ(readings_.generation(), watched);
    readings_.Clear();
    EXPECT_FALSE(readings_.Readings()[0].has_value);
}

TEST_F(GaugeReadingsTest, FeedingFromAWorkerWhileTheGuiReadsLosesNoExtreme) {
    std::thread worker([&] {
        for (int i = 0; i < 20000; ++i) Feed({static_cast<uint8_t>(i % 100 + 50), 0, 0});
        Feed({1, 0, 0});
        Feed({60, 0, 0});
    });
    float lowest_seen = 1e9f;
    while (lowest_seen > 2.0f) {
        const auto r = readings_.Readings();
        if (r[0].has_value) {
            EXPECT_LE(r[0].lowest, r[0].value);
            EXPECT_GE(r[0].highest, r[0].value);
            lowest_seen = r[0].lowest;
        }
    }
    worker.join();
    const auto r = readings_.Readings();
    EXPECT_EQ(r[0].lowest, 2.0f);
    EXPECT_EQ(r[0].highest, 298.0f);
    EXPECT_EQ(r[0].value, 120.0f);
}

// Readings of raw numbers seen before come out as computed the first time, also for 16-bit
// numbers that share a remembered slot, and a value that reads another value is computed anew
// whenever that one moves, even when its own raw number stays.
TEST_F(GaugeReadingsTest, RepeatedRawNumbersReadTheSameAndLinkedValuesFollowTheirLinks) {
    auto wide = std::make_unique<ADXValue>();
    wide->SetID("wide");
    wide->parentcmdidhash = kCommand;
    wide->sizeinbits = 16;
    wide->flags = ADXValue::kPacketOrder;
    wide->SetValueEquation("X-1000");
    ADXValue* wide_ = wide.get();
    def_.Insert(std::move(wide));
    auto sum = std::make_unique<ADXValue>();
    sum->SetID("sum");
    sum->parentcmdidhash = kCommand;
    sum->packetoffset = 2;
    sum->SetValueEquation("X+S");
    sum->SetVar({korvit::definition::ADXValueVar::kLink, 'S', speed_->idhash()});
    ADXValue* sum_ = sum.get();
    def_.Insert(std::move(sum));
    readings_.Watch(&def_, {speed_, wide_, sum_});

    const auto expect = [&](std::vector<uint8_t> bytes, float speed, float wide_value,
                            float sum_value) {
        Feed(bytes);
        const auto r = readings_.Readings();
        EXPECT_EQ(r[0].value, speed);
        EXPECT_EQ(r[1].value, wide_value);
        EXPECT_EQ(r[2].value, sum_value);
    };
    // The 16-bit number is in packet order, low byte first.
    expect({0x01, 0x02, 5}, 2.0f, 513.0f - 1000.0f, 7.0f);
    expect({0x02, 0x01, 5}, 4.0f, 258.0f - 1000.0f, 9.0f);  // same slot as 0x0201
    expect({0x01, 0x02, 5}, 2.0f, 513.0f - 1000.0f, 7.0f);
    expect({0x03, 0x02, 5}, 6.0f, 515.0f - 1000.0f, 11.0f);  // only the link moved
    auto r = readings_.Readings();
    EXPECT_EQ(r[0].lowest, 2.0f);
    EXPECT_EQ(r[0].highest, 6.0f);
    EXPECT_EQ(r[1].lowest, 258.0f - 1000.0f);
    EXPECT_EQ(r[2].highest, 11.0f);

    // A trigger reads the last raw numbers, remembered or not.
    speed_->last_raw = 0x01;
    readings_.Feed(Packet::None(), kCommand);
    r = readings_.Readings();
    EXPECT_EQ(r[0].value, 2.0f);
    EXPECT_EQ(r[2].value, 7.0f);
}
