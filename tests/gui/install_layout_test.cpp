// What an installed Korvit relies on: the editor library in the package's layout, and --version.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <string>

#include "shell/editor_library.h"

namespace korvit::shell {
namespace {

TEST(EditorLibrary, IsFoundInLibKorvitBesideTheProgramsFolder) {
    // The package's layout: the program in PREFIX/bin, the editor in PREFIX/lib/korvit.
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QDir root(prefix.path());
    ASSERT_TRUE(root.mkpath("bin"));
    ASSERT_TRUE(root.mkpath("lib/korvit"));
    const QString bin = root.filePath("bin");

    EditorLibrary before;
    EXPECT_FALSE(before.Load(bin)) << "nothing installed yet";

    ASSERT_TRUE(QFile::copy(QDir(KORVIT_EDITOR_DIR).filePath("libDefcrafter.so"),
                            root.filePath("lib/korvit/libDefcrafter.so")));
    EditorLibrary installed;
    ASSERT_TRUE(installed.Load(bin)) << installed.failure().toStdString();
}

std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        if (::pclose(pipe) != 0) out += "(failed)";
    }
    return out;
}

TEST(Version, EveryProgramPrintsTheProjectVersionWithoutADisplay) {
    // No platform plugin may be needed: packaging checks and SSH sessions have no display.
    const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
    EXPECT_EQ(Output(env + KORVIT_APP_PATH " --version"), "korvit " KORVIT_VERSION "\n");
    EXPECT_EQ(Output(KORVIT_CLI_PATH " --version"), "korvit-cli " KORVIT_VERSION "\n");
    EXPECT_EQ(Output(KORVIT_ECUSIM_PATH " --version"), "korvit-ecusim " KORVIT_VERSION "\n");
}

}  // namespace
}  // namespace korvit::shell
