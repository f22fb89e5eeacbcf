#include "pages/monitor_review.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "controls/mm_data_chart.h"
#include "definition/adx_lookup_table.h"
#include "definition/adx_monitor.h"
#include "definition/adx_value.h"
#include "evaluation/numeric.h"
#include "pages/monitor_page.h"

namespace korvit::pages {
namespace {

using controls::ChartSpan;
using controls::DataChartAxis;

QString Fixed(double v, int digits) {
    char text[400];
    const size_t n = evaluation::FormatFixed(v, digits, text, sizeof text);
    return n == SIZE_MAX ? QString("----") : QString::fromLatin1(text, static_cast<qsizetype>(n));
}

}  // namespace

QString FormatItemNumber(const definition::ADXValue& value, double number) {
    if (!std::isfinite(number)) return QString("----");
    char text[400];
    const int digits = value.digcount;
    if (value.lookup != nullptr) {
        // A line holds the table's number: written as the table writes its results. A text
        // table's line holds 0, as the gauges show it; its text comes from TextLookupValue.
        switch (value.lookup->outputtype()) {
            case 0:
                std::snprintf(text, sizeof text, "0x%.2X",
                              static_cast<unsigned>(evaluation::TruncToInt32(number)));
                return QString::fromLatin1(text);
            case 1:
                std::snprintf(text, sizeof text, "%i", evaluation::TruncToInt32(number));
                return QString::fromLatin1(text);
            default:
                return Fixed(number, digits);
        }
    }
    switch (value.outputtype) {
        case 0:
            std::snprintf(text, sizeof text, "%.*X", digits, evaluation::TruncToLow32(number));
            return QString::fromLatin1(text);
        case 1:
            std::snprintf(text, sizeof text, "%.*i", digits, evaluation::TruncToInt32(number));
            return QString::fromLatin1(text);
        case 2:
            std::snprintf(text, sizeof text, "%.*u", digits, evaluation::TruncToLow32(number));
            return QString::fromLatin1(text);
        case 3:
            return Fixed(number, digits);
        default:
            return Fixed(number, 2);
    }
}

bool IsTextLookup(const definition::ADXValue& value) {
    return value.lookup != nullptr &&
           value.lookup->outputtype() == definition::ADXLookupTable::kTextOutput;
}

QString FormatItemChange(const definition::ADXValue& value, double change) {
    const uint32_t output = value.lookup != nullptr ? value.lookup->outputtype() : value.outputtype;
    if (output == 0 || output == definition::ADXLookupTable::kTextOutput) return QString();
    if (!std::isfinite(change)) return QString("----");
    const int digits = value.outputtype == 3 ? value.digcount : 0;
    const QString text = Fixed(change, digits);
    return text.startsWith('-') ? text : "+" + text;
}

QString FormatCursorTime(double seconds) {
    if (!std::isfinite(seconds)) return QString("----");
    const bool negative = seconds < 0.0;
    const auto hundredths = static_cast<long long>(std::llround(std::fabs(seconds) * 100.0));
    char text[64];
    std::snprintf(text, sizeof text, "%s%lld:%02lld.%02lld", negative ? "-" : "", hundredths / 6000,
                  hundredths / 100 % 60, hundredths % 100);
    return QString::fromLatin1(text);
}

MonitorReview::MonitorReview(QWidget* sheet) : QObject(sheet), sheet_(sheet) {}

MonitorReview::~MonitorReview() = default;

void MonitorReview::Detach() {
    // The inputs and overlays die with their charts; the legends are the sheet's.
    for (controls::ChartLegend* legend : legends_) delete legend;
    legends_.clear();
    inputs_.clear();
    charts_ = nullptr;
}

void MonitorReview::Attach(const std::vector<MonitorChart>& charts) {
    Detach();
    charts_ = &charts;
    second_.reset();
    for (const MonitorChart& c : charts) {
        auto* legend = new controls::ChartLegend(sheet_);
        legend->show();
        legends_.push_back(legend);
        auto* input = new controls::ChartInput(
            c.chart, [this] { return view(); }, [this] { return full(); });
        connect(input, &controls::ChartInput::cursorRequested, this, &MonitorReview::ChooseCursor);
        connect(input, &controls::ChartInput::secondCursorRequested, this,
                [this](double t) { SetSecondCursor(t); });
        connect(input, &controls::ChartInput::secondCursorCleared, this,
                [this] { SetSecondCursor(std::nullopt); });
        connect(input, &controls::ChartInput::spanRequested, this,
                [this](double begin, double end) {
                    SetView({begin, end});
                });
        inputs_.push_back(input);
    }
    Refresh();
}

void MonitorReview::Place(size_t i, const QRect& area) {
    if (charts_ == nullptr || i >= charts_->size() || i >= legends_.size()) return;
    const int legend = std::min(controls::ChartLegend::kWidth, area.width() / 3);
    (*charts_)[i].chart->setGeometry(area.x(), area.y(), area.width() - legend, area.height());
    legends_[i]->setGeometry(area.right() + 1 - legend, area.y(), legend, area.height());
}

double MonitorReview::cursor() const {
    if (charts_ == nullptr || charts_->empty()) return 0.0;
    return (*charts_)[0].time_axis->cursor();
}

void MonitorReview::ChooseCursor(double t) {
    if (charts_ == nullptr) return;
    for (const MonitorChart& c : *charts_) {
        c.time_axis->SetCursor(static_cast<float>(t));
        c.chart->RequestUpdate(false);
    }
    Refresh();
    emit cursorChosen(t);
}

void MonitorReview::SetSecondCursor(std::optional<double> t) {
    second_ = t;
    Refresh();
}

ChartSpan MonitorReview::view() const {
    if (charts_ == nullptr || charts_->empty()) return {};
    const controls::MMDataChart::TimeSpan span = (*charts_)[0].chart->VisibleSpan();
    return {span.begin, span.end};
}

ChartSpan MonitorReview::full() const {
    if (charts_ == nullptr || charts_->empty()) return {};
    ChartSpan all{INFINITY, -INFINITY};
    for (const MonitorChart& c : *charts_) {
        const controls::MMDataChart::TimeSpan span = c.chart->FullSpan();
        all = {std::min(all.begin, span.begin), std::max(all.end, span.end)};
    }
    return all;
}

void MonitorReview::SetView(ChartSpan span) {
    if (charts_ == nullptr || !(span.width() > 0.0)) return;
    for (const MonitorChart& c : *charts_) {
        c.time_axis->SetFlag(DataChartAxis::kAutoScroll, false);
        c.chart->SetVisibleSpan(span.begin, span.end);
    }
    Refresh();
    emit viewChanged();
}

std::vector<controls::LegendRow> MonitorReview::RowsFor(const MonitorChart& c, double t) const {
    std::vector<controls::LegendRow> rows;
    const auto& entries = c.monitor->series();
    const size_t n = std::min(entries.size(), c.series.size());
    for (size_t k = 0; k < n; ++k) {
        auto* value = definition::As<definition::ADXValue>(entries[k].item);
        const controls::DataChartSeries* series = c.series[k];
        if (value == nullptr || series == nullptr) continue;
        controls::LegendRow row;
        row.color = series->lineColor();
        row.title = QString::fromLatin1(value->title().view().data(),
                                        static_cast<qsizetype>(value->title().view().size()));
        row.units = QString::fromLatin1(value->units().view().data(),
                                        static_cast<qsizetype>(value->units().view().size()));
        const std::optional<float> at = series->points().ValueAt(static_cast<float>(t));
        if (IsTextLookup(*value)) {
            // Its line holds no number to read: the text is the item list's at the cursor.
            row.value = at && lookup_text_ ? lookup_text_(*value, t) : QString("----");
        } else {
            row.value = at ? FormatItemNumber(*value, *at) : QString("----");
        }
        if (second_) {
            const std::optional<float> then =
                series->points().ValueAt(static_cast<float>(*second_));
            row.change = at && then ? FormatItemChange(*value, static_cast<double>(*then) - *at)
                                    : FormatItemChange(*value, NAN);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void MonitorReview::Refresh() {
    if (charts_ == nullptr) return;
    const double t = cursor();
    QString heading = FormatCursorTime(t);
    if (second_) {
        heading += QString::fromUtf8(" \u2192 ") + FormatCursorTime(*second_) + " (" +
                   Fixed(*second_ - t, 2) + " s)";
    }
    for (size_t i = 0; i < charts_->size() && i < legends_.size(); ++i) {
        legends_[i]->SetHeading(heading);
        legends_[i]->SetRows(RowsFor((*charts_)[i], t));
        if (i < inputs_.size()) {
            inputs_[i]->overlay()->SetSecondCursor(
                second_ ? std::optional<int>(inputs_[i]->PixelAt(*second_)) : std::nullopt);
        }
    }
}

}  // namespace korvit::pages
