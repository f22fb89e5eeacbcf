#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/app_settings.h"

using korvit::app::AppSettings;
namespace app = korvit::app;

namespace {

std::string TempDir() {
    char pattern[] = "/tmp/korvit-settings-XXXXXX";
    return std::string(mkdtemp(pattern)) + "/";
}

}  // namespace

TEST(AppSettings, DefaultPlacementUsesTheScreenWidthForBothSizes) {
    AppSettings s = AppSettings::Defaults(1024, 768);
    EXPECT_EQ(s.winsizex, 768);
    EXPECT_EQ(s.winsizey, 563);
    EXPECT_EQ(s.winposx, 128);
    EXPECT_EQ(s.winposy, 103);
    EXPECT_EQ(s.loadlastdef, 1);
    EXPECT_EQ(s.comport, "/dev/ttyUSB0");
    EXPECT_TRUE(s.lastadxpath.empty());

    AppSettings wide = AppSettings::Defaults(1920, 1080);
    EXPECT_EQ(wide.winsizex, 1440);
    EXPECT_EQ(wide.winsizey, 1056);
    EXPECT_EQ(wide.winposx, 240);
    EXPECT_EQ(wide.winposy, 12);
}

TEST(AppSettings, WrittenFileHasEightLinesInFixedOrderWithCrLf) {
    AppSettings s = AppSettings::Defaults(1024, 768);
    s.lastadxpath = "/defs/engine.adx";
    s.comport = "/dev/ttyS1";
    EXPECT_EQ(app::FormatSettings(s),
              "lastadxpath=/defs/engine.adx\r\ncomport=/dev/ttyS1\r\nloadlastdef=1\r\n"
              "lastxdlpath=\r\nwinposx=128\r\nwinposy=103\r\nwinsizex=768\r\nwinsizey=563\r\n");
}

TEST(AppSettings, ReadingAppliesKnownKeysAndSkipsBadLines) {
    AppSettings s = AppSettings::Defaults(1024, 768);
    app::ParseSettings(s,
                       "comport=/dev/ttyACM0\r\n"
                       "lastxdlpath=\r\n"       // no value: stays empty
                       "LASTADXPATH=/upper\n"   // wrong case: ignored
                       "lastadxpath =/blank\n"  // blank before "=": ignored
                       "no equals sign here\n"
                       "==winposx=-40\n"         // leading "=" skipped before the key
                       "winposy=  +17px\n"       // atoi: blanks, sign, digits up to "p"
                       "winsizex=abc\n"          // no digits: 0
                       "winsizey=99999999999\n"  // clamps instead of overflowing
                       "loadlastdef=0\n"
                       "loadlastdef=2\n"  // the last one wins
                       "lastadxpath=/a=b.adx");
    EXPECT_EQ(s.comport, "/dev/ttyACM0");
    EXPECT_EQ(s.lastxdlpath, "");
    EXPECT_EQ(s.lastadxpath, "/a=b.adx");
    EXPECT_EQ(s.winposx, -40);
    EXPECT_EQ(s.winposy, 17);
    EXPECT_EQ(s.winsizex, 0);
    EXPECT_EQ(s.winsizey, INT32_MAX);
    EXPECT_EQ(s.loadlastdef, 2);
}

TEST(AppSettings, OverlongValuesAreCutAndOverlongLinesSplit) {
    AppSettings s;
    const std::string long_path(600, 'p');
    app::ParseSettings(
        s, "lastxdlpath=" + std::string(300, 'x') + "\ncomport=" + long_path + "winposx=5\n");
    EXPECT_EQ(s.lastxdlpath, std::string(AppSettings::kMaxPath, 'x'));
    // The 511-character line buffer cut the comport line; the rest was read as another line.
    EXPECT_EQ(s.comport, std::string(AppSettings::kMaxPath, 'p'));
    EXPECT_EQ(s.winposx, 0);
    app::ParseSettings(s, std::string(511, 'q') + "winposx=7\n");
    EXPECT_EQ(s.winposx, 7);
}

TEST(AppSettings, FileRoundTripAndMissingFileKeepsValues) {
    const std::string dir = TempDir();
    AppSettings s = AppSettings::Defaults(800, 600);
    s.lastadxpath = "/x/y.adx";
    s.lastxdlpath = "/x/y.xdl";
    s.winposx = -3000;  // off screen stays as it is
    const std::string path = dir + "sub/Settings.dat";
    ASSERT_EQ(app::WriteSettings(s, path), 1);

    AppSettings back;
    ASSERT_EQ(app::ReadSettings(back, path), 1);
    EXPECT_EQ(app::FormatSettings(back), app::FormatSettings(s));

    AppSettings untouched;
    untouched.winposx = 42;
    EXPECT_EQ(app::ReadSettings(untouched, dir + "missing.dat"), 0);
    EXPECT_EQ(untouched.winposx, 42);
    EXPECT_EQ(app::ReadSettings(untouched, ""), 0);
    EXPECT_EQ(app::WriteSettings(s, "/proc/no/such/Settings.dat"), 0);
    std::filesystem::remove_all(dir);
}

TEST(AppSettings, FilesGoBesideTheProgramOrToTheUserFolder) {
    const std::string dir = TempDir();
    EXPECT_EQ(app::SettingsFilePath(dir), dir + "Settings.dat");

    setenv("XDG_CONFIG_HOME", (dir + "cfg").c_str(), 1);
    EXPECT_EQ(app::SettingsFilePath("/no/such/dir/"), dir + "cfg/korvit/Settings.dat");
    unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (home && *home) {
        EXPECT_EQ(app::SettingsFilePath("/no/such/dir/"),
                  std::string(home) + "/.config/korvit/Settings.dat");
    }
    std::filesystem::remove_all(dir);
}
