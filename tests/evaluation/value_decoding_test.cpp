#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "definition/definition.h"
#include "evaluation/item_readout.h"
#include "evaluation/last_packet.h"

using namespace korvit::definition;
using korvit::evaluation::Alarm;
using korvit::evaluation::Packet;
using korvit::evaluation::PacketSnapshot;

namespace {

template <size_t N>
Packet Bytes(const uint8_t (&bytes)[N]) {
    return Packet{bytes, N};
}

/// A definition that owns the values a test builds.
struct Fixture {
    ADXDefinition def;

    ADXValue& AddValue(const char* id, const char* equation, uint32_t command = 0) {
        auto value = std::make_unique<ADXValue>();
        value->SetID(id);
        value->SetValueEquation(equation);
        value->parentcmdidhash = command;
        ADXValue& ref = *value;
        def.Insert(std::move(value));
        return ref;
    }
    std::string Text(ADXValue& v, Packet packet, uint32_t options = 0) {
        char buf[40] = "";
        v.FormatValue(buf, sizeof buf, def, packet, 0, options);
        return buf;
    }
};

}  // namespace

TEST(ValueDecoding, WidthByteOrderSignednessAndBytesOutsideThePacket) {
    Fixture f;
    ADXValue& v = f.AddValue("V", "X");
    const uint8_t be[] = {0x00, 0x12, 0x34};
    v.packetoffset = 1;
    v.sizeinbits = 16;
    EXPECT_EQ(v.ExtractRaw(Bytes(be)), 0x1234u);
    EXPECT_EQ(v.ExtractRaw(Bytes(be), 0, korvit::evaluation::kNeverSwap), 0x3412u);
    EXPECT_EQ(v.ExtractRaw(Bytes(be), 0, korvit::evaluation::kUseGivenOffset), 0x0012u);
    v.flags = ADXValue::kPacketOrder;
    EXPECT_EQ(v.ExtractRaw(Bytes(be)), 0x3412u);
    EXPECT_EQ(v.last_raw.load(), 0x3412u);

    const uint8_t word[] = {0x01, 0x02, 0x03, 0x04};
    v.packetoffset = 0;
    v.flags = 0;
    v.sizeinbits = 32;
    EXPECT_EQ(v.ExtractRaw(Bytes(word)), 0x01020304u);
    v.sizeinbits = 24;  // three bytes are never swapped
    EXPECT_EQ(v.ExtractRaw(Bytes(word)), 0x030201u);
    v.flags = ADXValue::kSigned;
    EXPECT_DOUBLE_EQ(v.RawToNumber(Bytes(word)), 0.0);  // signed 24-bit is not supported

    const uint8_t ff[] = {0xFF, 0xFE};
    v.sizeinbits = 8;
    EXPECT_DOUBLE_EQ(v.RawToNumber(Bytes(ff)), -1.0);
    v.flags = 0;
    EXPECT_DOUBLE_EQ(v.RawToNumber(Bytes(ff)), 255.0);
    v.flags = ADXValue::kSigned;
    v.sizeinbits = 16;
    EXPECT_DOUBLE_EQ(v.RawToNumber(Bytes(ff)), -2.0);
    const uint8_t neg32[] = {0xFF, 0xFF, 0xFF, 0xFD};
    v.sizeinbits = 32;
    EXPECT_DOUBLE_EQ(v.RawToNumber(Bytes(neg32)), -3.0);

    // Bytes outside the packet read as zero.
    const uint8_t two[] = {0xAB, 0xCD};
    v.flags = 0;
    v.sizeinbits = 16;
    v.packetoffset = 1;
    EXPECT_EQ(v.ExtractRaw(Bytes(two)), 0xCD00u);
    // Even when the memory after the packet holds more of the reply.
    const uint8_t longer[] = {0xAB, 0xCD, 0xEF};
    EXPECT_EQ(v.ExtractRaw(Packet{longer, 2}), 0xCD00u);
    v.sizeinbits = 32;
    v.packetoffset = 0;
    EXPECT_EQ(v.ExtractRaw(Packet{longer, 2}), 0xABCD0000u);
    v.sizeinbits = 16;
    v.packetoffset = 0xFFFFFFFFu;
    EXPECT_EQ(v.ExtractRaw(Bytes(two)), 0u);
}

TEST(ValueDecoding, NoPacketReusesTheLastRawNumber) {
    Fixture f;
    ADXValue& v = f.AddValue("V", "X*2");
    EXPECT_DOUBLE_EQ(v.ComputeValue(f.def, Packet::None()), 0.0);  // fresh: raw 0
    const uint8_t bytes[] = {21};
    EXPECT_DOUBLE_EQ(v.ComputeValue(f.def, Bytes(bytes)), 42.0);
    EXPECT_DOUBLE_EQ(v.ComputeValue(f.def, Packet::None()), 42.0);
}

TEST(ValueDecoding, OutputTypes) {
    Fixture f;
    ADXValue& v = f.AddValue("V", "X*0.5");
    const uint8_t raw101[] = {101};
    v.digcount = 1;
    v.outputtype = 3;
    EXPECT_EQ(f.Text(v, Bytes(raw101)), "50.5");
    v.outputtype = 1;
    EXPECT_EQ(f.Text(v, Bytes(raw101)), "50");
    v.outputtype = 2;
    v.digcount = 3;
    EXPECT_EQ(f.Text(v, Bytes(raw101)), "050");
    v.outputtype = 0;
    v.digcount = 4;
    EXPECT_EQ(f.Text(v, Bytes(raw101)), "0032");

    v.SetValueEquation("0-X");
    const uint8_t one[] = {1};
    v.digcount = 2;
    EXPECT_EQ(f.Text(v, Bytes(one)), "FFFFFFFF");
    v.outputtype = 2;
    EXPECT_EQ(f.Text(v, Bytes(one)), "4294967295");
    v.outputtype = 1;
    EXPECT_EQ(f.Text(v, Bytes(one)), "-01");

    // An unknown output type writes nothing: the buffer keeps what it held.
    v.outputtype = 7;
    char buf[8] = "old";
    EXPECT_DOUBLE_EQ(v.FormatValue(buf, sizeof buf, f.def, Bytes(one)), -1.0);
    EXPECT_STREQ(buf, "old");
    // The text is cut to the buffer.
    v.outputtype = 3;
    v.digcount = 10;
    char small[6];
    v.FormatValue(small, sizeof small, f.def, Bytes(one));
    EXPECT_STREQ(small, "-1.00");
}

TEST(ValueDecoding, LookupTableMapsTheValueAndItsText) {
    Fixture f;
    auto table = std::make_unique<ADXLookupTable>();
    table->AddEntry(0, 10);
    table->AddEntry(10, 20);
    ADXLookupTable* numeric = table.get();
    f.def.Insert(std::move(table));
    auto words = std::make_unique<ADXLookupTable>();
    words->SetOutputType(ADXLookupTable::kTextOutput);
    words->AddEntry(0, "OFF", 3);
    words->AddEntry(1, "ON", 2);
    ADXLookupTable* text = words.get();
    f.def.Insert(std::move(words));

    ADXValue& v = f.AddValue("V", "X");
    const uint8_t five[] = {5};
    v.lookup = numeric;
    EXPECT_DOUBLE_EQ(v.ComputeValue(f.def, Bytes(five)), 15.0);
    EXPECT_DOUBLE_EQ(v.ComputeValue(f.def, Bytes(five), 0, korvit::evaluation::kNoLookup), 5.0);
    char buf[40];
    EXPECT_DOUBLE_EQ(v.FormatValue(buf, sizeof buf, f.def, Bytes(five)), 5.0);
    EXPECT_STREQ(buf, "15.00");

    const uint8_t one[] = {1};
    v.lookup = text;
    EXPECT_DOUBLE_EQ(v.ComputeValue(f.def, Bytes(one)), 0.0);  // a text table gives no number
    EXPECT_EQ(f.Text(v, Bytes(one)), "ON");
    EXPECT_EQ(f.Text(v, Bytes(one), korvit::evaluation::kNoLookup), "1.00");
}

TEST(ValueDecoding, LinkedValuesAndTheirPackets) {
    Fixture f;
    const uint32_t cmd = 0x1111;
    ADXValue& a = f.AddValue("A", "X", cmd);
    ADXValue& other = f.AddValue("O", "X", 0x2222);
    ADXValue& sum = f.AddValue("S", "X+Y+Z", cmd);
    sum.packetoffset = 1;
    sum.SetVar({ADXValueVar::kLink, 'Y', a.idhash()});
    sum.SetVar({ADXValueVar::kLink, 'Z', other.idhash()});

    const uint8_t older[] = {50};
    other.ExtractRaw(Bytes(older));
    const uint8_t bytes[] = {7, 100};
    // Y shares the packet (same command); Z belongs to another command and keeps its raw 50.
    EXPECT_DOUBLE_EQ(sum.ComputeValue(f.def, Bytes(bytes)), 100 + 7 + 50);

    // A missing link leaves the letter as before (0.0 here).
    sum.SetVar({ADXValueVar::kLink, 'Z', 0xDEAD});
    EXPECT_DOUBLE_EQ(sum.ComputeValue(f.def, Bytes(bytes)), 107.0);

    // Chains are followed afresh; a circle evaluates to 0.0 instead of recursing.
    ADXValue& b = f.AddValue("B", "Y+1", cmd);
    b.SetVar({ADXValueVar::kLink, 'Y', sum.idhash()});
    EXPECT_DOUBLE_EQ(b.ComputeValue(f.def, Bytes(bytes)), 108.0);
    sum.SetVar({ADXValueVar::kLink, 'Z', b.idhash()});
    EXPECT_DOUBLE_EQ(b.ComputeValue(f.def, Bytes(bytes)), 0.0);
    EXPECT_DOUBLE_EQ(sum.ComputeValue(f.def, Bytes(bytes)), 0.0);
    ADXValue& self = f.AddValue("L", "X+1");
    self.SetVar({ADXValueVar::kLink, 'X', self.idhash()});
    EXPECT_DOUBLE_EQ(self.ComputeValue(f.def, Bytes(bytes)), 0.0);
}

TEST(ValueDecoding, RepeatedLetterReadsItsLastRecord) {
    Fixture f;
    ADXValue& target = f.AddValue("T", "X*3");
    ADXValue& v = f.AddValue("V", "X+X");
    ASSERT_EQ(v.vars().size(), 2u);
    // Only the first X record becomes a link; the second (native) one sets X last.
    v.SetVar({ADXValueVar::kLink, 'X', target.idhash()});
    const uint8_t two[] = {2};
    EXPECT_DOUBLE_EQ(v.ComputeValue(f.def, Bytes(two)), 4.0);
}

TEST(ValueReadout, PacketSelectionAndAlarms) {
    Fixture f;
    const uint32_t cmd = 0xAAAA;
    ADXValue& v = f.AddValue("V", "X", cmd);
    v.flags = ADXValue::kHighAlarm | ADXValue::kLowAlarm;
    v.alarm_low = 10;
    v.alarm_high = 200;

    PacketSnapshot snap;
    snap.bytes[0] = 201;
    snap.ReplyCommandHash = cmd;
    auto r = korvit::evaluation::ReadValue(v, f.def, snap);
    EXPECT_EQ(r.raw, 201u);
    EXPECT_DOUBLE_EQ(r.value, 201.0);
    EXPECT_STREQ(r.text.data(), "201.00");
    EXPECT_EQ(r.alarm, Alarm::kHigh);

    // Another command's packet is ignored: the value keeps its last reading.
    snap.bytes[0] = 5;
    snap.ReplyCommandHash = 0xBBBB;
    r = korvit::evaluation::ReadValue(v, f.def, snap);
    EXPECT_EQ(r.raw, 201u);

    snap.ReplyCommandHash = cmd;
    EXPECT_EQ(korvit::evaluation::ReadValue(v, f.def, snap).alarm, Alarm::kLow);
    snap.bytes[0] = 200;  // limits are strict
    EXPECT_EQ(korvit::evaluation::ReadValue(v, f.def, snap).alarm, Alarm::kNone);
    snap.bytes[0] = 10;
    EXPECT_EQ(korvit::evaluation::ReadValue(v, f.def, snap).alarm, Alarm::kNone);
    v.flags = 0;
    snap.bytes[0] = 255;
    EXPECT_EQ(korvit::evaluation::ReadValue(v, f.def, snap).alarm, Alarm::kNone);
    // The digital gauge includes the limits; the high alarm is tested first.
    v.flags = ADXValue::kHighAlarm | ADXValue::kLowAlarm;
    EXPECT_EQ(korvit::evaluation::GaugeAlarm(v, 200), Alarm::kHigh);
    EXPECT_EQ(korvit::evaluation::GaugeAlarm(v, 10), Alarm::kLow);
    EXPECT_EQ(korvit::evaluation::GaugeAlarm(v, 11), Alarm::kNone);
    v.alarm_low = 300;  // overlapping limits: high wins
    EXPECT_EQ(korvit::evaluation::GaugeAlarm(v, 250), Alarm::kHigh);
    EXPECT_EQ(korvit::evaluation::ItemListAlarm(v, 250), Alarm::kHigh);
    EXPECT_STREQ(korvit::evaluation::AlarmName(Alarm::kLow), "low");
    EXPECT_EQ(korvit::evaluation::AlarmName(Alarm::kNone), nullptr);
}

TEST(ExtractCommandItems, StoresRawNumbersOfThatCommandOnly) {
    Fixture f;
    ADXValue& mine = f.AddValue("A", "X", 0x10);
    ADXValue& theirs = f.AddValue("B", "X", 0x20);
    auto mask = std::make_unique<ADXBitmask>();
    mask->parentcmdidhash = 0x10;
    mask->packetoffset = 1;
    ADXBitmask& bits = *mask;
    f.def.Insert(std::move(mask));

    korvit::evaluation::LastPacket last;
    const uint8_t reply[] = {0x42, 0x81};
    last.Store(reply, sizeof reply, 0x10);
    const PacketSnapshot snap = last.Load();
    EXPECT_EQ(snap.length, 2u);
    f.def.ExtractCommandItems(snap.bytes.data(), 0x10);
    EXPECT_EQ(mine.last_raw.load(), 0x42u);
    EXPECT_EQ(bits.last_raw.load(), 0x81u);
    EXPECT_EQ(theirs.last_raw.load(), 0u);

    // A later, shorter reply leaves the rest of the record as it was.
    const uint8_t shorter[] = {0x01};
    last.Store(shorter, 1, 0x10);
    EXPECT_EQ(last.Load().bytes[1], 0x81);
    const std::string big(400, 'x');
    EXPECT_EQ(last.Store(reinterpret_cast<const uint8_t*>(big.data()), big.size(), 1), 300u);
}

// A result that is not finite reads "----" in every format and through a lookup table, with no
// alarm; so does every item before the first reply (an empty record is not a reading).
TEST(ValueReadout, NoValueBeforeTheFirstReplyOrForANumberThatIsNotFinite) {
    Fixture f;
    ADXValue& ratio = f.AddValue("R", "X#999");
    ADXValue& root = f.AddValue("Q", "(0-X)#0.5");
    ratio.flags = ADXValue::kHighAlarm | ADXValue::kLowAlarm;
    ratio.alarm_low = 10;
    ratio.alarm_high = 200;
    const uint8_t five[] = {5};
    for (uint32_t type = 0; type <= 3; ++type) {
        ratio.outputtype = type;
        root.outputtype = type;
        EXPECT_EQ(f.Text(ratio, Bytes(five)), "----") << type;  // +inf
        EXPECT_EQ(f.Text(root, Bytes(five)), "----") << type;   // not a number
    }
    EXPECT_TRUE(std::isinf(ratio.ComputeValue(f.def, Bytes(five))));
    EXPECT_TRUE(std::isnan(root.ComputeValue(f.def, Bytes(five))));
    auto table = std::make_unique<ADXLookupTable>();
    table->AddEntry(0, 10);
    table->AddEntry(1e30f, 20);
    ratio.lookup = table.get();
    f.def.Insert(std::move(table));
    EXPECT_EQ(f.Text(ratio, Bytes(five)), "----");

    PacketSnapshot snap;
    snap.bytes[0] = 5;
    snap.ReplyCommandHash = 0x1234;
    auto r = korvit::evaluation::ReadValue(ratio, f.def, snap);
    EXPECT_STREQ(r.text.data(), "----");
    EXPECT_TRUE(std::isnan(r.value) || std::isinf(r.value));
    EXPECT_EQ(r.alarm, Alarm::kNone);  // +inf is not "above the high alarm"

    ADXValue& hot = f.AddValue("T", "X+150");
    hot.flags = ADXValue::kHighAlarm;
    hot.alarm_high = 120;
    auto mask = std::make_unique<ADXBitmask>();
    mask->operand = 1;
    mask->result = 0;
    mask->SetTrueString("On", 2);
    ADXBitmask& bits = *mask;
    f.def.Insert(std::move(mask));
    korvit::evaluation::LastPacket last;
    r = korvit::evaluation::ReadValue(hot, f.def, last.Load());
    EXPECT_STREQ(r.text.data(), "----");
    EXPECT_TRUE(std::isnan(r.value));
    EXPECT_EQ(r.alarm, Alarm::kNone);
    EXPECT_STREQ(korvit::evaluation::ReadBitmask(bits, f.def, last.Load()).text.data(), "----");

    const uint8_t reply[] = {2};
    last.Store(reply, 1, 0x77);
    r = korvit::evaluation::ReadValue(hot, f.def, last.Load());
    EXPECT_STREQ(r.text.data(), "152.00");
    EXPECT_EQ(r.alarm, Alarm::kHigh);
    EXPECT_STREQ(korvit::evaluation::ReadBitmask(bits, f.def, last.Load()).text.data(), "On");
    // A new scan, log or definition starts without a reading again.
    last.Clear();
    EXPECT_STREQ(korvit::evaluation::ReadValue(hot, f.def, last.Load()).text.data(), "----");
}
