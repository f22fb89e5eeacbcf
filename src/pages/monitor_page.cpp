#include "pages/monitor_page.h"

#include <QMenu>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "controls/mm_data_chart.h"
#include "definition/adx_definition.h"
#include "definition/adx_monitor.h"
#include "definition/adx_value.h"
#include "pages/monitor_review.h"

namespace korvit::pages {
namespace {

using controls::DataChartAxis;
using controls::DataChartSeries;
using controls::MMDataChart;
using definition::ADXMonitor;
using definition::ADXMonitorSeries;
using definition::ADXValue;

constexpr float kTimeWidth = 20.0f;

/// Colours of series added by right click, by the number of series the monitor already has.
constexpr uint32_t kPalette[10][3] = {{255, 0, 0},   {0, 150, 0},   {0, 0, 255},   {255, 128, 128},
                                      {0, 200, 200}, {255, 128, 0}, {128, 0, 128}, {128, 128, 0},
                                      {255, 0, 255}, {64, 128, 128}};

/// The colour word of a palette entry.
uint32_t ColorWord(const uint32_t* rgb) {
    return rgb[0] | (rgb[1] << 8) | (rgb[2] << 16);
}

/// The first palette colour that no line of the chart has, counting on from the number of
/// lines; when every one is taken, the one after the lines' count.
uint32_t UnusedColor(const MonitorChart& c) {
    const size_t start = c.monitor->count();
    for (size_t k = 0; k < 10; ++k) {
        const uint32_t word = ColorWord(kPalette[(start + k) % 10]);
        bool used = false;
        for (const ADXMonitorSeries& entry : c.monitor->series()) used |= entry.linecolor == word;
        if (!used) return word;
    }
    return ColorWord(kPalette[start % 10]);
}

/// Colour words keep red in the lowest byte.
QColor ToColor(uint32_t word) {
    return QColor(static_cast<int>(word & 0xFF), static_cast<int>((word >> 8) & 0xFF),
                  static_cast<int>((word >> 16) & 0xFF));
}

QString Cut(std::string_view text, int limit) {
    return QString::fromLatin1(text.data(), std::min<qsizetype>(text.size(), limit));
}

/// Whole seconds of a float, as the scroll bar counts them.
int Whole(float v) {
    if (!(v > -2e6f)) return -2000000;
    return v < 2e6f ? static_cast<int>(v) : 2000000;
}

}  // namespace

MonitorPage::MonitorPage(definition::ADXDefinition& definition, app::ChartFeed& feed,
                         QWidget* parent)
    : QWidget(parent),
      definition_(definition),
      feed_(feed),
      scroll_(new QScrollBar(Qt::Horizontal, this)),
      area_(new QScrollArea(this)),
      sheet_(new QWidget),
      review_(new MonitorReview(sheet_)) {
    scroll_->hide();
    area_->setObjectName("MonitorArea");
    area_->setFrameShape(QFrame::NoFrame);
    area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area_->setWidget(sheet_);
    connect(scroll_, &QScrollBar::sliderPressed, this, [this] { SetAutoScroll(false); });
    connect(scroll_, &QScrollBar::sliderMoved, this, [this](int position) {
        SetAutoScroll(false);
        ScrollTo(position / 1000.0);
    });
    connect(scroll_, &QScrollBar::sliderReleased, this, [this] {
        SetAutoScroll(true);
        ScrollTo(scroll_->sliderPosition() / 1000.0);
    });
    // Arrows and page clicks leave the view where it is: only the thumb moves it.
    connect(scroll_, &QScrollBar::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove) scroll_->setSliderPosition(scroll_->value());
    });
}

MonitorPage::~MonitorPage() = default;

void MonitorPage::Rebuild() {
    review_->Detach();
    for (MonitorChart& c : charts_) delete c.chart;
    charts_.clear();
    ++generation_;
    modified_ = false;
    overview_ = false;
    int n = 0;
    for (const auto& object : definition_.objects()) {
        auto* monitor = definition::As<ADXMonitor>(object.get());
        if (monitor == nullptr) continue;
        MonitorChart c;
        c.monitor = monitor;
        c.chart = new MMDataChart(sheet_);
        c.chart->SetTitle("Right-click to add series");
        c.chart->SetControlId(kFirstChartId + n++);
        c.time_axis = c.chart->NewAxis();
        c.time_axis->SetDataRange(0.0f, kTimeWidth);
        c.time_axis->SetViewRange(0.0f, kTimeWidth);
        c.time_axis->SetPosition(DataChartAxis::kBottom);
        c.time_axis->SetTitle("Time (M:S)");
        c.time_axis->SetLabelCallback(&controls::TimeLabel);
        c.time_axis->SetFlags(DataChartAxis::kAutoScroll | DataChartAxis::kCallbackLabels |
                              DataChartAxis::kCursorLine);
        connect(c.chart, &MMDataChart::contextMenuRequested, this,
                [this](int id, const QPoint& global) {
                    const int i = id - kFirstChartId;
                    if (i >= 0 && static_cast<size_t>(i) < charts_.size()) {
                        ShowSeriesMenu(static_cast<size_t>(i), global);
                    }
                });
        c.chart->show();
        charts_.push_back(c);
        Configure(charts_.back());
    }
    // The charts of the definition before are gone, and so is what was waiting for them.
    WatchValues(false);
    for (MonitorChart& c : charts_) c.chart->Recalc();
    review_->Attach(charts_);
    LayoutCharts();
    UpdateScrollBar();
}

void MonitorPage::Refresh(uint32_t changes) {
    if (changes & (kChartsChanged | kPositionChanged)) {
        TakeFeed();
        UpdateScrollBar();
        review_->Refresh();
    }
}

void MonitorPage::WatchValues(bool keep_waiting) {
    std::vector<ADXValue*> values;
    for (MonitorChart& c : charts_) {
        const auto& entries = c.monitor->series();
        c.lines.assign(c.series.size(), -1);
        for (size_t k = 0; k < c.series.size() && k < entries.size(); ++k) {
            auto* value = definition::As<ADXValue>(entries[k].item);
            if (c.series[k] == nullptr || value == nullptr) continue;
            auto at = std::find(values.begin(), values.end(), value);
            if (at == values.end()) at = values.insert(values.end(), value);
            c.lines[k] = static_cast<int>(at - values.begin());
        }
    }
    feed_.Watch(&definition_, std::move(values), keep_waiting);
}

void MonitorPage::TakeFeed() {
    feed_.Take(batch_);
    if (!batch_.empty()) ApplyBatch();
    // The batch's storage goes back to the feed for the next points; a long backlog (a page
    // hidden through a whole log) gives its memory back instead.
    constexpr size_t kKeep = 16384;
    for (auto& line : batch_.lines) {
        if (line.capacity() > kKeep) std::vector<app::ChartPoint>().swap(line);
    }
    if (batch_.arrivals.capacity() > kKeep) {
        std::vector<app::ChartFeed::Arrival>().swap(batch_.arrivals);
    }
}

void MonitorPage::ApplyBatch() {
    const size_t arrivals = batch_.arrivals.size();
    if (!batch_.reset) {
        AddFromBatch(nullptr, nullptr, 0, arrivals);
        if (batch_.cursor) SetCursorTime(*batch_.cursor);
        return;
    }
    // What came before the reset matters only to a whole log, which a reset keeps.
    if (overview_) {
        AddFromBatch(nullptr, &batch_.lines_before_reset, 0, batch_.arrivals_before_reset);
    }
    if (batch_.cursor && !batch_.cursor_after_reset) SetCursorTime(*batch_.cursor);
    Restart();
    AddFromBatch(&batch_.lines_before_reset, nullptr, batch_.arrivals_before_reset, arrivals);
    if (batch_.cursor && batch_.cursor_after_reset) SetCursorTime(*batch_.cursor);
}

void MonitorPage::AddFromBatch(const std::vector<size_t>* from, const std::vector<size_t>* to,
                               size_t first, size_t last) {
    for (MonitorChart& c : charts_) {
        // The time axis follows every reply that brought this chart a point, in order.
        const auto& entries = c.monitor->series();
        commands_.clear();
        for (size_t k = 0; k < c.lines.size(); ++k) {
            if (c.lines[k] >= 0) {
                commands_.push_back(definition::As<ADXValue>(entries[k].item)->parentcmdidhash);
            }
        }
        const bool every_reply =
            std::find(commands_.begin(), commands_.end(), 0u) != commands_.end();
        bool moved = false;
        for (size_t a = first; a < last; ++a) {
            const app::ChartFeed::Arrival& arrival = batch_.arrivals[a];
            if (every_reply || std::find(commands_.begin(), commands_.end(),
                                         arrival.command_hash) != commands_.end()) {
                moved |= c.time_axis->Follow(arrival.t);
            }
        }
        for (size_t k = 0; k < c.lines.size(); ++k) {
            if (c.lines[k] < 0) continue;
            const auto line = static_cast<size_t>(c.lines[k]);
            const std::vector<app::ChartPoint>& points = batch_.lines[line];
            const size_t begin = from != nullptr ? (*from)[line] : 0;
            const size_t end = to != nullptr ? (*to)[line] : points.size();
            // With a whole log shown a played record goes in at its time, once.
            if (end > begin) c.series[k]->AddPoints(points.data() + begin, end - begin, overview_);
        }
        if (moved) c.chart->RequestUpdate(true);
    }
}

void MonitorPage::Restart() {
    for (MonitorChart& c : charts_) {
        if (overview_) {
            // The whole log stays in view: a new run only moves the cursor to its start.
            c.time_axis->SetCursor(0.0f);
            c.chart->RequestUpdate(false);
            continue;
        }
        c.chart->ClearData();
        const DataChartAxis::Range view = c.time_axis->viewRange();
        const float width = view.max - view.min;
        c.time_axis->SetDataRange(0.0f, width);
        c.time_axis->SetViewRange(0.0f, width);
        c.chart->RequestUpdate(true);
    }
}

void MonitorPage::Configure(MonitorChart& c) {
    c.chart->DeleteAllSeries();
    while (c.chart->AxisCount() > 1) c.chart->DeleteAxis(1);
    c.chart->SetTitle(Cut(c.monitor->title().view(), MMDataChart::kMaxTitle));
    c.series.clear();
    for (const ADXMonitorSeries& entry : c.monitor->series()) {
        c.series.push_back(AddSeriesFor(c, entry, MMDataChart::kMaxTitle));
    }
}

DataChartSeries* MonitorPage::AddSeriesFor(MonitorChart& c, const ADXMonitorSeries& entry,
                                           int units_limit) {
    auto* value = definition::As<ADXValue>(entry.item);
    if (value == nullptr) return nullptr;
    DataChartAxis* axis = c.chart->NewAxis();
    axis->SetDataRange(value->range_low, value->range_high);
    axis->SetViewRange(value->range_low, value->range_high);
    // Value axes alternate sides: even series counts go left, odd ones right.
    axis->SetPosition(c.chart->SeriesCount() % 2 == 0 ? DataChartAxis::kLeft
                                                      : DataChartAxis::kRight);
    axis->SetTitle(Cut(value->units().view(), units_limit));
    axis->SetLabelColor(ToColor(entry.axiscolor));
    axis->SetAxisColor(ToColor(entry.axiscolor));
    DataChartSeries* series = c.chart->NewSeries();
    series->SetXAxis(c.time_axis);
    series->SetYAxis(axis);
    series->SetLineColor(ToColor(entry.linecolor));
    series->SetLineWidth(entry.linewidth);
    series->SetLineStyle(entry.linetype);
    return series;
}

void MonitorPage::SetCursorTime(double seconds) {
    for (MonitorChart& c : charts_) {
        c.time_axis->SetCursor(static_cast<float>(seconds));
        c.chart->RequestUpdate(false);
    }
}

void MonitorPage::ScrollTo(double seconds) {
    const auto s = static_cast<float>(seconds);
    for (MonitorChart& c : charts_) {
        const DataChartAxis::Range view = c.time_axis->viewRange();
        c.time_axis->SetViewRange(s, s + (view.max - view.min));
        c.chart->Recalc();
    }
}

std::vector<uint32_t> MonitorPage::SeriesHashes() const {
    std::vector<uint32_t> hashes;
    for (const MonitorChart& c : charts_) {
        for (const ADXMonitorSeries& entry : c.monitor->series()) {
            if (definition::As<ADXValue>(entry.item) == nullptr) continue;
            if (std::find(hashes.begin(), hashes.end(), entry.itemidhash) == hashes.end()) {
                hashes.push_back(entry.itemidhash);
            }
        }
    }
    return hashes;
}

void MonitorPage::FillFromLog(const std::vector<uint32_t>& hashes,
                              std::vector<std::unique_ptr<app::ChartPoints>>& lines,
                              bool show_all) {
    // Replies that came before the fill go in first, as they would have gone in live: the
    // whole-log lines then take their place.
    TakeFeed();
    std::vector<DataChartSeries*> first(lines.size(), nullptr);
    overview_ = true;
    for (MonitorChart& c : charts_) {
        const auto& entries = c.monitor->series();
        const size_t n = std::min(entries.size(), c.series.size());
        for (size_t k = 0; k < n; ++k) {
            if (c.series[k] == nullptr) continue;
            const auto at = std::find(hashes.begin(), hashes.end(), entries[k].itemidhash);
            const auto i = static_cast<size_t>(at - hashes.begin());
            if (i >= lines.size() || !lines[i]) continue;
            if (first[i] == nullptr) {
                c.series[k]->points().Swap(*lines[i]);
                first[i] = c.series[k];
            } else {
                c.series[k]->points().Replace(first[i]->points().Points());
            }
        }
    }
    for (MonitorChart& c : charts_) {
        const MMDataChart::TimeSpan full = c.chart->FullSpan();
        const DataChartAxis::Range data = c.time_axis->dataRange();
        c.time_axis->SetDataRange(std::min(data.min, static_cast<float>(full.begin)),
                                  std::max(data.max, static_cast<float>(full.end)));
        if (show_all) {
            c.chart->SetVisibleSpan(full.begin, std::max(full.end, full.begin + kTimeWidth));
        } else {
            c.chart->Recalc();
        }
    }
    UpdateScrollBar();
}

void MonitorPage::DropOverview() {
    overview_ = false;
}

void MonitorPage::SetAutoScroll(bool on) {
    for (MonitorChart& c : charts_) c.time_axis->SetFlag(DataChartAxis::kAutoScroll, on);
}

void MonitorPage::UpdateScrollBar() {
    const MonitorChart* first = nullptr;
    for (const MonitorChart& c : charts_) {
        if (c.chart->SeriesCount() > 0) {
            first = &c;
            break;
        }
    }
    bool show = false;
    if (first != nullptr) {
        const DataChartAxis::Range data = first->time_axis->dataRange();
        const DataChartAxis::Range view = first->time_axis->viewRange();
        show = view.min > data.min || view.max < data.max;
        if (show) {
            const int width = Whole(view.max - view.min);
            scroll_info_ = {0, Whole(data.max) * 1000 - width, width * 1000,
                            Whole(view.min) * 1000};
            // The bar's largest position is where the page ends at the range's end.
            scroll_->setRange(0, std::max(0, scroll_info_.max - scroll_info_.page + 1));
            scroll_->setPageStep(scroll_info_.page);
            scroll_->setSingleStep(1000);
            if (!scroll_->isSliderDown()) scroll_->setValue(scroll_info_.pos);
        }
    }
    if (show != scroll_shown_) {
        scroll_shown_ = show;
        scroll_->setVisible(show);
        LayoutCharts();
    }
}

void MonitorPage::resizeEvent(QResizeEvent*) {
    LayoutCharts();
}

void MonitorPage::LayoutCharts() {
    const int w = width();
    int h = height();
    if (scroll_shown_) {
        const int bar = scroll_->sizeHint().height();
        h = std::max(0, h - bar);
        scroll_->setGeometry(0, h, w, bar);
    }
    area_->setGeometry(0, 0, w, h);
    const int n = std::max<int>(1, static_cast<int>(charts_.size()));
    int each = h / n;
    int inner = w;
    if (each < kMinChartHeight) {
        // Too many charts to share the height: each keeps its minimum and the page scrolls.
        each = kMinChartHeight;
        inner = std::max(0, w - area_->verticalScrollBar()->sizeHint().width());
    }
    sheet_->resize(inner, charts_.empty() ? h : each * n);
    for (size_t i = 0; i < charts_.size(); ++i) {
        review_->Place(i, QRect(0, static_cast<int>(i) * each, inner, each));
    }
}

void MonitorPage::ShowSeriesMenu(size_t i, const QPoint& global) {
    if (i >= charts_.size()) return;
    QMenu menu(this);
    std::vector<ADXValue*> values;
    const ADXMonitor* monitor = charts_[i].monitor;
    for (const auto& object : definition_.objects()) {
        auto* value = definition::As<ADXValue>(object.get());
        if (value == nullptr) continue;
        values.push_back(value);
        QAction* action = menu.addAction(Cut(value->title().view(), 254));
        action->setData(static_cast<int>(values.size()));
        action->setCheckable(true);
        bool shown = false;
        for (const ADXMonitorSeries& entry : monitor->series()) shown |= entry.item == value;
        action->setChecked(shown);
    }
    const uint64_t generation = generation_;
    QAction* chosen = run_menu ? run_menu(menu, global) : menu.exec(global);
    // Events handled while the menu was open may have loaded another definition.
    if (chosen == nullptr || generation != generation_) return;
    const int id = chosen->data().toInt();
    if (id < 1 || static_cast<size_t>(id) > values.size()) return;
    // The action toggles its check when triggered; what counts is how the menu showed it.
    bool shown = false;
    for (const ADXMonitorSeries& entry : monitor->series()) shown |= entry.item == values[id - 1];
    if (shown) {
        RemoveValue(i, values[id - 1]);
    } else {
        AddValue(i, values[id - 1]);
    }
}

void MonitorPage::AddValue(size_t i, ADXValue* value) {
    if (i >= charts_.size() || value == nullptr) return;
    MonitorChart& c = charts_[i];
    for (const ADXMonitorSeries& entry : c.monitor->series()) {
        if (entry.item == value) return;
    }
    // The lines take what already came; the new one starts with the replies after it.
    TakeFeed();
    ADXMonitorSeries entry;
    entry.linecolor = entry.axiscolor = UnusedColor(c);
    entry.item = value;
    entry.itemidhash = value->idhash();
    if (!c.monitor->Append(entry)) return;
    c.series.push_back(AddSeriesFor(c, entry, 49));
    WatchValues(true);
    c.chart->Recalc();
    UpdateScrollBar();
    review_->Refresh();
    modified_ = true;
    emit definitionModified();
    emit seriesAdded(value->idhash());
}

void MonitorPage::RemoveValue(size_t i, ADXValue* value) {
    if (i >= charts_.size() || value == nullptr) return;
    MonitorChart& c = charts_[i];
    const auto& entries = c.monitor->series();
    size_t k = 0;
    while (k < entries.size() && entries[k].item != value) ++k;
    if (k == entries.size()) return;
    TakeFeed();
    c.monitor->Remove(k);
    DataChartSeries* series = k < c.series.size() ? c.series[k] : nullptr;
    if (k < c.series.size()) c.series.erase(c.series.begin() + static_cast<ptrdiff_t>(k));
    if (series != nullptr) {
        DataChartAxis* axis = series->yAxis();
        for (size_t s = 0; s < c.chart->SeriesCount(); ++s) {
            if (c.chart->GetSeries(s) == series) {
                c.chart->DeleteSeries(s);
                break;
            }
        }
        for (size_t a = 0; a < c.chart->AxisCount(); ++a) {
            if (c.chart->GetAxis(a) == axis) {
                c.chart->DeleteAxis(a);
                break;
            }
        }
    }
    WatchValues(true);
    c.chart->Recalc();
    UpdateScrollBar();
    review_->Refresh();
    modified_ = true;
    emit definitionModified();
}

}  // namespace korvit::pages
