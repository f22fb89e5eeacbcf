// korvit-cli as a new user meets it: the subcommand list, and options checked with clear words.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct CliRun {
    int code = -1;
    std::string out;  // standard output and standard error, with `err_only` just the latter
};

CliRun RunCli(const std::string& args, bool err_only = false) {
    const std::string command = std::string(KORVIT_CLI_PATH) + " " + args +
                                (err_only ? " 2>&1 >/dev/null" : " 2>/dev/null");
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buf[4096];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
    const int status = pclose(pipe);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

const std::vector<std::string> kSubcommands = {"decode",    "dump",   "export", "hash",
                                               "histogram", "import", "play",   "resave",
                                               "scan",      "xdl",    "help"};

void ExpectList(const std::string& text, const std::string& what) {
    EXPECT_NE(text.find("Subcommands:"), std::string::npos) << what << ": " << text;
    for (const auto& name : kSubcommands) {
        EXPECT_NE(text.find("\n  " + name + " "), std::string::npos)
            << what << " lacks " << name << ": " << text;
    }
}

}  // namespace

TEST(CliUsage, NoSubcommandHelpAndUnknownSubcommandListTheSubcommands) {
    CliRun run = RunCli("help");
    EXPECT_EQ(run.code, 0);
    ExpectList(run.out, "help");

    run = RunCli("", true);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("a subcommand is required"), std::string::npos) << run.out;
    ExpectList(run.out, "no subcommand");

    run = RunCli("exprot x.adx", true);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("unknown subcommand 'exprot'"), std::string::npos) << run.out;
    ExpectList(run.out, "unknown subcommand");

    // help SUBCOMMAND shows that subcommand's arguments.
    run = RunCli("help export");
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("--csv"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("--force"), std::string::npos) << run.out;
    run = RunCli("help histogram");
    EXPECT_EQ(run.code, 0);
    for (const char* option : {"--name", "--stat", "--when", "Running Average", "ID=LOW..HIGH"}) {
        EXPECT_NE(run.out.find(option), std::string::npos) << option << ": " << run.out;
    }
    EXPECT_EQ(RunCli("help nosuch", true).code, 1);
}

TEST(CliUsage, OptionsAreCheckedWithClearMessages) {
    const std::string def = KORVIT_SOURCE_DIR "/samples/demo.adx";
    struct Case {
        std::string args;
        std::string message;
    };
    const Case bad[] = {
        {"scan " + def + " --port /dev/null --seconds -1",
         "--seconds: must be a number of seconds, 0 or more (0 scans until Ctrl+C); got '-1'"},
        {"scan " + def + " --port /dev/null --seconds abc", "got 'abc'"},
        {"scan " + def + " --port /dev/null --seconds inf", "got 'inf'"},
        {"play " + def + " x.xdl --speed abc",
         "--speed: must be a factor above 0.01 and at most 1000"},
        {"play " + def + " x.xdl --speed -1", "or 0 for unpaced; got '-1'"},
        // At or below 0.01 the player would not pace at all: not a slow speed.
        {"play " + def + " x.xdl --speed 0.005", "got '0.005'"},
        {"play " + def + " x.xdl --speed 1001", "got '1001'"},
    };
    for (const auto& c : bad) {
        const CliRun run = RunCli(c.args, true);
        EXPECT_NE(run.code, 0) << c.args;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.args << ": " << run.out;
    }
    // The limits themselves pass the check (and then fail only on the missing log).
    for (const char* speed : {"0", "0.011", "1000"}) {
        const CliRun run = RunCli("play " + def + " /nonexistent.xdl --speed " + speed, true);
        EXPECT_EQ(run.out.find("--speed:"), std::string::npos) << speed << ": " << run.out;
        EXPECT_NE(run.out.find("Could not open /nonexistent.xdl"), std::string::npos) << run.out;
    }
}
