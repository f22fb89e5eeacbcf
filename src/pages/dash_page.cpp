#include "pages/dash_page.h"

#include <QComboBox>
#include <QMenu>
#include <QResizeEvent>
#include <algorithm>

#include "app/gauge_readings.h"
#include "controls/mm_analog_gauge.h"
#include "controls/mm_digital_gauge_readout.h"
#include "controls/mm_status_gauge.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_dashboard.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"
#include "evaluation/last_packet.h"

namespace korvit::pages {

using controls::MMAnalogGauge;
using controls::MMDigitalGaugeReadout;
using controls::MMStatusGauge;
using definition::ADXBitmask;
using definition::ADXDashboard;
using definition::ADXDashboardEntry;
using definition::ADXObject;
using definition::ADXValue;
using definition::As;

namespace {

QString Text(const definition::OwnedText& text) {
    return QString::fromLatin1(text.view().data(), static_cast<qsizetype>(text.view().size()));
}

}  // namespace

DashPage::DashPage(definition::ADXDefinition& definition, app::GaugeReadings& readings,
                   const evaluation::LastPacket& last_packet, QWidget* parent)
    : QWidget(parent),
      definition_(definition),
      readings_(readings),
      last_packet_(last_packet),
      choices_(new QComboBox(this)) {
    setObjectName("Dash");
    choices_->setObjectName("DashboardList");
    choices_->move(0, 0);
    choices_->resize(200, choices_->sizeHint().height());
    connect(choices_, &QComboBox::currentIndexChanged, this, [this](int index) {
        ShowDashboard(index < 0
                          ? nullptr
                          : static_cast<ADXDashboard*>(choices_->itemData(index).value<void*>()));
    });
}

DashPage::~DashPage() {
    readings_.Watch(nullptr, {});
}

void DashPage::FillDashboardChoices() {
    const QSignalBlocker block(choices_);
    choices_->clear();
    for (size_t n = 0;; ++n) {
        auto* dashboard = As<ADXDashboard>(definition_.NthOfType(ADXDashboard::kType, n));
        if (dashboard == nullptr) break;
        choices_->addItem(Text(dashboard->title()), QVariant::fromValue<void*>(dashboard));
    }
    choices_->setCurrentIndex(choices_->count() > 0 ? 0 : -1);
    ShowDashboard(choices_->count() > 0
                      ? static_cast<ADXDashboard*>(choices_->itemData(0).value<void*>())
                      : nullptr);
}

void DashPage::ClearGauges() {
    readings_.Watch(nullptr, {});
    for (const Gauge& g : gauges_) delete g.widget;
    gauges_.clear();
    dashboard_ = nullptr;
}

DashPage::Gauge DashPage::CreateGauge(int index, uint32_t type) {
    Gauge g;
    g.type = type;
    switch (type) {
        case kAnalog: {
            auto* w = new MMAnalogGauge(this);
            connect(w, &MMAnalogGauge::rightClicked, this,
                    [this, index](const QPoint& pos) { OnRightClick(index, pos); });
            g.widget = w;
            break;
        }
        case kDigital: {
            auto* w = new MMDigitalGaugeReadout(this);
            connect(w, &MMDigitalGaugeReadout::rightClicked, this,
                    [this, index](const QPoint& pos) { OnRightClick(index, pos); });
            g.widget = w;
            break;
        }
        case kStatus: {
            auto* w = new MMStatusGauge(this);
            connect(w, &MMStatusGauge::rightClicked, this,
                    [this, index](const QPoint& pos) { OnRightClick(index, pos); });
            g.widget = w;
            break;
        }
        default:
            return g;  // no such gauge class: the entry gets no window
    }
    g.widget->setObjectName(QString("Gauge%1").arg(kFirstGaugeId + index));
    g.widget->setProperty("controlId", kFirstGaugeId + index);
    g.widget->setGeometry(0, 0, 300, 300);
    return g;
}

void DashPage::ShowDashboard(ADXDashboard* dashboard) {
    ClearGauges();
    std::vector<Gauge> created;
    if (dashboard != nullptr) {
        const auto& entries = dashboard->entries();
        for (size_t i = 0; i < entries.size(); ++i) {
            Gauge g = CreateGauge(static_cast<int>(i), entries[i].gaugetype);
            if (g.widget != nullptr) {
                Configure(g, entries[i]);
                g.widget->show();
            }
            created.push_back(g);
        }
    }
    gauges_ = std::move(created);
    dashboard_ = dashboard;
    WatchItems();
    LayOut();
    Refresh(kPositionChanged);
}

void DashPage::WatchItems() {
    // A gauge whose item is of the wrong kind never reads, as it was never configured.
    std::vector<ADXObject*> items;
    if (dashboard_ != nullptr) {
        const auto& entries = dashboard_->entries();
        for (size_t i = 0; i < entries.size() && i < gauges_.size(); ++i) {
            ADXObject* item = entries[i].item;
            const uint32_t type = gauges_[i].type;
            const bool fits =
                gauges_[i].widget != nullptr &&
                (type == kStatus ? As<ADXBitmask>(item) != nullptr : As<ADXValue>(item) != nullptr);
            items.push_back(fits ? item : nullptr);
        }
    }
    readings_.Watch(&definition_, std::move(items));
    // Shown while a log is paused, the gauges read its position at once.
    readings_.RestartAt(last_packet_.Load());
    restarts_drawn_ = readings_.restarts();
    drawn_ = 0;
}

void DashPage::Refresh(uint32_t changes) {
    const uint64_t generation = readings_.generation();
    if (generation == drawn_ && (changes & kPositionChanged) == 0) return;
    drawn_ = generation;
    const uint64_t restarts = readings_.restarts();
    const bool restart = restarts != restarts_drawn_;
    restarts_drawn_ = restarts;
    const std::vector<app::GaugeReading> readings = readings_.Readings();
    for (size_t i = 0; i < gauges_.size() && i < readings.size(); ++i) {
        const Gauge& g = gauges_[i];
        const app::GaugeReading& r = readings[i];
        if (g.widget == nullptr) continue;
        if (!r.has_value) {
            // A new scan or log: nothing to show until the gauge's next reading.
            if (g.type == kAnalog) {
                static_cast<MMAnalogGauge*>(g.widget)->ClearValue();
            } else if (g.type == kDigital) {
                static_cast<MMDigitalGaugeReadout*>(g.widget)->ClearValue();
            } else {
                static_cast<MMStatusGauge*>(g.widget)->ClearState();
            }
            continue;
        }
        switch (g.type) {
            case kAnalog: {
                // Widening by the lowest and the highest first gives the dial every reading
                // since the last frame, and leaves the needle on the latest.
                auto* dial = static_cast<MMAnalogGauge*>(g.widget);
                // After a seek the lowest and highest start again at the position.
                if (restart) dial->ClearValue();
                dial->SetValue(r.lowest, false);
                dial->SetValue(r.highest, false);
                dial->SetValue(r.value, true);
                break;
            }
            case kDigital:
                static_cast<MMDigitalGaugeReadout*>(g.widget)->SetValue(r.value);
                break;
            default:
                static_cast<MMStatusGauge*>(g.widget)->SetState(r.state, true);
                break;
        }
    }
}

void DashPage::Configure(const Gauge& gauge, const ADXDashboardEntry& entry) {
    if (gauge.widget == nullptr) return;
    if (gauge.type == kAnalog || gauge.type == kDigital) {
        auto* value = As<ADXValue>(entry.item);
        if (value == nullptr) return;  // wrong or missing item: never configured
        // A gauge shows no value until the next reply: the items' last raw numbers may be from
        // nothing at all (all zero) or from another definition.
        if (gauge.type == kAnalog) {
            auto* dial = static_cast<MMAnalogGauge*>(gauge.widget);
            dial->SetTitle(Text(value->title()));
            dial->SetUnits(Text(value->units()));
            dial->SetScale(value->range_low, value->range_high);
            dial->SetDigits(value->digcount);
            dial->RemoveZones();
            if (value->flags & ADXValue::kHighAlarm) {
                dial->SetZone(dial->zoneCount(),
                              {std::min(value->alarm_high, value->range_high),
                               std::max(value->alarm_high, value->range_high), 0x0000FF});
            }
            if (value->flags & ADXValue::kLowAlarm) {
                dial->SetZone(dial->zoneCount(),
                              {std::min(value->alarm_low, value->range_low),
                               std::max(value->alarm_low, value->range_low), 0x00B4FA});
            }
            dial->ClearValue();
        } else {
            auto* readout = static_cast<MMDigitalGaugeReadout*>(gauge.widget);
            readout->SetTitle(Text(value->title()));
            readout->SetUnits(Text(value->units()));
            if (value->outputtype == 3) {
                readout->SetNumberFormat(1, value->digcount);
            } else {
                readout->SetNumberFormat(0, 1);
            }
            readout->SetColor(MMDigitalGaugeReadout::kLowAlarm, 0x0080FF);
            readout->SetColor(MMDigitalGaugeReadout::kHighAlarm, 0x0000FF);
            readout->SetAlarmLow(value->alarm_low);
            readout->SetAlarmHigh(value->alarm_high);
            readout->EnableHighAlarm((value->flags & ADXValue::kHighAlarm) != 0);
            readout->EnableLowAlarm((value->flags & ADXValue::kLowAlarm) != 0);
            readout->ClearValue();
        }
    } else if (gauge.type == kStatus) {
        auto* bitmask = As<ADXBitmask>(entry.item);
        if (bitmask == nullptr) return;
        auto* status = static_cast<MMStatusGauge*>(gauge.widget);
        status->SetTitle(Text(bitmask->title()));
        status->SetTrueText(Text(bitmask->truestring()));
        status->SetFalseText(Text(bitmask->falsestring()));
        status->ClearState();
    }
}

void DashPage::LayOut() {
    const int top = choices_->geometry().bottom() + 1 + 3;
    area_ = QRect(0, top, width(), std::max(0, height() - top));
    if (dashboard_ == nullptr) return;
    const auto& entries = dashboard_->entries();
    const int w = area_.width(), h = area_.height();
    for (size_t i = 0; i < gauges_.size() && i < entries.size(); ++i) {
        if (gauges_[i].widget == nullptr) continue;
        const ADXDashboardEntry& e = entries[i];
        const int x = area_.left() + e.left * w / 100;
        const int right = area_.left() + e.right * w / 100;
        const int y = area_.top() + e.top * h / 100;
        const int bottom = area_.top() + e.bottom * h / 100;
        gauges_[i].widget->setGeometry(x, y, std::max(0, right - x), std::max(0, bottom - y));
    }
}

QWidget* DashPage::gauge(int index) const {
    if (index < 0 || index >= static_cast<int>(gauges_.size())) return nullptr;
    return gauges_[static_cast<size_t>(index)].widget;
}

int DashPage::gaugeCount() const {
    return static_cast<int>(gauges_.size());
}

QMenu* DashPage::BuildContextMenu(int index, QWidget* parent) {
    if (dashboard_ == nullptr || index < 0 ||
        index >= static_cast<int>(dashboard_->entries().size()))
        return nullptr;
    const ADXDashboardEntry& entry = dashboard_->entries()[static_cast<size_t>(index)];
    auto* menu = new QMenu(parent);
    const auto fill = [&](QMenu* sub, uint32_t type) {
        for (size_t n = 0;; ++n) {
            ADXObject* object = definition_.NthOfType(type, n);
            if (object == nullptr) break;
            QAction* action = sub->addAction(Text(object->title()));
            action->setData(QVariant::fromValue<void*>(object));
            action->setCheckable(true);
            action->setChecked(object == entry.item);
        }
    };
    fill(menu->addMenu("Values"), ADXValue::kType);
    if (entry.gaugetype != kAnalog) fill(menu->addMenu("Bitmasks"), ADXBitmask::kType);
    return menu;
}

void DashPage::OnRightClick(int index, const QPoint& pos) {
    QWidget* w = gauge(index);
    if (w == nullptr || dashboard_ == nullptr) return;
    QMenu* menu = BuildContextMenu(index, this);
    if (menu == nullptr) return;
    QAction* chosen = menu->exec(w->mapToGlobal(pos));
    if (chosen != nullptr && chosen->data().isValid()) {
        ChooseItem(index, static_cast<ADXObject*>(chosen->data().value<void*>()));
    }
    menu->deleteLater();
}

void DashPage::ChooseItem(int index, ADXObject* object) {
    if (dashboard_ == nullptr || object == nullptr || index < 0 ||
        index >= static_cast<int>(dashboard_->entries().size()))
        return;
    ADXDashboardEntry entry = dashboard_->entries()[static_cast<size_t>(index)];
    const bool same_type = entry.item != nullptr && entry.item->type() == object->type();
    QWidget* old = nullptr;
    if (!same_type) {
        entry.gaugetype = object->type() == ADXBitmask::kType ? kStatus : kDigital;
        Gauge g = CreateGauge(index, entry.gaugetype);
        old = gauges_[static_cast<size_t>(index)].widget;
        gauges_[static_cast<size_t>(index)] = g;
    }
    entry.item = object;
    entry.itemidhash = object->idhash();
    dashboard_->entries()[static_cast<size_t>(index)] = entry;
    // The old gauge may be the one whose right-click handler called us: hide it now and let the
    // event loop delete it once that handler has returned.
    if (old != nullptr) {
        old->hide();
        old->deleteLater();
    }
    const Gauge g = gauges_[static_cast<size_t>(index)];
    Configure(g, entry);
    WatchItems();
    if (g.widget != nullptr) g.widget->show();
    LayOut();
    emit definitionModified();
}

void DashPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOut();
}

}  // namespace korvit::pages
