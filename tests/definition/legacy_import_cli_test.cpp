#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "adx_test_support.h"
#include "definition/definition.h"
#include "definition/legacy/ads_import.h"

using namespace korvit::definition;
using namespace korvit::definition::testing;

namespace {

const std::string kSample = std::string(KORVIT_SOURCE_DIR) + "/tests/definition/legacy/sample.ads";

std::string Saved(const ADXDefinition& def, const std::string& path) {
    EXPECT_EQ(def.Save(path), 1);
    return WithoutWrittenStamp(ReadAll(path));
}

}  // namespace

TEST(LegacyImportCli, ImportedDefinitionSavesAndLoadsBackUnchanged) {
    ADXDefinition imported;
    std::string error;
    ASSERT_EQ(legacy::ImportADS(kSample, imported, error), 1) << error;
    // The sample repeats unique id 1, so its second value is renumbered to 2.
    ASSERT_NE(As<ADXValue>(imported.FindByID("2")), nullptr);
    EXPECT_EQ(As<ADXValue>(imported.FindByID("2"))->lookup, imported.FindByID("40"));

    TempFile out("korvit-import");
    const CliRun run = RunCli("import " + kSample + " " + out.path());
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string written = WithoutWrittenStamp(ReadAll(out.path()));
    ADXDefinition loaded;
    ASSERT_EQ(loaded.Load(out.path(), error), 1) << error;

    // Everything the import produced survives the file: loaded and saved again, it writes the
    // same document as the definition imported in memory.
    const std::string expected = Saved(imported, out.path());
    EXPECT_EQ(written, expected);
    EXPECT_EQ(Saved(loaded, out.path()), expected);
    EXPECT_NE(expected.find("<MATH equation=\"X * 25.000000 + 0.000000\">"), std::string::npos);
    ASSERT_NE(loaded.monitor_command, nullptr);
    EXPECT_EQ(loaded.monitor_command->id(), "COMMAND0");
}

TEST(LegacyImportCli, FailuresPrintOneLineAndExitNonZero) {
    const auto dir = std::filesystem::temp_directory_path();
    CliRun run = RunCli("import " + (dir / "korvit_no_such.ads").string() + " " +
                        (dir / "korvit_never.adx").string());
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("Error opening file"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "korvit_never.adx"));

    run = RunCli("import " + kSample + " " + (dir / "no_such_dir" / "out.adx").string());
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("cannot write the definition"), std::string::npos) << run.out;
}
