// The editor window as a user drives it: the tree, typing into the form, undo, the equation
// tester, the problems panel, saving and closing.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include "app/output_log.h"
#include "editor_fixture.h"
#include "editor_window.h"
#include "field_editor.h"
#include "value_tester.h"

namespace {

using namespace korvit::definition;
using namespace korvit::editor;
using namespace editor_test;

QLineEdit* LineOf(EditorWindow& w, const char* field) {
    FieldEditor* e = w.FieldEditorFor(field);
    return e != nullptr ? e->findChild<QLineEdit*>("edit") : nullptr;
}

/// Answers the next message box with `button` as soon as it shows.
void AnswerNextBox(QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [button] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                box->button(button)->click();
                return;
            }
        }
        AnswerNextBox(button);
    });
}

TEST(EditorWindow, TypingInTheFormEditsTheObjectAndUndoRestoresIt) {
    korvit::app::OutputLog log;
    EditorWindow w(&log);
    w.OpenForEdit(DemoPath());
    ASSERT_TRUE(w.banner()->text().isEmpty() || !w.banner()->isVisible());
    ADXDefinition& def = w.document().definition();
    auto* value = As<ADXValue>(def.NthOfType(ADXTYPE_VALUE, 0));
    ASSERT_NE(value, nullptr);
    w.Select(value);
    QLineEdit* title = LineOf(w, "title");
    ASSERT_NE(title, nullptr);
    const std::string old_title(value->title().view());
    title->selectAll();
    QTest::keyClicks(title, "Speed");
    EXPECT_EQ(value->title().view(), "Speed");
    EXPECT_TRUE(w.isWindowModified());
    EXPECT_EQ(w.tree()->currentItem()->text(0).endsWith("Speed"), true);

    // Invalid numbers never reach the object.
    QLineEdit* offset = LineOf(w, "packetoffset");
    const uint32_t old_offset = value->packetoffset;
    offset->selectAll();
    QTest::keyClicks(offset, "x9");
    EXPECT_EQ(value->packetoffset, old_offset);
    EXPECT_FALSE(offset->styleSheet().isEmpty());

    // The keystrokes of one field are one undo step, and each field's edits a step of its own.
    ASSERT_NE(old_offset, 17u);
    offset->selectAll();
    QTest::keyClicks(offset, "17");
    EXPECT_EQ(value->packetoffset, 17u);
    w.document().undo_stack().undo();
    EXPECT_EQ(value->packetoffset, old_offset);
    EXPECT_EQ(value->title().view(), "Speed");
    w.document().undo_stack().undo();
    EXPECT_EQ(value->title().view(), old_title);
    EXPECT_EQ(title->text().toStdString(), old_title);
    EXPECT_FALSE(w.isWindowModified());
}

TEST(EditorWindow, TheEquationTesterComputesLiveFromARawNumberOrAReply) {
    EditorWindow w(nullptr);
    w.StartNew();
    auto* value = As<ADXValue>(w.document().definition().FindByID("value1"));
    w.Select(value);
    QLineEdit* equation = LineOf(w, "equation");
    ASSERT_NE(equation, nullptr);
    equation->selectAll();
    QTest::keyClicks(equation, "X*0.5");
    LineOf(w, "digcount")->selectAll();
    QTest::keyClicks(LineOf(w, "digcount"), "1");
    auto* tester = w.findChild<ValueTester*>("tester");
    ASSERT_NE(tester, nullptr);
    QTest::keyClicks(tester->raw_input(), "101");
    EXPECT_EQ(tester->result_text(), "50.5 | 50.5 | none");

    // The high alarm, switched on in the form, shows at once.
    w.document().SetField(value, FieldIndex(ADXTYPE_VALUE, "alarm_high"), 40.0);
    w.document().SetField(value, FieldIndex(ADXTYPE_VALUE, "flags"),
                          qlonglong(ADXValue::kHighAlarm));
    EXPECT_EQ(tester->result_text(), "50.5 | 50.5 | high");

    // A reply of the template's command: three header bytes, then the packet.
    tester->reply_input()->clear();
    QTest::keyClicks(tester->reply_input(), "F4 95 01 C8");
    EXPECT_EQ(tester->result_text(), "100 | 100.0 | high");
}

TEST(EditorWindow, ProblemsUpdateAfterEditsAndDoubleClickJumpsToTheField) {
    EditorWindow w(nullptr);
    w.StartNew();
    w.CheckProblemsNow();
    EXPECT_TRUE(w.problems().empty());
    auto* value = As<ADXValue>(w.document().definition().FindByID("value1"));
    w.Select(value);
    QLineEdit* offset = LineOf(w, "packetoffset");
    offset->selectAll();
    QTest::keyClicks(offset, "70");
    // The check runs after a pause in typing.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.problems().empty(); }, 3000));
    ASSERT_EQ(w.problems().size(), 1u);
    EXPECT_EQ(w.problems()[0].kind, Problem::kOutsidePacket);

    w.Select(nullptr);
    w.JumpToProblem(0);
    EXPECT_EQ(w.selected(), value);
    EXPECT_EQ(QApplication::focusWidget() == nullptr ||
                  QApplication::focusWidget() == LineOf(w, "packetoffset") || !w.isVisible(),
              true);
    EXPECT_EQ(LineOf(w, "packetoffset")->text(), "70");
}

TEST(EditorWindow, SavingLogsAndClosingWithoutSavingLeavesTheFileAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath("demo.adx");
    ASSERT_TRUE(QFile::copy(DemoPath(), path));
    const std::string bytes = Slurp(path);
    korvit::app::TextBufferSink sink;
    korvit::app::OutputLog log;
    log.AddSink(&sink);
    {
        EditorWindow w(&log);
        w.OpenForEdit(path);
        w.show();
        w.document().SetField(nullptr, FieldIndex(0, "author"), QByteArray("Someone"));
        AnswerNextBox(QMessageBox::Discard);
        w.reject();
        EXPECT_FALSE(w.isVisible());
        EXPECT_TRUE(w.saved_path().isEmpty());
    }
    EXPECT_EQ(Slurp(path), bytes);

    EditorWindow w(&log);
    w.OpenForEdit(path);
    w.document().SetField(nullptr, FieldIndex(0, "author"), QByteArray("Someone"));
    ASSERT_TRUE(w.SaveTo(path));
    EXPECT_EQ(w.saved_path(), path);
    EXPECT_NE(sink.Text().find("Saved " + path.toStdString()), std::string::npos) << sink.Text();
    EXPECT_FALSE(w.windowTitle().isEmpty());
    EXPECT_FALSE(w.isWindowModified());

    QString long_path = dir.path() + "/" + QString(300, QChar('q')) + ".adx";
    EXPECT_FALSE(w.SaveTo(long_path));
    EXPECT_NE(sink.Text().find("FAILED to save"), std::string::npos);
    EXPECT_EQ(w.saved_path(), path);
}

TEST(EditorWindow, AnUnreadablePathSaysSoAndOffersNew) {
    EditorWindow w(nullptr);
    w.OpenForEdit(QStringLiteral("/nonexistent/def.adx"));
    EXPECT_FALSE(w.banner()->isHidden());
    EXPECT_TRUE(w.banner()->text().contains("/nonexistent/def.adx"));
    EXPECT_EQ(w.document().definition().size(), 0u);
    w.StartNew();
    EXPECT_TRUE(w.banner()->isHidden() || !w.banner()->parentWidget()->isVisible());
    EXPECT_NE(w.document().definition().FindByID("mode1"), nullptr);
}

TEST(EditorWindow, TreeListsEveryObjectByClassAndFilters) {
    EditorWindow w(nullptr);
    w.OpenForEdit(DemoPath());
    const ADXDefinition& def = w.document().definition();
    int listed = 0;
    for (int g = 1; g < w.tree()->topLevelItemCount(); ++g)
        listed += w.tree()->topLevelItem(g)->childCount();
    EXPECT_EQ(static_cast<size_t>(listed), def.size());
    w.SetFilter("mode1");
    int visible = 0;
    for (int g = 1; g < w.tree()->topLevelItemCount(); ++g) {
        for (int i = 0; i < w.tree()->topLevelItem(g)->childCount(); ++i)
            visible += !w.tree()->topLevelItem(g)->child(i)->isHidden();
    }
    EXPECT_GE(visible, 1);
    EXPECT_LT(visible, listed);
}

}  // namespace

namespace {

TEST(EditorWindow, DeletingAReferencedObjectNamesTheReferrersAndAsks) {
    EditorWindow w(nullptr);
    w.StartNew();
    w.show();
    ADXDefinition& def = w.document().definition();
    ADXObject* value = def.FindByID("value1");
    w.Select(value);
    QAction* del = nullptr;
    for (QAction* a : w.findChildren<QAction*>()) {
        if (a->text() == "Delete") del = a;
    }
    ASSERT_NE(del, nullptr);
    QString asked;
    const auto answer = [&asked](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&asked, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = box->text();
            box->button(button)->click();
        });
    };
    answer(QMessageBox::No);
    del->trigger();
    EXPECT_TRUE(asked.contains("list1")) << asked.toStdString();
    EXPECT_EQ(def.FindByID("value1"), value);

    answer(QMessageBox::Yes);
    del->trigger();
    EXPECT_EQ(def.FindByID("value1"), nullptr);
    EXPECT_EQ(As<ADXListView>(def.FindByID("list1"))->entries()[0].item, nullptr);
    w.document().undo_stack().undo();
    EXPECT_EQ(As<ADXListView>(def.FindByID("list1"))->entries()[0].item, def.FindByID("value1"));
}

}  // namespace

namespace {

TEST(EditorWindow, TableCellsAreCheckedBeforeTheyReachTheObject) {
    EditorWindow w(nullptr);
    w.StartNew();
    ADXDefinition& def = w.document().definition();
    auto* list = As<ADXListView>(def.FindByID("list1"));
    ADXObject* value = def.FindByID("value1");
    w.Select(list);
    const auto table = [&w] {
        return w.FieldEditorFor("entries")->findChild<QTableWidget*>("edit");
    };
    ASSERT_NE(table(), nullptr);
    ASSERT_EQ(table()->rowCount(), 1);

    table()->item(0, 2)->setText("Speed row");
    EXPECT_EQ(list->entries()[0].title.view(), "Speed row");
    table()->item(0, 1)->setText("nosuch");  // no object has this id
    EXPECT_EQ(list->entries()[0].item, value);
    EXPECT_FALSE(table()->item(0, 1)->toolTip().isEmpty());
    table()->item(0, 3)->setText("0x0000FF");  // the colour, red in the lowest byte
    EXPECT_EQ(list->entries()[0].color, 0xFFu);
    EXPECT_EQ(list->entries()[0].item, value);  // the rejected cell kept what it held

    w.document().undo_stack().undo();
    EXPECT_EQ(list->entries()[0].color, 0u);
    EXPECT_EQ(table()->item(0, 3)->text(), "0x000000");
}

// Colours are 0xBBGGRR: each series column reaches its own field, and a colour cell's swatch
// shows the colour the number means.
TEST(EditorWindow, MonitorSeriesColoursReachTheirOwnFieldsAndShowTheirColour) {
    EditorWindow w(nullptr);
    w.OpenForEdit(DemoPath());
    ADXDefinition& def = w.document().definition();
    auto* monitor = As<ADXMonitor>(def.NthOfType(ADXTYPE_MONITOR, 0));
    ASSERT_NE(monitor, nullptr);
    ASSERT_FALSE(monitor->series().empty());
    const auto table = [&w] {
        return w.FieldEditorFor("series")->findChild<QTableWidget*>("edit");
    };
    w.Select(monitor);
    ASSERT_NE(table(), nullptr);
    table()->item(0, 1)->setText("0x0000FF");  // line: red
    table()->item(0, 2)->setText("0xFF0000");  // axis: blue
    EXPECT_EQ(monitor->series()[0].linecolor, 0x0000FFu);
    EXPECT_EQ(monitor->series()[0].axiscolor, 0xFF0000u);

    // The swatches follow what was typed.
    EXPECT_EQ(table()->item(0, 1)->data(Qt::DecorationRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(table()->item(0, 2)->data(Qt::DecorationRole).value<QColor>(), QColor(0, 0, 255));
    EXPECT_EQ(table()->item(0, 2)->text(), "0xFF0000");
}

}  // namespace

namespace {

TEST(EditorWindow, TheTesterShowsABitmasksStateTextAndAlarm) {
    EditorWindow w(nullptr);
    w.StartNew();
    auto* mask = As<ADXBitmask>(w.document().AddObject(ADXTYPE_BITMASK));
    ASSERT_NE(mask, nullptr);
    mask->SetTrueString("Closed", 6);
    mask->SetFalseString("Open", 4);
    w.document().SetField(mask, FieldIndex(ADXTYPE_BITMASK, "flags"),
                          qlonglong(ADXBitmask::kAlarmWhenTrue));
    w.Select(mask);
    auto* tester = w.findChild<ValueTester*>("tester");
    ASSERT_NE(tester, nullptr);
    QTest::keyClicks(tester->raw_input(), "2");
    EXPECT_EQ(tester->result_text(), "false | Open | none");
    tester->raw_input()->clear();
    QTest::keyClicks(tester->raw_input(), "0x3");
    EXPECT_EQ(tester->result_text(), "true | Closed | alarm");
}

}  // namespace

namespace {

QPushButton* ButtonIn(QWidget* parent, const QString& text) {
    for (auto* b : parent->findChildren<QPushButton*>()) {
        if (b->text() == text) return b;
    }
    return nullptr;
}

}  // namespace

// A field changed by its own buttons or check boxes shows the change at once, and the tool bar
// keeps its buttons where they were whatever Undo and Redo would undo.
TEST(EditorWindow, FieldButtonsShowTheirResultAtOnceAndTheToolBarStaysPut) {
    EditorWindow w(nullptr);
    w.OpenForEdit(DemoPath());
    w.resize(900, 700);
    w.show();
    ADXDefinition& def = w.document().definition();
    auto* toolbar = w.findChild<QToolBar*>();
    ASSERT_NE(toolbar, nullptr);
    QApplication::processEvents();
    std::vector<QRect> places;
    for (QAction* a : toolbar->actions()) places.push_back(toolbar->actionGeometry(a));

    auto* dashboard = def.NthOfType(ADXTYPE_DASHBOARD, 0);
    ASSERT_NE(dashboard, nullptr);
    w.Select(dashboard);
    FieldEditor* entries = w.FieldEditorFor("entries");
    ASSERT_NE(entries, nullptr);
    auto* table = entries->findChild<QTableWidget*>("edit");
    ASSERT_NE(table, nullptr);
    const int rows = table->rowCount();
    ASSERT_GT(rows, 0);
    ButtonIn(entries, "Add row")->click();
    EXPECT_EQ(table->rowCount(), rows + 1);
    int bottom = -1;
    for (int c = 0; c < table->columnCount(); ++c) {
        if (table->horizontalHeaderItem(c)->text() == "bottom") bottom = c;
    }
    ASSERT_GE(bottom, 0);
    EXPECT_EQ(table->item(rows, bottom)->text(), "100");
    ButtonIn(entries, "Remove row")->click();
    EXPECT_EQ(table->rowCount(), rows);

    auto* value = As<ADXValue>(def.NthOfType(ADXTYPE_VALUE, 0));
    w.Select(value);
    FieldEditor* flags = w.FieldEditorFor("flags");
    ASSERT_NE(flags, nullptr);
    QLineEdit* hex = flags->findChild<QLineEdit*>("edit");
    const auto boxes = flags->findChildren<QCheckBox*>();
    ASSERT_FALSE(boxes.isEmpty());
    QCheckBox* box = boxes.back();
    const uint32_t before = value->flags;
    box->click();
    EXPECT_NE(value->flags, before);
    bool ok = false;
    EXPECT_EQ(hex->text().toUInt(&ok, 16), value->flags) << hex->text().toStdString();
    box->click();
    EXPECT_EQ(hex->text().toUInt(&ok, 16), before);

    // Undo now names a long change; the tool bar is laid out as before.
    QApplication::processEvents();
    auto actions = toolbar->actions();
    ASSERT_EQ(static_cast<size_t>(actions.size()), places.size());
    for (qsizetype i = 0; i < actions.size(); ++i) {
        EXPECT_EQ(toolbar->actionGeometry(actions[i]), places[static_cast<size_t>(i)])
            << actions[i]->text().toStdString();
    }
    EXPECT_EQ(actions[0]->text(), "New");
}
