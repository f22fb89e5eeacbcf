// korvit-cli decode: replies go through the reply path and every item comes out as JSON.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>
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

template <typename T>
T& Add(ADXDefinition& def, const char* id, uint32_t command = 0, const char* equation = nullptr) {
    auto object = std::make_unique<T>();
    object->SetID(id);
    if constexpr (!std::is_same_v<T, ADXCSendCommand>) object->parentcmdidhash = command;
    if constexpr (std::is_same_v<T, ADXValue>) object->SetValueEquation(equation);
    T& ref = *object;
    def.Insert(std::move(object));
    return ref;
}

/// Two commands: "fast" (6-byte reply, 4-byte packet from offset 2) decodes RPM, TEMP and a
/// flag; "slow" decodes VOLTS from its own packet.
class CliDecode : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() /
                ("korvit_decode_" + std::to_string(::getpid()) + ".adx");
        ADXDefinition def;
        ADXCSendCommand& fast = Add<ADXCSendCommand>(def, "fast");
        fast.flags = 1;
        fast.replysize = 6;
        fast.packetoffset = 2;
        fast.packetsize = 4;
        ADXCSendCommand& slow = Add<ADXCSendCommand>(def, "slow");
        slow.flags = 1;
        slow.replysize = slow.packetsize = 1;

        ADXValue& rpm = Add<ADXValue>(def, "RPM", fast.idhash(), "X*25");
        rpm.sizeinbits = 16;
        rpm.outputtype = 1;
        rpm.digcount = 0;
        rpm.flags = ADXValue::kHighAlarm;
        rpm.alarm_high = 6000;
        ADXValue& temp = Add<ADXValue>(def, "TEMP", fast.idhash(), "X");
        temp.packetoffset = 2;
        temp.flags = ADXValue::kSigned;
        temp.digcount = 1;
        Add<ADXValue>(def, "VOLTS", slow.idhash(), "X/10");
        ADXBitmask& flag = Add<ADXBitmask>(def, "CLOSEDLOOP", fast.idhash());
        flag.packetoffset = 3;
        flag.operand = flag.result = 0x80;
        flag.SetTrueString("Closed", 6);
        flag.SetFalseString("Open", 4);
        ASSERT_EQ(def.Save(path_.string()), 1);
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
