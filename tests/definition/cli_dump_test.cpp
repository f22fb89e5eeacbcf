#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "adx_test_support.h"

using namespace korvit::definition::testing;

namespace {

TEST(CliDump, PrintsHeaderAndObjectsWithTheirJsonTypes) {
    TempFile file("korvit-cli-dump");
    WriteAll(file.path(),
             "<ADXFORMAT version=\"0.5\"/><ADXHEADER><monitorcmd>s</monitorcmd></ADXHEADER>"
             "<ADXCSENDCOMMAND id=\"s\" title=\"Caf\xE9\"><bytestring size=\"5\">F4 57 01 00 B4"
             "</bytestring></ADXCSENDCOMMAND>"
             "<ADXLOOKUPTABLE id=\"t\"><tableentry input=\"0.1\" output=\"2\"/></ADXLOOKUPTABLE>"
             "<ADXVALUE id=\"v\"><flags>5</flags><MATH equation=\"X*2\" lookupidhash=\"" +
                 std::string("0x") + "0\"/></ADXVALUE>");
    const CliRun run = RunCli("dump " + file.path());
    ASSERT_EQ(run.status, 0) << run.out;
    const auto json = nlohmann::ordered_json::parse(run.out);
    const auto& header = json.at("header");
    EXPECT_EQ(header.at("flags"), "0x00000000");
    EXPECT_EQ(header.at("baud"), 8192);
    EXPECT_EQ(header.at("monitor"), "s");
    EXPECT_TRUE(header.at("connect").is_null());
    EXPECT_TRUE(header.at("author").is_null());

    const auto& objects = json.at("objects");
    ASSERT_EQ(objects.size(), 3u);
    const auto& send = objects[0];
    EXPECT_EQ(send.begin().key(), "class");
    EXPECT_EQ(send.at("class"), "ADXCSendCommand");
    EXPECT_EQ(send.at("type"), 0x20000);
    EXPECT_EQ(send.at("title"), "Caf\xC3\xA9");  // 8-bit text printed as UTF-8
    EXPECT_EQ(send.at("bytes"), "F4 57 01 00 B4");
    EXPECT_TRUE(send.at("desc").is_null());
    EXPECT_EQ(objects[1].at("entries")[0].at("input"), 0.1);
    const auto& value = objects[2];
    EXPECT_EQ(value.at("flags"), "0x00000005");
    EXPECT_EQ(value.at("idhash").get<std::string>().size(), 10u);
    EXPECT_EQ(value.at("equation"), "X*2");
    EXPECT_EQ(value.at("vars")[0].at("varID"), "X");
    EXPECT_EQ(value.at("alarmhigh"), 255.0);
    EXPECT_TRUE(value.at("lookup").is_null());
    EXPECT_TRUE(value.at("units").is_null());
}

TEST(CliDump, AFailedLoadPrintsTheLoadersMessageAndExitsNonZero) {
    TempFile file("korvit-cli-bad");
    WriteAll(file.path(), "<ADXFORMAT version=\"0.4\"/>");
    CliRun run = RunCli("dump " + file.path());
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("File version is out of date."), std::string::npos) << run.out;
    run = RunCli("dump /nonexistent/x.adx");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("Error opening file"), std::string::npos) << run.out;
}

TEST(CliResave, WritesALoadableCopy) {
    TempFile out("korvit-cli-resave");
    const std::string demo = std::string(KORVIT_SOURCE_DIR) + "/samples/demo.adx";
    const CliRun run = RunCli("resave " + demo + " " + out.path());
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(ReadAll(out.path()).substr(0, 30), ReadAll(demo).substr(0, 30));
    EXPECT_EQ(RunCli("resave " + demo + " /nonexistent-dir/x.adx").status, 1);
}

}  // namespace
