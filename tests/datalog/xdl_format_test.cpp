#include <gtest/gtest.h>

#include <memory>

#include "datalog/data_log.h"
#include "definition/definition.h"
#include "xdl_test_support.h"

using namespace korvit::datalog;
using namespace korvit::datalog::testing;
using korvit::definition::ADXC160BaudListen;
using korvit::definition::ADXDefinition;
using korvit::definition::ADXValue;

namespace {

// Two processed send commands, one unprocessed (left out of the table), one 160-baud listen
// and a value (not a command) between them.
void BuildDefinition(ADXDefinition& def) {
    AddSendCommand(def, "Mode1Fast", 6);
    AddSendCommand(def, "Silent", 3, 0);
    auto value = std::make_unique<ADXValue>();
    value->SetID("RPM");
    def.Insert(std::move(value));
    auto listen = std::make_unique<ADXC160BaudListen>();
    listen->SetID("Slow160");
    listen->packetsize = 4;
    def.Insert(std::move(listen));
    AddSendCommand(def, "ALongCommandIdentifier", 2, 3);
}

class DataLogFormat : public ::testing::Test {
  protected:
    void SetUp() override { BuildDefinition(def); }
    uint32_t Hash(const char* id) { return def.FindByID(id)->idhash(); }

    TempDir dir;
    ADXDefinition def;
    DataLog log;
};

TEST_F(DataLogFormat, RecorderWritesHeaderTableAndRecordsByteForByte) {
    const std::string path = dir.File("rec.xdl");
    ASSERT_EQ(log.Record(path, def), 0u);
    EXPECT_EQ(log.state(), DataLogState::Recording);
    // Nothing reaches the file before the first record.
    EXPECT_TRUE(ReadFile(path).empty());

    const uint8_t reply1[8] = {1, 2, 3, 4, 5, 6, 7, 8};  // longer than replysize: cut
    const uint8_t reply2[2] = {0xAA, 0xBB};
    const uint8_t reply3[6] = {9, 8, 7, 6, 5, 4};
    ASSERT_EQ(log.AppendRecord(Hash("Mode1Fast"), reply1, 8), 0u);
    ASSERT_EQ(log.AppendRecord(Hash("ALongCommandId"), reply2, 2), 0u);
    ASSERT_EQ(log.AppendRecord(Hash("Mode1Fast"), reply3, 6), 0u);
    // Unknown commands are refused without touching the file.
    EXPECT_EQ(log.AppendRecord(0x12345678u, reply3, 6), 4u);
    ASSERT_EQ(log.FinishRecording(), 0u);
    EXPECT_EQ(log.state(), DataLogState::Open);
    ASSERT_EQ(log.Close(), 1u);
    EXPECT_EQ(log.state(), DataLogState::Closed);

    const std::vector<uint8_t> file = ReadFile(path);
    const uint32_t first = 40 + 4 + 3 * 48;  // header, count and three table entries
    ASSERT_GE(file.size(), first + 3 * 12u);

    // The two later time stamps come from the clock; take them from the file and check them.
    const uint32_t t2 = GetU32(&file[first + 18 + 4]);
    const uint32_t t3 = GetU32(&file[first + 18 + 14 + 4]);
    EXPECT_LE(t2, t3);
    EXPECT_LT(t3, 5000u);

    // The unprocessed command and the value stay out of the table; every mask is full.
    const std::vector<uint8_t> full(15, 0xFF);
    auto expected =
        BuildXdl({{Hash("Mode1Fast"), "Mode1Fast", 0x20000, 6, 6, full},
                  {Hash("Slow160"), "Slow160", 0x100000, 4, 4, full},
                  {Hash("ALongCommandId"), "ALongCommandId", 0x20000, 2, 2, full}},
                 {{0, 0, {1, 2, 3, 4, 5, 6}}, {t2, 2, {0xAA, 0xBB}}, {t3, 0, {9, 8, 7, 6, 5, 4}}});
    std::copy(file.begin() + 12, file.begin() + 28, expected.begin() + 12);  // start time
    EXPECT_EQ(file, expected);

    // The start time is a plausible local time in SYSTEMTIME order.
    const uint16_t year = GetU16(&file[12]), month = GetU16(&file[14]), wday = GetU16(&file[16]);
    const uint16_t day = GetU16(&file[18]), hour = GetU16(&file[20]), ms = GetU16(&file[26]);
    EXPECT_GE(year, 2024);
    EXPECT_TRUE(month >= 1 && month <= 12);
    EXPECT_LE(wday, 6);
    EXPECT_TRUE(day >= 1 && day <= 31);
    EXPECT_LE(hour, 23);
    EXPECT_LE(ms, 999);
}

TEST_F(DataLogFormat, RecordingWithoutRepliesHoldsHeaderAndTableAndPlaysNothing) {
    const std::string path = dir.File("empty.xdl");
    ASSERT_EQ(log.Record(path, def), 0u);
    ASSERT_EQ(log.Close(), 1u);  // Close finishes the recording first
    const auto file = ReadFile(path);
    ASSERT_EQ(file.size(), 40u + 4 + 3 * 48);
    EXPECT_EQ(GetU32(&file[0]), 3u);
    EXPECT_EQ(GetU32(&file[4]), file.size());
    EXPECT_EQ(GetU32(&file[8]), 1u);  // the file was empty when its size was taken
    EXPECT_EQ(GetU32(&file[36]), 0u);

    ASSERT_EQ(log.Open(path), 0u);
    EXPECT_EQ(log.commands().size(), 3u);
    uint8_t buffer[16];
    EXPECT_EQ(log.ReadRecord(buffer, sizeof buffer, nullptr), 7u);
}

TEST_F(DataLogFormat, AppendOutsideRecordingAndRecordIntoMissingDirectoryAreRefused) {
    const uint8_t reply[6] = {};
    EXPECT_EQ(log.AppendRecord(Hash("Mode1Fast"), reply, 6), 3u);
    EXPECT_EQ(log.Record(dir.File("no/such/dir/temp.xdl"), def), 12u);
    EXPECT_EQ(log.state(), DataLogState::Closed);
    EXPECT_EQ(log.AppendRecord(Hash("Mode1Fast"), reply, 6), 3u);
}

TEST_F(DataLogFormat, RecordAgainStartsAFreshFile) {
    const std::string path = dir.File("temp.xdl");
    const uint8_t reply[6] = {1, 1, 1, 1, 1, 1};
    ASSERT_EQ(log.Record(path, def), 0u);
    ASSERT_EQ(log.AppendRecord(Hash("Mode1Fast"), reply, 6), 0u);
    ASSERT_EQ(log.AppendRecord(Hash("Mode1Fast"), reply, 6), 0u);
    ASSERT_EQ(log.Record(path, def), 0u);  // finishes the first, then truncates
    ASSERT_EQ(log.AppendRecord(Hash("Mode1Fast"), reply, 6), 0u);
    ASSERT_EQ(log.Close(), 1u);
    const auto file = ReadFile(path);
    EXPECT_EQ(GetU32(&file[36]), 1u);
    EXPECT_EQ(file.size(), 40u + 4 + 3 * 48 + 18);
}

// Mask bits are least significant first; positions beyond the mask count as stored.
TEST(ByteMask, PartialMaskRebuildsZerosForGapsAndKeepsTheTail) {
    DataLogCommand command;
    const uint8_t bits = 0x0D;  // positions 0, 2, 3 stored; 1, 4..7 not; 8.. beyond the mask
    command.mask.Assign(&bits, 1);
    command.replysize = 11;
    command.storedsize = 5;
    const uint8_t data[5] = {10, 20, 30, 40, 50};
    std::vector<uint8_t> reply(12, 0xEE);
    RebuildReply(command, data, reply.data());
    // 0<-10, 1=0, 2<-20, 3<-30, 4..7=0, 8<-40, 9<-50; then data ran out: the rest is kept.
    EXPECT_EQ(reply, std::vector<uint8_t>({10, 0, 20, 30, 0, 0, 0, 0, 40, 50, 0xEE, 0xEE}));

    // Packing puts stored reply byte i at data position i; the rest keeps the buffer.
    command.storedsize = 4;
    const uint8_t full[4] = {1, 2, 3, 4};
    uint8_t packed[4] = {9, 9, 9, 9};
    PackRecordData(command, full, 4, packed);
    EXPECT_EQ(std::vector<uint8_t>(packed, packed + 4), std::vector<uint8_t>({1, 9, 3, 4}));
}

TEST(DataLogRead, PartialMaskRecordsPlayBackAsRebuiltReplies) {
    TempDir dir;
    const std::string path = dir.File("mask.xdl");
    WriteFile(path,
              BuildXdl({{0x11, "Cmd", 0x20000, 2, 4, {0x05}}}, {{0, 0, {7, 8}}, {10, 0, {1, 2}}}));
    DataLog log;
    RecordingCallback cb;
    log.SetCallback(&cb);
    log.SetSpeed(0);
    ASSERT_EQ(log.Open(path), 0u);
    ASSERT_EQ(log.StartPlayer(), 0u);
    ASSERT_TRUE(Eventually([&] { return cb.ends > 0; }));
    log.StopPlayer();
    ASSERT_EQ(cb.played.size(), 2u);
    EXPECT_EQ(cb.played[0].reply, std::vector<uint8_t>({7, 0, 8, 0}));
    EXPECT_EQ(cb.played[1].reply, std::vector<uint8_t>({1, 0, 2, 0}));
}

TEST(DataLogRead, BadFilesAreRefusedWithTheirCodesAndLeaveNothingLoaded) {
    TempDir dir;
    const std::vector<BuiltCommand> table = {{0x11, "Cmd", 0x20000, 2, 2, {0xFF}}};
    const auto good = BuildXdl(table, {{0, 0, {1, 2}}});
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        uint32_t code;
    };
    std::vector<Case> cases = {
        {"empty", {}, 1},
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 30), 1},
        {"cut table", std::vector<uint8_t>(good.begin(), good.begin() + 60), 1},
        {"version 2", BuildXdl(table, {}, 2), 13},
        {"absurd size", BuildXdl({{0x11, "Cmd", 0x20000, 0x7FFFFFFF, 2, {}}}, {}), 14},
    };
    auto inside = good;
    PutU32(&inside[4], 20);  // first record inside the header
    cases.push_back({"first record in header", inside, 14});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("bad.xdl");
        WriteFile(path, c.bytes);
        DataLog log;
        EXPECT_EQ(log.Open(path), c.code);
        EXPECT_EQ(log.state(), DataLogState::Closed);
        EXPECT_TRUE(log.commands().empty());
        EXPECT_EQ(log.header().version, 0u);
    }
    DataLog log;
    EXPECT_EQ(log.Open(""), 12u);
    EXPECT_EQ(log.Open(dir.File("missing.xdl")), 12u);
    EXPECT_EQ(log.Open(dir.path()), 12u);  // a directory
    EXPECT_EQ(FormatOpenError("x.xdl", 13), "Could not open x.xdl, error 0xD");
}

// Records are read through a read-ahead buffer of 64 KiB. Moving the records one byte at a time
// puts every byte of a record, head and data, at the buffer's edge once.
TEST(DataLogRead, RecordsReadTheSameWhereverTheReadAheadEnds) {
    TempDir dir;
    const std::string path = dir.File("edges.xdl");
    std::vector<BuiltRecord> records;
    for (uint32_t i = 0; i < 2700; ++i) {  // 25 bytes each: past the first 64 KiB
        std::vector<uint8_t> data(13);
        for (size_t k = 0; k < data.size(); ++k) data[k] = static_cast<uint8_t>(i * 7 + k);
        records.push_back({i * 10, 0, data});
    }
    for (size_t shift = 0; shift < 25; ++shift) {
        // A second command whose mask grows the table, and so moves the records, by a byte.
        WriteFile(path, BuildXdl({{0x11, "Cmd", 0x20000, 13, 13, {0xFF, 0x1F}},
                                  {0x22, "Pad", 0x20000, 1, 1, std::vector<uint8_t>(shift, 0)}},
                                 records));
        DataLog log;
        ASSERT_EQ(log.Open(path), 0u);
        uint8_t buffer[13];
        const DataLogCommand* cmd = nullptr;
        for (const BuiltRecord& r : records) {
            ASSERT_EQ(log.ReadRecord(buffer, sizeof buffer, &cmd), 0u) << "shift " << shift;
            ASSERT_EQ(std::vector<uint8_t>(buffer, buffer + sizeof buffer), r.data)
                << "shift " << shift << " time " << r.time;
            ASSERT_EQ(log.currenttime(), r.time);
        }
        EXPECT_EQ(log.ReadRecord(buffer, sizeof buffer, &cmd), kDataLogEnd);
    }
}

TEST(DataLogRead, RecordReaderReportsUnknownCommandsDamageAndEnd) {
    TempDir dir;
    const std::string path = dir.File("r.xdl");
    std::vector<BuiltRecord> records = {
        {0, 0, {1, 2}}, {5, 9, {3, 3, 3}}, {9, 0, {4, 5}}, {12, 0, {6, 7}, -20}};
    WriteFile(path, BuildXdl({{0x11, "Cmd", 0x20000, 2, 2, {0xFF}}}, records));
    DataLog log;
    ASSERT_EQ(log.Open(path), 0u);
    uint8_t buffer[2];
    const DataLogCommand* cmd = nullptr;
    EXPECT_EQ(log.ReadRecord(buffer, 2, &cmd), 0u);
    EXPECT_EQ(log.ReadRecord(buffer, 2, &cmd), 4u);  // skipped: index 9 is not in the table
    EXPECT_EQ(log.ReadRecord(buffer, 1, &cmd), 8u);  // buffer too small
    EXPECT_EQ(log.ReadRecord(nullptr, 2, &cmd), 9u);
    EXPECT_EQ(log.recordsread(), 1u);
}

}  // namespace
