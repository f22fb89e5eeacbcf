// A datalog is a user's only copy of a drive: these tests kill, starve and corrupt recordings
// and check that every record acknowledged before the trouble plays back.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "app/output_log.h"
#include "datalog/log_session.h"
#include "definition/definition.h"
#include "platform/file_move.h"
#include "xdl_test_support.h"

using namespace korvit;
using namespace korvit::datalog;
using namespace korvit::datalog::testing;

namespace {

constexpr uint32_t kReplySize = 24;

void BuildDefinition(definition::ADXDefinition& def) {
    AddSendCommand(def, "Data", kReplySize);
}

// Record i carries i in its first four bytes, so that playback can check order and content.
void FillReply(uint32_t i, uint8_t* reply) {
    for (uint32_t k = 0; k < kReplySize; ++k) reply[k] = static_cast<uint8_t>(i * 7 + k);
    PutU32(reply, i);
}

struct Played {
    uint32_t records = 0;
    uint32_t code = 0;              // what the reading ended with
    uint64_t bytes_after_last = 0;  // file bytes after the last whole record
};

// Reads every record and checks it against FillReply.
Played PlayAll(const std::string& path) {
    DataLog log;
    const uint32_t open = log.Open(path);
    EXPECT_EQ(open, 0u);
    if (open != 0) return {0, open, 0};
    uint8_t data[kReplySize];
    uint8_t expected[kReplySize];
    Played played;
    uint64_t end_of_last = log.file_position();
    const DataLogCommand* cmd = nullptr;
    while ((played.code = log.ReadRecord(data, sizeof data, &cmd)) == 0) {
        FillReply(played.records, expected);
        EXPECT_EQ(std::memcmp(data, expected, kReplySize), 0) << "record " << played.records;
        ++played.records;
        end_of_last = log.file_position();
    }
    played.bytes_after_last = std::filesystem::file_size(path) - end_of_last;
    return played;
}

TEST(NothingLost, RecordingKilledAtARandomMomentPlaysBackEveryRecordItWrote) {
    TempDir dir;
    const std::string path = dir.File("temp.xdl");
    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 3; ++round) {
        int pipefd[2];
        ASSERT_EQ(::pipe(pipefd), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipefd[0]);
            definition::ADXDefinition def;
            BuildDefinition(def);
            DataLog log;
            if (log.Record(path, def) != 0) ::_exit(2);
            uint8_t reply[kReplySize];
            for (uint32_t i = 0;; ++i) {
                FillReply(i, reply);
                if (log.AppendRecord(def.objects()[0]->idhash(), reply, kReplySize) != 0) {
                    ::_exit(3);
                }
                // Acknowledge the record only once it is written.
                if (::write(pipefd[1], &i, sizeof i) != sizeof i) ::_exit(4);
            }
        }
        ::close(pipefd[1]);
        const uint32_t kill_after = 1 + random() % 3000;
        uint32_t acknowledged = 0;
        uint32_t last = 0;
        while (acknowledged < kill_after && ::read(pipefd[0], &last, sizeof last) == sizeof last) {
            acknowledged = last + 1;
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        // Records written after the last acknowledgement we read are fine too.
        while (::read(pipefd[0], &last, sizeof last) == sizeof last) acknowledged = last + 1;
        ::close(pipefd[0]);
        ASSERT_TRUE(WIFSIGNALED(status));

        const Played played = PlayAll(path);
        EXPECT_GE(played.records, acknowledged) << "round " << round;
        EXPECT_LE(played.records, acknowledged + 1);
        // The kernel may stop a write that spans a page boundary when the kill arrives, so the
        // file can end in part of a record: every whole record still plays, and the reading then
        // ends on that short read instead of the end.
        if (played.bytes_after_last == 0) {
            EXPECT_EQ(played.code, 7u) << "round " << round;
        } else {
            EXPECT_EQ(played.code, 1u) << "round " << round;
            EXPECT_LT(played.bytes_after_last, kXdlRecordHeadSize + kReplySize);
        }
    }
}

TEST(NothingLost, FullDiskEndsRecordingWithAMessageAndKeepsEveryWrittenRecord) {
    TempDir dir;
    const std::string path = dir.File("temp.xdl");
    int pipefd[2];
    ASSERT_EQ(::pipe(pipefd), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipefd[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        // The file may not grow past 4000 bytes: the write that crosses it comes back short.
        const rlimit limit{4000, 4000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        definition::ADXDefinition def;
        BuildDefinition(def);
        acquisition::AcquisitionState state;
        app::OutputLog out;
        app::TextBufferSink text;
        out.AddSink(&text);
        DataLog log;
        LogSession session(def, state, out, log);
        session.set_recording_path(path);
        if (session.Record() != 0) ::_exit(2);
        uint8_t reply[kReplySize];
        for (uint32_t i = 0; i < 400; ++i) {
            FillReply(i, reply);
            session.AppendReply(def.objects()[0]->idhash(), reply, kReplySize);
        }
        const uint32_t written = log.header().recordcount;
        // The failed write ended the recording at once.
        if (log.state() == DataLogState::Recording || !session.recording_failed()) ::_exit(3);
        session.StopCommand();  // finishes: the header shrinks nothing and still fits
        const std::string message = text.Text();
        uint32_t size = static_cast<uint32_t>(message.size());
        (void)!::write(pipefd[1], &written, sizeof written);
        (void)!::write(pipefd[1], &size, sizeof size);
        (void)!::write(pipefd[1], message.data(), size);
        ::_exit(0);
    }
    ::close(pipefd[1]);
    uint32_t written = 0, size = 0;
    ASSERT_EQ(::read(pipefd[0], &written, sizeof written), long(sizeof written));
    ASSERT_EQ(::read(pipefd[0], &size, sizeof size), long(sizeof size));
    std::string message(size, '\0');
    ASSERT_EQ(::read(pipefd[0], message.data(), size), long(size));
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // 44 + 48 bytes of table, then 36-byte records: 108 fit below 4000 bytes.
    EXPECT_EQ(written, (4000u - 92u) / 36u);
    EXPECT_NE(message.find("Recording failed: File too large. The " + std::to_string(written) +
                           " records written before it are kept in " + path),
              std::string::npos)
        << message;
    EXPECT_EQ(message.find("Recording failed", message.find("Recording failed") + 1),
              std::string::npos)
        << "said once";
    const Played played = PlayAll(path);
    EXPECT_EQ(played.records, written);
    EXPECT_EQ(played.code, 7u);
    EXPECT_EQ(played.bytes_after_last, 0u) << "the file ends on a whole record";
    const auto bytes = ReadFile(path);
    EXPECT_EQ(GetU32(&bytes[36]), written);
}

TEST(NothingLost, DamagedFilesNeverCrashOrHangPlayback) {
    // Random damage to a valid log: every outcome is a code, and reading always ends.
    const std::vector<BuiltCommand> table = {{0x11, "A", 0x20000, 3, 5, {0xF7}},
                                             {0x22, "B", 0x100000, 2, 2, {}}};
    std::vector<BuiltRecord> records;
    for (uint32_t i = 0; i < 50; ++i) {
        records.push_back({i * 3, static_cast<uint8_t>(i % 2), std::vector<uint8_t>(3 - i % 2, 9)});
    }
    const auto good = BuildXdl(table, records);
    TempDir dir;
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        auto bytes = good;
        const int edits = 1 + random() % 4;
        for (int e = 0; e < edits; ++e) bytes[random() % bytes.size()] = uint8_t(random());
        if (round % 3 == 0) bytes.resize(random() % bytes.size());
        const std::string path = dir.File("d.xdl");
        WriteFile(path, bytes);
        DataLog log;
        RecordingCallback cb;
        log.SetCallback(&cb);
        if (log.Open(path) != 0) continue;
        log.SetSpeed(0);
        ASSERT_EQ(log.StartPlayer(), 0u);
        ASSERT_TRUE(Eventually([&] { return cb.ends > 0; })) << "round " << round << " did not end";
        EXPECT_EQ(cb.ends, 1);
        log.StopPlayer();
        EXPECT_NE(log.player_result(), 0u);
        // Seeking through the damage ends too, with a code.
        const uint32_t flags = kSeekRewind | (round % 2 != 0 ? uint32_t{kSeekByTime} : 0u);
        EXPECT_LE(log.Seek(7, flags), uint32_t{kDataLogDamaged});
    }
}

TEST(FileMove, NeverReplacesAndMovesAcrossFileSystems) {
    TempDir dir;
    const std::string a = dir.File("a"), b = dir.File("b");
    WriteFile(a, {1, 2, 3});
    WriteFile(b, {9});
    EXPECT_EQ(platform::MoveFileNoReplace(a, b), EEXIST);
    EXPECT_EQ(ReadFile(b), std::vector<uint8_t>({9}));
    EXPECT_EQ(ReadFile(a), std::vector<uint8_t>({1, 2, 3}));
    const std::string c = dir.File("c");
    EXPECT_EQ(platform::MoveFileNoReplace(a, c), 0);
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_EQ(ReadFile(c), std::vector<uint8_t>({1, 2, 3}));
    EXPECT_EQ(platform::MoveFileNoReplace(dir.File("missing"), dir.File("d")), ENOENT);

    struct stat tmp {
    }, shm{};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &tmp) != 0 ||
        tmp.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second file system to move across";
    }
    char shm_tmpl[] = "/dev/shm/korvit-move-XXXXXX";
    ASSERT_NE(::mkdtemp(shm_tmpl), nullptr);
    const std::string other = std::string(shm_tmpl) + "/moved.xdl";
    WriteFile(other, {5});
    EXPECT_EQ(platform::MoveFileNoReplace(c, other), EEXIST);
    EXPECT_EQ(ReadFile(other), std::vector<uint8_t>({5}));
    std::filesystem::remove(other);
    EXPECT_EQ(platform::MoveFileNoReplace(c, other), 0);
    EXPECT_FALSE(std::filesystem::exists(c));
    EXPECT_EQ(ReadFile(other), std::vector<uint8_t>({1, 2, 3}));
    std::filesystem::remove_all(shm_tmpl);
}

}  // namespace
