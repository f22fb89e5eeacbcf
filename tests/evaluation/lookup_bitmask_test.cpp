#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "definition/definition.h"
#include "evaluation/last_packet.h"

using namespace korvit::definition;
using korvit::evaluation::Packet;

namespace {

/// Entries (0 -> 10), (10 -> 20), (20 -> 40).
void FillRamp(ADXLookupTable& t) {
    t.AddEntry(20, 40);
    t.AddEntry(0, 10);
    t.AddEntry(10, 20);
}

std::string Text(const ADXLookupTable& t, float x, int digits = 2) {
    char buf[32] = "junk";
    t.FormatLookup(x, buf, sizeof buf, nullptr, digits);
    return buf;
}

}  // namespace

TEST(LookupTable, ModesBetweenEntries) {
    ADXLookupTable t;
    FillRamp(t);
    struct Case {
        uint32_t mode;
        float at5;
        float at4;
    };
    for (const Case c : {Case{0, 15, 14}, Case{1, 20, 10}, Case{2, 10, 10}, Case{3, 20, 20}}) {
        t.SetLookupMode(c.mode);
        EXPECT_FLOAT_EQ(t.LookupNumber(5), c.at5) << "mode " << c.mode;
        EXPECT_FLOAT_EQ(t.LookupNumber(4), c.at4) << "mode " << c.mode;
        EXPECT_FLOAT_EQ(t.LookupNumber(15), c.mode == 0 ? 30 : c.mode == 2 ? 20 : 40);
    }
    t.SetLookupMode(9);  // unknown mode: no number between entries, exact hits still work
    EXPECT_FLOAT_EQ(t.LookupNumber(5), 0);
    EXPECT_FLOAT_EQ(t.LookupNumber(10), 20);
}

TEST(LookupTable, ExactHitsAndClampingInEveryMode) {
    ADXLookupTable t;
    FillRamp(t);
    for (uint32_t mode = 0; mode < 4; ++mode) {
        t.SetLookupMode(mode);
        EXPECT_FLOAT_EQ(t.LookupNumber(-3), 10) << "mode " << mode;
        EXPECT_FLOAT_EQ(t.LookupNumber(25), 40) << "mode " << mode;
        EXPECT_FLOAT_EQ(t.LookupNumber(10), 20) << "mode " << mode;
        EXPECT_FLOAT_EQ(t.LookupNumber(0), 10) << "mode " << mode;
        EXPECT_FLOAT_EQ(t.LookupNumber(std::nanf("")), 10) << "mode " << mode;
    }
    // The last input is reached between the last two entries: mode 2 gives the one below.
    t.SetLookupMode(ADXLookupTable::kBelow);
    EXPECT_FLOAT_EQ(t.LookupNumber(20), 20);
    t.SetLookupMode(ADXLookupTable::kInterpolate);
    EXPECT_FLOAT_EQ(t.LookupNumber(20), 40);

    ADXLookupTable one;
    one.AddEntry(10, 7);
    EXPECT_FLOAT_EQ(one.LookupNumber(-100), 7);
    EXPECT_FLOAT_EQ(one.LookupNumber(1e9f), 7);
    ADXLookupTable empty;
    EXPECT_FLOAT_EQ(empty.LookupNumber(1), 0);
    EXPECT_EQ(Text(empty, 1), "0.00");
}

TEST(LookupTable, EntriesStayOrderedAndUnique) {
    ADXLookupTable t;
    FillRamp(t);
    EXPECT_EQ(t.AddEntry(10, 99), 1);
    EXPECT_FLOAT_EQ(t.entries()[1].output, 99);
    EXPECT_EQ(t.AddEntry(15, 30), 2);
    EXPECT_EQ(t.AddEntry(-1, 0), 0);
    EXPECT_EQ(t.AddEntry(50, 0), 5);
    EXPECT_EQ(t.AddEntry(50, 7), 5);  // the last input again replaces its entry
    EXPECT_FLOAT_EQ(t.entries()[5].output, 7);
    ASSERT_EQ(t.entries().size(), 6u);
    for (size_t i = 1; i < t.entries().size(); ++i) {
        EXPECT_LT(t.entries()[i - 1].input, t.entries()[i].input);
    }
    EXPECT_FLOAT_EQ(t.RemoveEntryAt(0), -1);
    EXPECT_FLOAT_EQ(t.RemoveEntryAt(99), 0);
    EXPECT_EQ(t.RemoveEntry(15), 1);
    EXPECT_EQ(t.RemoveEntry(15), 0);
    ADXLookupEntry e;
    ASSERT_EQ(t.GetEntry(1, e), 1);
    EXPECT_FLOAT_EQ(e.input, 10);
    EXPECT_EQ(t.GetEntry(9, e), 0);
    t.SetOutputType(ADXLookupTable::kTextOutput);
    t.ResetTable();
    EXPECT_TRUE(t.entries().empty());
    EXPECT_EQ(t.outputtype(), 3u);
    EXPECT_EQ(t.lookupmode(), 0u);
}

TEST(LookupTable, TextTables) {
    ADXLookupTable t;
    t.SetOutputType(ADXLookupTable::kTextOutput);
    EXPECT_EQ(t.lookupmode(), 1u);
    t.SetLookupMode(0);
    EXPECT_EQ(t.lookupmode(), 1u);
    EXPECT_EQ(t.AddEntry(0, nullptr, 0), -1);
    EXPECT_EQ(t.AddEntry(0, "", 0), -1);
    EXPECT_EQ(t.AddEntry(0, 5.0f), -1);
    t.AddEntry(0, "OFF", 3);
    t.AddEntry(1, "ON", 2);
    EXPECT_EQ(Text(t, 0.4f), "OFF");
    EXPECT_EQ(Text(t, 0.5f), "ON");
    EXPECT_FLOAT_EQ(t.LookupNumber(1), 0);
    char buf[3];
    EXPECT_EQ(t.LookupText(0, buf, sizeof buf), 2u);
    EXPECT_STREQ(buf, "OF");
    t.SetLookupMode(7);  // unknown mode: the first entry's text between entries
    EXPECT_EQ(Text(t, 0.7f), "OFF");

    ADXLookupTable numeric;
    numeric.AddEntry(1, 2.5f);
    EXPECT_EQ(numeric.LookupText(1, buf, sizeof buf), 0u);
    numeric.SetOutputType(ADXLookupTable::kTextOutput);
    EXPECT_EQ(numeric.entries()[0].text.view(), "2.500000");
    numeric.SetOutputType(3);
    EXPECT_FLOAT_EQ(numeric.entries()[0].output, 0);
}

TEST(LookupTable, FormatByOutputType) {
    ADXLookupTable t;
    t.AddEntry(0, 255.7f);
    float number = 0;
    char buf[32];
    t.FormatLookup(0, buf, sizeof buf, &number, 1);
    EXPECT_STREQ(buf, "255.7");
    EXPECT_FLOAT_EQ(number, 255.7f);
    t.SetOutputType(0);
    EXPECT_EQ(Text(t, 0), "0xFF");
    t.AddEntry(1, 10);
    EXPECT_EQ(Text(t, 1), "0x0A");
    t.SetOutputType(1);
    EXPECT_EQ(Text(t, 0), "255");
    t.SetOutputType(4);
    EXPECT_EQ(Text(t, 0), "");
}

TEST(Bitmask, AndXorAndByteOrder) {
    ADXDefinition def;
    ADXBitmask m;
    m.operand = 0x80;
    m.result = 0x80;
    const uint8_t c1[] = {0xC1};
    const uint8_t x41[] = {0x41};
    EXPECT_EQ(m.EvaluateBitmask(def, Packet{c1, 1}), 1);
    EXPECT_EQ(m.EvaluateBitmask(def, Packet{x41, 1}), 0);
    m.result = 0;  // bit clear
    EXPECT_EQ(m.EvaluateBitmask(def, Packet{x41, 1}), 1);

    m.bitop = ADXBitmask::kXor;
    m.operand = 0x01;
    m.result = 0x00;
    const uint8_t x01[] = {0x01};
    EXPECT_EQ(m.EvaluateBitmask(def, Packet{x01, 1}), 1);
    EXPECT_EQ(m.EvaluateBitmask(def, Packet{c1, 1}), 0);
    m.bitop = 2;
    EXPECT_EQ(m.EvaluateBitmask(def, Packet{x01, 1}), 0);

    const uint8_t word[] = {0x01, 0x00};
    m.sizeinbits = 16;
    EXPECT_EQ(m.ExtractRaw(Packet{word, 2}), 0x0100u);
    m.flags = ADXBitmask::kPacketOrder;
    EXPECT_EQ(m.ExtractRaw(Packet{word, 2}), 0x0001u);
    EXPECT_EQ(m.ExtractRaw(Packet::None()), 0x0001u);
}

TEST(Bitmask, TextsFollowTheState) {
    ADXDefinition def;
    ADXBitmask m;
    m.operand = 1;
    m.result = 1;
    m.SetTrueString("Closed Loop", 11);
    char buf[40] = "junk";
    const uint8_t on[] = {1};
    const uint8_t off[] = {0};
    EXPECT_EQ(m.BitmaskText(buf, sizeof buf, def, Packet{on, 1}), 1);
    EXPECT_STREQ(buf, "Closed Loop");
    EXPECT_EQ(m.BitmaskText(buf, sizeof buf, def, Packet{off, 1}), 0);
    EXPECT_STREQ(buf, "");  // no false text
    // Without a packet the last raw number decides.
    EXPECT_EQ(m.BitmaskText(buf, sizeof buf, def, Packet::None()), 0);
}
