// korvit-cli play --watch: the live table drawn into a pseudo-terminal of a fixed size, and the
// plain lines it prints into a file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "datalog/data_log.h"
#include "definition/definition.h"
#include "xdl_test_support.h"

using namespace korvit;
using namespace korvit::datalog::testing;

namespace {

// One 4-byte reply: a value over its high alarm, one under its low alarm, a plain one, a bitmask
// that alarms when true, and ten more values than a small terminal holds.
std::string Definition() {
    std::string adx = R"(<ADXFORMAT version="0.50" />
<ADXHEADER><flags>0x00</flags><baud>8192</baud><monitorcmd>mode1</monitorcmd></ADXHEADER>
<ADXCSENDCOMMAND id="mode1" title="Data" flags="0x00000001">
    <bytestring size="0x1">0x01 </bytestring><replysize>4</replysize>
    <packetoffset>0</packetoffset><packetsize>4</packetsize>
</ADXCSENDCOMMAND>
)";
    auto value = [](const std::string& id, const std::string& title, const std::string& units,
                    int offset, const std::string& flags, const std::string& alarms) {
        return "<ADXVALUE id=\"" + id + "\" title=\"" + title + "\"><flags>" + flags +
               "</flags><parentcmdidhash>" + std::to_string(0) + "</parentcmdidhash><units>" +
               units + "</units><packetoffset>" + std::to_string(offset) + "</packetoffset>" +
               alarms +
               "<digcount>0</digcount><outputtype>3</outputtype><MATH equation=\"X\"><VAR "
               "varID=\"X\" type=\"native\" /></MATH></ADXVALUE>\n";
    };
    adx += value("hot", "Coolant", "C", 0, "0x04", "<alarms low=\"0\" high=\"100\" />");
    adx += value("cold", "Intake", "C", 1, "0x08", "<alarms low=\"10\" high=\"200\" />");
    adx += value("load", "Load", "%", 2, "0x00", "");
    adx += R"(<ADXBITMASK id="fan" title="Fan"><flags>0x02</flags><truestring>On</truestring>
<falsestring>Off</falsestring><packetoffset>3</packetoffset><operand>0x01</operand>
<bitop>AND</bitop><result>0x01</result></ADXBITMASK>
)";
    for (int i = 1; i <= 10; ++i) {
        adx += value("f" + std::to_string(i), "Filler " + std::to_string(i), "V", 2, "0x00", "");
    }
    return adx;
}

/// A terminal screen: characters and the colour code each cell was written with.
class Screen {
  public:
    Screen(int width, int height)
        : width_(width), rows_(height, std::string(width, ' ')), colours_(height) {
        for (auto& row : colours_) row.assign(width, "");
    }

    void Feed(const std::string& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const unsigned char c = bytes[i];
            if (c == 0x1b && i + 1 < bytes.size() && bytes[i + 1] == '[') {
                size_t end = i + 2;
                while (end < bytes.size() && (bytes[end] < 0x40 || bytes[end] > 0x7e)) ++end;
                Control(bytes.substr(i + 2, end - i - 2), bytes[end]);
                i = end;
            } else if (c == '\r') {
                col_ = 0;
            } else if (c == '\n') {
                if (++row_ == static_cast<int>(rows_.size())) ++scrolled_;
                row_ = std::min(row_, static_cast<int>(rows_.size()) - 1);
            } else if (c >= 0x80 && c < 0xC0) {
                continue;  // the rest of a UTF-8 character already placed
            } else if (col_ >= width_) {
                overflowed_ = true;
            } else {
                rows_[row_][col_] = c >= 0x80 ? '?' : static_cast<char>(c);
                colours_[row_][col_++] = sgr_;
            }
        }
    }

    const std::string& Row(int r) const { return rows_[r]; }
    const std::string& Colour(int r, int c) const { return colours_[r][c]; }
    int FindRow(const std::string& text) const {
        for (size_t r = 0; r < rows_.size(); ++r) {
            if (rows_[r].find(text) != std::string::npos) return static_cast<int>(r);
        }
        return -1;
    }
    bool overflowed() const { return overflowed_; }
    int scrolled() const { return scrolled_; }

  private:
    void Control(const std::string& params, char op) {
        if (op == 'H') {
            row_ = col_ = 0;
        } else if (op == 'K') {
            for (int c = col_; c < width_; ++c) rows_[row_][c] = ' ';
        } else if (op == 'J') {
            const int from = params == "2" ? 0 : row_ + 1;
            if (params != "2") Control("", 'K');
            for (int r = from; r < static_cast<int>(rows_.size()); ++r) {
                rows_[r].assign(width_, ' ');
            }
        } else if (op == 'm') {
            sgr_ = params == "0" ? "" : params;
        }
    }

    int width_;
    std::vector<std::string> rows_;
    std::vector<std::vector<std::string>> colours_;
    int row_ = 0;
    int col_ = 0;
    std::string sgr_;
    bool overflowed_ = false;
    int scrolled_ = 0;
};

class Watch : public ::testing::Test {
  protected:
    void SetUp() override {
        def_path = dir.File("watch.adx");
        log_path = dir.File("watch.xdl");
        std::ofstream(def_path) << Definition();
        definition::ADXDefinition def;
        std::string error;
        ASSERT_EQ(def.Load(def_path, error), 1) << error;
        datalog::DataLog log;
        ASSERT_EQ(log.Record(log_path, def), 0u);
        const uint8_t replies[3][4] = {{50, 50, 7, 0}, {90, 20, 8, 0}, {120, 5, 9, 1}};
        const uint32_t hash = def.FindByID("mode1")->idhash();
        for (const auto& reply : replies) ASSERT_EQ(log.AppendRecord(hash, reply, 4), 0u);
        ASSERT_EQ(log.Close(), 1u);
    }

    std::vector<std::string> Args() const {
        return {KORVIT_CLI_PATH, "play", def_path, log_path, "--speed", "0", "--watch"};
    }

    TempDir dir;
    std::string def_path;
    std::string log_path;
};

void Exec(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    _exit(127);
}

TEST_F(Watch, DrawsATableThatFitsTheTerminalWithAlarmColoursAndAStatusLine) {
    constexpr int kWidth = 60;
    constexpr int kHeight = 10;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave_path = ::ptsname(master);
    const int slave = ::open(slave_path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    winsize size{};
    size.ws_col = kWidth;
    size.ws_row = kHeight;
    ASSERT_EQ(::ioctl(slave, TIOCSWINSZ, &size), 0);

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(slave, STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
        Exec(Args());
    }
    ::close(slave);
    std::string out;
    char buffer[4096];
    for (;;) {
        pollfd pfd{master, POLLIN, 0};
        if (::poll(&pfd, 1, 20000) <= 0) break;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO once the program closed the terminal
        out.append(buffer, static_cast<size_t>(n));
    }
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;

    // The last frame, before the program moves the cursor below it and shows it again.
    const size_t end = out.rfind("\r\n\x1b[?25h");
    ASSERT_NE(end, std::string::npos) << "the cursor comes back at the end";
    ASSERT_EQ(out.find("\x1b[?25l"), 0u) << "the cursor hides first";
    Screen screen(kWidth, kHeight);
    screen.Feed(out.substr(0, end));
    EXPECT_FALSE(screen.overflowed()) << "a line ran past the width";
    EXPECT_EQ(screen.scrolled(), 0) << "the frame scrolled the terminal";

    EXPECT_EQ(screen.Row(0).rfind("Title", 0), 0u) << screen.Row(0);
    const int hot = screen.FindRow("Coolant");
    ASSERT_GT(hot, 0);
    const std::string& row = screen.Row(hot);
    const size_t value = row.find("120", row.find("Coolant"));
    ASSERT_NE(value, std::string::npos) << row;
    EXPECT_EQ(row.substr(value + 4, 1), "C");
    EXPECT_EQ(screen.Colour(hot, static_cast<int>(value)), "1;38;2;255;0;0") << "high alarm";
    const int cold = screen.FindRow("Intake");
    ASSERT_GT(cold, 0);
    EXPECT_EQ(screen.Colour(cold, static_cast<int>(screen.Row(cold).find("Intake"))),
              "1;38;2;255;128;64")
        << "low alarm";
    const int load = screen.FindRow("Load");
    ASSERT_GT(load, 0);
    EXPECT_NE(screen.Row(load).find("9"), std::string::npos);
    EXPECT_EQ(screen.Colour(load, static_cast<int>(screen.Row(load).find("Load"))), "");
    const int fan = screen.FindRow("Fan");
    ASSERT_GT(fan, 0);
    EXPECT_EQ(screen.Colour(fan, static_cast<int>(screen.Row(fan).find("On"))), "1;38;2;255;0;0");

    // Fourteen items do not fit in two columns of six rows: the last cell counts the rest.
    EXPECT_GE(screen.FindRow("+3 more"), 0);
    EXPECT_LT(screen.FindRow("Filler 10"), 0);
    // Output lines show under the table; the status line is the bottom row.
    EXPECT_GT(screen.FindRow("Played 3 records"), 0);
    const std::string& bottom = screen.Row(kHeight - 1);
    EXPECT_EQ(bottom.rfind("Log Playing", 0), 0u) << bottom;
    EXPECT_NE(bottom.find(" Hz  sample 3 at "), std::string::npos) << bottom;
}

TEST_F(Watch, PrintsPlainLinesWhenNotATerminal) {
    const std::string out_path = dir.File("out.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);
        Exec(Args());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream in(out_path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string out = text.str();
    EXPECT_EQ(out.find('\x1b'), std::string::npos) << "no terminal codes in plain lines";

    // The last block is the final state: every item on its own line, then the status.
    const size_t last = out.rfind("Title");
    ASSERT_NE(last, std::string::npos) << out;
    std::istringstream block(out.substr(last));
    std::vector<std::string> lines;
    for (std::string line; std::getline(block, line) && !line.empty();) lines.push_back(line);
    ASSERT_EQ(lines.size(), 16u) << out.substr(last);  // header, 14 items, status
    EXPECT_EQ(lines[1].rfind("Coolant", 0), 0u);
    EXPECT_NE(lines[1].find("120"), std::string::npos);
    EXPECT_EQ(lines[4].rfind("Fan", 0), 0u);
    EXPECT_NE(lines[4].find("On"), std::string::npos);
    EXPECT_EQ(lines[14].rfind("Filler 10", 0), 0u);
    EXPECT_EQ(lines[15].rfind("Log Playing", 0), 0u);
    for (const auto& line : lines) EXPECT_LE(line.size(), 80u) << line;
}

}  // namespace

// A value that is not finite reads "----", and a text wider than its column ends in an
// ellipsis instead of losing its end unmarked.
TEST(WatchValues, NotFiniteShowsDashesAndLongTextsAreElided) {
    TempDir dir;
    const std::string def_path = dir.File("odd.adx");
    const std::string log_path = dir.File("odd.xdl");
    auto value = [](const std::string& id, const std::string& title, const std::string& math) {
        return "<ADXVALUE id=\"" + id + "\" title=\"" + title +
               "\"><flags>0x04</flags><alarms low=\"0\" high=\"100\" /><digcount>2</digcount>"
               "<outputtype>3</outputtype><MATH equation=\"" +
               math + "\"><VAR varID=\"X\" type=\"native\" /></MATH></ADXVALUE>\n";
    };
    std::ofstream(def_path) << R"(<ADXFORMAT version="0.50" />
<ADXHEADER><flags>0x00</flags><baud>8192</baud><monitorcmd>mode1</monitorcmd></ADXHEADER>
<ADXCSENDCOMMAND id="mode1" title="Data" flags="0x00000001">
    <bytestring size="0x1">0x01 </bytestring><replysize>1</replysize>
    <packetoffset>0</packetoffset><packetsize>1</packetsize>
</ADXCSENDCOMMAND>
)" + value("ratio", "Ratio", "X#999") +
                                   value("big", "Big", "X*1000000000000");
    definition::ADXDefinition def;
    std::string error;
    ASSERT_EQ(def.Load(def_path, error), 1) << error;
    datalog::DataLog log;
    ASSERT_EQ(log.Record(log_path, def), 0u);
    const uint8_t reply[1] = {5};
    ASSERT_EQ(log.AppendRecord(def.FindByID("mode1")->idhash(), reply, 1), 0u);
    ASSERT_EQ(log.Close(), 1u);

    const std::string out_path = dir.File("out.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);
        Exec({KORVIT_CLI_PATH, "play", def_path, log_path, "--speed", "0", "--watch"});
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::ifstream in(out_path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string out = text.str();
    const size_t last = out.rfind("Title");
    ASSERT_NE(last, std::string::npos) << out;
    std::istringstream block(out.substr(last));
    std::string header, ratio, big;
    std::getline(block, header);
    std::getline(block, ratio);
    std::getline(block, big);
    EXPECT_EQ(ratio.rfind("Ratio", 0), 0u) << ratio;
    EXPECT_NE(ratio.find("----"), std::string::npos) << ratio;
    EXPECT_EQ(ratio.find("inf"), std::string::npos) << ratio;
    // 5000000000000.00 is sixteen characters in a column of fourteen.
    EXPECT_EQ(big.rfind("Big", 0), 0u) << big;
    EXPECT_NE(big.find("5000000000000\xE2\x80\xA6"), std::string::npos) << big;
    EXPECT_EQ(big.find("5000000000000.0"), std::string::npos) << big;
}
