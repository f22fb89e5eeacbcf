#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/output_log.h"

namespace korvit::app {
namespace {

TEST(OutputLog, JoinsLinesWithBreaksBetweenThemAndFansOutToEverySink) {
    OutputLog log;
    log.Print("dropped: no sink yet");
    TextBufferSink box;
    TextBufferSink other;
    log.AddSink(&box);
    log.AddSink(&box);  // attached once
    log.AddSink(&other);
    log.Print("%.3f: Command/Reply Success", 1.5f);
    log.PrintLine("END MACRO");
    EXPECT_EQ(box.Text(), "1.500: Command/Reply Success\r\nEND MACRO");
    EXPECT_EQ(other.Text(), box.Text());

    log.RemoveSink(&other);
    log.Clear();
    log.Print("Unable to open port (%s)!", "/dev/ttyUSB0");
    EXPECT_EQ(box.Text(), "Unable to open port (/dev/ttyUSB0)!");
    EXPECT_EQ(other.Text(), "1.500: Command/Reply Success\r\nEND MACRO");
}

TEST(OutputLog, CutsOverlongLines) {
    OutputLog log;
    TextBufferSink box;
    log.AddSink(&box);
    const std::string longer(5000, 'x');
    log.Print("%s", longer.c_str());
    EXPECT_EQ(box.Text().size(), OutputLog::kMaxLine);
    log.Clear();
    log.PrintLine(longer);
    EXPECT_EQ(box.Text().size(), OutputLog::kMaxLine);
}

TEST(OutputLog, HexDumpsSixteenBytesALineWithPrintableText) {
    OutputLog log;
    TextBufferSink box;
    log.AddSink(&box);
    const uint8_t five[] = {0x41, 0x42, 0x00, 0x7F, 0x20};
    log.HexDump("Read", five, sizeof five);
    EXPECT_EQ(box.Text(), "Read\r\n0000: 41 42 00 7F 20 " + std::string(33, ' ') + "AB.. ");

    box.Clear();
    uint8_t seventeen[17];
    for (int i = 0; i < 17; ++i) seventeen[i] = static_cast<uint8_t>('a' + i);
    log.HexDump(nullptr, seventeen, sizeof seventeen);
    const std::string first =
        "0000: 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 abcdefghijklmnop";
    EXPECT_EQ(box.Text(), first + "\r\n0010: 71 " + std::string(45, ' ') + "q");

    box.Clear();
    log.HexDump("Nothing", seventeen, 0);
    log.HexDump("Nothing", nullptr, 4);
    EXPECT_EQ(box.Text(), "");
}

TEST(OutputLog, LinesFromSeveralThreadsStayWhole) {
    OutputLog log;
    TextBufferSink box;
    log.AddSink(&box);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&log, t] {
            for (int i = 0; i < 200; ++i) log.Print("thread %d line %03d", t, i);
        });
    }
    for (auto& writer : writers) writer.join();
    const std::string text = box.Text();
    size_t lines = 0;
    for (size_t at = 0; at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 800u);
    EXPECT_EQ(text.find("\r\n\r\n"), std::string::npos);
}

}  // namespace
}  // namespace korvit::app
