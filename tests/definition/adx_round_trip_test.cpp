#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "adx_test_support.h"
#include "definition/adx_parser.h"
#include "definition/definition.h"
#include "definition/xml/sax_reader.h"

using namespace korvit::definition;
using namespace korvit::definition::testing;

namespace {

const std::string kDemo = std::string(KORVIT_SOURCE_DIR) + "/samples/demo.adx";

// "MM/DD/YYYY hh:mm:ss"
bool IsDateStamp(const std::string& stamp) {
    const std::string shape = "00/00/0000 00:00:00";
    if (stamp.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(stamp[i])) != 0;
        if (shape[i] == '0' ? !digit : stamp[i] != shape[i]) return false;
    }
    return true;
}

std::string RefID(const ADXObject* object) {
    return object != nullptr ? std::string(object->id()) : std::string("(none)");
}

TEST(ADXRoundTrip, DemoDefinitionLoadsWithEveryReferenceResolved) {
    ADXDefinition def;
    std::string error;
    ASSERT_EQ(def.Load(kDemo, error), 1) << error;
    EXPECT_EQ(RefID(def.connect_command), "silence");
    EXPECT_EQ(RefID(def.monitor_command), "monitor");
    const auto* send = As<ADXCSendCommand>(def.NthOfType(ADXTYPE_SENDCOMMAND, 0));
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(send->bytes(), (std::vector<uint8_t>{0xF4, 0x57, 0x01, 0x00, 0xB4}));
    uint8_t sum = 0;
    for (uint8_t byte : send->bytes()) sum = static_cast<uint8_t>(sum + byte);
    EXPECT_EQ(sum, 0) << "the request's checksum byte";
    for (uint32_t n = 0; auto* v = As<ADXValue>(def.NthOfType(ADXTYPE_VALUE, n)); ++n) {
        const bool derived = !v->vars().empty() && v->vars()[0].type == ADXValueVar::kLink;
        if (!derived) {
            EXPECT_EQ(v->parentcmdidhash, send->idhash()) << v->id();
            EXPECT_LT(v->packetoffset + v->sizeinbits / 8, send->packetsize + 1) << v->id();
        }
        for (const auto& var : v->vars()) {
            if (var.type == ADXValueVar::kLink) {
                EXPECT_NE(def.FindByHash(var.linkIDHash), nullptr);
            }
        }
    }
    EXPECT_NE(def.NthOfType(ADXTYPE_VALUE, 39), nullptr);
    EXPECT_NE(def.NthOfType(ADXTYPE_BITMASK, 11), nullptr);
}

TEST(ADXRoundTrip, SaveThenLoadThenSaveWritesTheSameBytes) {
    ADXDefinition first;
    std::string error;
    ASSERT_EQ(first.Load(kDemo, error), 1) << error;
    TempFile one("korvit-roundtrip-1");
    TempFile two("korvit-roundtrip-2");
    ASSERT_EQ(first.Save(one.path()), 1);

    // Saving what was loaded back writes the same bytes: every field the file carries, and
    // every reference (written by id hash), survived the load.
    ADXDefinition second;
    ASSERT_EQ(second.Load(one.path(), error), 1) << error;
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(RefID(first.monitor_command), RefID(second.monitor_command));
    ASSERT_EQ(second.Save(two.path()), 1);
    const std::string bytes = ReadAll(two.path());
    EXPECT_EQ(WithoutWrittenStamp(ReadAll(one.path())), WithoutWrittenStamp(bytes));
    // The bundled sample is itself in the written layout.
    EXPECT_EQ(WithoutWrittenStamp(ReadAll(kDemo)), WithoutWrittenStamp(bytes));
}

TEST(ADXRoundTrip, SavedLayoutHasTheFormatElementTheCommentAndAnEmptyLineBeforeEachObject) {
    ADXDefinition def;
    auto value = std::make_unique<ADXValue>();
    value->SetID("v");
    value->SetEquation("X<3&X");
    value->SetDesc("a \"quoted\" desc", 15);
    def.Insert(std::move(value));
    auto macro = std::make_unique<ADXMacro>();
    macro->SetID("m");
    macro->repeatcount = 4;
    macro->flags = 2;
    macro->SetDesc("steps", 5);
    ADXMacroNode orphan;
    orphan.SetCommandID("gone");
    macro->AppendNode(orphan);
    def.Insert(std::move(macro));
    def.SetAuthor("A&B", 3);

    TempFile file("korvit-layout");
    ASSERT_EQ(def.Save(file.path()), 1);
    const std::string text = ReadAll(file.path());
    EXPECT_TRUE(IsDateStamp(WrittenStamp(text))) << text;
    EXPECT_EQ(WithoutWrittenStamp(text).substr(0, 216),
              "<ADXFORMAT version=\"0.50\" />\r\n"
              "<!-- Written  -->\r\n"
              "<ADXHEADER>\r\n    <flags>0x00</flags>\r\n"
              "    <objectcount>2</objectcount>\r\n    <author>A&amp;B</author>\r\n"
              "    <baud>8192</baud>\r\n</ADXHEADER>\r\n\n<ADXVALUE id=\"v\" idhash=\"0x");
    EXPECT_NE(text.find("equation=\"X&lt;3&amp;X\""), std::string::npos);
    EXPECT_NE(text.find("\r\n\n<ADXMACRO id=\"m\" idhash=\""), std::string::npos);
    EXPECT_EQ(text.find("NODE"), std::string::npos) << "an unresolved step is not written";

    ADXDefinition back;
    std::string error;
    ASSERT_EQ(back.Load(file.path(), error), 1) << error;
    const auto* v = As<ADXValue>(back.FindByID("v"));
    EXPECT_EQ(v->expression().text(), "X<3&X");
    EXPECT_EQ(v->desc().view(), "a \"quoted\" desc");
    const auto* m = As<ADXMacro>(back.FindByID("m"));
    EXPECT_EQ(m->repeatcount, 4u);
    EXPECT_EQ(m->flags, 2u);
    EXPECT_EQ(m->desc().view(), "steps");
    EXPECT_EQ(back.author().view(), "A&B");
}

TEST(ADXRoundTrip, ByteStringsAreWrittenInWholeBytesUpToTheirRoom) {
    ADXDefinition def;
    std::vector<uint8_t> bytes(600);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    auto send = std::make_unique<ADXCSendCommand>();
    send->SetID("s");
    send->SetBytes(bytes.data(), bytes.size());
    auto chatter = std::make_unique<ADXCListenChatter>();
    chatter->SetID("c");
    chatter->SetBytes(bytes.data(), 60);
    def.Insert(std::move(send));
    def.Insert(std::move(chatter));
    TempFile file("korvit-bytes");
    ASSERT_EQ(def.Save(file.path()), 1);
    const std::string text = ReadAll(file.path());
    EXPECT_NE(text.find("<bytestring size=\"0x3C\">0x00 0x01 "), std::string::npos);
    EXPECT_NE(text.find(" 0x31 0x32</bytestring>"), std::string::npos) << "51 bytes, no space";

    ADXDefinition back;
    std::string error;
    ASSERT_EQ(back.Load(file.path(), error), 1) << error;
    const auto* s = As<ADXCSendCommand>(back.FindByID("s"));
    ASSERT_EQ(s->bytes().size(), 409u);
    EXPECT_EQ(s->bytes()[408], static_cast<uint8_t>(408));
    EXPECT_EQ(As<ADXCListenChatter>(back.FindByID("c"))->bytes().size(), 51u);
}

// What a load gives, in a form two loads can be compared by: the messages and the saved text.
std::string LoadedForm(const std::string& path, size_t block_size) {
    ADXDefinition def;
    ADXParser parser(def);
    xml::SAXReader reader;
    reader.SetBlockSize(block_size);
    reader.Attach(&parser);
    reader.ParseFile(path);
    TempFile saved("korvit-blocks-saved");
    def.Save(saved.path());
    return parser.error() + "|" + parser.warning() + "|" +
           WithoutWrittenStamp(ReadAll(saved.path()));
}

std::vector<std::string> TestDefinitions() {
    std::vector<std::string> paths = {kDemo,
                                      std::string(KORVIT_SOURCE_DIR) + "/samples/scan-8192.adx"};
    for (const auto& entry : std::filesystem::directory_iterator(std::string(KORVIT_SOURCE_DIR) +
                                                                 "/fuzz/corpus/adx_load")) {
        paths.push_back(entry.path().string());
    }
    return paths;
}

// The UTF-16 form (little-endian, with its mark) of an 8-bit document.
std::string Widened(const std::string& bytes) {
    std::string out = "\xFF\xFE";
    for (char c : bytes) {
        out += c;
        out += '\0';
    }
    return out;
}

TEST(ADXRoundTrip, EveryDefinitionLoadsTheSameWhereverItsBlocksAreCut) {
    // Blocks of 1, 2 and 3 bytes put every character of the file first in a block, and the
    // whole-buffer read never cuts at all: the loaded definitions must not differ.
    TempFile copy("korvit-blocks");
    for (const std::string& path : TestDefinitions()) {
        const std::string bytes = ReadAll(path);
        ADXDefinition whole;
        std::string error;
        whole.LoadBuffer(bytes.data(), bytes.size(), error);
        TempFile saved("korvit-blocks-whole");
        whole.Save(saved.path());
        const std::string expected =
            error + "|" + whole.load_warning + "|" + WithoutWrittenStamp(ReadAll(saved.path()));
        for (const std::string& form : {bytes, Widened(bytes)}) {
            WriteAll(copy.path(), form);
            for (size_t block : {1, 2, 3, 7, 2048}) {
                const std::string loaded = LoadedForm(copy.path(), block);
                if (loaded == expected) continue;
                // Only where the two part: whole definitions are too long to read in a report.
                const size_t at = static_cast<size_t>(
                    std::mismatch(loaded.begin(), loaded.end(), expected.begin(), expected.end())
                        .first -
                    loaded.begin());
                const size_t from = at > 60 ? at - 60 : 0;
                ADD_FAILURE() << path << " in blocks of " << block
                              << (form == bytes ? "" : " (UTF-16)") << " differs at " << at
                              << ":\n  loaded: " << loaded.substr(from, 120)
                              << "\n  whole:  " << expected.substr(from, 120);
            }
        }
    }
}

TEST(ADXRoundTrip, SaveToAnUncreatableFileFailsAndResetsProgress) {
    struct Progress : IProgress {
        void SetRange(uint32_t) override { ++ranges; }
        void Step() override {}
        void SetPosition(uint32_t p) override { last = static_cast<int>(p); }
        int ranges = 0;
        int last = -1;
    } progress;
    ADXDefinition def;
    EXPECT_EQ(def.Save("/nonexistent-dir/out.adx", &progress), 0);
    EXPECT_EQ(def.Save("", &progress), 0);
    EXPECT_EQ(progress.ranges, 0);
    EXPECT_EQ(progress.last, 0);
}

}  // namespace
