// Runs the korvit-ecusim program itself: start-up line, link, a reply, clean exit on SIGTERM,
// and clear failures on bad input.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/mm_serial.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "ecu_signals.h"

namespace korvit::ecusim {
namespace {

namespace fs = std::filesystem;

struct Child {
    pid_t pid = -1;
    int out = -1;  // the program's stdout
    int err = -1;  // the program's stderr
};

Child Spawn(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    return {pid, out[0], err[0]};
}

std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

std::string ReadAll(int fd) {
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    return text;
}

int ExitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class EcusimProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("korvit-ecusim-test-" + std::to_string(getpid()));
        fs::create_directories(dir);
        definition::ADXDefinition def;
        auto request = std::make_unique<definition::ADXCSendCommand>();
        request->SetID("Mode1");
        request->SetBytes(kRequest, sizeof kRequest);
        request->replysize = 20;
        request->packetoffset = 3;
        request->packetsize = 16;
        def.Insert(std::move(request));
        adx = (dir / "sim.adx").string();
        ASSERT_EQ(def.Save(adx), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    static constexpr uint8_t kRequest[] = {0xF4, 0x57, 0x01, 0x00, 0xB4};
    fs::path dir;
    std::string adx;
};

TEST_F(EcusimProgram, ServesTheLineThroughItsLinkAndExitsCleanlyOnSigterm) {
    const std::string link = (dir / "ttyECU").string();
    Child child = Spawn({KORVIT_ECUSIM_PATH, adx, "--link", link, "--baud", "19200"});
    ASSERT_GT(child.pid, 0);
    const std::string path = ReadLine(child.out);
    ASSERT_FALSE(path.empty()) << ReadAll(child.err);
    EXPECT_EQ(fs::read_symlink(link).string(), path);

    {
        acquisition::MMSerial port;
        ASSERT_EQ(port.Open(link, 8192), 1);
        port.SetTimeouts(100, 0, 3000, 0, 300);
        ASSERT_EQ(port.Write(kRequest, sizeof kRequest), sizeof kRequest);
        std::vector<uint8_t> reply(20);
        ASSERT_EQ(port.Read(reply.data(), 20), 20u);
        EXPECT_TRUE(EcuSignals::SumsToZero(reply));
    }

    kill(child.pid, SIGTERM);
    EXPECT_EQ(ExitCode(child.pid), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(EcusimProgram, RefusesBadInputWithAClearMessage) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::string regular = (dir / "keep.txt").string();
    {
        std::FILE* f = std::fopen(regular.c_str(), "w");
        std::fputs("keep", f);
        std::fclose(f);
    }
    const std::vector<Case> cases = {
        {{KORVIT_ECUSIM_PATH, (dir / "missing.adx").string()}, "cannot load"},
        {{KORVIT_ECUSIM_PATH, adx, "--fault", "melt"}, "unknown fault"},
        {{KORVIT_ECUSIM_PATH, adx, "--link", regular}, "is not a link"},
    };
    for (const Case& c : cases) {
        Child child = Spawn(c.args);
        ASSERT_GT(child.pid, 0);
        const std::string err = ReadAll(child.err);
        EXPECT_NE(ExitCode(child.pid), 0) << c.args.back();
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        close(child.out);
        close(child.err);
    }
    // The file that stood where the link was asked for is untouched.
    EXPECT_EQ(fs::file_size(regular), 4u);
}

}  // namespace
}  // namespace korvit::ecusim
