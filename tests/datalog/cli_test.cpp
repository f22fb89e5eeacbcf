// korvit-cli's datalog commands, run as programs: xdl, play, export and scan --record.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "datalog/data_log.h"
#include "definition/definition.h"
#include "xdl_test_support.h"

using namespace korvit;
using namespace korvit::datalog;
using namespace korvit::datalog::testing;

namespace {

// The demo definition processes its mode-1 reply, so scans decode and record it.
const std::string kDemo = KORVIT_SOURCE_DIR "/samples/demo.adx";

struct CliResult {
    int code;
    std::string out;
    std::string err;
};

CliResult RunCli(const TempDir& dir, const std::string& args) {
    const std::string out = dir.File("stdout"), err = dir.File("stderr");
    const std::string command =
        std::string(KORVIT_CLI_PATH) + " " + args + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    auto slurp = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Records `count` replies of every processed send command of the demo, in turn.
uint32_t RecordDemoLog(const std::string& demo, const std::string& path, uint32_t rounds) {
    definition::ADXDefinition def;
    std::string error;
    EXPECT_EQ(def.Load(demo, error), 1) << error;
    DataLog log;
    EXPECT_EQ(log.Record(path, def), 0u);
    uint32_t n = 0;
    for (uint32_t r = 0; r < rounds; ++r) {
        for (const auto& command : log.commands()) {
            if (command.type != definition::ADXTYPE_SENDCOMMAND) continue;
            std::vector<uint8_t> reply(command.replysize, static_cast<uint8_t>(r * 16));
            EXPECT_EQ(log.AppendRecord(command.idhash, reply.data(), command.replysize), 0u);
            ++n;
        }
    }
    EXPECT_EQ(log.Close(), 1u);
    return n;
}

TEST(Cli, XdlPrintsHeaderCommandsAndRecords) {
    TempDir dir;
    const std::string path = dir.File("a.xdl");
    WriteFile(path, BuildXdl({{0xABCD, "Mode1", 0x20000, 2, 3, {0x05}}},
                             {{0, 0, {0x12, 0xEF}}, {7, 4, {1}}, {25, 0, {3, 4}}}));
    const CliResult run = RunCli(dir, "xdl " + path);
    ASSERT_EQ(run.code, 0) << run.err;
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["header"]["version"], 3);
    EXPECT_EQ(json["header"]["starttime"], "2026-12-06 03:30:15.250");
    EXPECT_EQ(json["commands"][0]["idhash"], "0x0000ABCD");
    EXPECT_EQ(json["commands"][0]["id"], "Mode1");
    EXPECT_EQ(json["commands"][0]["mask"], "05");
    ASSERT_EQ(json["records"].size(), 2u);  // the record of command 4 is not in the table
    EXPECT_EQ(json["records"][0]["data"], "12 EF");
    EXPECT_EQ(json["records"][1]["time_ms"], 25);
    EXPECT_EQ(json["records"][1]["sample"], 2);
}

TEST(Cli, PlayDecodesEveryRecordAndExportWritesOneRowEach) {
    TempDir dir;
    const std::string path = dir.File("demo.xdl");
    const uint32_t n = RecordDemoLog(kDemo, path, 5);
    ASSERT_GT(n, 0u);

    CliResult run = RunCli(dir, "play " + kDemo + " " + path + " --speed 0 --json");
    ASSERT_EQ(run.code, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), n);
    for (uint32_t i = 0; i < n; ++i) {
        const auto line = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(line["sample"], i + 1);
        EXPECT_TRUE(line["command"].is_string());
        EXPECT_FALSE(line["values"].empty());
    }
    EXPECT_NE(run.err.find("Playing " + path), std::string::npos);
    EXPECT_NE(run.err.find("Playback stopped"), std::string::npos);

    const std::string csv = dir.File("out.csv");
    run = RunCli(dir, "export " + kDemo + " " + path + " --csv " + csv);
    ASSERT_EQ(run.code, 0) << run.err;
    std::ifstream in(csv);
    std::stringstream text;
    text << in.rdbuf();
    const auto rows = Lines(text.str());
    ASSERT_EQ(rows.size(), n + 1);
    EXPECT_EQ(rows[0].rfind("time,", 0), 0u);
    const size_t columns = std::count(rows[0].begin(), rows[0].end(), ',');
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(std::count(rows[i].begin(), rows[i].end(), ','), long(columns)) << rows[i];
    }
}

// export prints one summary line, not the playback trace, and replaces a CSV only when told.
TEST(Cli, ExportSummarisesAndNeverReplacesACsvUnlessForced) {
    TempDir dir;
    const std::string log = dir.File("demo.xdl");
    const uint32_t n = RecordDemoLog(kDemo, log, 3);
    const std::string csv = dir.File("out.csv");
    const std::string export_args = "export " + kDemo + " " + log + " --csv " + csv;
    CliResult run = RunCli(dir, export_args);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto summary = Lines(run.out);
    ASSERT_EQ(summary.size(), 1u) << run.out;
    EXPECT_EQ(summary[0].rfind("Exported " + std::to_string(n) + " records to " + csv, 0), 0u)
        << summary[0];

    WriteFile(csv, {'k', 'e', 'e', 'p'});
    run = RunCli(dir, export_args);
    EXPECT_NE(run.code, 0);
    EXPECT_NE(run.err.find(csv + " already exists and was not replaced (--force replaces it)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(csv), std::vector<uint8_t>({'k', 'e', 'e', 'p'}));

    // A log that cannot be read leaves even a forced target as it was.
    run = RunCli(dir,
                 "export " + kDemo + " " + dir.File("missing.xdl") + " --csv " + csv + " --force");
    EXPECT_NE(run.code, 0);
    EXPECT_EQ(ReadFile(csv), std::vector<uint8_t>({'k', 'e', 'e', 'p'}));

    run = RunCli(dir, export_args + " --force");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_GT(ReadFile(csv).size(), 4u);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 4u);  // demo.xdl, out.csv, stdout, stderr: no part file left behind
}

TEST(Cli, UnopenableAndDamagedLogsFailWithAClearMessage) {
    TempDir dir;
    const std::string missing = dir.File("missing.xdl");
    for (const std::string& cmd :
         {"play " + kDemo + " " + missing, "xdl " + missing,
          "export " + kDemo + " " + missing + " --csv " + dir.File("x.csv")}) {
        const CliResult run = RunCli(dir, cmd);
        EXPECT_NE(run.code, 0) << cmd;
        EXPECT_NE(run.err.find("Could not open " + missing + ", error 0xC"), std::string::npos)
            << cmd << ": " << run.err;
    }
    const std::string damaged = dir.File("damaged.xdl");
    WriteFile(damaged, BuildXdl({{0x1, "X", 0x20000, 1, 1, {}}}, {{0, 0, {1}}, {1, 0, {2}, -30}}));
    CliResult run = RunCli(dir, "play " + kDemo + " " + damaged + " --speed 0");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
    run = RunCli(dir, "xdl " + damaged);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("damaged"), std::string::npos) << run.err;
}

// A definition whose texts use bytes above 0x7F (Latin-1), and a log recorded with it.
struct EightBitFiles {
    std::string def;
    std::string log;
};

EightBitFiles WriteEightBitFiles(const TempDir& dir) {
    definition::ADXDefinition def;
    auto command = std::make_unique<definition::ADXCSendCommand>();
    command->SetID("m\xF6tor");
    command->flags = 1;  // the reply is processed
    command->replysize = 4;
    command->packetsize = 4;
    const uint32_t hash = command->idhash();
    def.Insert(std::move(command));
    auto words = std::make_unique<definition::ADXLookupTable>();
    words->SetID("w\xF6rter");
    words->SetOutputType(definition::ADXLookupTable::kTextOutput);
    words->AddEntry(2, "h\xF6he", 4);
    auto value = std::make_unique<definition::ADXValue>();
    value->SetID("t\xE9mp");
    value->SetEquation("X");
    value->lookupidhash = words->idhash();
    value->lookup = words.get();
    value->parentcmdidhash = hash;
    value->packetoffset = 1;
    def.Insert(std::move(words));
    def.Insert(std::move(value));
    auto mask = std::make_unique<definition::ADXBitmask>();
    mask->SetID("\xC4nd");
    mask->parentcmdidhash = hash;
    def.Insert(std::move(mask));
    EightBitFiles files{dir.File("eight.adx"), dir.File("eight.xdl")};
    EXPECT_EQ(def.Save(files.def), 1);
    DataLog log;
    EXPECT_EQ(log.Record(files.log, def), 0u);
    const uint8_t reply[4] = {1, 2, 3, 4};
    EXPECT_EQ(log.AppendRecord(hash, reply, 4), 0u);
    EXPECT_EQ(log.Close(), 1u);
    return files;
}

TEST(Cli, EightBitTextsOfEveryFileComeOutAsUtf8) {
    TempDir dir;
    const EightBitFiles files = WriteEightBitFiles(dir);
    const std::string command = "m\xC3\xB6tor", value = "t\xC3\xA9mp", mask = "\xC3\x84nd";

    CliResult run = RunCli(dir, "xdl " + files.log);
    ASSERT_EQ(run.code, 0) << run.err;
    auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["commands"][0]["id"], command);
    EXPECT_EQ(json["records"][0]["id"], command);

    run = RunCli(dir, "play " + files.def + " " + files.log + " --speed 0 --json");
    ASSERT_EQ(run.code, 0) << run.err;
    json = nlohmann::json::parse(Lines(run.out).at(0));
    EXPECT_EQ(json["command"], command);
    EXPECT_EQ(json["values"][0]["id"], value);
    EXPECT_EQ(json["values"][0]["text"], "h\xC3\xB6he");
    EXPECT_EQ(json["bitmasks"][0]["id"], mask);

    run = RunCli(dir, "decode " + files.def + " --reply 'm\xF6tor=01020304'");
    ASSERT_EQ(run.code, 0) << run.err;
    json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["values"][0]["id"], value);
    EXPECT_EQ(json["values"][0]["text"], "h\xC3\xB6he");

    run = RunCli(dir, "dump " + files.def);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["objects"][0]["id"], command);

    const std::string csv = dir.File("eight.csv");
    run = RunCli(dir, "export " + files.def + " " + files.log + " --csv " + csv);
    ASSERT_EQ(run.code, 0) << run.err;
    const auto bytes = ReadFile(csv);
    EXPECT_EQ(Lines(std::string(bytes.begin(), bytes.end())).at(0), "time," + value + "," + mask);
}

// A value without a number (the square root of a negative reading) is an empty cell, never
// "nan"; the value beside it keeps its number.
TEST(Cli, ExportLeavesValuesWithoutANumberEmpty) {
    TempDir dir;
    definition::ADXDefinition def;
    auto command = std::make_unique<definition::ADXCSendCommand>();
    command->SetID("Data");
    command->flags = 1;
    command->replysize = 2;
    command->packetsize = 2;
    const uint32_t hash = command->idhash();
    def.Insert(std::move(command));
    for (const char* equation : {"X#0.5", "X*2"}) {
        auto value = std::make_unique<definition::ADXValue>();
        value->SetID(equation[1] == '#' ? "Root" : "Double");
        value->SetEquation(equation);
        value->parentcmdidhash = hash;
        value->sizeinbits = 8;
        value->flags |= definition::ADXValue::kSigned;
        def.Insert(std::move(value));
    }
    const std::string def_path = dir.File("root.adx"), log_path = dir.File("root.xdl");
    ASSERT_EQ(def.Save(def_path), 1);
    DataLog log;
    ASSERT_EQ(log.Record(log_path, def), 0u);
    const uint8_t reply[2] = {0xEB, 0};  // -21
    ASSERT_EQ(log.AppendRecord(hash, reply, 2), 0u);
    ASSERT_EQ(log.Close(), 1u);

    const std::string csv = dir.File("root.csv");
    const CliResult run = RunCli(dir, "export " + def_path + " " + log_path + " --csv " + csv);
    ASSERT_EQ(run.code, 0) << run.err;
    const auto bytes = ReadFile(csv);
    const auto rows = Lines(std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "time,Root,Double");
    EXPECT_EQ(rows[1], "0.000,,-42");
}

#ifdef KORVIT_ECUSIM_PATH
size_t LineCount(const std::string& path) {
    std::ifstream in(path);
    return static_cast<size_t>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

// Runs a scan with --json until it has decoded `replies` replies, then stops it with Ctrl+C as a
// user would: however slow the machine, the scan has seen enough before it ends.
CliResult ScanUntilReplies(const TempDir& dir, const std::string& args, size_t replies) {
    const std::string out = dir.File("stdout"), err = dir.File("stderr");
    std::remove(out.c_str());
    const std::string command =
        "exec " + std::string(KORVIT_CLI_PATH) + " " + args + " >" + out + " 2>" + err;
    const pid_t cli = ::fork();
    if (cli == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (::waitpid(cli, &status, WNOHANG) == 0) {
        if (LineCount(out) >= replies || std::chrono::steady_clock::now() > give_up) {
            ::kill(cli, SIGINT);
            ::waitpid(cli, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(LineCount(out), replies) << "the scan ended or gave up before enough replies";
    std::ifstream err_in(err);
    std::stringstream err_text;
    err_text << err_in.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", err_text.str()};
}

TEST(Cli, ScanRecordsWhileConnectedAndNeverReplacesTheTarget) {
    TempDir dir;
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t sim = ::fork();
    if (sim == 0) {
        ::dup2(out[1], 1);
        ::execl(KORVIT_ECUSIM_PATH, KORVIT_ECUSIM_PATH, kDemo.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string pty;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') pty += c;
    ASSERT_FALSE(pty.empty());

    const std::string target = dir.File("drive.xdl");
    const std::string scan = "scan " + kDemo + " --port " + pty + " --json --record " + target;
    CliResult run = ScanUntilReplies(dir, scan, 8);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("Log saved to " + target), std::string::npos) << run.err;
    const auto saved = ReadFile(target);
    ASSERT_GE(saved.size(), 40u);
    const uint32_t records = GetU32(&saved[36]);
    EXPECT_GT(records, 5u);
    // The first reply arrives while Connecting: it is decoded but not recorded.
    run = RunCli(dir, "xdl " + target);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["records"].size(), records);

    run = ScanUntilReplies(dir, scan, 8);
    ::kill(sim, SIGTERM);
    ::waitpid(sim, nullptr, 0);
    ::close(out[0]);
    EXPECT_NE(run.code, 0);
    EXPECT_NE(run.err.find("Cannot overwrite existing log: " + target + ", error 0x11"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("The log was not saved: a file named " + target + " already exists"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(target), saved);
    const std::string temp = std::filesystem::path(KORVIT_CLI_PATH).parent_path() / "temp.xdl";
    const auto kept = ReadFile(temp);
    ASSERT_GE(kept.size(), 40u);
    EXPECT_GT(GetU32(&kept[36]), 5u);
}
#endif

}  // namespace
