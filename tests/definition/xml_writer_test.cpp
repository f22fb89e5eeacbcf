#include "definition/xml/xml_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "adx_test_support.h"

using namespace korvit::definition::xml;
using korvit::definition::testing::ReadAll;
using korvit::definition::testing::TempFile;

namespace {

class XMLWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(w.OpenFile(file.path()), 1); }
    std::string Finish() {
        EXPECT_EQ(w.Close(), 1);
        return ReadAll(file.path());
    }

    TempFile file{"korvit-xmlwriter"};
    XMLWriter w;
};

TEST_F(XMLWriterTest, NestingEmptyTagsNumbersAndCommentsHaveTheirExactLayout) {
    w.BeginElement("R");
    w.Attribute("f", 0.5f);
    w.AttributeFormat("h", "0x%.8X", 0xABCu);
    w.Attribute("s", std::string_view("a b"));
    w.Comment("note");
    w.Element("i", -42);
    w.Element("g", 3.25f);
    w.BeginElement("deep");
    w.Attribute("x", 1);
    w.Element("leaf", "v");
    w.EndElement();
    w.EndElement();
    w.BeginElement("C");
    w.EndElement();
    EXPECT_EQ(Finish(),
              "<R f=\"0.500000\" h=\"0x00000ABC\" s=\"a b\">\r\n"
              "    <!-- note -->\r\n"
              "    <i>-42</i>\r\n"
              "    <g>3.250000</g>\r\n"
              "    <deep x=\"1\">\r\n"
              "        <leaf>v</leaf>\r\n"
              "    </deep>\r\n"
              "</R>\r\n"
              "<C />\r\n");
}

TEST_F(XMLWriterTest, TextIsWrittenUnchangedAndClosesTheStartTagOnTheSameLine) {
    w.BeginElement("T");
    EXPECT_EQ(w.Text("a<&b"), 1);
    EXPECT_EQ(w.Text(static_cast<const char*>(nullptr)), 1);
    EXPECT_EQ(w.EndElement(), 1);
    w.Text("\n");
    w.BeginElement("U");
    w.EndElement();
    EXPECT_EQ(Finish(), "<T>a<&b</T>\r\n\n<U />\r\n");
}

TEST_F(XMLWriterTest, AttributesAfterTheStartTagClosedAndUnmatchedEndsAreRefused) {
    w.BeginElement("E");
    w.Text("x");
    EXPECT_EQ(w.Attribute("late", "1"), 0);
    EXPECT_EQ(w.EndElement(), 1);
    EXPECT_EQ(w.EndElement(), 0);
    EXPECT_EQ(w.Attribute("none", "1"), 0);
    EXPECT_EQ(Finish(), "<E>x</E>\r\n");
}

TEST_F(XMLWriterTest, IndentIsZeroToEightAndOutsideThatBecomesEight) {
    w.SetIndent(-1);
    w.BeginElement("a");
    w.Element("b", "");
    w.SetIndent(9);
    w.Element("c", "");
    w.SetIndent(0);
    w.Element("d", "");
    w.SetIndent(2);
    w.Element("e", "");
    w.EndElement();
    EXPECT_EQ(Finish(),
              "<a>\r\n        <b></b>\r\n        <c></c>\r\n<d></d>\r\n  <e></e>\r\n</a>\r\n");
}

TEST_F(XMLWriterTest, FloatsTooLongForFixedNotationReadBackInExponentForm) {
    w.BeginElement("v");
    w.Attribute("small", 123456789012.0f);  // 19 characters: still fixed
    w.Attribute("big", 1e20f);
    w.EndElement();
    w.Element("e", 1e30f);
    const std::string out = Finish();
    EXPECT_NE(out.find("small=\"123456790528.000000\""), std::string::npos) << out;
    EXPECT_NE(out.find("big=\"1.00000002e+20\""), std::string::npos) << out;
    EXPECT_NE(out.find("<e>1.00000002e+30</e>"), std::string::npos) << out;
}

TEST_F(XMLWriterTest, OutputReachesTheFileInWholeBuffers) {
    const std::string chunk(1000, 'x');
    w.BeginElement("big");
    for (int i = 0; i < 20; ++i) w.Text(chunk);
    EXPECT_EQ(std::filesystem::file_size(file.path()), XMLWriter::kBufferSize);
    w.EndElement();
    const std::string out = Finish();
    EXPECT_EQ(out.size(), 5 + 20000 + 8u);
    EXPECT_EQ(out.substr(out.size() - 8), "</big>\r\n");
}

TEST_F(XMLWriterTest, ANameThatWouldOverflowTheElementStackIsRefusedWhole) {
    const std::string name(100, 'n');
    EXPECT_EQ(w.BeginElement(name), 1);
    EXPECT_EQ(w.BeginElement(name), 1);
    EXPECT_EQ(w.BeginElement(std::string(55, 'm')), 0);  // 255 in total
    EXPECT_EQ(w.BeginElement(std::string(54, 'k')), 1);  // 254 fits
    w.EndElement();
    w.EndElement();
    w.EndElement();
    EXPECT_EQ(w.EndElement(), 0);
    const std::string out = Finish();
    EXPECT_EQ(out.find('m'), std::string::npos);
    EXPECT_NE(out.find("</" + name + ">\r\n</" + name + ">\r\n"), std::string::npos);
}

TEST(XMLWriter, OpeningAFileThatCannotBeCreatedFails) {
    XMLWriter w;
    EXPECT_EQ(w.OpenFile("/nonexistent-dir/x.adx"), 0);
    EXPECT_EQ(w.BeginElement("a"), 0);
    EXPECT_EQ(w.Close(), 0);
}

TEST(XMLEscape, ReplacesTheFiveMarkupCharactersWithinBothLimits) {
    char out[64];
    EXPECT_EQ(XMLEscape("a\"b&c'd<e>f", 100, out, 63), 32u);
    EXPECT_STREQ(out, "a&quot;b&amp;c&apos;d&lt;e&gt;f");
    // It stops at either limit and never splits an entity.
    EXPECT_EQ(XMLEscape("abcdef", 3, out, 15), 4u);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(XMLEscape("abcdef", 10, out, 4), 5u);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(XMLEscape("ab&cd", 10, out, 4), 3u);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(XMLEscape("ab&cd", 10, out, 7), 8u);
    EXPECT_STREQ(out, "ab&amp;");
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(XMLEscape(nullptr, 10, out, 15), 1u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(XMLEscape("abc", 0, out, 15), 1u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(XMLEscape("abc", 5, out, 0), 1u);
    EXPECT_STREQ(out, "");
}

}  // namespace
