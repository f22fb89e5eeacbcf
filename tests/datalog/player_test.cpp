#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "datalog/data_log.h"
#include "xdl_test_support.h"

using namespace korvit::datalog;
using namespace korvit::datalog::testing;

namespace {

constexpr uint32_t kFast = 0xA1;
constexpr uint32_t kListen = 0xB2;

std::vector<BuiltCommand> Table() {
    return {{kFast, "Fast", 0x20000, 3, 3, std::vector<uint8_t>(15, 0xFF)},
            {kListen, "Slow", 0x100000, 2, 2, std::vector<uint8_t>(15, 0xFF)}};
}

// Twenty send-command records, 10 ms apart, whose first data byte is their number; one
// 160-baud record (index 5) that is paced but raises no reply.
std::vector<BuiltRecord> Records(size_t n = 20) {
    std::vector<BuiltRecord> records;
    for (size_t i = 0; i < n; ++i) {
        if (i == 5) {
            records.push_back({static_cast<uint32_t>(10 * i), 1, {0x55, 0x55}});
        } else {
            records.push_back({static_cast<uint32_t>(10 * i), 0, {uint8_t(i), 0x10, 0x20}});
        }
    }
    return records;
}

class Player : public ::testing::Test {
  protected:
    void Open(const std::vector<uint8_t>& bytes) {
        path = dir.File("play.xdl");
        WriteFile(path, bytes);
        log.SetCallback(&cb);
        ASSERT_EQ(log.Open(path), 0u);
    }
    void WaitForEnd(int ends = 1) {
        ASSERT_TRUE(Eventually([&] { return cb.ends >= ends; }));
        ASSERT_EQ(cb.ends, ends);
        log.StopPlayer();
    }
    std::vector<uint32_t> Samples() {
        std::vector<uint32_t> out;
        for (const auto& p : cb.played) out.push_back(p.sample);
        return out;
    }

    TempDir dir;
    std::string path;
    RecordingCallback cb;
    DataLog log;
};

TEST_F(Player, UnpacedPlaybackRaisesEveryRecordThroughAProxyAndEndsTheLog) {
    // Starting needs a callback and an open log.
    EXPECT_EQ(log.StartPlayer(), 6u);
    log.SetCallback(&cb);
    EXPECT_EQ(log.StartPlayer(), 3u);
    EXPECT_EQ(log.Seek(1, 0), 3u);

    Open(BuildXdl(Table(), Records()));
    // Paced at first, so that a second start finds it playing; then the speed changes under
    // the running player to unpaced.
    ASSERT_EQ(log.StartPlayer(), 0u);
    EXPECT_EQ(log.StartPlayer(), 3u);
    log.SetSpeed(0);
    WaitForEnd();
    EXPECT_EQ(log.player_result(), 7u);
    EXPECT_EQ(log.state(), DataLogState::Open);
    ASSERT_EQ(cb.played.size(), 19u);
    for (const auto& p : cb.played) {
        EXPECT_EQ(p.idhash, kFast);
        EXPECT_EQ(p.proxy_type, 0x20000u);
        EXPECT_EQ(p.proxy_flags, 1u);
        EXPECT_EQ(p.proxy_replysize, 3u);
        ASSERT_EQ(p.reply.size(), 3u);
        // Sample indexes count every record read, the 160-baud one included.
        EXPECT_EQ(p.reply[0] + 1u, p.sample);
        EXPECT_EQ(p.reply[1], 0x10);
    }
    ASSERT_EQ(cb.positions.size(), 20u);
    EXPECT_EQ(cb.positions.back(), std::make_pair(190u, 20u));
}

TEST_F(Player, PacedPlaybackWaitsForEachGapDividedBySpeed) {
    Open(BuildXdl(Table(), Records(6)));
    for (float speed : {4.0f, 2.0f}) {
        cb.played.clear();
        cb.positions.clear();
        log.SetSpeed(speed);
        ASSERT_EQ(log.Seek(0, kSeekRewind), 0u);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(log.StartPlayer(), 0u);
        WaitForEnd(speed == 4.0f ? 1 : 2);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        // Five gaps of 10 ms: never faster than the recorded pace allows.
        EXPECT_GE(ms, 50.0 / speed - 1.0) << "speed " << speed;
        EXPECT_EQ(cb.positions.size(), 6u);
    }
}

TEST_F(Player, PauseStopsAfterTheCurrentRecordAndResumeGoesOnFromTheNext) {
    Open(BuildXdl(Table(), Records()));
    log.SetSpeed(0);
    cb.on_position = [this](uint32_t sample) {
        if (sample == 3) log.Pause();
    };
    ASSERT_EQ(log.StartPlayer(), 0u);
    while (log.player_running()) std::this_thread::yield();
    log.StopPlayer();
    EXPECT_EQ(cb.ends, 0);
    EXPECT_EQ(log.state(), DataLogState::Open);
    EXPECT_EQ(log.recordsread(), 3u);
    EXPECT_EQ(Samples(), std::vector<uint32_t>({1, 2, 3}));

    cb.on_position = nullptr;
    ASSERT_EQ(log.StartPlayer(), 0u);
    WaitForEnd();
    std::vector<uint32_t> expected;
    for (uint32_t s = 1; s <= 20; ++s) {
        if (s != 6) expected.push_back(s);  // record 6 is the 160-baud one
    }
    EXPECT_EQ(Samples(), expected);
}

TEST_F(Player, PlayAfterTheEndStartsAgainFromTheFirstRecordAfterReopening) {
    Open(BuildXdl(Table(), Records(3)));
    log.SetSpeed(0);
    ASSERT_EQ(log.StartPlayer(), 0u);
    WaitForEnd();
    ASSERT_EQ(log.Close(), 1u);
    ASSERT_EQ(log.Open(path), 0u);
    EXPECT_EQ(log.speed(), 1.0f);  // a reset restores the speed
    log.SetSpeed(0);
    ASSERT_EQ(log.StartPlayer(), 0u);
    WaitForEnd(2);
    EXPECT_EQ(Samples(), std::vector<uint32_t>({1, 2, 3, 1, 2, 3}));
}

// After a seek the displays show the position: the seek raises the latest record of each send
// command up to it, oldest first and the one at the position last (nothing before the first).
TEST_F(Player, ASeekRaisesTheLatestRecordOfEachCommandAtThePosition) {
    constexpr uint32_t kOther = 0xC3;
    auto table = Table();
    table.push_back({kOther, "Other", 0x20000, 2, 2, std::vector<uint8_t>(15, 0xFF)});
    std::vector<BuiltRecord> records;
    for (uint8_t i = 0; i < 20; ++i) {
        const uint8_t command = i == 6 ? 1 : (i % 4 == 1 ? 2 : 0);  // a listen, an Other, Fast
        records.push_back(
            {10u * i, command,
             command == 0 ? std::vector<uint8_t>{i, 0, 0} : std::vector<uint8_t>{i, 0}});
    }
    Open(BuildXdl(table, records));
    const auto raised = [&] {
        std::vector<std::pair<uint32_t, uint8_t>> out;  // (command, its record's number)
        for (const auto& r : cb.seek_records) out.emplace_back(r.idhash, r.reply.at(0));
        cb.seek_records.clear();
        return out;
    };
    using Raised = std::vector<std::pair<uint32_t, uint8_t>>;
    ASSERT_EQ(log.Seek(10, kSeekRewind), 0u);  // record 9 (an Other) is the one at the position
    EXPECT_EQ(raised(), (Raised{{kFast, 8}, {kOther, 9}}));
    ASSERT_EQ(log.Seek(8, kSeekRewind), 0u);  // record 7 (Fast); the listen at 6 raises nothing
    EXPECT_EQ(raised(), (Raised{{kOther, 5}, {kFast, 7}}));
    ASSERT_EQ(log.Seek(75, kSeekRewind | kSeekByTime), 0u);
    EXPECT_EQ(raised(), (Raised{{kOther, 5}, {kFast, 7}}));
    // Reading them moved nothing: the time is the one of the record the seek stopped before.
    EXPECT_EQ(log.recordsread(), 8u);
    EXPECT_EQ(log.currenttime(), 80u);
    EXPECT_EQ(log.shown(), 8u);
    ASSERT_EQ(log.Seek(0, kSeekRewind), 0u);
    EXPECT_EQ(raised(), Raised{});
    EXPECT_EQ(cb.seek_ends, 4);
    ASSERT_EQ(log.Seek(100, kSeekRewind), 7u);  // beyond the end: the last records
    EXPECT_EQ(raised(), (Raised{{kOther, 17}, {kFast, 19}}));
}

// A record the player read and waits to play when a seek comes is dropped: the next one
// played is the one after the new position.
TEST_F(Player, ARecordReadBeforeASeekIsNotPlayedAfterIt) {
    Open(BuildXdl(Table(), Records()));
    log.SetSpeed(0.011f);  // 10 ms gaps become most of a second
    ASSERT_EQ(log.StartPlayer(), 0u);
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard guard(cb.mutex);
        return !cb.played.empty();
    }));
    ASSERT_EQ(log.Seek(15, kSeekRewind), 0u);
    log.SetSpeed(0);
    WaitForEnd();
    const std::vector<uint32_t> samples = Samples();
    ASSERT_GE(samples.size(), 2u);
    EXPECT_EQ(samples[0], 1u);
    EXPECT_EQ(samples[1], 16u);
    for (const auto& p : cb.played) EXPECT_EQ(p.reply[0] + 1u, p.sample);
}

// Reference values of a seek, computed from the record list alone.
struct SeekResult {
    uint32_t code;
    uint32_t read;
    uint32_t time;
};

TEST_F(Player, SeeksBySampleAndTimeWithAndWithoutRewind) {
    auto records = Records();
    records.insert(records.begin() + 8, BuiltRecord{75, 40, {1}});  // not in the table: skipped
    Open(BuildXdl(Table(), records));
    struct Step {
        uint32_t target, flags;
        SeekResult want;
    };
    const std::vector<Step> steps = {
        {5, kSeekRewind, {0, 5, 40}},
        {15, 0, {0, 15, 140}},                          // forward without rewind
        {3, 0, {0, 16, 150}},                           // target behind: one record is read
        {3, kSeekRewind, {0, 3, 20}},                   // backward jump
        {0, kSeekRewind, {0, 0, 20}},                   // to the first record: nothing read
        {95, kSeekRewind | kSeekByTime, {0, 10, 100}},  // stops before the record at 100 ms
        {100, kSeekByTime, {0, 11, 110}},
        {30, kSeekRewind, {7, 20, 190}},  // beyond the end
        {1000, kSeekRewind | kSeekByTime, {7, 20, 190}},
    };
    uint8_t buffer[8];
    for (const auto& step : steps) {
        SCOPED_TRACE(::testing::Message() << step.target << " flags " << step.flags);
        EXPECT_EQ(log.Seek(step.target, step.flags), step.want.code);
        EXPECT_EQ(log.recordsread(), step.want.read);
        EXPECT_EQ(log.currenttime(), step.want.time);
        EXPECT_EQ(log.previoustime(), step.want.time);
        // The next read continues right after the seek.
        if (step.want.code == 0) {
            const DataLogCommand* cmd = nullptr;
            const uint32_t before = log.recordsread();
            ASSERT_EQ(log.ReadRecord(buffer, sizeof buffer, &cmd), 0u);
            EXPECT_EQ(log.recordsread(), before + 1);
            if (step.flags & kSeekByTime) {
                EXPECT_EQ(log.currenttime(), step.want.time);
            }
            ASSERT_EQ(log.Seek(before, kSeekRewind), 0u);
        }
    }
    EXPECT_EQ(log.Seek(1, kSeekUnsupported), 10u);
    cb.refuse_seek = true;
    EXPECT_EQ(log.Seek(1, 0), 11u);
    EXPECT_EQ(cb.seek_begins, cb.seek_ends + 1);  // the refused one has no end
    EXPECT_EQ(cb.ends, 0);                        // a seek to the end raises no end of log
}

TEST_F(Player, IndexedSeeksEqualRecordByRecordSeeks) {
    // The same records twice: one file clean (seeks use the offset index), one with a torn
    // record at its end (the index is refused, seeks read record by record). Time stamps that
    // only rise, and stamps that once go backwards.
    for (bool backwards : {false, true}) {
        SCOPED_TRACE(backwards ? "time goes backwards" : "time rises");
        auto records = Records();
        records.insert(records.begin() + 4, BuiltRecord{33, 9, {1, 2}});
        if (backwards) records[12].time = 15;
        const auto clean = BuildXdl(Table(), records);
        auto torn = clean;
        torn.insert(torn.end(), {1, 2, 3, 4, 5});
        const std::string clean_path = dir.File("clean.xdl");
        const std::string torn_path = dir.File("torn.xdl");
        WriteFile(clean_path, clean);
        WriteFile(torn_path, torn);
        DataLog indexed, reading;
        indexed.SetCallback(&cb);
        reading.SetCallback(&cb);
        ASSERT_EQ(indexed.Open(clean_path), 0u);
        ASSERT_EQ(reading.Open(torn_path), 0u);

        uint32_t seed = 7;
        for (int i = 0; i < 400; ++i) {
            seed = seed * 1103515245u + 12345u;
            const uint32_t flags = (seed >> 8) & (kSeekRewind | kSeekByTime);
            const uint32_t target = (seed >> 16) % (flags & kSeekByTime ? 200 : 22);
            SCOPED_TRACE(::testing::Message() << "seek " << i << ": " << target << " " << flags);
            const uint32_t a = indexed.Seek(target, flags);
            const uint32_t b = reading.Seek(target, flags);
            if (a == 7) {
                EXPECT_EQ(b, 1u);  // the torn tail is what the reading seek ends on
                indexed.Seek(0, kSeekRewind);
                reading.Seek(0, kSeekRewind);
                continue;
            }
            ASSERT_EQ(a, b);
            ASSERT_EQ(indexed.recordsread(), reading.recordsread());
            ASSERT_EQ(indexed.currenttime(), reading.currenttime());
            ASSERT_EQ(indexed.file_position(), reading.file_position());
        }
    }
}

TEST_F(Player, DamagedRecordsEndPlaybackWithTheirCode) {
    struct Case {
        const char* name;
        std::vector<BuiltRecord> records;
        uint32_t code;
        size_t played;
    };
    const std::vector<Case> cases = {
        {"offset backwards", {{0, 0, {1, 2, 3}}, {5, 0, {1, 2, 3}, -40}}, 14, 1},
        {"command outside the table", {{0, 0, {1, 2, 3}}, {5, 200, {1}}}, 4, 1},
        {"truncated last record", {{0, 0, {1, 2, 3}}, {5, 0, {1}}}, 1, 1},  // 1 of 3 bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bytes = BuildXdl(Table(), c.records);
        cb.played.clear();
        cb.ends = 0;
        Open(bytes);
        log.SetSpeed(0);
        ASSERT_EQ(log.StartPlayer(), 0u);
        WaitForEnd();
        EXPECT_EQ(log.player_result(), c.code);
        EXPECT_EQ(cb.played.size(), c.played);
        EXPECT_FALSE(DescribeDataLogCode(c.code).empty());
    }
}

TEST_F(Player, StopsFromSeveralThreadsAtOnceAllReturnAndLeaveTheLogOpen) {
    // The end of a log and closing the window each start a stop of their own: both may join
    // the player at the same moment.
    Open(BuildXdl(Table(), Records()));
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(log.Seek(0, kSeekRewind), 0u);
        log.SetSpeed(0.01f);
        ASSERT_EQ(log.StartPlayer(), 0u);
        std::atomic<int> ready{0};
        std::vector<std::thread> stoppers;
        for (int i = 0; i < 4; ++i) {
            stoppers.emplace_back([&] {
                ready.fetch_add(1);
                while (ready.load() < 4) std::this_thread::yield();
                log.StopPlayer();
            });
        }
        for (std::thread& t : stoppers) t.join();
        EXPECT_FALSE(log.player_running());
        EXPECT_EQ(log.state(), DataLogState::Open);
    }
    EXPECT_EQ(log.Close(), 1u);
}

}  // namespace
