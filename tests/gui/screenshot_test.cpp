#include <gtest/gtest.h>
#include <stdlib.h>

#include <QImage>
#include <QProcess>
#include <QSet>
#include <filesystem>

namespace {

// Runs the korvit program with the arguments in a scratch folder; its exit code.
int RunKorvit(const QStringList& arguments, const QString& home) {
    QProcess korvit;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home);
    korvit.setProcessEnvironment(env);
    korvit.start(KORVIT_APP_PATH, arguments);
    if (!korvit.waitForFinished(30000)) {
        korvit.kill();
        return -1;
    }
    return korvit.exitStatus() == QProcess::NormalExit ? korvit.exitCode() : -2;
}

int DistinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
    }
    return static_cast<int>(colours.size());
}

class Screenshot : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvit-shot-XXXXXX";
        dir_ = QString(mkdtemp(pattern)) + "/";
    }
    void TearDown() override { std::filesystem::remove_all(dir_.toStdString()); }
    QString dir_;
};

}  // namespace

TEST_F(Screenshot, RendersTheWindowOnAChosenPage) {
    const QString path = dir_ + "window.png";
    ASSERT_EQ(RunKorvit({"--screenshot", path, "--tab", "Dash", "--after", "200"}, dir_), 0);
    QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_GE(image.width(), 300);
    EXPECT_GT(DistinctColours(image), 8);

    EXPECT_NE(RunKorvit({"--screenshot", path, "--tab", "No Such Page"}, dir_), 0);
}

TEST_F(Screenshot, DemoShowsLiveData) {
    const std::filesystem::path demo =
        std::filesystem::path(KORVIT_SOURCE_DIR) / "samples/demo.adx";
    if (!std::filesystem::exists(demo)) GTEST_SKIP() << "samples/demo.adx is not in this tree";
    const QString path = dir_ + "demo.png";
    ASSERT_EQ(RunKorvit({"--demo", "--screenshot", path, "--after", "2500"}, dir_), 0);
    QImage image(path);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(DistinctColours(image), 8);
    // The demo decodes its replies, so the status line reads "ALDL: Connected" (white on blue);
    // neither "ALDL: Connecting..." (salmon) nor "ALDL: Not Connected" (yellow) is left.
    int connected = 0, connecting = 0, idle = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            connected += p == qRgb(0, 0, 255);
            connecting += p == qRgb(255, 170, 130);
            idle += p == qRgb(255, 255, 0);
        }
    }
    EXPECT_GT(connected, 500);
    EXPECT_EQ(connecting, 0);
    EXPECT_EQ(idle, 0);
}
