#include "app/chart_feed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "definition/adx_definition.h"
#include "definition/adx_value.h"

using korvit::app::ChartFeed;
using korvit::app::ChartPoint;
using korvit::definition::ADXDefinition;
using korvit::definition::ADXValue;
using korvit::evaluation::Packet;

namespace {

constexpr uint32_t kCommand = 0x1234u;
constexpr uint32_t kOther = 0x5678u;

/// A definition with three values of byte 0: two of the command (the second doubled) and one
/// of another command.
struct Values {
    ADXDefinition def;
    ADXValue* byte = Add("byte", kCommand, "X");
    ADXValue* twice = Add("twice", kCommand, "X*2");
    ADXValue* other = Add("other", kOther, "X");

    ADXValue* Add(const char* id, uint32_t command, const char* equation) {
        auto value = std::make_unique<ADXValue>();
        value->SetID(id);
        value->parentcmdidhash = command;
        value->sizeinbits = 8;
        value->packetoffset = 0;
        value->SetValueEquation(equation);
        ADXValue* raw = value.get();
        def.Insert(std::move(value));
        return raw;
    }
};

void FeedByte(ChartFeed& feed, float t, uint8_t b, uint32_t command = kCommand) {
    const uint8_t packet[1] = {b};
    feed.Feed(t, Packet{packet, 1}, command);
}

std::vector<float> Ys(const std::vector<ChartPoint>& line) {
    std::vector<float> out;
    for (const ChartPoint& p : line) out.push_back(p.y);
    return out;
}

}  // namespace

// A reply thread feeds while the GUI thread takes, as fast as both can: every point arrives
// once and in order, each line gets only its command's replies, and the cursor is the newest.
TEST(ChartFeed, EveryReplyArrivesOnceAndInOrderWhileTakenOnAnotherThread) {
    Values v;
    ChartFeed feed;
    feed.Watch(&v.def, {v.byte, v.twice, v.other}, false);
    constexpr int kReplies = 20000;
    std::thread reply_thread([&] {
        for (int i = 0; i < kReplies; ++i) {
            FeedByte(feed, i * 0.05f, static_cast<uint8_t>(i));
            if (i % 100 == 0) FeedByte(feed, i * 0.05f, 7, kOther);
        }
    });
    std::vector<std::vector<ChartPoint>> lines(3);
    size_t arrivals = 0;
    float cursor = -1.0f;
    ChartFeed::Batch batch;
    const auto take = [&] {
        feed.Take(batch);
        ASSERT_EQ(batch.lines.size(), 3u);
        for (size_t k = 0; k < 3; ++k) {
            lines[k].insert(lines[k].end(), batch.lines[k].begin(), batch.lines[k].end());
        }
        arrivals += batch.arrivals.size();
        if (batch.cursor) cursor = *batch.cursor;
        EXPECT_FALSE(batch.reset);
    };
    while (lines[0].size() < static_cast<size_t>(kReplies)) take();
    reply_thread.join();
    take();
    ASSERT_EQ(lines[0].size(), static_cast<size_t>(kReplies));
    ASSERT_EQ(lines[1].size(), static_cast<size_t>(kReplies));
    EXPECT_EQ(lines[2].size(), static_cast<size_t>(kReplies / 100));
    EXPECT_EQ(arrivals, static_cast<size_t>(kReplies + kReplies / 100));
    for (int i = 0; i < kReplies; ++i) {
        ASSERT_EQ(lines[0][i].x, i * 0.05f) << i;
        ASSERT_EQ(lines[0][i].y, static_cast<float>(static_cast<uint8_t>(i))) << i;
        ASSERT_EQ(lines[1][i].y, 2.0f * static_cast<uint8_t>(i)) << i;
    }
    EXPECT_EQ(cursor, (kReplies - 1) * 0.05f);
    // Nothing waits any more: the next batch is empty.
    feed.Take(batch);
    EXPECT_TRUE(batch.empty());
}

// A reset marks where the new run starts (what came before stays, for a whole log shown); the
// cursor says on which side of it it moved; watching again keeps the points of the values that
// stay, loading anew drops everything.
TEST(ChartFeed, ResetsAreMarkedAndWatchingAgainKeepsWhatWaits) {
    Values v;
    ChartFeed feed;
    feed.Watch(&v.def, {v.byte, v.other}, false);
    FeedByte(feed, 1.0f, 10);
    FeedByte(feed, 2.0f, 20);
    feed.Reset();
    feed.SetCursor(0.5);
    FeedByte(feed, 0.0f, 30, kOther);
    FeedByte(feed, 0.5f, 40);
    ChartFeed::Batch batch;
    feed.Take(batch);
    ASSERT_TRUE(batch.reset);
    EXPECT_EQ(Ys(batch.lines[0]), (std::vector<float>{10, 20, 40}));
    EXPECT_EQ(batch.lines_before_reset, (std::vector<size_t>{2, 0}));
    EXPECT_EQ(batch.arrivals_before_reset, 2u);
    EXPECT_EQ(batch.arrivals.size(), 4u);
    EXPECT_EQ(batch.arrivals[2].command_hash, kOther);
    EXPECT_EQ(*batch.cursor, 0.5f);
    EXPECT_TRUE(batch.cursor_after_reset);

    // A cursor set before the reset is reported as such.
    feed.SetCursor(9.0);
    feed.Reset();
    feed.Take(batch);
    EXPECT_TRUE(batch.reset);
    EXPECT_FALSE(batch.cursor_after_reset);
    EXPECT_EQ(*batch.cursor, 9.0f);

    // A series added: the waiting points of a value move with it, a new value starts empty.
    FeedByte(feed, 3.0f, 50);
    FeedByte(feed, 4.0f, 60, kOther);
    feed.Watch(&v.def, {v.twice, v.other, v.byte}, true);
    FeedByte(feed, 5.0f, 70);
    feed.Take(batch);
    ASSERT_EQ(batch.lines.size(), 3u);
    EXPECT_EQ(Ys(batch.lines[0]), (std::vector<float>{140}));
    EXPECT_EQ(Ys(batch.lines[1]), (std::vector<float>{60}));
    EXPECT_EQ(Ys(batch.lines[2]), (std::vector<float>{50, 70}));

    // A definition loaded anew: nothing of before waits.
    FeedByte(feed, 6.0f, 80);
    feed.Reset();
    feed.Watch(&v.def, {v.byte}, false);
    feed.Take(batch);
    EXPECT_TRUE(batch.empty());
}
