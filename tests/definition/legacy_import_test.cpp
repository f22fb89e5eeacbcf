#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "adx_test_support.h"
#include "definition/definition.h"
#include "definition/legacy/ads_import.h"

using namespace korvit::definition;
using namespace korvit::definition::legacy;
using namespace korvit::definition::testing;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

std::string Block(const Fields& fields) {
    std::string text = "{\n";
    for (const auto& [name, value] : fields) text += "\t" + name + "=" + value + ";\n";
    return text + "}\n";
}

struct Command {
    std::string name = "Data", bytes = "F4,57,01,00", total = "5", checksum = "1", payload = "20",
                before = "3", master = "1";
};

std::string Header(const std::string& version, const std::string& baud,
                   const std::vector<Command>& commands = {}) {
    Fields f = {{"fDefFrmtVers", version},
                {"strDefVersion", "v2"},
                {"strDefTitle", "Title"},
                {"strAuthor", "Ann"},
                {"strEngine", "L98"},
                {"strYear", "1989"},
                {"strVINCode", "8"},
                {"strCodeMask", "A"},
                {"strComments", "Notes"},
                {"iBaud", baud},
                {"dwFlags", "0x1F"},
                {"dwCSID", "0x2A"},
                {"btNumDumpRequests", std::to_string(commands.size())}};
    std::string text = Block(f);
    text.resize(text.size() - 2);  // the command records go inside the header block, before "}"
    for (const auto& c : commands) {
        text += "\tstrCommandName=" + c.name + ";\trgbtCommand=" + c.bytes +
                ";\tiTotalBytesInCommand=" + c.total + ";\tbChecksumCommand=" + c.checksum +
                ";\tiNumBytesInPayload=" + c.payload + ";\tiNumBytesBeforePayload=" + c.before +
                ";\tbMaster=" + c.master + ";\tbMonitor=0;\tiChainTo=-1;\n";
    }
    return text + "}\n";
}

struct Value {
    std::string id = "1", byte = "1", size = "8", op = "0", factor = "1", offset = "0",
                title = "Value", units = "u", alarm_high = "255", high_enable = "0",
                alarm_low = "0", low_enable = "0", range_high = "255", range_low = "0",
                table = "-1", separator = "0";
};

std::string ValueBlock(const Value& v) {
    return Block({{"dwItemType", "1"},
                  {"strItemComments", "c"},
                  {"bSeparator", v.separator},
                  {"bVisible", "1"},
                  {"dwUniqueID", v.id},
                  {"btByteNumber", v.byte},
                  {"btMessageNumber", "1"},
                  {"dwItemSizeBits", v.size},
                  {"dwOperation", v.op},
                  {"dFactor", v.factor},
                  {"dOffset", v.offset},
                  {"strItemTitle", v.title},
                  {"strUnitLabel", v.units},
                  {"dwAlarmHigh", v.alarm_high},
                  {"bAlarmHighENable", v.high_enable},
                  {"dwAlarmLow", v.alarm_low},
                  {"bAlarmLowEnable", v.low_enable},
                  {"iRangeHigh", v.range_high},
                  {"iRangeLow", v.range_low},
                  {"iLookupTableIndex", v.table}});
}

std::string BitBlock(const std::string& id, const std::string& bit,
                     const std::string& separator = "0", const std::string& set_title = "On") {
    return Block({{"dwItemType", "2"},
                  {"strItemComments", "c"},
                  {"bSeparator", separator},
                  {"bVisible", "1"},
                  {"dwUniqueID", id},
                  {"btByteNumber", "4"},
                  {"btMessageNumber", "1"},
                  {"btBitNumber", bit},
                  {"strItemTitle", "Fan"},
                  {"bAlarmSetEnable", "1"},
                  {"bAlarmNotSetEnable", "0"},
                  {"strBitSetTitle", set_title},
                  {"strBitClearTitle", "Off"}});
}

std::string TableBlock(const std::string& id, const std::string& type, const std::string& size,
                       const std::string& data) {
    return Block({{"dwItemType", "5"},
                  {"strItemComments", "Coolant"},
                  {"bSeparator", "0"},
                  {"bVisible", "1"},
                  {"dwUniqueID", id},
                  {"btDataType", type},
                  {"wTableSize", size},
                  {"wIndexSize", "4"},
                  {"strTableName", "CLT"},
                  {"dwReserved", "0"},
                  {"dwReserved", "0"},
                  {"pbtData", data}});
}

class LegacyImport : public ::testing::Test {
  protected:
    std::string Write(const std::string& text) {
        WriteAll(file.path(), text);
        return file.path();
    }
    void Import(const std::string& text) {
        std::string error;
        ASSERT_EQ(ImportADS(Write(text), adx, error), 1) << error;
    }
    template <typename T>
    T* Find(const char* id) {
        return As<T>(adx.FindByID(id));
    }

    TempFile file{"korvit-legacy"};
    ADXDefinition adx;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
    return std::vector<uint8_t>(list.begin(), list.end());
}

}  // namespace

TEST_F(LegacyImport, CommandsGetChecksumIdsReplySizesAndTheLastMasterAsMonitor) {
    Import(Header("1.2", "8192",
                  {Command{.bytes = "F4,57", .total = "3"},
                   Command{.name = "Second",
                           .bytes = "0xF4,0x56,0x01,0xFF",
                           .total = "4",
                           .checksum = "0",
                           .payload = "0",
                           .before = "0",
                           .master = "0"},
                   Command{.bytes = "F4,57,01,00", .total = "5", .payload = "63", .before = "3"}}));
    EXPECT_EQ(adx.baud, 8192u);
    EXPECT_EQ(adx.author().view(), "Ann");
    EXPECT_EQ(adx.desc().view(), "Notes");
    auto* first = Find<ADXCSendCommand>("COMMAND0");
    auto* second = Find<ADXCSendCommand>("COMMAND1");
    auto* third = Find<ADXCSendCommand>("COMMAND2");
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->bytes(), Bytes({0xF4, 0x57, 0xB5}));
    EXPECT_EQ(second->bytes(), Bytes({0xF4, 0x56, 0x01, 0xFF}));
    EXPECT_EQ(third->bytes(), Bytes({0xF4, 0x57, 0x01, 0x00, 0xB4}));
    EXPECT_EQ(first->title().view(), "Data");
    EXPECT_EQ(first->flags, 1u);
    EXPECT_EQ(first->replytimeout, 200u);
    EXPECT_EQ(third->packetoffset, 3u);
    EXPECT_EQ(third->packetsize, 63u);
    EXPECT_EQ(third->replysize, 66u);
    EXPECT_EQ(adx.monitor_command, third);
    EXPECT_EQ(adx.connect_command, nullptr);
    EXPECT_EQ(adx.disconnect_command, nullptr);
}

TEST_F(LegacyImport, BaudOf160BecomesOneListenCommandAt4800) {
    Import(Header("1.2", "160", {Command{.name = "Stream", .payload = "20"}, Command{}}));
    EXPECT_EQ(adx.baud, 4800u);
    ASSERT_EQ(adx.size(), 1u);
    auto* listen = Find<ADXC160BaudListen>("160BAUD");
    ASSERT_NE(listen, nullptr);
    EXPECT_EQ(listen->packetsize, 20u);
    EXPECT_EQ(listen->title().view(), "Stream");
    EXPECT_EQ(adx.monitor_command, listen);

    Import(Header("1.2", "160", {Command{.payload = "0"}}));
    EXPECT_EQ(adx.size(), 0u);
    EXPECT_EQ(adx.monitor_command, nullptr);
}

TEST_F(LegacyImport, FormatVersionGatesTheFieldsItReads) {
    ALDLDefinition ads;
    const std::string items = ValueBlock({});
    ReadADSText(Header("0.9", "160", {Command{}}) + items, ads);
    EXPECT_FLOAT_EQ(ads.format_version, 0.9f);
    EXPECT_EQ(ads.title.view(), "New ALDL Datastream Definition");
    EXPECT_EQ(ads.definition_version.view(), "Version 1.0");
    EXPECT_EQ(ads.baud, 8192u);
    EXPECT_EQ(ads.number_of_commands, 0u);
    EXPECT_TRUE(ads.values.empty());

    ReadADSText(Header("1.0", "160", {Command{}}) + items, ads);
    EXPECT_EQ(ads.title.view(), "Title");
    EXPECT_EQ(ads.checksum_id, 0x2Au);
    EXPECT_EQ(ads.baud, 8192u);
    EXPECT_EQ(ads.flags, 0u);
    EXPECT_EQ(ads.number_of_commands, 1u);
    EXPECT_EQ(ads.values.size(), 1u);

    ReadADSText(Header("1.1", "160") + items, ads);
    EXPECT_EQ(ads.baud, 160u);
    EXPECT_EQ(ads.flags, 0u);

    ReadADSText(Header("1.2", "160") + items, ads);
    EXPECT_EQ(ads.flags, 0x1Fu);
}

TEST_F(LegacyImport, OperationsGiveEquationsOutputTypesAndDisplayLimits) {
    Import(
        Header("1.2", "8192") +
        ValueBlock({.id = "1",
                    .byte = "3",
                    .factor = "0.5",
                    .offset = "-40",
                    .title = "CLT",
                    .units = "degC",
                    .high_enable = "1",
                    .low_enable = "1"}) +
        ValueBlock({.id = "2", .op = "1", .factor = "1000", .alarm_high = "250"}) +
        ValueBlock({.id = "3", .op = "2", .alarm_high = "255", .range_high = "153"}) +
        ValueBlock({.id = "4", .size = "16", .op = "2", .alarm_high = "485"}) +
        ValueBlock({.id = "5", .op = "3", .factor = "0.5", .alarm_high = "5"}) +
        ValueBlock(
            {.id = "6", .op = "4", .alarm_high = "100", .range_high = "150", .range_low = "50"}) +
        ValueBlock({.id = "7", .op = "5", .alarm_high = "55"}) +
        ValueBlock({.id = "8", .size = "12", .offset = "7", .alarm_high = "200"}) +
        ValueBlock({.id = "9", .op = "3", .alarm_high = "-1"}) +
        ValueBlock({.id = "10", .separator = "1"}));

    auto* clt = Find<ADXValue>("1");
    ASSERT_NE(clt, nullptr);
    EXPECT_EQ(clt->expression().text(), "X * 0.500000 + -40.000000");
    EXPECT_EQ(clt->outputtype, 3u);
    EXPECT_EQ(clt->packetoffset, 2u);
    EXPECT_EQ(clt->title().view(), "CLT");
    EXPECT_EQ(clt->units().view(), "degC");
    EXPECT_EQ(clt->flags, ADXValue::kHighAlarm | ADXValue::kLowAlarm);
    EXPECT_FLOAT_EQ(clt->alarm_high, 87.5f);
    EXPECT_FLOAT_EQ(clt->alarm_low, -40.0f);
    EXPECT_FLOAT_EQ(clt->range_high, 87.5f);
    ASSERT_EQ(clt->vars().size(), 1u);
    EXPECT_EQ(clt->vars()[0].varID, 'X');
    EXPECT_EQ(clt->vars()[0].type, ADXValueVar::kNative);

    auto* inverse = Find<ADXValue>("2");
    EXPECT_EQ(inverse->expression().text(), "1000.000000 / X + 0.000000");
    EXPECT_FLOAT_EQ(inverse->alarm_high, 4.0f);
    EXPECT_FLOAT_EQ(inverse->alarm_low, 0.0f);  // raw 0 shows the offset alone

    // Hexadecimal display texts read back as decimal numbers: FF gives 0, 99 gives 99, 01E5 1e5.
    auto* hex = Find<ADXValue>("3");
    EXPECT_EQ(hex->expression().text(), "X");
    EXPECT_EQ(hex->outputtype, 0u);
    EXPECT_FLOAT_EQ(hex->alarm_high, 0.0f);
    EXPECT_FLOAT_EQ(hex->range_high, 99.0f);
    EXPECT_FLOAT_EQ(Find<ADXValue>("4")->alarm_high, 100000.0f);

    auto* integer = Find<ADXValue>("5");
    EXPECT_EQ(integer->outputtype, 1u);
    EXPECT_FLOAT_EQ(integer->alarm_high, 2.0f);
    EXPECT_FLOAT_EQ(Find<ADXValue>("6")->alarm_high, 50.0f);
    EXPECT_FLOAT_EQ(Find<ADXValue>("6")->range_high, 100.0f);
    EXPECT_FLOAT_EQ(Find<ADXValue>("7")->alarm_high, 7.0f);  // character '7'
    EXPECT_FLOAT_EQ(Find<ADXValue>("7")->alarm_low, 0.0f);   // raw 0 shows '?'
    EXPECT_FLOAT_EQ(Find<ADXValue>("8")->alarm_high, 7.0f);  // odd sizes count the raw as 0
    EXPECT_EQ(Find<ADXValue>("8")->expression().text(), "X * 1.000000 + 7.000000");
    EXPECT_FLOAT_EQ(Find<ADXValue>("9")->alarm_high, 0.0f);
    EXPECT_EQ(adx.FindByID("10"), nullptr);
}

TEST_F(LegacyImport, LookupTablesKeepGivenIndicesAndLinkTheirValues) {
    Import(Header("1.2", "8192") + TableBlock("20", "2", "8", "0,10\n4,50.5\n9,90") +
           TableBlock("21", "1", "4", "1,7\n") +
           ValueBlock({.id = "1", .op = "6", .alarm_high = "4", .table = "20"}) +
           ValueBlock({.id = "2", .op = "6", .table = "99"}) +
           ValueBlock({.id = "3", .op = "6", .table = "21"}));
    auto* table = Find<ADXLookupTable>("20");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->title().view(), "CLT");
    EXPECT_EQ(table->desc().view(), "Coolant");
    EXPECT_EQ(table->inputtype, 1u);
    EXPECT_EQ(table->outputtype(), 3u);
    ASSERT_EQ(table->entries().size(), 2u);  // index 9 lies beyond the table of 8
    EXPECT_FLOAT_EQ(table->entries()[0].input, 1.0f);
    EXPECT_FLOAT_EQ(table->entries()[0].output, 10.0f);
    EXPECT_FLOAT_EQ(table->entries()[1].input, 5.0f);
    EXPECT_FLOAT_EQ(table->entries()[1].output, 50.5f);
    EXPECT_EQ(Find<ADXLookupTable>("21")->outputtype(), 1u);

    auto* linked = Find<ADXValue>("1");
    EXPECT_EQ(linked->lookup, table);
    EXPECT_EQ(linked->lookupidhash, table->idhash());
    EXPECT_FLOAT_EQ(linked->alarm_high, 50.5f);
    EXPECT_EQ(linked->expression().text(), "X");
    // The first index that names no table ends the linking for every later value.
    EXPECT_EQ(Find<ADXValue>("2")->lookup, nullptr);
    EXPECT_EQ(Find<ADXValue>("3")->lookup, nullptr);
}

TEST_F(LegacyImport, BitsBecomeAndMasksWithTheirTextsAndAlarms) {
    Import(Header("1.2", "8192") + BitBlock("1", "7") + BitBlock("2", "35"));
    auto* fan = Find<ADXBitmask>("1");
    ASSERT_NE(fan, nullptr);
    EXPECT_EQ(fan->operand, 0x80u);
    EXPECT_EQ(fan->result, 0x80u);
    EXPECT_EQ(fan->bitop, ADXBitmask::kAnd);
    EXPECT_EQ(fan->packetoffset, 3u);
    EXPECT_EQ(fan->sizeinbits, 8u);
    EXPECT_EQ(fan->truestring().view(), "On");
    EXPECT_EQ(fan->falsestring().view(), "Off");
    EXPECT_EQ(fan->flags, ADXBitmask::kAlarmWhenTrue);
    EXPECT_EQ(Find<ADXBitmask>("2")->operand, 0x8u);  // bit numbers wrap at 32
}

TEST_F(LegacyImport, RepeatedIdsAreRenumberedAndTablesCarryTheirUsers) {
    ALDLDefinition ads;
    ReadADSText(Header("1.2", "8192") + TableBlock("2", "2", "4", "0,1") +
                    TableBlock("2", "2", "4", "") +
                    ValueBlock({.id = "2", .op = "6", .table = "2"}) + ValueBlock({.id = "4"}) +
                    BitBlock("4", "0") + BitBlock("1", "1"),
                ads);
    // Values first, then bits, then tables, each taking the smallest free id at its turn.
    EXPECT_EQ(ads.values[0]->unique_id, 3u);
    EXPECT_EQ(ads.values[1]->unique_id, 4u);
    EXPECT_EQ(ads.bits[0]->unique_id, 5u);
    EXPECT_EQ(ads.bits[1]->unique_id, 1u);
    EXPECT_EQ(ads.lookup_tables[0]->unique_id, 2u);
    EXPECT_EQ(ads.lookup_tables[1]->unique_id, 6u);
    EXPECT_EQ(ads.values[0]->lookup, ads.lookup_tables[0].get());
    EXPECT_FALSE(ads.renumber);

    // A renumbered table writes its new id into the values that use it.
    ReadADSText(Header("1.2", "8192") + ValueBlock({.id = "5", .op = "6", .table = "5"}) +
                    TableBlock("5", "2", "4", ""),
                ads);
    EXPECT_EQ(ads.lookup_tables[0]->unique_id, 1u);
    EXPECT_EQ(ads.values[0]->lookup, ads.lookup_tables[0].get());
    EXPECT_EQ(ads.values[0]->lookup_table_index, 1);
    ASSERT_EQ(ConvertToADX(&adx, &ads), 1);
    EXPECT_EQ(Find<ADXValue>("5")->lookup, Find<ADXLookupTable>("1"));
}

TEST_F(LegacyImport, DefaultViewListsValuesAndBitmasksOnlyWhenThereAreAny) {
    Import(Header("1.2", "8192", {Command{}}) + TableBlock("7", "2", "4", "") + BitBlock("3", "1") +
           ValueBlock({.id = "1"}) + ValueBlock({.id = "2", .separator = "1"}));
    auto* view = Find<ADXListView>("DEFAULTVIEW");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->title().view(), "Default View");
    ASSERT_EQ(view->count(), 2u);
    EXPECT_EQ(view->entries()[0].item, adx.FindByID("1"));  // values come before bits
    EXPECT_EQ(view->entries()[0].itemidhash, adx.FindByID("1")->idhash());
    EXPECT_EQ(view->entries()[1].item, adx.FindByID("3"));
    EXPECT_EQ(adx.objects().back().get(), view);

    Import(Header("1.2", "8192") + ValueBlock({.separator = "1"}) + BitBlock("2", "0", "1"));
    EXPECT_EQ(adx.size(), 0u);
}

TEST_F(LegacyImport, UnreadableOrEmptyFilesLeaveTheDefinitionUntouched) {
    Import(Header("1.2", "8192") + ValueBlock({}));
    std::string error;
    EXPECT_EQ(ImportADS("", adx, error), 0);
    EXPECT_EQ(error, "Error opening file");
    EXPECT_EQ(ImportADS(Write("") + ".missing", adx, error), 0);
    EXPECT_EQ(ImportADS(std::filesystem::temp_directory_path().string(), adx, error), 0);
    EXPECT_EQ(ImportADS(Write("fDefFrmtVers=1.2; no blocks at all"), adx, error), 0);
    EXPECT_EQ(error, "No ADS definition found in the file");
    EXPECT_NE(adx.FindByID("1"), nullptr);
    ALDLDefinition ads;
    EXPECT_EQ(ConvertToADX(nullptr, &ads), 0);
    EXPECT_EQ(ConvertToADX(&adx, nullptr), 0);
}

TEST_F(LegacyImport, MalformedFilesImportWhatTheyCanWithinTheTextWidths) {
    const std::string long_text(400, 'W');
    ALDLDefinition ads;
    // Too many command records, a long name, too many bytes, and a file that ends in the record.
    ReadADSText("{fDefFrmtVers=1.2;strDefVersion=" + long_text + ";strDefTitle=" + long_text +
                    ";strAuthor=x;strEngine=x;strYear=x;strVINCode=x;strCodeMask=x;strComments=" +
                    long_text + ";iBaud=8192;dwFlags=0;dwCSID=0;btNumDumpRequests=200;" +
                    "strCommandName=" + long_text + ";rgbtCommand=1,2,3,4,5,6,7,8,9,A,B,C,D,E;" +
                    "iTotalBytesInCommand=40;",
                ads);
    EXPECT_EQ(ads.definition_version.size(), 14u);
    EXPECT_EQ(ads.title.size(), 99u);
    EXPECT_EQ(ads.comments.size(), 255u);
    EXPECT_EQ(ads.number_of_commands, 10u);
    EXPECT_EQ(ads.commands[0].name.size(), 99u);
    EXPECT_EQ(ads.commands[0].total_bytes, 12u);
    EXPECT_EQ(ads.commands[0].bytes[11], 0xBE);  // checksum over 1 to 0xB
    ASSERT_EQ(ConvertToADX(&adx, &ads), 1);
    EXPECT_EQ(adx.size(), 10u);

    ReadADSText(Header("1.2", "8192") + ValueBlock({.title = long_text, .units = long_text}) +
                    BitBlock("2", "3", "0", long_text) + "{dwItemType=9;}{" +
                    "dwItemType=1;strItemComments=c;bSeparator=0;bVisible=1;dwUniqueID=3;" +
                    "btByteNumber=9;btMessageNumber=1;dwItemSizeBits=8;dwOperation=0;dFactor=0.5",
                ads);
    ASSERT_EQ(ads.values.size(), 2u);
    EXPECT_EQ(ads.values[0]->title.size(), 99u);
    EXPECT_EQ(ads.values[0]->unit_label.size(), 24u);
    EXPECT_EQ(ads.bits[0]->set_title.size(), 14u);
    // The file ends inside dFactor: the fields before it are taken, the cut-off one is not.
    EXPECT_EQ(ads.values[1]->byte_number, 9u);
    EXPECT_DOUBLE_EQ(ads.values[1]->factor, 1.0);
    EXPECT_EQ(ads.values[1]->title.view(), "New ALDL Value");

    // CR LF reads as a line feed; a byte 0xFF ends the file.
    ReadADSText("{fDefFrmtVers=1.2;strDefVersion=a\r\nb;}" + TableBlock("4", "1", "8", "1,5\n2,6") +
                    "\xFF" + ValueBlock({}),
                ads);
    EXPECT_EQ(ads.definition_version.view(), "a\nb");
    EXPECT_TRUE(ads.values.empty());
    ASSERT_EQ(ads.lookup_tables.size(), 1u);
    EXPECT_FLOAT_EQ(ads.lookup_tables[0]->at(2), 6.0f);
}
