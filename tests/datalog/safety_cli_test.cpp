// The recording survives what goes wrong around a scan: a reader that stops reading, a killed
// recorder, corrupted replies and a port that goes away for a while.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "xdl_test_support.h"

#if defined(KORVIT_CLI_PATH) && defined(KORVIT_ECUSIM_PATH)

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kScanDef = KORVIT_SOURCE_DIR "/samples/scan-8192.adx";

/// The whole number that follows `prefix` in `text`, or -1 when there is none.
long NumberAfter(const std::string& text, const std::string& prefix) {
    const size_t at = text.find(prefix);
    if (at == std::string::npos) return -1;
    const char* start = text.c_str() + at + prefix.size();
    char* end = nullptr;
    const long n = std::strtol(start, &end, 10);
    return end == start ? -1 : n;
}

/// The whole number that stands right before `suffix` in `text`, or -1 when there is none.
long NumberBefore(const std::string& text, const std::string& suffix) {
    size_t begin = text.find(suffix);
    if (begin == std::string::npos) return -1;
    const size_t end = begin;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(text[begin - 1]))) --begin;
    return begin == end ? -1 : std::stol(text.substr(begin, end - begin));
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// A folder of its own holding a copy of korvit-cli, so that the copy's "temp.xdl" (kept beside
/// the program) is this test's alone.
struct Sandbox {
    fs::path dir;
    std::string cli;
    Sandbox() {
        dir = fs::temp_directory_path() /
              ("korvit_safety_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        cli = (dir / "korvit-cli").string();
        fs::copy_file(KORVIT_CLI_PATH, cli);
    }
    ~Sandbox() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string File(const std::string& name) const { return (dir / name).string(); }
};

/// Starts a program with its standard output on `out_fd` (or a file) and its errors in a file.
pid_t Spawn(const std::vector<std::string>& args, int out_fd, const std::string& err_path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_fd, 1);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// A simulator child and the line it opened.
struct Simulator {
    pid_t pid = -1;
    std::string port;
    Simulator(const std::vector<std::string>& extra, const std::string& err_path) {
        int out[2];
        if (::pipe(out) != 0) return;
        std::vector<std::string> args{KORVIT_ECUSIM_PATH, kScanDef, "--echo"};
        args.insert(args.end(), extra.begin(), extra.end());
        pid = Spawn(args, out[1], err_path);
        ::close(out[1]);
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') port += c;
        ::close(out[0]);
    }
    void Stop() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        WaitExit(pid);
        pid = -1;
    }
    ~Simulator() { Stop(); }
};

/// Waits until `path` holds `text`, at most `limit`.
bool WaitForText(const std::string& path, const std::string& text,
                 std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (ReadText(path).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

/// The datalog's records as `korvit-cli xdl` prints them.
nlohmann::json Records(const Sandbox& box, const std::string& log) {
    const std::string out = box.File("xdl.json");
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int code = WaitExit(Spawn({box.cli, "xdl", log}, fd, box.File("xdl.err")));
    ::close(fd);
    EXPECT_EQ(code, 0) << ReadText(box.File("xdl.err"));
    return nlohmann::json::parse(ReadText(out), nullptr, false)["records"];
}

/// Records whose bytes do not add up to 0 modulo 256.
int BadRecords(const nlohmann::json& records) {
    int bad = 0;
    for (const auto& record : records) {
        std::istringstream hex(record["data"].get<std::string>());
        unsigned byte = 0, sum = 0;
        while (hex >> std::hex >> byte) sum += byte;
        bad += (sum & 0xFF) != 0;
    }
    return bad;
}

TEST(SafetyCli, AReaderThatStopsReadingNeverStallsTheScanOrItsRecording) {
    Sandbox box;
    // A fast unit, so that a few seconds overflow a one-page pipe and the queue behind it.
    std::string def = ReadText(kScanDef);
    def.replace(def.find("<baud>8192</baud>"), 17, "<baud>115200</baud>");
    const std::string fast = box.File("fast.adx");
    std::ofstream(fast) << def;
    int sim_out[2];
    ASSERT_EQ(::pipe(sim_out), 0);
    const pid_t sim = Spawn({KORVIT_ECUSIM_PATH, fast}, sim_out[1], box.File("sim.err"));
    ::close(sim_out[1]);
    std::string port;
    char c;
    while (::read(sim_out[0], &c, 1) == 1 && c != '\n') port += c;
    ::close(sim_out[0]);
    ASSERT_FALSE(port.empty());

    for (const bool by_signal : {false, true}) {
        SCOPED_TRACE(by_signal ? "SIGTERM" : "--seconds");
        int unread[2];
        ASSERT_EQ(::pipe(unread), 0);
        ::fcntl(unread[1], F_SETPIPE_SZ, 4096);
        const std::string saved = box.File(by_signal ? "term.xdl" : "timed.xdl");
        std::vector<std::string> args{box.cli, "scan",   fast,       "--port",
                                      port,    "--json", "--record", saved};
        if (!by_signal) args.insert(args.end(), {"--seconds", "6"});
        const pid_t scan = Spawn(args, unread[1], box.File("scan.err"));
        ::close(unread[1]);
        // The end is due 6 s after the start, by the clock or by the signal.
        std::this_thread::sleep_for(std::chrono::seconds(6));
        if (by_signal) ::kill(scan, SIGTERM);
        const auto due = Clock::now();
        const int code = WaitExit(scan);
        const double late = std::chrono::duration<double>(Clock::now() - due).count();
        ::close(unread[0]);
        EXPECT_EQ(code, 0);
        // A scan stalled on the full pipe would never end; the margin covers a slow start of
        // the program (sanitizers, a loaded machine) before its --seconds clock runs.
        EXPECT_LT(late, 4.0);

        const std::string err = ReadText(box.File("scan.err"));
        const long replies = NumberAfter(err, "Scan summary: ");
        ASSERT_GE(replies, 0) << err;
        const long dropped = NumberAfter(err, "standard output is not being read: ");
        ASSERT_GE(dropped, 0) << err;
        EXPECT_NE(err.find(std::to_string(dropped) + " lines dropped"), std::string::npos);
        EXPECT_GT(dropped, 0);
        EXPECT_LT(dropped, replies);
        // Every reply after the first (decoded while Connecting) is in the log.
        EXPECT_EQ(static_cast<int>(Records(box, saved).size()), replies - 1);
    }
    ::kill(sim, SIGTERM);
    WaitExit(sim);
}

TEST(SafetyCli, AKilledRecordingIsRecoveredBeforeTheNextRecordingStarts) {
    Sandbox box;
    Simulator sim({}, box.File("sim.err"));
    ASSERT_FALSE(sim.port.empty());
    const int null = ::open("/dev/null", O_WRONLY);
    const pid_t first =
        Spawn({box.cli, "scan", kScanDef, "--port", sim.port, "--record", box.File("a.xdl")}, null,
              box.File("first.err"));
    ASSERT_TRUE(
        WaitForText(box.File("first.err"), "Command/Reply Success", std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(first, SIGKILL);
    WaitExit(first);
    const int decoded = static_cast<int>(Count(ReadText(box.File("first.err")), "Reply Success"));

    const pid_t second = Spawn({box.cli, "scan", kScanDef, "--port", sim.port, "--seconds", "1",
                                "--record", box.File("b.xdl")},
                               null, box.File("second.err"));
    EXPECT_EQ(WaitExit(second), 0);
    ::close(null);
    const std::string err = ReadText(box.File("second.err"));
    const std::string intro = "Recovered an unfinished recording to ";
    const size_t at = err.find(intro);
    ASSERT_NE(at, std::string::npos) << err;
    const size_t path_end = err.find(" (", at);
    ASSERT_NE(path_end, std::string::npos) << err;
    const std::string recovered = err.substr(at + intro.size(), path_end - at - intro.size());
    const std::string name = fs::path(recovered).filename().string();
    // recovered-YYYYMMDD-HHMMSS.xdl
    ASSERT_EQ(name.size(), 29u) << name;
    EXPECT_EQ(name.substr(0, 10), "recovered-");
    EXPECT_EQ(name[18], '-');
    EXPECT_EQ(name.substr(25), ".xdl");
    const long count = NumberAfter(err.substr(path_end), " (");
    EXPECT_NE(err.find(" records)", path_end), std::string::npos) << err;
    // The killed scan recorded every reply it decoded but the first, and the last one in flight
    // at most was cut off.
    EXPECT_GE(count, decoded - 2);
    EXPECT_LE(count, decoded - 1);
    EXPECT_EQ(static_cast<int>(Records(box, recovered).size()), count);
    EXPECT_TRUE(fs::exists(box.File("b.xdl")));

    const std::string played = box.File("play.out");
    const int fd = ::open(played.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(WaitExit(Spawn({box.cli, "play", kScanDef, recovered, "--speed", "0", "--json"}, fd,
                             box.File("play.err"))),
              0);
    ::close(fd);
    EXPECT_EQ(static_cast<int>(Count(ReadText(played), "\n")), count);
}

TEST(SafetyCli, ChecksumVerificationKeepsCorruptedRepliesOutOfTheLog) {
    Sandbox box;
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify ? "verified" : "unverified");
        Simulator sim({"--fault", "corrupt:0.02", "--seed", "3"}, box.File("sim.err"));
        ASSERT_FALSE(sim.port.empty());
        const std::string saved = box.File(verify ? "on.xdl" : "off.xdl");
        std::vector<std::string> args{box.cli,     "scan", kScanDef,   "--port", sim.port,
                                      "--seconds", "3",    "--record", saved};
        // A bare flag means always; without verification the corruption must reach the log.
        args.push_back(verify ? "--verify-checksum" : "--verify-checksum=off");
        const int null = ::open("/dev/null", O_WRONLY);
        EXPECT_EQ(WaitExit(Spawn(args, null, box.File("scan.err"))), 0);
        ::close(null);
        const std::string err = ReadText(box.File("scan.err"));
        const nlohmann::json records = Records(box, saved);
        ASSERT_GT(records.size(), 5u) << err;
        const size_t checksum_lines = Count(err, ": Reply checksum error");
        if (verify) {
            EXPECT_EQ(BadRecords(records), 0);
            EXPECT_GT(checksum_lines, 0u);
            const long errors = NumberBefore(err, " errors");
            ASSERT_GE(errors, 0) << err;
            // Only a failure while Connecting goes uncounted.
            EXPECT_GE(static_cast<size_t>(errors) + 1, checksum_lines);
        } else {
            // Without verification the corruption reaches the log: the test's fault is real.
            EXPECT_GT(BadRecords(records), 0);
            EXPECT_EQ(checksum_lines, 0u);
        }
    }
}

TEST(SafetyCli, AReconnectedScanGoesOnRecordingInTheSameLog) {
    Sandbox box;
    const std::string link = box.File("aldl");
    auto sim =
        std::make_unique<Simulator>(std::vector<std::string>{"--link", link}, box.File("sim.err"));
    ASSERT_FALSE(sim->port.empty());
    const std::string saved = box.File("drive.xdl");
    const int null = ::open("/dev/null", O_WRONLY);
    const pid_t scan = Spawn({box.cli, "scan", kScanDef, "--port", link, "--reconnect",
                              "--reconnect-timeout", "20", "--record", saved},
                             null, box.File("scan.err"));
    ::close(null);
    ASSERT_TRUE(
        WaitForText(box.File("scan.err"), "Command/Reply Success", std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sim.reset();  // hangs up and removes the link
    ASSERT_TRUE(
        WaitForText(box.File("scan.err"), "Reconnecting to " + link, std::chrono::seconds(5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sim =
        std::make_unique<Simulator>(std::vector<std::string>{"--link", link}, box.File("sim.err"));
    ASSERT_TRUE(
        WaitForText(box.File("scan.err"), "Reconnected to " + link, std::chrono::seconds(5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(scan, SIGINT);
    EXPECT_EQ(WaitExit(scan), 0);

    const std::string err = ReadText(box.File("scan.err"));
    const nlohmann::json records = Records(box, saved);
    // One log with every decoded reply but the first of each connection.
    EXPECT_EQ(records.size(), Count(err, "Command/Reply Success") - 2) << err;
    uint32_t gap = 0;
    size_t gap_at = 0;
    for (size_t i = 1; i < records.size(); ++i) {
        const uint32_t d =
            records[i]["time_ms"].get<uint32_t>() - records[i - 1]["time_ms"].get<uint32_t>();
        if (d > gap) gap = d, gap_at = i;
    }
    EXPECT_GE(gap, 1500u);
    EXPECT_GE(gap_at, 5u);
    EXPECT_GE(records.size() - gap_at, 5u);
    std::printf("reconnect: %zu records, %zu before and %zu after a gap of %u ms\n", records.size(),
                gap_at, records.size() - gap_at, gap);
}

/// Runs korvit-cli to the end; its exit code, standard output and standard error.
struct CliRun {
    int code;
    std::string out, err;
};
CliRun RunCli(const Sandbox& box, const std::vector<std::string>& args) {
    std::vector<std::string> all{box.cli};
    all.insert(all.end(), args.begin(), args.end());
    const std::string out = box.File("run.out");
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int code = WaitExit(Spawn(all, fd, box.File("run.err")));
    ::close(fd);
    return {code, ReadText(out), ReadText(box.File("run.err"))};
}

TEST(SafetyCli, DamagedFilesAndTheWrongDefinitionAreNamed) {
    using namespace korvit::datalog::testing;
    Sandbox box;
    // Three mode1 records under a header that counts 45.
    std::vector<uint8_t> bytes =
        BuildXdl({{0x7E4A7654, "mode1", 0x20000, 67, 67, std::vector<uint8_t>(15, 0xFF)}},
                 {{0, 0, std::vector<uint8_t>(67, 1)},
                  {10, 0, std::vector<uint8_t>(67, 2)},
                  {20, 0, std::vector<uint8_t>(67, 3)}});
    bytes[36] = 45;
    const std::string log = box.File("short.xdl");
    WriteFile(log, bytes);
    CliRun run = RunCli(box, {"xdl", log});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.err.find("warning: " + log +
                           " is damaged: the header counts 45 records, the file holds 3"),
              std::string::npos)
        << run.err;
    run = RunCli(box, {"play", kScanDef, log, "--speed", "0"});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.err.find("Played 3 records, 3 replies decoded (the header counts 45)"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("the header counts 45 records, the file holds 3"), std::string::npos);

    // A definition whose command has another id: nothing matches.
    std::string def = ReadText(kScanDef);
    def.replace(def.find("id=\"mode1\" idhash=\"0x7E4A7654\""), 31, "id=\"other\"");
    def.replace(def.find("<monitorcmd>mode1"), 17, "<monitorcmd>other");
    def.replace(def.find("0x7E4A7654"), 10, "0");
    const std::string wrong = box.File("wrong.adx");
    std::ofstream(wrong) << def;
    run = RunCli(box, {"play", wrong, log, "--speed", "0"});
    EXPECT_EQ(run.code, 3);
    // Each record says the same line; repeats collapse (the main thread's "Playing" line may
    // fall between the player's first lines).
    {
        const std::string said = "Log playback: Command not found in def. Wrong definition?";
        std::istringstream lines(run.err);
        long shown = 0;
        long repeated = 0;
        for (std::string line; std::getline(lines, line);) {
            if (line == said) ++shown;
            const long n = NumberAfter(line, "... repeated ");
            if (line.rfind("... repeated ", 0) == 0 && n > 0) repeated += n;
        }
        EXPECT_EQ(shown + repeated, 3) << run.err;
        EXPECT_LT(shown, 3) << run.err;
    }
    EXPECT_NE(run.err.find("korvit-cli: 0 of 3 records match a command of " + wrong +
                           " (wrong definition?)"),
              std::string::npos)
        << run.err;

    // A definition cut inside an element loads as before, with a warning.
    const std::string text = ReadText(KORVIT_SOURCE_DIR "/samples/demo.adx");
    const std::string half = box.File("half.adx");
    std::ofstream(half) << text.substr(0, text.find("</", text.size() / 2));
    run = RunCli(box, {"dump", half});
    EXPECT_EQ(run.code, 0);
    const size_t warning = run.err.find("warning: " + half + " ends inside the element <");
    ASSERT_NE(warning, std::string::npos) << run.err;
    EXPECT_GT(NumberAfter(run.err.substr(warning), "> begun on line "), 0) << run.err;
    EXPECT_NE(run.err.find(": it may be incomplete", warning), std::string::npos) << run.err;
    std::ofstream(half) << "<ADXFORMAT version=\"0.50\" />\n<ADXHEADER>\n  <baud 8192</baud>\n";
    run = RunCli(box, {"dump", half});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("(line 3, column 9)"), std::string::npos) << run.err;
}

}  // namespace

#endif
