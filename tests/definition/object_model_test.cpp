#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "definition/definition.h"

using namespace korvit::definition;

TEST(IdHash, SeedTableAndRotationAreThoseOfTheFileFormat) {
    EXPECT_EQ(ComputeIDHash("", 0), 0xDC379ACFu);
    EXPECT_EQ(ComputeIDHash(nullptr, 4), 0u);
    // One byte: rotl5(T[c] ^ seed). T['A'=65] = 234 and T[0] = 1 in Pearson's table.
    const uint32_t seed = 0xDC379ACFu;
    auto rotl5 = [](uint32_t v) { return (v << 5) | (v >> 27); };
    const uint8_t zero = 0;
    EXPECT_EQ(ComputeIDHash(&zero, 1), rotl5(1u ^ seed));
    EXPECT_EQ(ComputeIDHash("A", 1), rotl5(234u ^ seed));
    const uint8_t last = 255;
    EXPECT_EQ(ComputeIDHash(&last, 1), rotl5(209u ^ seed));
    EXPECT_EQ(ComputeIDHash("AB", 2, 1000), ComputeIDHash("AB", 2) % 1000);
    EXPECT_NE(IDHashOf("rpm"), IDHashOf("RPM"));
    EXPECT_EQ(IDHashOf("ABCDEFGHIJKLMNOPQ"), IDHashOf("ABCDEFGHIJKLMNO"));
}

TEST(ObjectModel, IdsAreCutAndReferencesByTextCompareFourteenCharacters) {
    ADXValue v;
    v.SetID("ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(v.id(), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(v.idhash(), IDHashOf("ABCDEFGHIJKLMNO"));
    char buf[64];
    EXPECT_EQ(v.GetID(buf, sizeof buf), 14u);
    EXPECT_STREQ(buf, "ABCDEFGHIJKLMN");
    EXPECT_EQ(v.GetID(buf, 4), 3u);
    v.SetID(static_cast<const char*>(nullptr));
    EXPECT_EQ(v.idhash(), 0u);
    EXPECT_EQ(v.type(), ADXTYPE_VALUE);
}

TEST(ObjectModel, EquationRebuildsVarsAndVarUpdatesMatchByLetter) {
    ADXValue v;
    v.SetEquation("(X*2)+Y-X");
    ASSERT_EQ(v.vars().size(), 3u);
    EXPECT_EQ(v.vars()[0].varID, 'X');
    EXPECT_EQ(v.vars()[1].varID, 'Y');
    v.SetVar({ADXValueVar::kLink, 'X', 0x1234});
    v.SetVar({ADXValueVar::kLink, 'Q', 0x9});
    EXPECT_EQ(v.vars()[0].type, ADXValueVar::kLink);
    EXPECT_EQ(v.vars()[0].linkIDHash, 0x1234u);
    EXPECT_EQ(v.vars()[2].type, ADXValueVar::kNative);
}

TEST(ObjectModel, ListViewLimitsAndTitleCopyRule) {
    ADXListView list;
    EXPECT_EQ(list.Resize(300), 0);
    EXPECT_EQ(list.count(), 0u);
    ASSERT_EQ(list.Resize(2), 1);
    ADXListViewEntry e;
    const std::string longTitle(200, 't');
    e.title.Set(longTitle);
    EXPECT_EQ(list.SetEntry(1, e), 1);
    EXPECT_EQ(list.entries()[1].title.size(), 0u);
    e.title.Set("Coolant");
    EXPECT_EQ(list.SetEntry(2, e), 0);
    EXPECT_EQ(list.Append(e), 1);
    EXPECT_EQ(list.entries()[2].title.view(), "Coolant");
    ASSERT_EQ(list.Resize(255), 1);
    EXPECT_EQ(list.Append(e), 0);
    EXPECT_EQ(list.entries()[2].title.view(), "Coolant");
}

namespace {

template <typename T>
T* Add(ADXDefinition& def, const char* id) {
    auto object = std::make_unique<T>();
    object->SetID(id);
    T* raw = object.get();
    def.Insert(std::move(object));
    return raw;
}

}  // namespace

// Resolving references is covered through loading in the grammar tests; these are the lookups.
TEST(Definition, LookupsByTypeHashAndId) {
    ADXDefinition def;
    auto* send = Add<ADXCSendCommand>(def, "MODE1_SEND_CMD_X");  // 15 chars kept
    auto* rpm = Add<ADXValue>(def, "RPM");
    auto* flag = Add<ADXBitmask>(def, "CLOSEDLOOP");
    Add<ADXValue>(def, "RPM");  // duplicate id: the first wins

    EXPECT_EQ(def.NthOfType(ADXTYPE_VALUE | ADXTYPE_BITMASK, 1), flag);
    EXPECT_EQ(def.NthOfType(ADXTYPE_VALUE, 1)->id(), "RPM");
    EXPECT_EQ(def.FindByHash(IDHashOf("RPM")), rpm);
    EXPECT_EQ(def.FindByHash(0), nullptr);
    EXPECT_EQ(def.FindByID("MODE1_SEND_CMD"), send);
    EXPECT_EQ(def.FindByID("rpm"), nullptr);

    def.Reset();
    EXPECT_EQ(def.size(), 0u);
    EXPECT_EQ(def.baud, 8192u);
    EXPECT_EQ(def.Insert(nullptr), 0);
}

// The editor takes objects out and puts them back: the list order and the header follow.
TEST(Definition, RemoveHandsTheObjectBackAndInsertRestoresItsPlace) {
    ADXDefinition def;
    auto* send = Add<ADXCSendCommand>(def, "send");
    auto* rpm = Add<ADXValue>(def, "rpm");
    Add<ADXValue>(def, "tps");
    def.monitor_command = send;
    EXPECT_EQ(def.IndexOf(rpm), 1u);
    EXPECT_EQ(def.Remove(3), nullptr);

    std::unique_ptr<ADXObject> taken = def.Remove(0);
    EXPECT_EQ(taken.get(), send);
    EXPECT_EQ(def.monitor_command, nullptr);  // never left pointing at an object it lost
    EXPECT_EQ(def.IndexOf(send), SIZE_MAX);
    EXPECT_EQ(def.IndexOf(rpm), 0u);
    def.Insert(std::move(taken), 0);
    EXPECT_EQ(def.IndexOf(send), 0u);
    EXPECT_EQ(def.FindByID("send"), send);
}
