#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(KORVIT_CLI_PATH) && defined(KORVIT_ECUSIM_PATH)

namespace {

// A one-wire unit (echo on) answering a 67-byte data request, with a disconnect command.
const std::string kDefinition = KORVIT_SOURCE_DIR "/samples/scan-8192.adx";

/// A child process with its standard output and error captured in files.
struct Child {
    pid_t pid = -1;
    std::string out_path;
    std::string err_path;

    static Child Run(const std::vector<std::string>& args, const std::string& tag) {
        Child child;
        child.out_path = "/tmp/korvit_scan_" + tag + std::to_string(getpid()) + ".out";
        child.err_path = "/tmp/korvit_scan_" + tag + std::to_string(getpid()) + ".err";
        // A file left by an earlier child must not be read as this one's output.
        std::remove(child.out_path.c_str());
        std::remove(child.err_path.c_str());
        child.pid = fork();
        if (child.pid == 0) {
            freopen(child.out_path.c_str(), "w", stdout);
            freopen(child.err_path.c_str(), "w", stderr);
            std::vector<char*> argv;
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return child;
    }
    int Wait() const {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void RemoveFiles() const {
        std::remove(out_path.c_str());
        std::remove(err_path.c_str());
    }
    std::string Out() const { return Read(out_path); }
    std::string Err() const { return Read(err_path); }
};

class ScanCli : public ::testing::Test {
  protected:
    void SetUp() override { def_path = kDefinition; }
    void TearDown() override {
        if (sim.pid > 0) {
            kill(sim.pid, SIGTERM);
            sim.Wait();
        }
        for (const char* tag : {"sim", "json", "int", "missing", "lost"}) {
            Child{-1, "/tmp/korvit_scan_" + std::string(tag) + std::to_string(getpid()) + ".out",
                  "/tmp/korvit_scan_" + std::string(tag) + std::to_string(getpid()) + ".err"}
                .RemoveFiles();
        }
    }
    /// Starts the simulator and returns its line's path.
    std::string StartSimulator(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{KORVIT_ECUSIM_PATH, def_path};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = Child::Run(args, "sim");
        for (int i = 0; i < 500; ++i) {
            const std::string out = sim.Out();
            if (out.find('\n') != std::string::npos) return out.substr(0, out.find('\n'));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    std::string def_path;
    Child sim;
};

TEST_F(ScanCli, PrintsOneJsonLinePerReplyAndASummary) {
    const std::string port = StartSimulator();
    ASSERT_FALSE(port.empty());
    Child scan = Child::Run(
        {KORVIT_CLI_PATH, "scan", def_path, "--port", port, "--seconds", "1.5", "--json"}, "json");
    EXPECT_EQ(scan.Wait(), 0) << scan.Err();
    std::istringstream lines(scan.Out());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        const auto json = nlohmann::json::parse(line);
        ASSERT_EQ(json["values"].size(), 1u);
        EXPECT_EQ(json["values"][0]["id"], "rpm");
        EXPECT_EQ(json["command"], "mode1");
        ++count;
    }
    EXPECT_GE(count, 3);
    const std::string err = scan.Err();
    EXPECT_NE(err.find(": Command/Reply Success"), std::string::npos);
    EXPECT_NE(err.find("Scan summary: " + std::to_string(count) + " replies, 0 errors"),
              std::string::npos)
        << err;
}

TEST_F(ScanCli, CtrlCStopsCleanlyAndAMissingPortFails) {
    const std::string port = StartSimulator();
    Child scan = Child::Run({KORVIT_CLI_PATH, "scan", def_path, "--port", port}, "int");
    for (int i = 0; i < 1000 && scan.Err().find("Reply Success") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(scan.pid, SIGINT);
    EXPECT_EQ(scan.Wait(), 0);
    const std::string err = scan.Err();
    // The disconnect command sends without reading a reply, then the summary ends the run.
    EXPECT_NE(err.find("Command sent. Reply not processed.\nScan summary:"), std::string::npos)
        << err;

    Child missing =
        Child::Run({KORVIT_CLI_PATH, "scan", def_path, "--port", "/dev/korvit-none"}, "missing");
    EXPECT_EQ(missing.Wait(), 1);
    EXPECT_EQ(missing.Err().rfind("Unable to open port (/dev/korvit-none)!\n", 0), 0u);
}

// Bad replies are counted by the engine tests and each simulator fault has its own test; here
// the program's part: a unit that hangs up ends the scan with a line and exit status 1.
TEST_F(ScanCli, AVanishingUnitEndsTheScan) {
    const std::string port = StartSimulator({"--fault", "hangup:0.2", "--seed", "3"});
    Child lost = Child::Run({KORVIT_CLI_PATH, "scan", def_path, "--port", port}, "lost");
    EXPECT_EQ(lost.Wait(), 1);
    EXPECT_NE(lost.Err().find("Lost the port (" + port + ")!"), std::string::npos) << lost.Err();
}

// A unit whose every fourth reply starts 190 ms late straddles the 200 ms reply time-out: every
// reply recorded and decoded is still the one its request asked for, whether verification is
// automatic (these replies carry a checksum) or off.
TEST_F(ScanCli, LateRepliesNeverShiftTheRecordedOrDecodedOnes) {
    // A copy of the program of its own, so that its temp.xdl is this test's alone.
    const std::string dir = "/tmp/korvit_late_" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string cli = dir + "/korvit-cli";
    std::filesystem::copy_file(KORVIT_CLI_PATH, cli);
    const std::string port = StartSimulator({"--late-every", "4", "--late-ms", "190"});
    ASSERT_FALSE(port.empty());
    for (const std::string mode : {"auto", "off"}) {
        SCOPED_TRACE(mode);
        const std::string saved = dir + "/" + mode + ".xdl";
        Child scan = Child::Run({cli, "scan", def_path, "--port", port, "--seconds", "4", "--json",
                                 "--record", saved, "--verify-checksum=" + mode},
                                "json");
        EXPECT_EQ(scan.Wait(), 0) << scan.Err();
        const std::string err = scan.Err();
        EXPECT_NE(err.find("FAILURE (0x00000006)"), std::string::npos) << "the fault is real";
        EXPECT_EQ(err.find("Reply checksum error"), std::string::npos) << err;
        EXPECT_EQ(err.find("Verifying the reply checksums of mode1") != std::string::npos,
                  mode == "auto");

        // The unit's data bytes stay within 128 +/- 100, so rpm (byte 10 of the packet, times
        // 25) stays within 700 ... 5700; a shifted reply brings in header and echo bytes.
        std::istringstream lines(scan.Out());
        std::string line;
        int decoded = 0;
        while (std::getline(lines, line)) {
            const double rpm = nlohmann::json::parse(line)["values"][0]["value"];
            EXPECT_GE(rpm, 700.0) << line;
            EXPECT_LE(rpm, 5700.0) << line;
            ++decoded;
        }
        EXPECT_GE(decoded, 10);

        Child dump = Child::Run({cli, "xdl", saved}, "int");
        EXPECT_EQ(dump.Wait(), 0) << dump.Err();
        const auto records = nlohmann::json::parse(dump.Out())["records"];
        EXPECT_EQ(static_cast<int>(records.size()), decoded - 1) << "all but the first reply";
        for (const auto& record : records) {
            std::istringstream hex(record["data"].get<std::string>());
            std::vector<unsigned> bytes;
            unsigned byte = 0;
            while (hex >> std::hex >> byte) bytes.push_back(byte);
            ASSERT_EQ(bytes.size(), 67u);
            EXPECT_EQ(bytes[0], 0xF4u);
            EXPECT_EQ(bytes[1], 0x57u);
            EXPECT_EQ(bytes[2], 0x01u);
            unsigned sum = 0;
            for (unsigned b : bytes) sum += b;
            EXPECT_EQ(sum % 256, 0u) << record["data"];
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

#endif
