// The Dash and Item Lists pages over a small definition built in code.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QTreeView>
#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "acquisition/data_acq_callback.h"
#include "app/gauge_readings.h"
#include "controls/mm_analog_gauge.h"
#include "controls/mm_digital_gauge_readout.h"
#include "controls/mm_status_gauge.h"
#include "controls/mm_tab_sheet.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_dashboard.h"
#include "definition/adx_definition.h"
#include "definition/adx_list_view.h"
#include "definition/adx_value.h"
#include "pages/dash_page.h"
#include "pages/item_list_model.h"
#include "pages/item_list_page.h"
#include "shell/application.h"
#include "shell/main_window.h"

#include "wait_until.h"

using namespace korvit;
using definition::ADXBitmask;
using definition::ADXDashboard;
using definition::ADXDashboardEntry;
using definition::ADXListView;
using definition::ADXListViewEntry;
using definition::ADXValue;
using pages::DashPage;
using pages::ItemListModel;

namespace {

constexpr uint32_t kCommand = 0x11111111;
constexpr uint32_t kOther = 0x22222222;

// Speed is byte 0 as raw / 10 + 75 (250 gives 100.0, 251 gives 100.1); the flag is byte 2.
class Fixture : public ::testing::Test {
  protected:
    void SetUp() override {
        speed_ = Add<ADXValue>("speed", "Speed");
        speed_->parentcmdidhash = kCommand;
        speed_->SetValueEquation("X/10+75");
        speed_->SetUnits("km/h", 4);
        speed_->range_low = 0;
        speed_->range_high = 150;
        speed_->alarm_high = 100;
        speed_->alarm_low = 5;
        speed_->flags = ADXValue::kHighAlarm;
        speed_->digcount = 1;

        other_ = Add<ADXValue>("other", "Other command");
        other_->parentcmdidhash = kOther;
        other_->SetValueEquation("X");

        flag_ = Add<ADXBitmask>("flag", "Fan");
        flag_->parentcmdidhash = kCommand;
        flag_->packetoffset = 2;
        flag_->operand = 1;
        flag_->result = 1;
        flag_->flags = ADXBitmask::kAlarmWhenTrue;
        flag_->SetTrueString("On", 2);
        flag_->SetFalseString("Off", 3);

        dash_ = Add<ADXDashboard>("dash", "Driving");
        dash_->Append({0, DashPage::kAnalog, 0, 0, 50, 50, speed_, speed_->idhash()});
        dash_->Append({0, DashPage::kDigital, 0, 50, 50, 100, speed_, speed_->idhash()});
        dash_->Append({0, DashPage::kStatus, 50, 0, 100, 100, flag_, flag_->idhash()});
        dash_->Append({0, DashPage::kStatus, 50, 0, 100, 100, speed_, 0});  // wrong item type

        list_ = Add<ADXListView>("list", "Engine");
        ADXListViewEntry heading;
        heading.entrytype = ADXListViewEntry::kNoItem;
        heading.flags = 1;
        heading.title.Set("Engine", 6);
        list_->Append(heading);
        for (auto* item : std::initializer_list<definition::ADXObject*>{speed_, flag_, other_}) {
            ADXListViewEntry row;
            row.SetItem(item);
            row.color = 0x008000;
            list_->Append(row);
        }
        ADXListViewEntry empty;  // an item row without an item is left out
        list_->Append(empty);
    }

    template <typename T>
    T* Add(const char* id, const char* title) {
        auto object = std::make_unique<T>();
        object->SetID(id);
        object->SetTitle(title, std::strlen(title));
        T* raw = object.get();
        def_.Insert(std::move(object));
        return raw;
    }

    // A packet of the test command: the speed byte, a spare byte, the flag byte.
    std::vector<uint8_t> Packet(int raw, bool flag) {
        return {static_cast<uint8_t>(raw), 0, static_cast<uint8_t>(flag ? 1 : 0)};
    }
    void Reply(int raw, bool flag) {
        const auto bytes = Packet(raw, flag);
        last_.Store(bytes.data(), bytes.size(), kCommand);
        def_.ExtractCommandItems(evaluation::Packet{bytes.data(), bytes.size()}, kCommand);
    }

    definition::ADXDefinition def_;
    evaluation::LastPacket last_;
    app::GaugeReadings readings_;
    ADXValue* speed_ = nullptr;
    ADXValue* other_ = nullptr;
    ADXBitmask* flag_ = nullptr;
    ADXDashboard* dash_ = nullptr;
    ADXListView* list_ = nullptr;
};

using DashPageTest = Fixture;
using ItemListTest = Fixture;

}  // namespace

TEST_F(DashPageTest, GaugesArePlacedByPercentagesOfTheAreaBelowTheList) {
    DashPage page(def_, readings_, last_);
    page.resize(400, 300);
    page.FillDashboardChoices();
    page.show();  // a hidden widget gets its resize events only when shown
    EXPECT_EQ(page.dashboardList()->count(), 1);
    EXPECT_EQ(page.dashboardList()->currentText(), "Driving");
    ASSERT_EQ(page.gaugeCount(), 4);
    EXPECT_EQ(page.gauge(2)->property("controlId").toInt(), 10002);
    EXPECT_NE(qobject_cast<controls::MMAnalogGauge*>(page.gauge(0)), nullptr);
    EXPECT_NE(qobject_cast<controls::MMDigitalGaugeReadout*>(page.gauge(1)), nullptr);
    EXPECT_EQ(page.gaugeArea().top(), page.dashboardList()->geometry().bottom() + 1 + 3);

    for (QSize size : {QSize(400, 300), QSize(733, 517)}) {
        page.resize(size);
        const QRect area = page.gaugeArea();
        EXPECT_EQ(area.width(), size.width());
        // Entry 0,0,50,50: the upper-left quarter, truncated.
        EXPECT_EQ(page.gauge(0)->geometry(),
                  QRect(0, area.top(), size.width() * 50 / 100, area.height() * 50 / 100));
        EXPECT_EQ(page.gauge(1)->geometry().left(), size.width() * 50 / 100);
    }
    // Vertical percentages are of the area's height, horizontal ones of its width.
    auto* lower = Add<ADXDashboard>("lower", "Lower");
    lower->Append({0, DashPage::kDigital, 40, 10, 90, 60, speed_, speed_->idhash()});
    page.ShowDashboard(lower);
    page.resize(733, 517);
    const QRect area = page.gaugeArea();
    EXPECT_EQ(page.gauge(0)->geometry(),
              QRect(733 * 10 / 100, area.top() + area.height() * 40 / 100,
                    733 * 60 / 100 - 733 * 10 / 100,
                    area.height() * 90 / 100 - area.height() * 40 / 100));
    page.ShowDashboard(dash_);
    // The analog gauge was configured from its value: scale, units and the high alarm zone.
    auto* dial = static_cast<controls::MMAnalogGauge*>(page.gauge(0));
    EXPECT_EQ(dial->maximum(), 150.0f);
    EXPECT_EQ(dial->units(), "km/h");
    ASSERT_EQ(dial->zoneCount(), 1);
    controls::GaugeZone zone;
    dial->Zone(0, zone);
    EXPECT_EQ(zone.start, 100.0f);
    EXPECT_EQ(zone.end, 150.0f);
    EXPECT_EQ(zone.color, 0x0000FFu);
    // The wrong-typed entry has a window that was never configured.
    EXPECT_EQ(static_cast<controls::MMStatusGauge*>(page.gauge(3))->title(), "");
}

TEST_F(DashPageTest, ContextMenuAndChangingTheItemRewriteTheEntry) {
    DashPage page(def_, readings_, last_);
    page.resize(400, 300);
    page.FillDashboardChoices();

    const auto submenus = [&](int index) {
        std::unique_ptr<QMenu> menu(page.BuildContextMenu(index));
        QStringList titles;
        for (QAction* a : menu->actions()) titles << a->text();
        return titles;
    };
    EXPECT_EQ(submenus(0), QStringList({"Values"}));
    EXPECT_EQ(submenus(1), QStringList({"Values", "Bitmasks"}));
    {
        std::unique_ptr<QMenu> menu(page.BuildContextMenu(1));
        const auto values = menu->actions()[0]->menu()->actions();
        ASSERT_EQ(values.size(), 2);
        EXPECT_EQ(values[0]->text(), "Speed");
        EXPECT_TRUE(values[0]->isChecked());
        EXPECT_FALSE(values[1]->isChecked());
    }

    // Another value in the analog dial keeps it analog.
    int modified = 0;
    QObject::connect(&page, &DashPage::definitionModified, [&] { ++modified; });
    page.ChooseItem(0, other_);
    EXPECT_EQ(dash_->entries()[0].gaugetype, DashPage::kAnalog);
    EXPECT_EQ(dash_->entries()[0].itemidhash, other_->idhash());
    EXPECT_EQ(static_cast<controls::MMAnalogGauge*>(page.gauge(0))->title(), "Other command");
    EXPECT_EQ(modified, 1);

    // A bitmask in the digital readout turns it into a status indicator with the same id.
    const QRect place = page.gauge(1)->geometry();
    page.ChooseItem(1, flag_);
    EXPECT_EQ(dash_->entries()[1].gaugetype, DashPage::kStatus);
    EXPECT_EQ(dash_->entries()[1].item, flag_);
    auto* status = qobject_cast<controls::MMStatusGauge*>(page.gauge(1));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->property("controlId").toInt(), 10001);
    EXPECT_EQ(status->trueText(), "On");
    EXPECT_EQ(status->geometry(), place);
}

TEST_F(DashPageTest, EveryReplyOfABurstReachesTheGaugesFromAnotherThread) {
    DashPage page(def_, readings_, last_);
    page.resize(400, 300);
    page.FillDashboardChoices();
    page.show();

    // The reply thread feeds a burst between two frames: one reply of 100.5 km/h in its middle,
    // and a reply of another command that does not move these gauges.
    std::thread worker([&] {
        for (int raw : {50, 20, 255, 100, 250}) {
            const auto bytes = Packet(raw, raw == 255);
            readings_.Feed(evaluation::Packet{bytes.data(), bytes.size()}, kCommand);
        }
        const auto bytes = Packet(10, false);
        readings_.Feed(evaluation::Packet{bytes.data(), bytes.size()}, kOther);
    });
    worker.join();
    const auto readings = readings_.Readings();
    ASSERT_EQ(readings.size(), 4u);
    EXPECT_EQ(readings[0].lowest, 77.0f);
    EXPECT_EQ(readings[0].highest, 100.5f);
    EXPECT_FALSE(readings[3].has_value);  // a value on a status gauge never reads

    page.Refresh(pages::kRepliesChanged);
    auto* dial = static_cast<controls::MMAnalogGauge*>(page.gauge(0));
    auto* readout = static_cast<controls::MMDigitalGaugeReadout*>(page.gauge(1));
    auto* status = static_cast<controls::MMStatusGauge*>(page.gauge(2));
    EXPECT_EQ(dial->value(), 100.0f);
    EXPECT_EQ(dial->highest(), 100.5f);
    EXPECT_EQ(dial->lowest(), 77.0f);  // the lowest reading, not the range low
    EXPECT_EQ(readout->value(), 100.0f);
    EXPECT_EQ(readout->valueColor(), QColor(255, 0, 0));  // 100 is in alarm on the gauge
    EXPECT_EQ(status->state(), 0u);

    const QImage image = readout->grab().toImage();
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) red += image.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_GT(red, 30);

    // Replies while the page is hidden still count: shown again, it is current.
    page.hide();
    const auto bytes = Packet(600 - 500, true);
    readings_.Feed(evaluation::Packet{bytes.data(), bytes.size()}, kCommand);
    page.show();
    page.Refresh(pages::kEverythingChanged);
    EXPECT_EQ(dial->value(), 85.0f);
    EXPECT_EQ(readout->value(), 85.0f);
    EXPECT_EQ(status->state(), 1u);
    EXPECT_EQ(dial->highest(), 100.5f);

    // Another dashboard watches its own items; its gauges start without a reading.
    page.ShowDashboard(nullptr);
    EXPECT_TRUE(readings_.Readings().empty());
}

TEST_F(ItemListTest, RowsTitlesAndStrictAlarmColours) {
    ItemListModel model(def_, last_);
    model.SetList(list_);
    ASSERT_EQ(model.rowCount(), 4);  // the item row without an item is left out
    ASSERT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Value");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Title");

    const auto text = [&](int row, int column = 1) {
        return model.data(model.index(row, column), Qt::DisplayRole).toString();
    };
    const auto color = [&](int row) {
        return model.data(model.index(row, 1), Qt::ForegroundRole).value<QColor>();
    };
    const auto bold = [&](int row, int column = 1) {
        const QVariant font = model.data(model.index(row, column), Qt::FontRole);
        return font.isValid() && font.value<QFont>().weight() == QFont::DemiBold;
    };
    const QColor entry(0, 128, 0), high(255, 0, 0);

    // The heading row: its own title in bold, no value.
    EXPECT_EQ(text(0, 2), "Engine");
    EXPECT_EQ(text(0), "");
    EXPECT_TRUE(bold(0, 2));
    EXPECT_EQ(text(1, 2), "Speed");

    // Before the first reply nothing is a reading: no value, no alarm (an all-zero record would
    // give 75.0 and the fan's "Off").
    EXPECT_EQ(text(1), "----");
    EXPECT_EQ(color(1), entry);
    EXPECT_EQ(text(2), "----");

    // 100.0 equals the limit: not in alarm here (the gauge would be); 100.1 is.
    Reply(250, false);
    model.Refresh();
    EXPECT_EQ(text(1), "100.0");
    EXPECT_EQ(color(1), entry);
    EXPECT_FALSE(bold(1));
    EXPECT_EQ(text(2), "Off");
    EXPECT_EQ(color(2), entry);
    Reply(251, true);
    model.Refresh();
    EXPECT_EQ(text(1), "100.1");
    EXPECT_EQ(color(1), high);
    EXPECT_TRUE(bold(1));
    EXPECT_EQ(model.data(model.index(1, 1), Qt::FontRole).value<QFont>().family(), "Arial");
    // A bitmask that alarms when true, and is.
    EXPECT_EQ(text(2), "On");
    EXPECT_EQ(color(2), high);
    EXPECT_TRUE(bold(2));

    // Both alarms, low above high: a value above high shows the high colour; below low, the
    // low colour 0x4080FF.
    speed_->flags |= ADXValue::kLowAlarm;
    speed_->alarm_low = 120;
    model.Refresh();
    EXPECT_EQ(color(1), high);
    speed_->alarm_high = 140;
    model.Refresh();
    EXPECT_EQ(color(1), QColor(255, 128, 64));

    // An item of another command shows its last extracted reading.
    const uint8_t other[] = {77};
    def_.ExtractCommandItems(evaluation::Packet{other, 1}, kOther);
    model.Refresh();
    EXPECT_EQ(text(3), "77.00");

    // A new scan, log or definition clears the record: no values until the next reply.
    last_.Clear();
    model.Refresh();
    EXPECT_EQ(text(1), "----");
    EXPECT_EQ(text(3), "----");
    EXPECT_EQ(color(1), entry);
}

TEST_F(DashPageTest, GaugesShowNoValueBeforeTheFirstReplyAndMinMaxStartThere) {
    DashPage page(def_, readings_, last_);
    page.resize(400, 300);
    page.FillDashboardChoices();
    page.show();
    ASSERT_TRUE(WaitUntil([&] { return page.isVisible(); }, 2000));
    const auto dial = [&] { return static_cast<controls::MMAnalogGauge*>(page.gauge(0)); };
    const auto readout = [&] {
        return static_cast<controls::MMDigitalGaugeReadout*>(page.gauge(1));
    };
    const auto status = [&] { return static_cast<controls::MMStatusGauge*>(page.gauge(2)); };
    const auto nothing_shown = [&] {
        return !dial()->hasValue() && dial()->lowest() > dial()->highest() &&
               readout()->valueText() == "----" &&
               readout()->valueColor() == QColor(100, 100, 255) && !status()->hasState();
    };
    const auto reply = [&](int raw) {
        const auto bytes = Packet(raw, false);
        readings_.Feed(evaluation::Packet{bytes.data(), bytes.size()}, kCommand);
        page.Refresh(0);
    };
    // The items' last raw numbers are all zero: 75 km/h would be a reading of nothing.
    EXPECT_TRUE(nothing_shown());

    reply(50);  // 80.0 km/h
    EXPECT_TRUE(dial()->hasValue());
    EXPECT_EQ(dial()->lowest(), 80.0f);
    EXPECT_EQ(dial()->highest(), 80.0f);
    EXPECT_EQ(readout()->valueText(), "80.0");
    EXPECT_TRUE(status()->hasState());

    // A new scan or log: nothing again, and Min/Max restart at its first reading.
    readings_.Clear();
    page.Refresh(0);
    EXPECT_TRUE(nothing_shown());
    reply(100);  // 85.0
    EXPECT_EQ(dial()->lowest(), 85.0f);
    EXPECT_EQ(dial()->highest(), 85.0f);

    // A reloaded definition rebuilds the gauges without a reading.
    page.FillDashboardChoices();
    EXPECT_TRUE(nothing_shown());
}

TEST_F(ItemListTest, PageDrawsTheAlarmRowInBoldRedAndComputesOnlyVisibleRows) {
    pages::ItemListPage page(def_, last_);
    page.resize(700, 300);
    page.FillItemListChoices();
    EXPECT_EQ(page.listChoices()->currentText(), "Engine");
    QTreeView* table = page.table();
    EXPECT_EQ(table->header()->sectionSize(1), 100);
    EXPECT_EQ(table->header()->sectionSize(2), 500);
    EXPECT_TRUE(table->isColumnHidden(0));

    page.show();
    EXPECT_EQ(table->width(), 700);
    Reply(251, false);
    page.Refresh(pages::kRepliesChanged);
    ASSERT_TRUE(WaitUntil(
        [&] { return page.model()->data(page.model()->index(1, 1)).toString() == "100.1"; }, 2000));
    QImage image = page.grab().toImage();
    const QRect value = table->visualRect(page.model()->index(1, 1))
                            .translated(table->viewport()->mapTo(&page, QPoint(0, 0)));
    int red = 0;
    for (int y = value.top(); y <= value.bottom(); ++y)
        for (int x = value.left(); x <= value.right(); ++x)
            red += image.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_GT(red, 5);

    // A long list: a refresh computes the rows on screen, not all of them.
    ADXListView* big = nullptr;
    {
        auto object = std::make_unique<ADXListView>();
        object->SetID("big");
        big = object.get();
        def_.Insert(std::move(object));
        for (int i = 0; i < 250; ++i) {
            ADXListViewEntry row;
            row.SetItem(i % 2 ? static_cast<definition::ADXObject*>(speed_) : flag_);
            big->Append(row);
        }
    }
    page.FillItemListChoices();
    page.listChoices()->setCurrentIndex(1);
    ASSERT_EQ(page.model()->rowCount(), 250);
    page.grab();
    const uint64_t before = page.model()->computedRows();
    page.RefreshItemList();
    page.grab();
    const uint64_t refreshed = page.model()->computedRows() - before;
    EXPECT_GT(refreshed, 3u);
    EXPECT_LT(refreshed, 40u);
}

TEST(DisplayPagesInTheWindow, LoadFillsBothPagesAndRepliesReachTheVisibleDash) {
    shell::Application app;
    app.settings_path.clear();
    app.settings.loadlastdef = 0;
    shell::MainWindow window(app);
    window.show();
    ASSERT_TRUE(window.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"));
    pages::DashPage* dash = window.dashPage();
    pages::ItemListPage* lists = window.itemListPage();
    ASSERT_NE(dash->currentDashboard(), nullptr);
    EXPECT_EQ(dash->gaugeCount(), static_cast<int>(dash->currentDashboard()->count()));
    EXPECT_GT(lists->listChoices()->count(), 0);
    EXPECT_GT(lists->model()->rowCount(), 0);

    // The first digital readout on the dash, and the command its value belongs to.
    controls::MMDigitalGaugeReadout* readout = nullptr;
    const ADXValue* value = nullptr;
    for (int i = 0; i < dash->gaugeCount() && readout == nullptr; ++i) {
        readout = qobject_cast<controls::MMDigitalGaugeReadout*>(dash->gauge(i));
        if (readout) value = definition::As<ADXValue>(dash->currentDashboard()->entries()[i].item);
    }
    ASSERT_NE(readout, nullptr);
    ASSERT_NE(value, nullptr);
    auto* command = app.definition.FindByHash(value->parentcmdidhash);
    ASSERT_NE(command, nullptr);

    // Replies of all 0xFF or all 0x00 bytes, through the engine's reply path on another thread.
    const auto reply = [&](uint8_t byte) {
        std::vector<uint8_t> bytes(300, byte);
        std::thread worker([&] {
            acquisition::DataAcqEvent event;
            event.object = command;
            event.objectidhash = command->idhash();
            app.engine.callback().OnSendCommandEnd(event, bytes.data(),
                                                   static_cast<uint32_t>(bytes.size()));
        });
        worker.join();
    };
    window.tabs()->Select(window.tabs()->IndexOf("Dash"));
    ASSERT_TRUE(WaitUntil([&] { return dash->isVisible(); }, 2000));
    // Nothing has replied yet: no value on the dash or in the lists.
    EXPECT_EQ(readout->valueText(), "----");
    const auto list_text = [&] {
        return lists->model()->data(lists->model()->index(1, 1)).toString();
    };
    EXPECT_EQ(list_text(), "----");
    const float before = readout->value();
    reply(0xFF);
    ASSERT_TRUE(WaitUntil([&] { return readout->value() != before; }, 2000));
    const float high = readout->value();
    EXPECT_NE(readout->valueText(), "----");

    // The item list follows every reply while it is shown, not only the first.
    window.tabs()->Select(window.tabs()->IndexOf("Item Lists"));
    const auto texts = [&] {
        QStringList out;
        for (int r = 0; r < lists->model()->rowCount(); ++r)
            out << lists->model()->data(lists->model()->index(r, 1)).toString();
        return out;
    };
    const QStringList at_high = texts();
    reply(0x00);
    ASSERT_TRUE(WaitUntil([&] { return texts() != at_high; }, 2000));
    const QStringList at_low = texts();
    reply(0xFF);
    ASSERT_TRUE(WaitUntil([&] { return texts() == at_high; }, 2000));
    reply(0x00);
    ASSERT_TRUE(WaitUntil([&] { return texts() == at_low; }, 2000));

    // The Dash was hidden through those replies; shown again it draws the last one at once.
    window.tabs()->Select(window.tabs()->IndexOf("Dash"));
    EXPECT_NE(readout->value(), high);

    // Loading again rebuilds the pages from the new objects, again without values.
    ASSERT_TRUE(window.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"));
    EXPECT_EQ(list_text(), "----");
    EXPECT_NE(dash->gauge(0), nullptr);
    EXPECT_EQ(dash->currentDashboard(),
              definition::As<ADXDashboard>(app.definition.NthOfType(ADXDashboard::kType, 0)));
}

// Replies from the engine's reply path on another thread while the Dash is hidden: a burst of
// three is not thinned out on its way (the one in the middle still reaches Min and Max), and the
// Dash shown afterwards draws the latest reply at once.
TEST(DisplayPagesInTheWindow, EveryReplyReachesMinAndMaxOfAHiddenDash) {
    shell::Application app;
    app.settings_path.clear();
    app.settings.loadlastdef = 0;
    shell::MainWindow window(app);
    window.show();
    ASSERT_TRUE(window.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"));
    pages::DashPage* dash = window.dashPage();
    controls::MMAnalogGauge* dial = nullptr;
    const ADXValue* value = nullptr;
    const auto find_dial = [&] {
        dial = nullptr;
        for (int i = 0; i < dash->gaugeCount() && dial == nullptr; ++i) {
            dial = qobject_cast<controls::MMAnalogGauge*>(dash->gauge(i));
            if (dial) value = definition::As<ADXValue>(dash->currentDashboard()->entries()[i].item);
        }
    };
    find_dial();
    ASSERT_NE(dial, nullptr);
    ASSERT_NE(value, nullptr);
    const auto replies = [&](std::vector<uint8_t> fills) {
        auto* command = app.definition.FindByHash(value->parentcmdidhash);
        ASSERT_NE(command, nullptr);
        std::thread worker([&] {
            for (uint8_t fill : fills) {
                std::vector<uint8_t> bytes(300, fill);
                acquisition::DataAcqEvent event;
                event.object = command;
                event.objectidhash = command->idhash();
                app.engine.callback().OnSendCommandEnd(event, bytes.data(),
                                                       static_cast<uint32_t>(bytes.size()));
            }
        });
        worker.join();
    };

    // What the dial reads for each reply on its own.
    window.tabs()->Select(window.tabs()->IndexOf("Dash"));
    replies({0xFF});
    ASSERT_TRUE(WaitUntil([&] { return dial->hasValue(); }, 2000));
    const float high_reply = dial->value();
    replies({0x00});
    ASSERT_TRUE(WaitUntil([&] { return dial->value() != high_reply; }, 2000));
    const float low_reply = dial->value();

    // Loaded again: no readings. The burst comes while the Item Lists are in front.
    ASSERT_TRUE(window.LoadDefinition(KORVIT_SOURCE_DIR "/samples/demo.adx"));
    find_dial();
    ASSERT_NE(dial, nullptr);
    window.tabs()->Select(window.tabs()->IndexOf("Item Lists"));
    ASSERT_TRUE(WaitUntil([&] { return !dash->isVisible(); }, 2000));
    replies({0xFF, 0x00, 0xFF});
    window.tabs()->Select(window.tabs()->IndexOf("Dash"));
    ASSERT_TRUE(dial->hasValue());
    EXPECT_EQ(dial->value(), high_reply);
    EXPECT_EQ(dial->lowest(), std::min(low_reply, high_reply));
    EXPECT_EQ(dial->highest(), std::max(low_reply, high_reply));
}
