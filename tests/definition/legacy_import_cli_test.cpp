#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "definition/definition.h"
#include "definition/legacy/ads_import.h"

using namespace korvit::definition;

namespace {

const std::string kSample = std::string(KORVIT_SOURCE_DIR) + "/tests/definition/legacy/sample.ads";

std::string RefID(const ADXObject* object) {
    return object != nullptr ? std::string(object->id()) : "(none)";
}

/// Runs the CLI and returns its exit status, with its standard error in `err`.
int RunCli(const std::string& args, std::string& err) {
    const auto err_path =
        std::filesystem::temp_directory_path() / ("korvit_cli_err_" + std::to_string(::getpid()));
    const std::string command =
        std::string(KORVIT_CLI_PATH) + " " + args + " 2>" + err_path.string();
    const int status = std::system(command.c_str());
    err.clear();
    if (std::FILE* f = std::fopen(err_path.c_str(), "rb")) {
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) err.append(buf, n);
        std::fclose(f);
    }
    std::filesystem::remove(err_path);
    return status;
}

/// An ADX file without the line that stamps the time of writing.
std::string Document(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string text, line;
    while (std::getline(in, line)) {
        if (line.rfind("<!-- Written", 0) != 0) text += line + "\n";
    }
    return text;
}

std::string Saved(const ADXDefinition& def, const std::filesystem::path& path) {
    EXPECT_EQ(def.Save(path.string()), 1);
    return Document(path);
}

}  // namespace

TEST(LegacyImportCli, ImportedDefinitionSavesAndLoadsBackUnchanged) {
    ADXDefinition imported;
    std::string error;
    ASSERT_EQ(legacy::ImportADS(kSample, imported, error), 1) << error;
    // The sample repeats unique id 1, so its second value is renumbered to 2.
    ASSERT_NE(As<ADXValue>(imported.FindByID("2")), nullptr);
    EXPECT_EQ(As<ADXValue>(imported.FindByID("2"))->lookup, imported.FindByID("40"));

    const auto out = std::filesystem::temp_directory_path() /
                     ("korvit_import_" + std::to_string(::getpid()) + ".adx");
    std::string err;
    ASSERT_EQ(RunCli("import " + kSample + " " + out.string(), err), 0) << err;
    const std::string written = Document(out);
    ADXDefinition loaded;
    ASSERT_EQ(loaded.Load(out.string(), error), 1) << error;

    // Everything the import produced survives the file: loaded and saved again, it writes the
    // same document as the definition imported in memory.
    const std::string expected = Saved(imported, out);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(Saved(loaded, out), expected);
    std::filesystem::remove(out);
    EXPECT_NE(expected.find("<MATH equation=\"X * 25.000000 + 0.000000\">"), std::string::npos);
    EXPECT_EQ(RefID(loaded.monitor_command), "COMMAND0");
}

TEST(LegacyImportCli, FailuresPrintOneLineAndExitNonZero) {
    std::string err;
    const auto dir = std::filesystem::temp_directory_path();
    EXPECT_NE(RunCli("import " + (dir / "korvit_no_such.ads").string() + " " +
                         (dir / "korvit_never.adx").string(),
                     err),
              0);
    EXPECT_NE(err.find("Error opening file"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir / "korvit_never.adx"));

    EXPECT_NE(RunCli("import " + kSample + " " + (dir / "no_such_dir" / "out.adx").string(), err),
              0);
    EXPECT_NE(err.find("cannot write the definition"), std::string::npos) << err;
}
