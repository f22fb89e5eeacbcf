// The editor's document: edits through the undo stack, saving through the core's writer,
// renames that carry references along, deletes that clear them, and the problem checks.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cstdio>

#include "editor_document.h"
#include "editor_fixture.h"
#include "problems.h"

namespace {

using namespace korvit::definition;
using namespace korvit::editor;
using namespace editor_test;

int Field(const ADXObject* o, const char* name) {
    return FieldIndex(o != nullptr ? o->type() : 0, name);
}

QJsonObject ObjectById(const std::string& dump, const char* id) {
    const QJsonArray objects =
        QJsonDocument::fromJson(QByteArray::fromStdString(dump)).object()["objects"].toArray();
    for (const QJsonValue& o : objects) {
        if (o.toObject()["id"].toString() == QLatin1String(id)) return o.toObject();
    }
    return {};
}

QJsonObject Header(const std::string& dump) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(dump)).object()["header"].toObject();
}

TEST(EditorDocument, NewTemplateEditedAndSavedLoadsBackWithTheSameObjects) {
    QTemporaryDir dir;
    EditorDocument doc;
    doc.NewFromTemplate();
    ADXDefinition& def = doc.definition();
    ASSERT_EQ(def.baud, 8192u);
    ASSERT_NE(def.connect_command, nullptr);
    ASSERT_NE(As<ADXCSendCommand>(def.monitor_command), nullptr);
    EXPECT_GT(As<ADXCSendCommand>(def.monitor_command)->replysize, 0u);
    ASSERT_EQ(def.NthOfType(ADXTYPE_VALUE, 1), nullptr);
    ADXObject* value = def.NthOfType(ADXTYPE_VALUE, 0);
    ASSERT_NE(value, nullptr);
    ASSERT_NE(def.NthOfType(ADXTYPE_LISTVIEW, 0), nullptr);
    EXPECT_TRUE(FindProblems(def).empty()) << FindProblems(def).front().text;

    doc.SetField(nullptr, Field(nullptr, "author"), QByteArray("Tester"));
    doc.SetField(value, Field(value, "title"), QByteArray("Engine speed"));
    doc.SetField(value, Field(value, "packetoffset"), qlonglong(16));
    doc.SetField(value, Field(value, "sizeinbits"), qlonglong(16));
    doc.SetField(value, Field(value, "equation"), QVariantList{QByteArray("X*25"), QVariantList{}});
    doc.SetField(value, Field(value, "flags"), qlonglong(ADXValue::kHighAlarm));
    EXPECT_TRUE(doc.dirty());

    const QString path = dir.filePath("new.adx");
    QString error;
    ASSERT_TRUE(doc.Save(path, error)) << error.toStdString();
    EXPECT_FALSE(doc.dirty());
    const std::string dump = Dump(path);
    EXPECT_EQ(Header(dump)["author"].toString(), "Tester");
    EXPECT_EQ(Header(dump)["monitor"].toString(), "mode1");
    EXPECT_EQ(Header(dump)["baud"].toInt(), 8192);
    const QJsonObject v = ObjectById(dump, "value1");
    EXPECT_EQ(v["title"].toString(), "Engine speed");
    EXPECT_EQ(v["packetoffset"].toInt(), 16);
    EXPECT_EQ(v["sizeinbits"].toInt(), 16);
    EXPECT_EQ(v["equation"].toString(), "X*25");
    EXPECT_EQ(v["flags"].toString(), "0x00000004");
    EXPECT_EQ(ObjectById(dump, "list1")["entries"].toArray()[0].toObject()["item"].toString(),
              "value1");

    // The editor writes exactly what the core's resave writes (apart from the time stamp).
    QProcess cli;
    const QString again = dir.filePath("resaved.adx");
    cli.start(QStringLiteral(KORVIT_CLI_PATH), {QStringLiteral("resave"), path, again});
    ASSERT_TRUE(cli.waitForFinished(30000));
    const auto without_stamp = [](std::string text) {
        const size_t a = text.find("<!-- Written");
        const size_t b = text.find("-->", a);
        return a == std::string::npos ? text : text.erase(a, b - a);
    };
    EXPECT_EQ(without_stamp(Slurp(path)), without_stamp(Slurp(again)));
}

TEST(EditorDocument, UndoAndRedoRestoreTheExactDefinition) {
    QTemporaryDir dir;
    EditorDocument doc;
    QString error;
    ASSERT_TRUE(doc.Load(DemoPath(), error)) << error.toStdString();
    const std::string original = SaveAndDump(doc, dir, "a.adx");
    ADXDefinition& def = doc.definition();

    // One of every kind of change: fields, a lookup table's type (which converts its rows and
    // mode), a rename with references, a table, add, duplicate, move and a delete of a
    // referenced object.
    ADXObject* value = def.NthOfType(ADXTYPE_VALUE, 0);
    ADXObject* table = def.NthOfType(ADXTYPE_LOOKUPTABLE, 0);
    ADXObject* send = def.NthOfType(ADXTYPE_SENDCOMMAND, 0);
    ADXObject* list = def.NthOfType(ADXTYPE_LISTVIEW, 0);
    doc.SetField(value, Field(value, "title"), QByteArray("Changed"));
    doc.SetField(value, Field(value, "alarm_high"), 99.5);
    doc.SetField(table, Field(table, "outputtype"), qlonglong(5));
    doc.SetField(send, Field(send, "id"), QByteArray("request"));
    doc.SetField(send, Field(send, "bytes"), QByteArray("\xF4\x57\x01", 3));
    QVariantList rows = FieldsOf(ADXTYPE_LISTVIEW)[static_cast<size_t>(Field(list, "entries"))]
                            .get(def, list)
                            .toList();
    rows.removeFirst();
    doc.SetField(list, Field(list, "entries"), rows);
    doc.AddObject(ADXTYPE_BITMASK);
    doc.Duplicate(value);
    ASSERT_TRUE(doc.Move(value, +1));
    ASSERT_FALSE(doc.Referrers(table).empty());
    doc.Delete(table);
    const std::string changed = SaveAndDump(doc, dir, "b.adx");
    ASSERT_NE(changed, original);
    EXPECT_EQ(ObjectById(changed, "request")["class"].toString(), "ADXCSendCommand");

    while (doc.undo_stack().canUndo()) doc.undo_stack().undo();
    EXPECT_EQ(SaveAndDump(doc, dir, "c.adx"), original);
    while (doc.undo_stack().canRedo()) doc.undo_stack().redo();
    EXPECT_EQ(SaveAndDump(doc, dir, "d.adx"), changed);
}

TEST(EditorDocument, ReferencesStayResolvedAfterRename) {
    QTemporaryDir dir;
    EditorDocument doc;
    QString error;
    ASSERT_TRUE(doc.Load(DemoPath(), error)) << error.toStdString();
    ADXDefinition& def = doc.definition();
    ADXObject* send = def.FindByID("mode1");
    ADXObject* silence = def.FindByID("silence");
    ASSERT_NE(send, nullptr);
    ASSERT_NE(silence, nullptr);
    // A value that others show in lists, gauges and charts.
    ADXObject* shown = nullptr;
    for (const auto& o : def.objects()) {
        if (o->type() == ADXTYPE_VALUE && doc.Referrers(o.get()).size() >= 2) {
            shown = o.get();
            break;
        }
    }
    ASSERT_NE(shown, nullptr);
    const size_t referrers = doc.Referrers(shown).size();
    const std::string before = SaveAndDump(doc, dir, "before.adx");
    const std::string shown_id(shown->id());
    const size_t problems_before = FindProblems(def).size();

    doc.SetField(send, Field(send, "id"), QByteArray("request"));
    doc.SetField(silence, Field(silence, "id"), QByteArray("hush"));
    doc.SetField(shown, Field(shown, "id"), QByteArray("renamed"));
    EXPECT_EQ(doc.Referrers(shown).size(), referrers);
    EXPECT_EQ(FindProblems(def).size(), problems_before);

    const std::string after = SaveAndDump(doc, dir, "after.adx");
    // Everything that named the old ids names the new ones once the file is loaded again.
    std::string expected = before;
    const auto replace_all = [&expected](const std::string& from, const std::string& to) {
        for (size_t at = 0; (at = expected.find(from, at)) != std::string::npos; at += to.size())
            expected.replace(at, from.size(), to);
    };
    replace_all("\"mode1\"", "\"request\"");
    replace_all("\"silence\"", "\"hush\"");
    replace_all("\"" + shown_id + "\"", "\"renamed\"");
    const auto hash_text = [](const char* id) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08X", IDHashOf(id));
        return std::string(buf);
    };
    replace_all(hash_text("mode1"), hash_text("request"));
    replace_all(hash_text("silence"), hash_text("hush"));
    replace_all(hash_text(shown_id.c_str()), hash_text("renamed"));
    EXPECT_EQ(after, expected);
}

TEST(EditorDocument, DeleteClearsReferencesAndUndoBringsThemBack) {
    EditorDocument doc;
    doc.NewFromTemplate();
    ADXDefinition& def = doc.definition();
    ADXObject* send = def.FindByID("mode1");
    const std::vector<Referrer> refs = doc.Referrers(send);
    ASSERT_EQ(refs.size(), 2u);  // the header's monitor command and the value's command
    doc.Delete(send);
    EXPECT_EQ(def.FindByID("mode1"), nullptr);
    EXPECT_EQ(def.monitor_command, nullptr);
    EXPECT_EQ(As<ADXValue>(def.FindByID("value1"))->parentcmdidhash, 0u);
    doc.undo_stack().undo();
    EXPECT_EQ(def.FindByID("mode1"), send);
    EXPECT_EQ(def.monitor_command, send);
    EXPECT_EQ(As<ADXValue>(def.FindByID("value1"))->parentcmdidhash, send->idhash());
}

TEST(EditorDocument, LongPathsAreRefusedBeforeAnythingIsWritten) {
    QTemporaryDir dir;
    EditorDocument doc;
    doc.NewFromTemplate();
    doc.SetField(nullptr, Field(nullptr, "author"), QByteArray("x"));
    QString path = dir.path() + "/";
    path += QString(260 - path.size() - 4, QChar('p')) + ".adx";
    ASSERT_EQ(path.size(), 260);
    QString error;
    EXPECT_FALSE(doc.Save(path, error));
    EXPECT_TRUE(error.contains("259")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(doc.dirty());
    path.remove(path.size() - 5, 1);  // 259 characters fit
    EXPECT_TRUE(doc.Save(path, error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(path));
}

/// Two different ids with the same hash (found once by a birthday search over "c<n>").
std::pair<std::string, std::string> CollidingIds() {
    const std::pair<std::string, std::string> ids{"c850476", "c1330045"};
    EXPECT_EQ(IDHashOf(ids.first), IDHashOf(ids.second));
    return ids;
}

TEST(EditorProblems, EveryKindIsFoundOnAPlantedDefinition) {
    QTemporaryDir dir;
    const auto [first, second] = CollidingIds();
    char cmd[16];
    std::snprintf(cmd, sizeof cmd, "0x%08X", IDHashOf("cmd"));
    const std::string c(cmd);
    std::string text =
        "<ADXFORMAT version=\"0.50\" "
        "/>\n<ADXHEADER><baud>8192</baud><monitorcmd>cmd</monitorcmd></ADXHEADER>\n"
        "<ADXCSENDCOMMAND id=\"cmd\" flags=\"00000001\"><bytestring size=\"0x1\">0xF4 </bytestring>"
        "<replysize>10</replysize><packetoffset>0</packetoffset><packetsize>10</packetsize></"
        "ADXCSENDCOMMAND>\n"
        "<ADXVALUE id=\"dup\"><parentcmdidhash>" +
        c +
        "</parentcmdidhash><MATH equation=\"X\" /></ADXVALUE>\n"
        "<ADXVALUE id=\"dup\"><parentcmdidhash>" +
        c +
        "</parentcmdidhash><MATH equation=\"X\" /></ADXVALUE>\n"
        "<ADXVALUE id=\"" +
        first + "\"><parentcmdidhash>" + c +
        "</parentcmdidhash><MATH equation=\"X\" /></ADXVALUE>\n"
        "<ADXVALUE id=\"" +
        second + "\"><parentcmdidhash>" + c +
        "</parentcmdidhash><MATH equation=\"X\" /></ADXVALUE>\n"
        "<ADXVALUE id=\"orphan\"><parentcmdidhash>0x12345678</parentcmdidhash><MATH equation=\"X\" "
        "/></ADXVALUE>\n"
        "<ADXVALUE id=\"far\"><parentcmdidhash>" +
        c +
        "</parentcmdidhash><packetoffset>0x09</packetoffset>"
        "<sizeinbits>16</sizeinbits><MATH equation=\"X\" /></ADXVALUE>\n"
        "<ADXVALUE id=\"open\"><parentcmdidhash>" +
        c +
        "</parentcmdidhash><MATH equation=\"X*(2\" /></ADXVALUE>\n"
        "<ADXVALUE id=\"dangling\"><parentcmdidhash>" +
        c +
        "</parentcmdidhash><MATH equation=\"X*\" /></ADXVALUE>\n"
        "<ADXBITMASK id=\"bitfar\"><parentcmdidhash>" +
        c +
        "</parentcmdidhash><packetoffset>0x0A</packetoffset></ADXBITMASK>\n"
        "<ADXLOOKUPTABLE id=\"empty\"><outputtype>3</outputtype></ADXLOOKUPTABLE>\n"
        "<ADXVALUE id=\"mapped\"><parentcmdidhash>" +
        c + "</parentcmdidhash><MATH equation=\"X\" lookupidhash=\"" +
        [] {
            char b[16];
            std::snprintf(b, sizeof b, "0x%08X", IDHashOf("empty"));
            return std::string(b);
        }() +
        "\" /></ADXVALUE>\n"
        "<ADXLISTVIEW id=\"list\"><entrycount>1</entrycount><ADXLVENTRY entrytype=\"0\" "
        "/></ADXLISTVIEW>\n"
        "<ADXDASHBOARD id=\"dash\"><ADXDGENTRY gaugetype=\"0\" left=\"0\" top=\"0\" right=\"50\" "
        "bottom=\"50\" /></ADXDASHBOARD>\n";
    Write(dir.filePath("planted.adx"), text);
    EditorDocument doc;
    QString error;
    ASSERT_TRUE(doc.Load(dir.filePath("planted.adx"), error)) << error.toStdString();
    const std::vector<Problem> problems = FindProblems(doc.definition());
    const auto has = [&](Problem::Kind kind, const char* id, const char* field) {
        for (const Problem& p : problems) {
            if (p.kind == kind && p.object != nullptr && p.object->id() == id && p.field == field)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(has(Problem::kDuplicateId, "dup", "id"));
    EXPECT_TRUE(has(Problem::kHashCollision, second.c_str(), "id"));
    EXPECT_TRUE(has(Problem::kUnresolvedReference, "orphan", "parentcmdidhash"));
    EXPECT_TRUE(has(Problem::kOutsidePacket, "far", "packetoffset"));
    EXPECT_TRUE(has(Problem::kOutsidePacket, "bitfar", "packetoffset"));
    EXPECT_TRUE(has(Problem::kEquation, "open", "equation"));
    EXPECT_TRUE(has(Problem::kEquation, "dangling", "equation"));
    EXPECT_TRUE(has(Problem::kLookupOrder, "mapped", "lookup"));
    EXPECT_TRUE(has(Problem::kMissingItem, "list", "entries"));
    EXPECT_TRUE(has(Problem::kMissingItem, "dash", "entries"));
    // The sound objects raise nothing.
    for (const Problem& p : problems) {
        ASSERT_NE(p.object, nullptr) << p.text;
        EXPECT_NE(p.object->id(), "cmd") << p.text;
        EXPECT_NE(p.object->id(), first) << p.text;
    }

    // Fixing one clears it: the value moves back inside the packet.
    ADXObject* far = doc.definition().FindByID("far");
    doc.SetField(far, Field(far, "packetoffset"), qlonglong(8));
    for (const Problem& p : FindProblems(doc.definition())) EXPECT_NE(p.object, far) << p.text;
}

}  // namespace

namespace {

// A duplicate goes through every field of the class's field table, so a field the table reads or
// writes wrongly shows up as a difference between an object and its copy once both are saved.
TEST(EditorDocument, DuplicatesCarryEveryFieldOfEveryClass) {
    QTemporaryDir dir;
    EditorDocument doc;
    QString error;
    ASSERT_TRUE(doc.Load(DemoPath(), error)) << error.toStdString();
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<ADXObject*> originals;
    for (const auto& o : doc.definition().objects()) originals.push_back(o.get());
    QSet<QString> classes;
    for (ADXObject* o : originals) {
        ADXObject* copy = doc.Duplicate(o);
        ASSERT_NE(copy, nullptr);
        pairs.emplace_back(std::string(o->id()), std::string(copy->id()));
        classes.insert(QString::fromLatin1(ClassName(o->type())));
    }
    EXPECT_GE(classes.size(), 10);
    const QJsonArray objects =
        QJsonDocument::fromJson(QByteArray::fromStdString(SaveAndDump(doc, dir, "dup.adx")))
            .object()["objects"]
            .toArray();
    const auto find = [&objects](const std::string& id) {
        for (const QJsonValue& v : objects) {
            if (v.toObject()["id"].toString().toStdString() == id) return v.toObject();
        }
        return QJsonObject();
    };
    for (const auto& [id, copy_id] : pairs) {
        QJsonObject original = find(id);
        QJsonObject copy = find(copy_id);
        ASSERT_FALSE(copy.isEmpty()) << copy_id;
        for (const char* key : {"id", "idhash"}) {
            original.remove(key);
            copy.remove(key);
        }
        EXPECT_EQ(original, copy) << id << " vs " << copy_id;
    }
}

}  // namespace
