// korvit-cli decode: replies go through the reply path and every item comes out as JSON.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "definition/definition.h"

using namespace korvit::definition;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
};

RunResult RunCli(const std::string& args) {
    RunResult r;
    const std::string command = std::string(KORVIT_CLI_PATH) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    char buf[4096];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
    r.status = pclose(pipe);
    return r;
}

std::string Hash(const char* id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", IDHashOf(id));
    return text;
}

/// Two commands: "fast" (6-byte reply, 4-byte packet from offset 2) decodes RPM (16 bits, high
/// alarm), TEMP (signed) and a flag; "slow" decodes VOLTS from its own packet.
class CliDecode : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("korvit_decode_" + std::to_string(::getpid()) + ".adx");
        const std::string fast = "<parentcmdidhash>" + Hash("fast") + "</parentcmdidhash>";
        std::ofstream(path_)
            << "<ADXFORMAT version=\"0.50\"/>"
               "<ADXCSENDCOMMAND id=\"fast\" flags=\"1\"><replysize>6</replysize>"
               "<packetoffset>2</packetoffset><packetsize>4</packetsize>"
               "</ADXCSENDCOMMAND><ADXCSENDCOMMAND id=\"slow\" flags=\"1\">"
               "<replysize>1</replysize><packetsize>1</packetsize></ADXCSENDCOMMAND>"
               "<ADXVALUE id=\"RPM\"><flags>4</flags>"
            << fast
            << "<sizeinbits>16</sizeinbits><outputtype>1</outputtype><digcount>0"
               "</digcount><alarms high=\"6000\"/><MATH equation=\"X*25\"/>"
               "</ADXVALUE><ADXVALUE id=\"TEMP\"><flags>1</flags>"
            << fast
            << "<packetoffset>2</packetoffset><digcount>1</digcount>"
               "<MATH equation=\"X\"/></ADXVALUE><ADXVALUE id=\"VOLTS\">"
               "<parentcmdidhash>"
            << Hash("slow")
            << "</parentcmdidhash><MATH equation=\"X/10\"/></ADXVALUE>"
               "<ADXBITMASK id=\"CLOSEDLOOP\">"
            << fast
            << "<packetoffset>3</packetoffset><operand>80</operand><result>80"
               "</result><truestring>Closed</truestring><falsestring>Open"
               "</falsestring></ADXBITMASK>";
    }
    void TearDown() override { std::filesystem::remove(path_); }

    std::filesystem::path path_;
};

}  // namespace

TEST_F(CliDecode, PrintsEveryItemUnderThePacketSelectionRule) {
    // slow first, then fast: LastPacket holds fast's packet, so VOLTS shows its last raw reading.
    const RunResult r =
        RunCli("decode " + path_.string() + " --reply slow=7B --reply fast=F4570FA0FF81");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto json = nlohmann::json::parse(r.out);
    const auto& values = json.at("values");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].at("id"), "RPM");
    EXPECT_EQ(values[0].at("raw"), 0x0FA0);
    EXPECT_DOUBLE_EQ(values[0].at("value").get<double>(), 100000.0);
    EXPECT_EQ(values[0].at("text"), "100000");
    EXPECT_EQ(values[0].at("alarm"), "high");
    EXPECT_EQ(values[1].at("id"), "TEMP");
    EXPECT_DOUBLE_EQ(values[1].at("value").get<double>(), -1.0);
    EXPECT_EQ(values[1].at("text"), "-1.0");
    EXPECT_TRUE(values[1].at("alarm").is_null());
    EXPECT_EQ(values[2].at("id"), "VOLTS");
    EXPECT_EQ(values[2].at("raw"), 123);
    EXPECT_DOUBLE_EQ(values[2].at("value").get<double>(), 12.3);
    const auto& bitmasks = json.at("bitmasks");
    ASSERT_EQ(bitmasks.size(), 1u);
    EXPECT_EQ(bitmasks[0].at("raw"), 0x81);
    EXPECT_EQ(bitmasks[0].at("state"), true);
    EXPECT_EQ(bitmasks[0].at("text"), "Closed");
}

TEST_F(CliDecode, BadRepliesAreClearErrors) {
    const std::string def = "decode " + path_.string();
    const std::pair<std::string, std::string> faults[] = {
        {def + " --reply fast=F457G0", "malformed hex string \"F457G0\""},
        {def + " --reply fast=F45", "malformed hex string"},
        {def + " --reply nosuch=00", "unknown command id \"nosuch\""},
        {def + " --reply RPM=00", "unknown command id"},  // a value, not a send command
        {def + " --reply fast", "ID=HEX"},
        {"decode /nonexistent/x.adx --reply fast=00", "Error opening file"},
    };
    for (const auto& [args, message] : faults) {
        const RunResult r = RunCli(args);
        EXPECT_NE(r.status, 0) << args;
        EXPECT_NE(r.out.find(message), std::string::npos) << args << ": " << r.out;
    }

    // A short reply is decoded as far as it goes, with a note; bytes past it read as 0.
    const RunResult r = RunCli(def + " --reply fast=0000FF");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("reply has 3 bytes, the command expects 6"), std::string::npos);
}

// A value that is a 32-bit float (a lookup table's output) prints as that float's shortest text;
// a double keeps every digit it needs to read back the same.
TEST(CliJsonNumbers, FloatsAndDoublesPrintAsTheirShortestRoundTripText) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("korvit_numbers_" + std::to_string(::getpid()) + ".adx");
    const std::string parent = "<parentcmdidhash>" + Hash("cmd") + "</parentcmdidhash>";
    std::ofstream(path) << "<ADXFORMAT version=\"0.50\"/>"
                           "<ADXCSENDCOMMAND id=\"cmd\" flags=\"1\"><replysize>1</replysize>"
                           "<packetsize>1</packetsize></ADXCSENDCOMMAND>"
                           "<ADXLOOKUPTABLE id=\"t\"><inputtype>3</inputtype><outputtype>3"
                           "</outputtype><lookupmode>0</lookupmode><entrycount>2</entrycount>"
                           "<tableentry input=\"0\" output=\"18.2\"/>"
                           "<tableentry input=\"255\" output=\"18.2\"/></ADXLOOKUPTABLE>"
                           "<ADXVALUE id=\"F\">"
                        << parent << "<MATH equation=\"X\" lookupidhash=\"" << Hash("t")
                        << "\"/></ADXVALUE><ADXVALUE id=\"D\">" << parent
                        << "<MATH equation=\"X/3\"/></ADXVALUE>";
    const RunResult r = RunCli("decode " + path.string() + " --reply cmd=01");
    std::filesystem::remove(path);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\"value\": 18.2,"), std::string::npos) << r.out;
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["values"][0]["value"].get<double>(), 18.2);
    EXPECT_EQ(json["values"][1]["value"].get<double>(), 1.0 / 3.0);
}

// A value that is not finite prints "----" as its text and null as its number: valid JSON,
// and no alarm however its limits lie.
TEST(CliDecodeNotFinite, PrintsDashesAndNull) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("korvit_decode_inf_" + std::to_string(::getpid()) + ".adx");
    std::ofstream(path) << "<ADXFORMAT version=\"0.50\"/>"
                           "<ADXCSENDCOMMAND id=\"fast\" flags=\"1\"><replysize>1</replysize>"
                           "<packetsize>1</packetsize></ADXCSENDCOMMAND>"
                           "<ADXVALUE id=\"HUGE\"><flags>4</flags><alarms high=\"10\"/>"
                           "<MATH equation=\"X#999\"/></ADXVALUE>"
                           "<ADXVALUE id=\"ROOT\"><outputtype>1</outputtype>"
                           "<MATH equation=\"(0-X)#0.5\"/></ADXVALUE>";
    const RunResult r = RunCli("decode " + path.string() + " --reply fast=05");
    std::filesystem::remove(path);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto json = nlohmann::json::parse(r.out);
    const auto& values = json.at("values");
    ASSERT_EQ(values.size(), 2u);
    for (const auto& v : values) {
        EXPECT_EQ(v.at("text"), "----") << v;
        EXPECT_TRUE(v.at("value").is_null()) << v;
        EXPECT_TRUE(v.at("alarm").is_null()) << v;
    }
}
