#include <gtest/gtest.h>

#include "adx_test_support.h"
#include "definition/adx_definition.h"

using namespace korvit::definition;
using namespace korvit::definition::testing;

namespace {

const std::string kDocument = std::string(kFormat) +
                              "<ADXHEADER>\n"
                              "    <baud>8192</baud>\n"
                              "</ADXHEADER>\n"
                              "<ADXVALUE id=\"rpm\" title=\"Engine speed\">\n"
                              "    <units>rpm</units>\n"
                              "</ADXVALUE>\n"
                              "<ADXVALUE id=\"tps\" title=\"Throttle\">\n"
                              "    <units>percent</units>\n"
                              "</ADXVALUE>\n";

TEST(LoadWarning, ADefinitionCutInsideAnElementLoadsWithAWarningNamingIt) {
    ADXDefinition def;
    ASSERT_EQ(LoadText(def, kDocument), 1);
    EXPECT_EQ(def.load_warning, "");
    EXPECT_EQ(def.objects().size(), 2u);

    // Cut in the middle of the second value's units text (line 9).
    const std::string cut = kDocument.substr(0, kDocument.find("cent</units>"));
    std::string error;
    ASSERT_EQ(LoadText(def, cut, &error), 1);
    EXPECT_EQ(error, "");
    EXPECT_EQ(def.objects().size(), 1u);  // as before: the unfinished object is not added
    EXPECT_EQ(def.load_warning,
              "The definition ends inside the element <units> begun on line 9: it may be "
              "incomplete");

    // A new load starts without the old warning.
    ASSERT_EQ(LoadText(def, kDocument), 1);
    EXPECT_EQ(def.load_warning, "");
}

TEST(LoadWarning, SyntaxErrorsKeepTheirMessageAndGainLineAndColumn) {
    ADXDefinition def;
    std::string error;
    std::string broken = kDocument;
    broken.replace(broken.find("<baud>"), 6, "<baud 8192");
    ASSERT_EQ(LoadText(def, broken, &error), 0);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find("line"), std::string::npos);  // the message itself is unchanged
    EXPECT_EQ(def.load_error_location.rfind("line 3, column ", 0), 0u) << def.load_error_location;

    // A refused version is no syntax error: no location.
    ASSERT_EQ(LoadText(def, "<ADXFORMAT version=\"0.1\" />", &error), 0);
    EXPECT_EQ(error, "File version is out of date.");
    EXPECT_EQ(def.load_error_location, "");
}

}  // namespace
