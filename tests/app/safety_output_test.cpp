// Output that cannot stall its producer, folded repeats, our own preferences file and settings
// numbers that saturate.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "app/app_settings.h"
#include "app/line_writer.h"
#include "app/output_log.h"
#include "app/safety_prefs.h"

using namespace korvit::app;
using korvit::acquisition::ChecksumMode;

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        EXPECT_EQ(::pipe(fd), 0);
        ::fcntl(fd[1], F_SETPIPE_SZ, 4096);
    }
    ~Pipe() {
        for (int f : fd) {
            if (f >= 0) ::close(f);
        }
    }
    std::string ReadAll() {
        ::close(fd[1]);
        fd[1] = -1;
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
        return text;
    }
};

TEST(LineWriter, AReaderThatStopsCostsLinesNotTime) {
    Pipe pipe;
    LineWriter writer(pipe.fd[1], 8);
    const std::string line(1000, 'x');
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) writer.Write(line);
    // Writing never waited for the reader.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    writer.Finish(100);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    // At most what the pipe took (4096 bytes: 4 lines, one more in progress) got through.
    EXPECT_GE(writer.dropped(), 95u);
    EXPECT_LE(writer.dropped(), 100u);
    writer.Write("after the end");
    EXPECT_GE(writer.dropped(), 96u);
}

TEST(LineWriter, AtMostTheGivenNumberOfLinesWait) {
    Pipe pipe;
    LineWriter writer(pipe.fd[1], 8);
    // A first line longer than the pipe holds the writing thread until the reader comes back.
    const std::string first(3 * 4096, 'f');
    writer.Write(first);
    pollfd ready{pipe.fd[0], POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 60000), 1);
    for (int i = 0; i < 20; ++i) writer.Write("line " + std::to_string(i));
    EXPECT_EQ(writer.dropped(), 12u);

    // The reader comes back: the first line and the eight that waited arrive, in order.
    std::string text;
    std::thread reader([&] {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipe.fd[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
    });
    writer.Finish(60000);
    ::close(pipe.fd[1]);
    pipe.fd[1] = -1;
    reader.join();
    ASSERT_EQ(text.substr(0, first.size() + 1), first + "\n");
    std::string expected;
    for (int i = 0; i < 8; ++i) expected += "line " + std::to_string(i) + "\n";
    EXPECT_EQ(text.substr(first.size() + 1), expected);
    EXPECT_EQ(writer.dropped(), 12u);
}

TEST(LineWriter, AReaderThatKeepsUpGetsEveryLineInOrder) {
    Pipe pipe;
    std::string text;
    std::thread reader([&] {
        char buffer[512];
        ssize_t n;
        while ((n = ::read(pipe.fd[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
    });
    std::string expected;
    {
        LineWriter writer(pipe.fd[1], 4096);
        for (int i = 0; i < 2000; ++i) {
            const std::string line = "line " + std::to_string(i);
            writer.Write(line);
            expected += line + "\n";
        }
        writer.Finish(5000);
        EXPECT_EQ(writer.dropped(), 0u);
    }
    ::close(pipe.fd[1]);
    pipe.fd[1] = -1;
    reader.join();
    EXPECT_EQ(text, expected);
}

TEST(RepeatCollapsingSink, FoldsRunsOfIdenticalLines) {
    TextBufferSink buffer;
    {
        RepeatCollapsingSink sink(buffer);
        OutputLog log;
        log.AddSink(&sink);
        for (int i = 0; i < 45; ++i) log.PrintLine("Command not found");
        log.PrintLine("Playback stopped");
        log.PrintLine("a");
        log.PrintLine("a");
    }
    EXPECT_EQ(buffer.Text(),
              "Command not found\r\n... repeated 44 times\r\nPlayback stopped\r\na\r\n"
              "... repeated 1 times");
}

TEST(SafetyPrefs, LiveBesideSettingsAndRoundTrip) {
    EXPECT_EQ(SafetyPrefsPath("/opt/korvit/Settings.dat"), "/opt/korvit/korvit.ini");
    EXPECT_EQ(SafetyPrefsPath(""), "");
    SafetyPrefs prefs;
    EXPECT_EQ(prefs.verify_checksum, ChecksumMode::kAuto);
    EXPECT_FALSE(prefs.reconnect);
    EXPECT_EQ(prefs.reconnect_seconds, 60u);
    ParseSafetyPrefs(prefs, "verifychecksum=1\r\nreconnect = 1\nreconnectseconds=0\nbogus=3\n");
    EXPECT_EQ(prefs.verify_checksum, ChecksumMode::kAlways);
    EXPECT_TRUE(prefs.reconnect);
    EXPECT_EQ(prefs.reconnect_seconds, 1u);  // clamped
    ParseSafetyPrefs(prefs, "reconnectseconds=99999999999999999999\nreconnect=x\n");
    EXPECT_EQ(prefs.reconnect_seconds, 60u * 60 * 24);
    EXPECT_TRUE(prefs.reconnect);

    // The three modes by name; a file from before them held 0 unless the box was ticked, which
    // reads as the new default; a word we do not know leaves the mode alone.
    for (const auto& [line, mode] : {std::pair{"verifychecksum = off", ChecksumMode::kOff},
                                     std::pair{"verifychecksum=always", ChecksumMode::kAlways},
                                     std::pair{"verifychecksum=0", ChecksumMode::kAuto},
                                     std::pair{"verifychecksum=sometimes", ChecksumMode::kAuto},
                                     std::pair{"verifychecksum=2", ChecksumMode::kAlways}}) {
        ParseSafetyPrefs(prefs, line);
        EXPECT_EQ(prefs.verify_checksum, mode) << line;
    }
    prefs.verify_checksum = ChecksumMode::kOff;
    EXPECT_EQ(FormatSafetyPrefs(prefs).substr(0, 19), "verifychecksum=off\n");

    const std::string dir =
        std::filesystem::temp_directory_path() / ("korvit_prefs_" + std::to_string(::getpid()));
    const std::string path = dir + "/sub/korvit.ini";
    prefs.reconnect_seconds = 90;
    ASSERT_EQ(WriteSafetyPrefs(prefs, path), 1);
    SafetyPrefs read;
    ASSERT_EQ(ReadSafetyPrefs(read, path), 1);
    EXPECT_EQ(FormatSafetyPrefs(read), FormatSafetyPrefs(prefs));
    std::filesystem::remove_all(dir);
}

TEST(AppSettingsNumbers, TwentyDigitsSaturateInsteadOfOverflowing) {
    AppSettings s;
    ParseSettings(s,
                  "winposx=99999999999999999999\nwinposy=-99999999999999999999\n"
                  "winsizex=  +2147483648\nwinsizey=-2147483648\n");
    EXPECT_EQ(s.winposx, INT32_MAX);
    EXPECT_EQ(s.winposy, INT32_MIN);
    EXPECT_EQ(s.winsizex, INT32_MAX);
    EXPECT_EQ(s.winsizey, INT32_MIN);
}

}  // namespace
