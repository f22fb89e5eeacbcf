#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "adx_test_support.h"
#include "definition/definition.h"

using namespace korvit::definition;
using namespace korvit::definition::testing;

namespace {

std::string Hash(const char* id) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", IDHashOf(id));
    return buf;
}

template <typename T>
const T* Nth(const ADXDefinition& def, size_t n = 0) {
    return As<T>(def.NthOfType(T::kType, n));
}

TEST(ADXGrammar, FormatVersionDecidesWhetherTheLoadSucceeds) {
    ADXDefinition def;
    std::string error;
    const std::string body = "<ADXHEADER><baud>160</baud></ADXHEADER><ADXVALUE id=\"v\" />";
    EXPECT_EQ(LoadText(def, "<ADXFORMAT version=\"0.49\"/>" + body, &error), 0);
    EXPECT_EQ(error, "File version is out of date.");
    // The rest of the file is still read.
    EXPECT_EQ(def.baud, 160u);
    EXPECT_EQ(def.size(), 1u);
    EXPECT_EQ(LoadText(def, "<ADXFORMAT version=\"nan\"/>" + body, &error), 0);
    EXPECT_EQ(error, "File version is out of date.");
    for (const char* version : {"0.5", "1.0", " 0.50"}) {
        EXPECT_EQ(
            LoadText(def, std::string("<ADXFORMAT version=\"") + version + "\"/>" + body, &error),
            1)
            << version;
        EXPECT_EQ(error, "");
    }
    // No version at all, or a format element after the header: failure without a message.
    EXPECT_EQ(LoadText(def, "<ADXFORMAT/>" + body, &error), 0);
    EXPECT_EQ(error, "");
    EXPECT_EQ(LoadText(def, body + "<ADXFORMAT version=\"0.5\"/>", &error), 0);
    EXPECT_EQ(error, "");
    // An enclosing format element is accepted.
    EXPECT_EQ(LoadText(def, "<ADXFORMAT version=\"0.5\">" + body + "</ADXFORMAT>"), 1);
    EXPECT_EQ(def.size(), 1u);
}

TEST(ADXGrammar, PacketOffsetIsHexInValuesAndDecimalInSendCommands) {
    ADXDefinition def;
    ASSERT_EQ(LoadText(def, std::string(kFormat) +
                                "<ADXVALUE id=\"a\"><packetoffset>0x10</packetoffset></ADXVALUE>"
                                "<ADXVALUE id=\"b\"><packetoffset>10</packetoffset></ADXVALUE>"
                                "<ADXBITMASK id=\"c\"><packetoffset>1F</packetoffset></ADXBITMASK>"
                                "<ADXCSENDCOMMAND id=\"s\"><packetoffset>0x10</packetoffset>"
                                "<replysize> -7</replysize><packetsize>99999999999</packetsize>"
                                "</ADXCSENDCOMMAND>"),
              1);
    EXPECT_EQ(Nth<ADXValue>(def, 0)->packetoffset, 16u);
    EXPECT_EQ(Nth<ADXValue>(def, 1)->packetoffset, 16u);
    EXPECT_EQ(Nth<ADXBitmask>(def)->packetoffset, 31u);
    const auto* send = Nth<ADXCSendCommand>(def);
    EXPECT_EQ(send->packetoffset, 0u);
    EXPECT_EQ(send->replysize, static_cast<uint32_t>(-7));
    EXPECT_EQ(send->packetsize, 2147483647u);
}

TEST(ADXGrammar, NamesIgnoreLetterCaseButValuesAreExact) {
    ADXDefinition def;
    ASSERT_EQ(LoadText(def, std::string(kFormat) +
                                "<adxvalue ID=\"v\" Title=\"T\"><Flags>0x3</Flags>"
                                "<math EQUATION=\"X+Y\"><var VARID=\"Y\" TYPE=\"Link\" "
                                "linkidhash=\"0x5\"/><var varid=\"X\" type=\"link\" "
                                "linkIDHash=\"0x7\"/><VAR varID=\"Q\" type=\"link\"/></math>"
                                "</adxvalue>"
                                "<ADXBitmask id=\"b1\"><bitop>XOR</bitop></ADXBitmask>"
                                "<ADXBITMASK id=\"b2\"><bitop>xor</bitop></ADXBITMASK>"),
              1);
    const auto* v = Nth<ADXValue>(def);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->id(), "v");
    EXPECT_EQ(v->title().view(), "T");
    EXPECT_EQ(v->flags, 3u);
    ASSERT_EQ(v->vars().size(), 2u);
    EXPECT_EQ(v->vars()[0].varID, 'X');
    EXPECT_EQ(v->vars()[0].type, ADXValueVar::kLink);
    EXPECT_EQ(v->vars()[0].linkIDHash, 7u);
    // "Link" is not "link": the record is native, but still replaces the var.
    EXPECT_EQ(v->vars()[1].type, ADXValueVar::kNative);
    EXPECT_EQ(v->vars()[1].linkIDHash, 5u);
    EXPECT_EQ(Nth<ADXBitmask>(def, 0)->bitop, ADXBitmask::kXor);
    EXPECT_EQ(Nth<ADXBitmask>(def, 1)->bitop, ADXBitmask::kAnd);
}

TEST(ADXGrammar, IdsAttributesAndTextsFollowTheirReadingRules) {
    ADXDefinition def;
    const std::string long_title(300, 't');
    const std::string long_desc(1500, 'd');
    ASSERT_EQ(
        LoadText(def, std::string(kFormat) + "<ADXVALUE title=\"no id\"/>" +
                          "<ADXVALUE id=\"\" />" + "<ADXVALUE id=\"first\" id=\"second\" title=\"" +
                          long_title + "\"><desc>" + long_desc + "</desc>" +
                          "<units>de<!-- a comment -->gC</units></ADXVALUE>"),
        1);
    const auto* without = Nth<ADXValue>(def, 0);
    EXPECT_EQ(without->idhash(), 0u);
    EXPECT_EQ(def.FindByHash(without->idhash()), nullptr);
    EXPECT_EQ(Nth<ADXValue>(def, 1)->idhash(), 0xDC379ACFu);
    const auto* v = Nth<ADXValue>(def, 2);
    EXPECT_EQ(v->id(), "first");
    EXPECT_EQ(v->title().size(), 255u);
    EXPECT_EQ(v->desc().size(), 1023u);
    // A text run interrupted by a comment keeps its last part.
    EXPECT_EQ(v->units().view(), "gC");
}

TEST(ADXGrammar, ListViewsDashboardsAndMonitorsReadTheirEntries) {
    ADXDefinition def;
    ASSERT_EQ(LoadText(def, std::string(kFormat) + "<ADXVALUE id=\"a\"/><ADXVALUE id=\"b\"/>" +
                                "<ADXLISTVIEW id=\"l\"><entrycount>2</entrycount>"
                                "<ADXLVENTRY entrytype=\"0\" itemidhash=\"" +
                                Hash("a") +
                                "\"/>"
                                "<ADXLVENTRY entrytype=\"1\" title=\"Row\" color=\"00FF00\"/>"
                                "<ADXLVENTRY entrytype=\"0\" itemidhash=\"" +
                                Hash("b") +
                                "\"/>"
                                "</ADXLISTVIEW>"
                                "<ADXDASHBOARD id=\"d\"><ADXDGENTRY gaugetype=\"1\" left=\"10\" "
                                "top=\"65546\" itemidhash=\"" +
                                Hash("b") +
                                "\"/><ADXDGENTRY/>"
                                "</ADXDASHBOARD>"
                                "<ADXMONITOR id=\"m\"><ADXMONSERIES itemidhash=\"" +
                                Hash("a") +
                                "\" linewidth=\"258\"/><ADXMONSERIES itemidhash=\"0x1\"/>"
                                "<ADXMONSERIES itemidhash=\"" +
                                Hash("b") + "\"/></ADXMONITOR>"),
              1);
    const auto* a = def.FindByID("a");
    const auto* b = def.FindByID("b");
    const auto* list = Nth<ADXListView>(def);
    ASSERT_EQ(list->count(), 2u);  // the third entry is beyond entrycount
    EXPECT_EQ(list->entries()[0].item, a);
    EXPECT_EQ(list->entries()[1].item, nullptr);
    EXPECT_EQ(list->entries()[1].title.view(), "Row");
    EXPECT_EQ(list->entries()[1].color, 0xFF00u);

    const auto* dash = Nth<ADXDashboard>(def);
    ASSERT_EQ(dash->count(), 2u);
    EXPECT_EQ(dash->entries()[0].item, b);
    EXPECT_EQ(dash->entries()[0].gaugetype, 1u);
    EXPECT_EQ(dash->entries()[0].left, 10u);
    EXPECT_EQ(dash->entries()[0].top, 10u);  // cut to 16 bits
    EXPECT_EQ(dash->entries()[1].bottom, 100u);
    EXPECT_EQ(dash->entries()[1].item, nullptr);

    // The series naming a missing item is dropped; the others keep their order.
    const auto* monitor = Nth<ADXMonitor>(def);
    ASSERT_EQ(monitor->count(), 2u);
    EXPECT_EQ(monitor->series()[0].item, a);
    EXPECT_EQ(monitor->series()[0].linewidth, 2u);
    EXPECT_EQ(monitor->series()[1].item, b);
}

TEST(ADXGrammar, CommandsReadByteStringsFlagsAndMacroSteps) {
    ADXDefinition def;
    ASSERT_EQ(
        LoadText(def, std::string(kFormat) +
                          "<ADXCSENDCOMMAND id=\"s\" flags=\"00000001\" baseflags=\"7\">"
                          "<bytestring size=\"0x3\">0xF4 0x57\n0x01 0x00</bytestring>"
                          "</ADXCSENDCOMMAND>"
                          "<ADXCLISTENCHATTER id=\"c\"><bytestring size=\"9\">AA BB"
                          "</bytestring></ADXCLISTENCHATTER>"
                          "<ADXCLISTENCHATTER id=\"n\"><bytestring>AA</bytestring>"
                          "</ADXCLISTENCHATTER>"
                          "<ADXCTRIGGER id=\"t\" flags=\"0x2\"><triggertype>10</triggertype>"
                          "</ADXCTRIGGER>"
                          "<ADXMACRO id=\"m\" repeatcount=\"3\" flags=\"0x4\"><desc>loop</desc>"
                          "<NODE commandID=\"s\"/><NODE commandID=\"missing\" flags=\"1\" "
                          "repeatcount=\"5\"/><NODE commandID=\"c23456789012345\"/></ADXMACRO>"
                          "<ADXCLISTENCHATTER id=\"c234567890123456\" />"),
        1);
    const auto* send = Nth<ADXCSendCommand>(def);
    EXPECT_EQ(send->bytes(), (std::vector<uint8_t>{0xF4, 0x57, 0x01}));
    EXPECT_EQ(send->flags, 1u);
    EXPECT_EQ(send->baseflags, 0u);  // not read on command elements
    EXPECT_EQ(Nth<ADXCListenChatter>(def, 0)->bytes(), (std::vector<uint8_t>{0xAA, 0xBB}));
    EXPECT_TRUE(Nth<ADXCListenChatter>(def, 1)->bytes().empty());
    EXPECT_EQ(Nth<ADXCTrigger>(def)->triggertype, 16u);
    EXPECT_EQ(Nth<ADXCTrigger>(def)->flags, 2u);

    const auto* macro = Nth<ADXMacro>(def);
    EXPECT_EQ(macro->repeatcount, 3u);
    EXPECT_EQ(macro->flags, 4u);
    EXPECT_EQ(macro->desc().view(), "loop");
    ASSERT_EQ(macro->count(), 3u);
    EXPECT_EQ(macro->nodes()[0].command, send);
    EXPECT_EQ(macro->nodes()[1].command, nullptr);
    EXPECT_EQ(macro->nodes()[1].repeatcount, 5u);
    // Steps name commands by their first 14 characters.
    EXPECT_EQ(macro->nodes()[2].command_id(), "c2345678901234");
    EXPECT_EQ(macro->nodes()[2].command, Nth<ADXCListenChatter>(def, 2));
}

TEST(ADXGrammar, LookupTablesHistogramsAndHeaderCommandsAreResolved) {
    ADXDefinition def;
    ASSERT_EQ(
        LoadText(def, std::string(kFormat) +
                          "<ADXHEADER><flags>0x01</flags><author>me</author><userversion>"
                          "</userversion><connectcmd>s</connectcmd><monitorcmd>s</monitorcmd>"
                          "</ADXHEADER>"
                          "<ADXCSENDCOMMAND id=\"s\"/>"
                          "<ADXLOOKUPTABLE id=\"t\"><outputtype>5</outputtype>"
                          "<tableentry input=\"1\" output=\"On\"/><tableentry input=\"0\" "
                          "output=\"Off\"/></ADXLOOKUPTABLE>"
                          "<ADXLOOKUPTABLE id=\"u\"><outputtype>4</outputtype>"
                          "<tableentry input=\"1\" output=\"2\"/></ADXLOOKUPTABLE>"
                          "<ADXVALUE id=\"v\"><MATH equation=\"X\" lookupidhash=\"" +
                          Hash("t") +
                          "\"/></ADXVALUE>"
                          "<ADXBITMASK id=\"b\"/>"
                          "<ADXHISTOGRAM id=\"h\"><rows>4</rows><cols>5</cols><xmin>-1.5</xmin>"
                          "<historysize>0</historysize><xidhash>" +
                          Hash("v") + "</xidhash><yidhash>" + Hash("b") +
                          "</yidhash></ADXHISTOGRAM>"),
        1);
    EXPECT_EQ(def.flags, 1u);
    EXPECT_EQ(def.author().view(), "me");
    EXPECT_FALSE(def.userversion().present());
    EXPECT_EQ(def.connect_command, def.FindByID("s"));
    EXPECT_EQ(def.monitor_command, def.FindByID("s"));
    EXPECT_EQ(def.disconnect_command, nullptr);

    const auto* table = Nth<ADXLookupTable>(def, 0);
    EXPECT_EQ(table->lookupmode(), 1u);
    ASSERT_EQ(table->entries().size(), 2u);
    EXPECT_EQ(table->entries()[0].text.view(), "Off");
    EXPECT_TRUE(Nth<ADXLookupTable>(def, 1)->entries().empty());
    EXPECT_EQ(Nth<ADXValue>(def)->lookup, table);

    const auto* h = Nth<ADXHistogram>(def);
    EXPECT_EQ(h->rows(), 4u);
    EXPECT_EQ(h->cols(), 5u);
    EXPECT_EQ(h->xmin(), -1.5f);
    EXPECT_EQ(h->GetHistorySize(), 10u);
    EXPECT_EQ(h->x(), Nth<ADXValue>(def));
    EXPECT_EQ(h->y(), nullptr);  // names a bitmask
}

TEST(ADXGrammar, FaultsKeepTheCompletedObjectsButResolveNothing) {
    ADXDefinition def;
    std::string error;
    const std::string objects = std::string(kFormat) +
                                "<ADXVALUE id=\"a\"/><ADXLISTVIEW id=\"l\"><entrycount>1"
                                "</entrycount><ADXLVENTRY itemidhash=\"" +
                                Hash("a") + "\"/></ADXLISTVIEW>";
    EXPECT_EQ(LoadText(def, objects + "<ADXVALUE id=\"b\"><flags>1</flags>", &error), 1);
    EXPECT_EQ(def.size(), 2u);  // the unterminated value is not added
    EXPECT_EQ(Nth<ADXListView>(def)->entries()[0].item, def.FindByID("a"));

    EXPECT_EQ(LoadText(def, objects + "<ADXVALUE id=\"b\" flags=1/>", &error), 0);
    EXPECT_EQ(error, "Attribute values must be enclosed in quotes");
    EXPECT_EQ(def.size(), 2u);
    EXPECT_EQ(Nth<ADXListView>(def)->entries()[0].item, nullptr);

    EXPECT_EQ(def.Load("/nonexistent/def.adx", error), 0);
    EXPECT_EQ(error, "Error opening file");
    EXPECT_EQ(def.size(), 0u);
}

TEST(ADXGrammar, WideCharactersFromUtf16FilesBecomeQuestionMarks) {
    const std::u16string text = u"<ADXFORMAT version=\"0.5\"/><ADXVALUE id=\"\u00e9\u20ac\"/>";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    ADXDefinition def;
    ASSERT_EQ(LoadText(def, bytes), 1);
    EXPECT_EQ(Nth<ADXValue>(def)->id(), "\xE9?");
}

class RecordingProgress : public IProgress {
  public:
    void SetRange(uint32_t maximum) override {
        calls.push_back("range " + std::to_string(maximum));
    }
    void Step() override { calls.push_back("step"); }
    void SetPosition(uint32_t position) override {
        calls.push_back("pos " + std::to_string(position));
    }
    std::vector<std::string> calls;
};

TEST(ADXGrammar, ProgressRunsFromTheHeaderCountsThroughEachObject) {
    const std::string xml = std::string(kFormat) +
                            "<ADXHEADER><objectcount>2</objectcount><commandcount>1"
                            "</commandcount></ADXHEADER><ADXVALUE/><ADXMACRO/>";
    ADXDefinition def;
    RecordingProgress progress;
    std::string error;
    ASSERT_EQ(def.LoadBuffer(xml.data(), xml.size(), error, &progress), 1);
    EXPECT_EQ(progress.calls, (std::vector<std::string>{"range 3", "step", "step", "pos 0"}));
}

}  // namespace
