#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "adx_test_support.h"
#include "definition/definition.h"

using namespace korvit::definition;
using namespace korvit::definition::testing;

namespace {

const std::string kDemo = std::string(KORVIT_SOURCE_DIR) + "/samples/demo.adx";

// The "Written" comment's text, or empty when the file has none.
std::string WrittenStamp(const std::string& text) {
    const size_t begin = text.find("<!-- Written ");
    const size_t end = text.find(" -->", begin);
    if (begin == std::string::npos || end == std::string::npos) return std::string();
    return text.substr(begin + 13, end - begin - 13);
}

std::string WithoutWrittenLine(std::string text) {
    const std::string stamp = WrittenStamp(text);
    if (!stamp.empty()) text.erase(text.find(stamp), stamp.size());
    return text;
}

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

// The fields that the file carries for each class, with references by id.
void ExpectSameObject(const ADXObject& a, const ADXObject& b) {
    SCOPED_TRACE(std::string(a.id()));
    ASSERT_EQ(a.type(), b.type());
    EXPECT_EQ(a.id(), b.id());
    EXPECT_EQ(a.idhash(), b.idhash());
    EXPECT_EQ(a.title().view(), b.title().view());
    EXPECT_EQ(a.desc().view(), b.desc().view());
    if (auto* v = As<ADXValue>(&a)) {
        auto* w = As<ADXValue>(&b);
        EXPECT_EQ(v->flags, w->flags);
        EXPECT_EQ(v->parentcmdidhash, w->parentcmdidhash);
        EXPECT_EQ(v->packetoffset, w->packetoffset);
        EXPECT_EQ(v->sizeinbits, w->sizeinbits);
        EXPECT_EQ(v->digcount, w->digcount);
        EXPECT_EQ(v->outputtype, w->outputtype);
        EXPECT_EQ(v->expression().text(), w->expression().text());
        EXPECT_EQ(v->units().view(), w->units().view());
        EXPECT_EQ(v->range_low, w->range_low);
        EXPECT_EQ(v->alarm_high, w->alarm_high);
        EXPECT_EQ(RefID(v->lookup), RefID(w->lookup));
        ASSERT_EQ(v->vars().size(), w->vars().size());
        for (size_t i = 0; i < v->vars().size(); ++i) {
            EXPECT_EQ(v->vars()[i].type, w->vars()[i].type);
            EXPECT_EQ(v->vars()[i].linkIDHash, w->vars()[i].linkIDHash);
        }
    } else if (auto* m = As<ADXBitmask>(&a)) {
        auto* n = As<ADXBitmask>(&b);
        EXPECT_EQ(m->packetoffset, n->packetoffset);
        EXPECT_EQ(m->operand, n->operand);
        EXPECT_EQ(m->result, n->result);
        EXPECT_EQ(m->flags, n->flags);
        EXPECT_EQ(m->truestring().view(), n->truestring().view());
    } else if (auto* l = As<ADXListView>(&a)) {
        auto* k = As<ADXListView>(&b);
        ASSERT_EQ(l->count(), k->count());
        for (size_t i = 0; i < l->count(); ++i) {
            EXPECT_EQ(RefID(l->entries()[i].item), RefID(k->entries()[i].item));
        }
    } else if (auto* d = As<ADXDashboard>(&a)) {
        auto* e = As<ADXDashboard>(&b);
        ASSERT_EQ(d->count(), e->count());
        for (size_t i = 0; i < d->count(); ++i) {
            EXPECT_EQ(RefID(d->entries()[i].item), RefID(e->entries()[i].item));
            EXPECT_EQ(d->entries()[i].right, e->entries()[i].right);
        }
    } else if (auto* s = As<ADXCSendCommand>(&a)) {
        auto* t = As<ADXCSendCommand>(&b);
        EXPECT_EQ(s->bytes(), t->bytes());
        EXPECT_EQ(s->packetoffset, t->packetoffset);
        EXPECT_EQ(s->packetsize, t->packetsize);
    } else if (auto* mac = As<ADXMacro>(&a)) {
        auto* mbc = As<ADXMacro>(&b);
        ASSERT_EQ(mac->count(), mbc->count());
        for (size_t i = 0; i < mac->count(); ++i) {
            EXPECT_EQ(RefID(mac->nodes()[i].command), RefID(mbc->nodes()[i].command));
        }
    } else if (auto* h = As<ADXHistogram>(&a)) {
        auto* g = As<ADXHistogram>(&b);
        EXPECT_EQ(RefID(h->x()), RefID(g->x()));
        EXPECT_EQ(RefID(h->z()), RefID(g->z()));
        EXPECT_EQ(h->cols(), g->cols());
        EXPECT_EQ(h->ymax(), g->ymax());
    }
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

TEST(ADXRoundTrip, SaveThenLoadGivesTheSameObjectsAndASecondSaveTheSameBytes) {
    ADXDefinition first;
    std::string error;
    ASSERT_EQ(first.Load(kDemo, error), 1) << error;
    TempFile one("korvit-roundtrip-1");
    TempFile two("korvit-roundtrip-2");
    ASSERT_EQ(first.Save(one.path()), 1);

    ADXDefinition second;
    ASSERT_EQ(second.Load(one.path(), error), 1) << error;
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(first.flags, second.flags);
    EXPECT_EQ(first.baud, second.baud);
    EXPECT_EQ(first.author().view(), second.author().view());
    EXPECT_EQ(RefID(first.monitor_command), RefID(second.monitor_command));
    for (size_t i = 0; i < first.size(); ++i) {
        ExpectSameObject(*first.objects()[i], *second.objects()[i]);
    }

    ASSERT_EQ(second.Save(two.path()), 1);
    const std::string bytes = ReadAll(two.path());
    EXPECT_EQ(WithoutWrittenLine(ReadAll(one.path())), WithoutWrittenLine(bytes));
    // The bundled sample is itself in the written layout.
    EXPECT_EQ(WithoutWrittenLine(ReadAll(kDemo)), WithoutWrittenLine(bytes));
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
    EXPECT_EQ(WithoutWrittenLine(text).substr(0, 216),
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
