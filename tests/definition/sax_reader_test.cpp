#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "adx_test_support.h"
#include "definition/xml/sax_reader.h"

using namespace korvit::definition::xml;
using korvit::definition::testing::WriteAll;

namespace {

// Writes every event as a short token, so that a whole parse reads as one line:
// "[ <a x='1'> T(hi) </a> ]" with T+/D+ for continued chunks, C[ D(..) ]C for CDATA, E(..) faults.
class Recorder : public ISAXCallback {
  public:
    std::string log;
    std::vector<std::pair<uint32_t, uint32_t>> positions;  // line and column at each event
    std::vector<std::string> names_seen;                   // file_name at each event
    int refuse_at = -1;                                    // index of the event to refuse
    uint32_t error_code = 0;

    int32_t StartDocument() override { return Add("["); }
    int32_t EndDocument() override { return Add("]"); }
    int32_t StartElement(const char16_t* name, uint32_t length, const SAXAttribute* attributes,
                         uint32_t count) override {
        // Built by appending: GCC 12 at -O3 warns (-Wrestrict, falsely) about "text" + string.
        std::string token = Wrap("<", Narrow(name, length), "");
        for (uint32_t i = 0; i < count; ++i) {
            token += Wrap(" ", Narrow(attributes[i].name, attributes[i].name_length), "='");
            token += Wrap("", Narrow(attributes[i].value, attributes[i].value_length), "'");
        }
        return Add(token + ">");
    }
    int32_t Characters(const char16_t* text, uint32_t length, bool continued) override {
        return Add(Wrap(continued ? "T+(" : "T(", Narrow(text, length), ")"));
    }
    int32_t EndElement(const char16_t* name, uint32_t length) override {
        return Add(Wrap("</", Narrow(name, length), ">"));
    }
    int32_t StartCDATA() override { return Add("C["); }
    int32_t CDATAText(const char16_t* text, uint32_t length, bool continued) override {
        return Add(Wrap(continued ? "D+(" : "D(", Narrow(text, length), ")"));
    }
    int32_t EndCDATA() override { return Add("]C"); }
    int32_t Error(uint32_t code, const char* message) override {
        error_code = code;
        return Add(Wrap("E(", message, ")"));
    }

    static std::string Wrap(const char* before, const std::string& middle, const char* after) {
        std::string out = before;
        out += middle;
        out += after;
        return out;
    }
    static std::string Narrow(const char16_t* text, uint32_t length) {
        std::string out;
        for (uint32_t i = 0; i < length; ++i) {
            if (text[i] >= 0x20 && text[i] < 0x7F) {
                out += static_cast<char>(text[i]);
            } else {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(text[i]));
                out += escape;
            }
        }
        return out;
    }

  private:
    int32_t Add(const std::string& token) {
        const int index = static_cast<int>(positions.size());
        positions.emplace_back(line, column);
        names_seen.push_back(file_name);
        log += (log.empty() ? "" : " ") + token;
        return index == refuse_at ? -1 : 0;
    }
};

struct Result {
    int32_t status;
    std::string log;
    std::vector<std::pair<uint32_t, uint32_t>> positions;
};

Result Parse(const std::string& bytes) {
    Recorder recorder;
    SAXReader reader;
    reader.Attach(&recorder);
    const int32_t status = reader.ParseBuffer(bytes.data(), bytes.size());
    return {status, recorder.log, recorder.positions};
}

// The UTF-16 form of a text whose characters are the code units given.
std::string Utf16(const std::u16string& text, bool big_endian, bool bom) {
    std::string out;
    auto put = [&](char16_t c) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        out += big_endian ? high : low;
        out += big_endian ? low : high;
    };
    if (bom) put(0xFEFF);
    for (char16_t c : text) put(c);
    return out;
}

std::u16string Widen(const std::string& text) {
    std::u16string out;
    for (unsigned char c : text) out += static_cast<char16_t>(c);
    return out;
}

std::string Fault(const std::string& message) {
    return "E(" + message + ")";
}

const std::string kSample =
    "<?xml version=\"1.0\"?>\r\n<!-- header -->\r\n<ADX version='1' kind=\"x &amp; y\">\r\n"
    "  <VALUE id=\"rpm\" packetoffset='3'/>\r\n  <title>Engine &lt;speed&gt;</title>\r\n"
    "  <MATH><![CDATA[a<b & ]c]]></MATH>\r\n</ADX>\r\n";
const std::string kSampleEvents =
    "[ <ADX version='1' kind='x & y'> <VALUE id='rpm' packetoffset='3'> </VALUE> <title> "
    "T(Engine <speed>) </title> <MATH> C[ D(a<b & ]c) ]C </MATH> </ADX> ]";

TEST(SAXReaderEvents, DocumentGivesEventsInOrderAndSkipsWhiteRunsCommentsAndInstructions) {
    EXPECT_EQ(Parse(kSample).log, kSampleEvents);
    EXPECT_EQ(Parse(kSample).status, kSAXOk);
    EXPECT_EQ(Parse("<a>x &amp; y</a>").log, "[ <a> T(x & y) </a> ]");
    EXPECT_EQ(Parse("<a>  \t\r\n </a>").log, "[ <a> </a> ]");
    EXPECT_EQ(Parse("<a b = \"1\"\tc='2\r\n  \"x\"'\n/>").log,
              "[ <a b='1' c='2\\u000D\\u000A  \"x\"'> </a> ]");
    // No matching of end tags, several roots and trailing text are all left to the callback.
    EXPECT_EQ(Parse("<a></b ><c/>tail").log, "[ <a> </b> <c> </c> T(tail) ]");
    EXPECT_EQ(Parse("<a>\xE9\x80</a>").log, "[ <a> T(\\u00E9\\u0080) </a> ]");
    // A character with code 0 is ordinary text.
    EXPECT_EQ(Parse(std::string("<a>\0</a>", 8)).log, "[ <a> T(\\u0000) </a> ]");
    // Comments and CDATA end only at a full "-->" or "]]>".
    EXPECT_EQ(Parse("<a><!-- x --->still comment -->y</a>").log, "[ <a> T(y) </a> ]");
    EXPECT_EQ(Parse("<a><!---->z</a>").log, "[ <a> T(z) </a> ]");
    EXPECT_EQ(Parse("<a><![CDATA[x]]]>y]]></a>").log, "[ <a> C[ D(x]]]>y) ]C </a> ]");
    EXPECT_EQ(Parse("<a><![CDATA[]]></a>").log, "[ <a> C[ D() ]C </a> ]");
}

TEST(SAXReaderEncoding, Utf16InEitherOrderWithOrWithoutMarkGivesTheEventsOfThe8BitForm) {
    for (const std::string& doc : {kSample, std::string("<a x='1'>t<b/>\r\n&lt;</a>")}) {
        const Result narrow = Parse(doc);
        for (bool big_endian : {false, true}) {
            for (bool bom : {false, true}) {
                const Result r = Parse(Utf16(Widen(doc), big_endian, bom));
                EXPECT_EQ(r.log, narrow.log) << big_endian << bom;
                EXPECT_EQ(r.positions, narrow.positions) << big_endian << bom;
                EXPECT_EQ(r.status, kSAXOk);
            }
        }
    }
    EXPECT_EQ(Parse(kSample).log, kSampleEvents);
    // Characters whose lower byte is zero, and a lone last byte that is half a character.
    const std::u16string wide = u"<a n='\u0100'>\u4E00\u0200 &#x100;</a>";
    for (bool big_endian : {false, true}) {
        EXPECT_EQ(Parse(Utf16(wide, big_endian, false) + "x").log,
                  "[ <a n='\\u0100'> T(\\u4E00\\u0200 \\u0100) </a> ]");
    }
    const std::string unrecognized =
        Fault("Unrecognized encoding (parser does not support UTF-8 language encodings)");
    for (const std::string doc : {"", " <a/>", "\xEF\xBB\xBF<a/>", "a", "\x01\x02"}) {
        const Result r = Parse(doc);
        EXPECT_EQ(r.log, "[ " + unrecognized) << doc;
        EXPECT_EQ(r.status, kSAXSyntaxError);
    }
}

TEST(SAXReaderEntities, NumericAndNamedReferencesAndTheirFaults) {
    EXPECT_EQ(Parse("<a v='&#65;&#x41;&#x10041;&#65601;&quot;&apos;'>&#;&#x;</a>").log,
              "[ <a v='AAAA\"''> T(\\u0000\\u0000) </a> ]");
    EXPECT_EQ(Parse("<a>&#32;&#x9;</a>").log, "[ <a> </a> ]");  // white space by reference
    const std::string unknown =
        Fault("Unrecognized entity name after & - (should be lt, gt, amp, apos, or quot)");
    const std::vector<std::pair<std::string, std::string>> faults = {
        {"<a>&lx;</a>", unknown},
        {"<a>&l;</a>", unknown},
        {"<a><b v='&am;'/>", unknown},
        {"<a>&ampx;</a>", unknown},
        {"<a>&amp </a>", Fault("Expected terminating ; for entity reference")},
        {"<a>&#X41;</a>", Fault("Expected decimal digit as part of &# escape sequence")},
        {"<a>&#x4G;</a>", Fault("Expected hex digit as part of &#x escape sequence")},
        {"<a>&1;</a>", Fault("Names must start with an alphabetic character or _ or :")},
        {"<a>&am", Fault("Unexpected EOF while parsing XML file")},
    };
    for (const auto& [doc, fault] : faults) {
        const Result r = Parse(doc);
        EXPECT_EQ(r.log, "[ <a> " + fault) << doc;
        EXPECT_EQ(r.status, kSAXSyntaxError);
    }
}

TEST(SAXReaderMarkup, LexicalFaultsStopWithOneErrorAndNoEndDocument) {
    std::string many = "<a";
    for (int i = 0; i < 32; ++i) many += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
    EXPECT_EQ(Parse(many + "/>").status, kSAXOk);
    const std::vector<std::pair<std::string, std::string>> faults = {
        {many + " b='x'/>", "Elements may not have more than 32 attributes"},
        {"<!DOCTYPE a>", "Expecting '<![CDATA['"},
        {"<![CDATX[a]]>", "Expecting '<![CDATA['"},
        {"<!-x->", "Expecting '-' after '<!-'"},
        {"<a/ >", "Expecting '>' after '/' in element tag"},
        {"<a b>", "Expecting '=' character after attribute name"},
        {"<a b=c>", "Attribute values must be enclosed in quotes"},
        {"<a b='<'>", "Illegal character '<' in element tag"},
        {"<1a>", "Names must start with an alphabetic character or _ or :"},
        {"</a x>", "Expecting '>' after name for closing entity reference"},
        {"<a b='1'", "Unexpected EOF while parsing XML file"},
        {"<a b='1", "Unexpected EOF while parsing XML file"},
        {"<!-- a -", "Unexpected EOF while parsing XML file"},
        {"<![CDATA[a]]", "Unexpected EOF while parsing XML file"},
        {"<?xml ", "Unexpected EOF while parsing XML file"},
        {"<", "Unexpected EOF while parsing XML file"},
    };
    for (const auto& [doc, message] : faults) {
        Recorder recorder;
        SAXReader reader;
        reader.Attach(&recorder);
        EXPECT_EQ(reader.ParseBuffer(doc.data(), doc.size()), kSAXSyntaxError) << doc;
        EXPECT_EQ(recorder.error_code, 0x861B0002u);
        const std::string tail = " E(" + message + ")";
        ASSERT_GE(recorder.log.size(), tail.size()) << doc;
        EXPECT_EQ(recorder.log.substr(recorder.log.size() - tail.size()), tail) << doc;
        EXPECT_EQ(recorder.log.find("E("), recorder.log.size() - tail.size() + 1) << doc;
    }
    // "</a x>" reports its end tag before the fault.
    EXPECT_EQ(Parse("</a x>").log,
              "[ </a> E(Expecting '>' after name for closing entity reference)");
}

TEST(SAXReaderMarkup, DocumentCutAnywhereEndsNormallyOrWithTheEofFault) {
    const std::string eof = "E(Unexpected EOF while parsing XML file)";
    for (int form = 0; form < 2; ++form) {
        const std::string doc = form == 0 ? kSample : Utf16(Widen(kSample), false, false);
        for (size_t cut = 2; cut <= doc.size(); ++cut) {
            const Result r = Parse(doc.substr(0, cut));
            const bool ended = r.log.size() >= 2 && r.log.compare(r.log.size() - 2, 2, " ]") == 0;
            const bool faulted = r.log.size() >= eof.size() &&
                                 r.log.compare(r.log.size() - eof.size(), eof.size(), eof) == 0;
            EXPECT_TRUE(ended ? r.status == kSAXOk : faulted && r.status == kSAXSyntaxError)
                << form << " " << cut << ": " << r.log;
        }
    }
}

TEST(SAXReaderLimits, LongTextAndCDataComeInChunksOfTheWorkBuffer) {
    const std::string text(2048, 'x');
    EXPECT_EQ(Parse("<a>" + text + "yz</a>").log, "[ <a> T+(" + text + ") T(yz) </a> ]");
    EXPECT_EQ(Parse("<a>" + text + "</a>").log, "[ <a> T+(" + text + ") </a> ]");
    // A full run of white space is dropped, and the test starts again for the rest.
    EXPECT_EQ(Parse("<a>" + std::string(2048, ' ') + " y</a>").log, "[ <a> T( y) </a> ]");
    EXPECT_EQ(Parse("<a>" + std::string(2047, ' ') + "y" + std::string(100, ' ') + "</a>").log,
              "[ <a> T+(" + std::string(2047, ' ') + "y) </a> ]");
    EXPECT_EQ(Parse("<a><![CDATA[" + text + "w]]></a>").log,
              "[ <a> C[ D+(" + text + ") D(w) ]C </a> ]");
    // A chunk never carries part of the closing "]]>".
    const std::string almost(2046, 'c');
    EXPECT_EQ(Parse("<a><![CDATA[" + almost + "]]></a>").log,
              "[ <a> C[ D+(" + almost + ") D() ]C </a> ]");
    EXPECT_EQ(Parse("<a><![CDATA[" + almost + "]]q]]></a>").log,
              "[ <a> C[ D+(" + almost + ") D(]]q) ]C </a> ]");
}

TEST(SAXReaderLimits, TagOf2048CharactersIsReadAndOneMoreIsAFault) {
    const std::string name(1000, 'n'), value(1046, 'v');  // 1000 + 1 + 1046 + 1 = 2048
    const std::string long_name(2049, 'n');
    EXPECT_EQ(Parse("<" + name + " b='" + value + "' c=''/>").status, kSAXOk);
    const std::string size_fault =
        Fault("Total element tag size may not be more than 2048 characters");
    for (const std::string& doc :
         {"<" + name + " b='" + value + "' c='x'/>", "<" + name + " b='" + value + "' cd=''/>",
          "<" + name + " b='" + value + "&amp;' c=''/>", "<" + long_name + "/>"}) {
        EXPECT_EQ(Parse(doc).log, "[ " + size_fault);
    }
    EXPECT_EQ(Parse("</" + long_name + ">").log, "[ " + size_fault);
}

TEST(SAXReaderCallback, LineAndColumnFollowTheCharactersRead) {
    Recorder recorder;
    SAXReader reader;
    reader.Attach(&recorder);
    const std::string doc = "<a>\r\n  <b x='1\n2'/>\r\n  t<c\n>";
    EXPECT_EQ(reader.ParseBuffer(doc.data(), doc.size(), "mem.adx"), kSAXOk);
    EXPECT_EQ(recorder.log, "[ <a> <b x='1\\u000A2'> </b> T(\\u000D\\u000A  t) <c> ]");
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{1, 0}, {1, 3}, {3, 4}, {3, 4},
                                                                 {4, 4}, {5, 1}, {5, 1}};
    EXPECT_EQ(recorder.positions, expected);
    EXPECT_EQ(recorder.names_seen.front(), "mem.adx");
    EXPECT_TRUE(recorder.file_name.empty());
    // A fault is placed at the character that caused it; the same reader starts afresh.
    const std::string bad = "<a>\n\n  <b c=d>";
    EXPECT_EQ(reader.ParseBuffer(bad.data(), bad.size()), kSAXSyntaxError);
    EXPECT_EQ(recorder.positions.back(), std::make_pair(3u, 8u));
}

TEST(SAXReaderCallback, NegativeStatusStopsAtThatEventWithoutError) {
    const std::string doc = "<a x='1'>t<![CDATA[c]]></a>";
    const std::vector<std::string> tokens = {"[",    "<a x='1'>", "T(t)", "C[",
                                             "D(c)", "]C",        "</a>", "]"};
    for (size_t i = 0; i < tokens.size(); ++i) {
        Recorder recorder;
        recorder.refuse_at = static_cast<int>(i);
        SAXReader reader;
        reader.Attach(&recorder);
        EXPECT_EQ(reader.ParseBuffer(doc.data(), doc.size()), kSAXRefused) << i;
        std::string expected;
        for (size_t j = 0; j <= i; ++j) expected += (j ? " " : "") + tokens[j];
        EXPECT_EQ(recorder.log, expected);
    }
    SAXReader detached;
    EXPECT_EQ(detached.ParseBuffer(doc.data(), doc.size()), kSAXNoCallback);
    EXPECT_EQ(detached.ParseFile("/nonexistent"), kSAXNoCallback);
}

class SAXReaderFile : public ::testing::Test {
  protected:
    std::string Write(const std::string& bytes) {
        WriteAll(file_.path(), bytes);
        return file_.path();
    }

    korvit::definition::testing::TempFile file_{"korvit-sax"};
};

TEST_F(SAXReaderFile, BlocksOfTheFileGiveTheEventsOfTheWholeBuffer) {
    // Shifting the document by one character at a time puts every token across a block edge.
    std::string body;
    for (int i = 0; i < 40; ++i) body += kSample.substr(kSample.find("<ADX"));
    for (int shift = 0; shift < 24; ++shift) {
        const std::string doc = "<r>" + std::string(static_cast<size_t>(shift), ' ') + body;
        for (int form = 0; form < 2; ++form) {
            const std::string bytes = form == 0 ? doc : Utf16(Widen(doc), true, true);
            Recorder from_file;
            SAXReader reader;
            reader.Attach(&from_file);
            const std::string path = Write(bytes);
            EXPECT_EQ(reader.ParseFile(path), kSAXOk);
            EXPECT_EQ(from_file.names_seen.back(), path);
            EXPECT_TRUE(from_file.file_name.empty());
            EXPECT_EQ(from_file.log, Parse(bytes).log) << shift << form;
        }
    }
}

TEST_F(SAXReaderFile, OneCharacterTextsSurviveEveryBlockSize) {
    // Short texts, entities and line breaks, so that each kind of character starts a block
    // under some block size.
    const std::string doc =
        "<r>\r\n <n>3</n><u>%</u>\n<e>&amp;</e><s> x </s><l>\nq</l><c>a<!--k-->b</c></r>";
    for (int form = 0; form < 2; ++form) {
        const std::string bytes = form == 0 ? doc : Utf16(Widen(doc), false, true);
        const std::string expected = Parse(bytes).log;
        ASSERT_NE(expected.find("<n> T(3) </n> <u> T(%) </u>"), std::string::npos) << expected;
        const std::string path = Write(bytes);
        for (size_t block = 1; block <= 12; ++block) {
            Recorder from_file;
            SAXReader reader;
            reader.SetBlockSize(block);
            reader.Attach(&from_file);
            EXPECT_EQ(reader.ParseFile(path), kSAXOk);
            EXPECT_EQ(from_file.log, expected) << "blocks of " << block << " form " << form;
        }
    }
}

size_t OpenDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

TEST_F(SAXReaderFile, FileIsClosedHoweverTheReadingEnds) {
    Recorder recorder;
    SAXReader reader;
    reader.Attach(&recorder);
    const size_t before = OpenDescriptors();
    EXPECT_EQ(reader.ParseFile(Write("<a/>")), kSAXOk);
    EXPECT_EQ(reader.ParseFile(Write("<a b>")), kSAXSyntaxError);
    EXPECT_EQ(reader.ParseFile(Write("")), kSAXSyntaxError);
    recorder.refuse_at = static_cast<int>(recorder.positions.size()) + 1;
    EXPECT_EQ(reader.ParseFile(Write("<a/>")), kSAXRefused);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(SAXReaderFile, MissingFileOrDirectoryIsAnOpenError) {
    for (const std::string& path :
         {file_.path(), std::filesystem::temp_directory_path().string()}) {
        Recorder recorder;
        SAXReader reader;
        reader.Attach(&recorder);
        EXPECT_EQ(reader.ParseFile(path), kSAXFileError);
        EXPECT_EQ(recorder.log, "E(Error opening file)");
        EXPECT_EQ(recorder.error_code, 0x861B0001u);
    }
}

}  // namespace
