// The korvit program's start-up options end to end: a simulated unit on a pseudo-terminal, the
// program on the offscreen platform, and the picture it leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <filesystem>
#include <memory>

#include "shell/main_window.h"
#include "shell/startup.h"

#include "wait_until.h"

using namespace korvit::shell;

namespace {

const QString kDemo = KORVIT_SOURCE_DIR "/samples/demo.adx";

struct KorvitRun {
    int code = -1;
    QString err;
    qint64 ms = 0;
};

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvit-cmdline-XXXXXX";
        dir_ = QString(mkdtemp(pattern)) + "/";
    }
    void TearDown() override {
        if (sim_) {
            sim_->terminate();
            sim_->waitForFinished(3000);
        }
        std::filesystem::remove_all(dir_.toStdString());
    }

    /// Starts korvit-ecusim on the demo definition; the path of its line.
    QString StartSimulator() {
        sim_ = std::make_unique<QProcess>();
        sim_->start(KORVIT_ECUSIM_PATH, {kDemo});
        if (!sim_->waitForReadyRead(10000)) return {};
        return QString::fromLocal8Bit(sim_->readLine()).trimmed();
    }

    KorvitRun Korvit(const QStringList& arguments) {
        QProcess korvit;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", dir_);
        korvit.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        korvit.start(KORVIT_APP_PATH, arguments);
        KorvitRun run;
        if (!korvit.waitForFinished(30000)) {
            korvit.kill();
            return run;
        }
        run.ms = clock.elapsed();
        run.code = korvit.exitStatus() == QProcess::NormalExit ? korvit.exitCode() : -2;
        run.err = QString::fromLocal8Bit(korvit.readAllStandardError());
        return run;
    }

    QString dir_;
    std::unique_ptr<QProcess> sim_;
};

/// Pixels of the status line's blue: "ALDL: Connected" and "Log Playing" are white on blue.
int BluePixels(const QString& path) {
    const QImage image(path);
    int blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) blue += image.pixel(x, y) == qRgb(0, 0, 255);
    }
    return blue;
}

TEST_F(CommandLine, ScanConnectsAndDecodesAtOnce) {
    const QString port = StartSimulator();
    ASSERT_FALSE(port.isEmpty());
    const QString shot = dir_ + "scan.png";
    const KorvitRun run =
        Korvit({kDemo, "--port", port, "--scan", "--screenshot", shot, "--after", "2500"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Loaded " + kDemo)) << run.err.toStdString();
    // The first decoded reply turns the status line to "ALDL: Connected".
    EXPECT_GT(BluePixels(shot), 500);
}

TEST_F(CommandLine, PlayOpensAndPlaysARecordedLog) {
    const QString port = StartSimulator();
    ASSERT_FALSE(port.isEmpty());
    const QString log = dir_ + "drive.xdl";
    // Record until the scan has decoded twenty replies (about two seconds of the unit), however
    // long the connection takes on a busy machine, then stop it as Ctrl+C would.
    QProcess cli;
    cli.start(KORVIT_CLI_PATH, {"scan", kDemo, "--port", port, "--json", "--record", log});
    ASSERT_TRUE(cli.waitForStarted(30000));
    QByteArray lines;
    const bool enough = WaitUntil(
        [&] {
            lines += cli.readAllStandardOutput();
            return lines.count('\n') >= 20 || cli.state() == QProcess::NotRunning;
        },
        60000);
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(30000));
    ASSERT_TRUE(enough);
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    ASSERT_TRUE(QFileInfo::exists(log));

    const QString shot = dir_ + "play.png";
    const KorvitRun run =
        Korvit({kDemo, log, "--play", "--speed", "5", "--screenshot", shot, "--after", "1200"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Playing " + log)) << run.err.toStdString();
    // At 5 % the two seconds of the log take forty to play: the picture shows "Log Playing".
    EXPECT_GT(BluePixels(shot), 500);
}

TEST_F(CommandLine, ScreenshotWaitsTheGivenTime) {
    const QString shot = dir_ + "late.png";
    const KorvitRun run = Korvit({"--screenshot", shot, "--after", "1500"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_GE(run.ms, 1500);
    EXPECT_FALSE(QImage(shot).isNull());
}

TEST_F(CommandLine, FilesThatCannotBeOpenedLeaveTheirMessageAndAPicture) {
    const QString shot = dir_ + "bad.png";
    KorvitRun run =
        Korvit({kDemo, dir_ + "missing.xdl", "--play", "--screenshot", shot, "--after", "300"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Could not open " + dir_ + "missing.xdl, error 0xC"))
        << run.err.toStdString();
    EXPECT_FALSE(QImage(shot).isNull());

    run = Korvit({dir_ + "missing.adx", "--scan", "--screenshot", shot, "--after", "300"});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("FAILED to Load " + dir_ + "missing.adx"))
        << run.err.toStdString();

    // Arguments that are not files of ours are a usage error, before any window.
    EXPECT_EQ(Korvit({dir_ + "notes.txt"}).code, 2);
    EXPECT_EQ(Korvit({kDemo, "--speed", "fast"}).code, 2);
}

TEST(Startup, SortsFilesByExtensionAndReadsTheSpeed) {
    StartupRequest request;
    QString problem;
    ASSERT_TRUE(ParseStartupFiles({"drive.XDL", "car.adx"}, request, problem));
    EXPECT_EQ(request.definition, "car.adx");
    EXPECT_EQ(request.datalog, "drive.XDL");
    EXPECT_FALSE(ParseStartupFiles({"a.adx", "b.adx"}, request, problem));
    float speed = 0;
    ASSERT_TRUE(ParseSpeedPercent("250", speed, problem));
    EXPECT_FLOAT_EQ(speed, 2.5f);
    ASSERT_TRUE(ParseSpeedPercent("0", speed, problem));
    EXPECT_EQ(speed, 0.0f);
    EXPECT_FALSE(ParseSpeedPercent("-5", speed, problem));
}

TEST(Startup, ABadLogLeavesAUsableWindow) {
    char pattern[] = "/tmp/korvit-startup-XXXXXX";
    const std::string dir = std::string(mkdtemp(pattern)) + "/";
    Application app;
    app.settings_path = dir + "Settings.dat";
    korvit::app::TextBufferSink lines;
    app.log.AddSink(&lines);
    {
        MainWindow window(app);
        StartupRequest request;
        request.definition = kDemo;
        request.datalog = QString::fromStdString(dir + "missing.xdl");
        request.unattended = true;
        CarryOut(app, window, request);
        EXPECT_NE(lines.Text().find("Could not open " + dir + "missing.xdl, error 0xC"),
                  std::string::npos)
            << lines.Text();
        EXPECT_TRUE(window.isEnabled());
        EXPECT_EQ(app.settings.lastxdlpath, dir + "missing.xdl");
        EXPECT_EQ(app.datalog.state(), korvit::datalog::DataLogState::Closed);
        // Unattended, a message box closes at once and leaves its text on the Output page.
        DismissModalBoxes(app, &window);
        QMessageBox::information(&window, "Improper hardware", "No timer");
        EXPECT_NE(lines.Text().find("Improper hardware: No timer"), std::string::npos);
        // And a command that would ask for a file is answered "cancelled" at once.
        EXPECT_TRUE(window.choose_file("Select datalog...", "", "xdl", false).empty());
        // The window still scans when asked: a new scan clears the Output page first.
        const std::string before = lines.Text();
        window.ToggleScan();
        EXPECT_TRUE(WaitUntil([&] { return lines.Text() != before; }, 5000));
        if (app.engine.running()) window.ToggleScan();
        EXPECT_TRUE(WaitUntil([&] { return !app.engine.running(); }, 5000));
    }
    app.log.RemoveSink(&lines);
    std::filesystem::remove_all(dir);
}

}  // namespace
