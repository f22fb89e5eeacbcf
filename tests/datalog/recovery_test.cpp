// Unfinished recordings moved aside and repaired, header disagreements found, and player paths
// that only odd files reach.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "app/output_log.h"
#include "datalog/data_log.h"
#include "datalog/xdl_check.h"
#include "definition/adx_definition.h"
#include "xdl_test_support.h"

using namespace korvit;
using namespace korvit::datalog;
using namespace korvit::datalog::testing;

namespace {

constexpr uint32_t kCmd = 0xA1;

std::vector<BuiltCommand> Table(uint32_t size = 3) {
    return {{kCmd, "Fast", 0x20000, size, size, std::vector<uint8_t>(15, 0xFF)}};
}

std::vector<BuiltRecord> Records(size_t n, uint32_t gap_ms = 10, uint32_t size = 3) {
    std::vector<BuiltRecord> records;
    for (size_t i = 0; i < n; ++i) {
        records.push_back({static_cast<uint32_t>(gap_ms * i), 0,
                           std::vector<uint8_t>(size, static_cast<uint8_t>(i))});
    }
    return records;
}

/// What a recorder killed after `n` records leaves: endmark still 0xFFFFFFFF, the header's
/// count as it was written with the first record (0), and half of a further record.
std::vector<uint8_t> KilledRecording(size_t n) {
    std::vector<uint8_t> bytes = BuildXdl(Table(), Records(n));
    PutU32(&bytes[8], kXdlRecordingEndmark);
    PutU32(&bytes[36], 0);
    bytes.insert(bytes.end(), {0x11, 0x22, 0x33, 0x44, 0x55});
    return bytes;
}

struct Capture {
    app::OutputLog log;
    app::TextBufferSink sink;
    Capture() { log.AddSink(&sink); }
};

std::vector<std::string> Recovered(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("recovered-", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Recovery, AKilledRecordingIsMovedAsideRepairedAndNeverOverwritesAnEarlierOne) {
    TempDir dir;
    const std::string temp = dir.File("temp.xdl");
    Capture out;
    for (int round = 0; round < 2; ++round) {
        WriteFile(temp, KilledRecording(4));
        const auto moved = RecoverUnfinishedRecording(temp, out.log);
        ASSERT_TRUE(moved.has_value());
        EXPECT_FALSE(std::filesystem::exists(temp));
        // Named after the recording's start time; the second one with the same start gets a
        // suffix rather than replacing the first.
        EXPECT_EQ(*moved, dir.File(round == 0 ? "recovered-20261206-033015.xdl"
                                              : "recovered-20261206-033015-2.xdl"));
        EXPECT_NE(
            out.sink.Text().find("Recovered an unfinished recording to " + *moved + " (4 records)"),
            std::string::npos)
            << out.sink.Text();

        // It opens and plays like any finished log: header counts its records, no tail.
        const auto check = CheckXdlFile(*moved);
        ASSERT_TRUE(check.has_value());
        EXPECT_FALSE(check->Unfinished());
        EXPECT_FALSE(check->CountMismatch());
        EXPECT_EQ(check->trailing_bytes, 0u);
        EXPECT_EQ(check->Warning(*moved), "");
        // Byte for byte the log a recorder that finished would have left: the end mark one
        // past the last record, the count in the header, the half record gone.
        EXPECT_EQ(ReadFile(*moved), BuildXdl(Table(), Records(4)));
        RecordingCallback cb;
        DataLog log;
        log.SetCallback(&cb);
        log.SetSpeed(0);
        ASSERT_EQ(log.Open(*moved), 0u);
        ASSERT_EQ(log.StartPlayer(), 0u);
        ASSERT_TRUE(Eventually([&] { return cb.ends == 1; }));
        log.StopPlayer();
        EXPECT_EQ(cb.played.size(), 4u);
    }
    EXPECT_EQ(Recovered(dir).size(), 2u);
}

TEST(Recovery, FinishedEmptyAndForeignFilesStayWhereTheyAre) {
    TempDir dir;
    const std::string temp = dir.File("temp.xdl");
    Capture out;
    // A finished recording whose save was cancelled, an empty file (killed before the first
    // record), and a file that is not a datalog.
    for (const auto& bytes :
         {BuildXdl(Table(), Records(3)), std::vector<uint8_t>{}, std::vector<uint8_t>(100, 0x41)}) {
        WriteFile(temp, bytes);
        EXPECT_FALSE(RecoverUnfinishedRecording(temp, out.log).has_value());
        EXPECT_EQ(ReadFile(temp), bytes);
    }
    EXPECT_FALSE(RecoverUnfinishedRecording(dir.File("missing.xdl"), out.log).has_value());

    // A recording still being written (by this or another program) is never moved.
    {
        korvit::definition::ADXDefinition def;
        AddSendCommand(def, "Fast", 3);
        DataLog recorder;
        ASSERT_EQ(recorder.Record(temp, def), 0u);
        const uint8_t reply[3] = {1, 2, 3};
        recorder.AppendRecord(def.objects()[0]->idhash(), reply, 3);
        recorder.AppendRecord(def.objects()[0]->idhash(), reply, 3);
        EXPECT_FALSE(RecoverUnfinishedRecording(temp, out.log).has_value());
        EXPECT_TRUE(std::filesystem::exists(temp));
    }
    EXPECT_TRUE(Recovered(dir).empty());
    EXPECT_EQ(out.sink.Text(), "");

    // More records than a finished header counts: a recorder that died while finishing.
    std::vector<uint8_t> bytes = BuildXdl(Table(), Records(3));
    PutU32(&bytes[36], 2);
    WriteFile(temp, bytes);
    EXPECT_TRUE(RecoverUnfinishedRecording(temp, out.log).has_value());
}

TEST(Recovery, HeaderDisagreementsAreDescribed) {
    TempDir dir;
    const std::string path = dir.File("log.xdl");
    std::vector<uint8_t> bytes = BuildXdl(Table(), Records(5));
    PutU32(&bytes[36], 45);
    WriteFile(path, bytes);
    auto check = CheckXdlFile(path);
    ASSERT_TRUE(check.has_value());
    EXPECT_EQ(check->records, 5u);
    EXPECT_EQ(check->Warning(path),
              path + " is damaged: the header counts 45 records, the file holds 5");

    // A first-record offset past the end: nothing can be played, and it says so.
    PutU32(&bytes[4], static_cast<uint32_t>(bytes.size() + 100));
    WriteFile(path, bytes);
    check = CheckXdlFile(path);
    ASSERT_TRUE(check.has_value());
    EXPECT_EQ(check->records, 0u);
    EXPECT_NE(check->Warning(path).find("the file holds 0"), std::string::npos);

    WriteFile(path, KilledRecording(2));
    EXPECT_NE(CheckXdlFile(path)->Warning(path).find("never finished; 2 complete records"),
              std::string::npos);
}

// A log of several megabytes is walked in blocks: records that straddle a block's end, damage far
// into the file and a cut-off last record are all found as in a small one.
TEST(Recovery, ALongLogIsCheckedAcrossReadBlocks) {
    TempDir dir;
    const std::string path = dir.File("long.xdl");
    // 52 bytes a record, 5.2 MB: the heads of the records at the first two megabyte marks
    // straddle them.
    constexpr size_t kCount = 100000;
    std::vector<uint8_t> bytes = BuildXdl(Table(40), Records(kCount, 10, 40));
    const size_t first = GetU32(&bytes[4]);
    bytes.resize(bytes.size() - 5);
    WriteFile(path, bytes);
    auto check = CheckXdlFile(path);
    ASSERT_TRUE(check.has_value());
    EXPECT_EQ(check->records, kCount - 1);
    EXPECT_EQ(check->end_of_records, first + (kCount - 1) * 52);
    EXPECT_EQ(check->trailing_bytes, 47u);

    // A wrong `next` beyond the first few blocks ends the walk there.
    const size_t broken = 70000;
    PutU32(&bytes[first + broken * 52], 7);
    WriteFile(path, bytes);
    check = CheckXdlFile(path);
    ASSERT_TRUE(check.has_value());
    EXPECT_EQ(check->records, broken);
    EXPECT_NE(check->Warning(path).find("the file holds 70000"), std::string::npos);

    std::atomic<bool> cancel{true};
    EXPECT_FALSE(CheckXdlFile(path, &cancel).has_value());
}

TEST(Recovery, RecordsThatStoreNoBytesPlayToTheNormalEnd) {
    TempDir dir;
    const std::string path = dir.File("empty-records.xdl");
    WriteFile(path, BuildXdl(Table(0), Records(6, 1, 0)));
    EXPECT_EQ(CheckXdlFile(path)->Warning(path), "");
    RecordingCallback cb;
    DataLog log;
    log.SetCallback(&cb);
    log.SetSpeed(0);
    ASSERT_EQ(log.Open(path), 0u);
    ASSERT_EQ(log.StartPlayer(), 0u);
    ASSERT_TRUE(Eventually([&] { return cb.ends == 1; }));
    log.StopPlayer();
    EXPECT_EQ(log.player_result(), kDataLogEnd);
    EXPECT_EQ(cb.positions.size(), 6u);
}

TEST(Recovery, PacedPlaybackAtFourTimesSpeedTakesLessThanTheRecordedTime) {
    TempDir dir;
    const std::string path = dir.File("paced.xdl");
    // Six records 100 ms apart: 500 ms at 1x, 125 ms at 4x.
    WriteFile(path, BuildXdl(Table(), Records(6, 100)));
    RecordingCallback cb;
    DataLog log;
    log.SetCallback(&cb);
    ASSERT_EQ(log.Open(path), 0u);
    log.SetSpeed(4.0f);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(log.StartPlayer(), 0u);
    ASSERT_TRUE(Eventually([&] { return cb.ends == 1; }));
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    log.StopPlayer();
    EXPECT_EQ(cb.positions.size(), 6u);
    EXPECT_GE(ms, 124.0);
    EXPECT_LT(ms, 500.0);
}

}  // namespace
