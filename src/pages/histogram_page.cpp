#include "pages/histogram_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/fed_cells.h"
#include "app/histogram_filters.h"
#include "controls/chart3d.h"
#include "controls/mm_grid_control.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"
#include "definition/adx_value.h"
#include "evaluation/histogram_filter.h"

namespace korvit::pages {
namespace {

using controls::Chart3D;
using controls::MMGridControl;
using definition::ADXHistogram;

// The "View" list: statistic codes in the order the page offers them.
constexpr uint32_t kViewCodes[] = {
    definition::kMostRecentSample,   definition::kHistoryAverage, definition::kHistoryStdDeviation,
    definition::kHistorySampleCount, definition::kRunningAverage, definition::kRunningSampleCount,
    definition::kRunningMinimum,     definition::kRunningMaximum, definition::kRunningRange,
};

// The grid loses its stretched last column, editing, header highlighting and numbered or
// lettered headers: a read-only table with plain headers.
constexpr uint32_t kGridStyleOff = 0x6E01;
constexpr uint32_t kChartStyleOn = 0x84200;
constexpr uint32_t kChartStyleOff = 0x7;

QString Text(const definition::OwnedText& text) {
    return QString::fromLatin1(text.view().data(), static_cast<qsizetype>(text.size()));
}

/// An axis label: "%i" for a whole number, "%.3f" otherwise.
QString AxisLabel(float value) {
    if (value == std::trunc(value) && std::fabs(value) < 2147483648.0f) {
        return QString::asprintf("%i", static_cast<int>(value));
    }
    return QString::asprintf("%.3f", static_cast<double>(value));
}

QString HistogramTitle(const ADXHistogram& h) {
    QString title = Text(h.title()) + " - ";
    if (h.x() != nullptr) title += Text(h.x()->title()) + " vs ";
    if (h.y() != nullptr) title += Text(h.y()->title()) + " vs ";
    if (h.z() != nullptr) title += Text(h.z()->title());
    return title;
}

}  // namespace

HistogramPage::HistogramPage(definition::ADXDefinition& definition, app::FedCells& fed_cells,
                             QWidget* parent)
    : QWidget(parent),
      definition_(definition),
      fed_cells_(fed_cells),
      histograms_(new QComboBox(this)),
      views_(new QComboBox(this)),
      clear_(new QPushButton("Clear", this)),
      graph_(new QCheckBox("Graph", this)),
      grid_(new MMGridControl(this)),
      chart_(new Chart3D(this)),
      when_(new QComboBox(this)),
      when_state_(new QComboBox(this)),
      when_low_(new QLineEdit(this)),
      when_high_(new QLineEdit(this)),
      when_apply_(new QPushButton("Apply", this)) {
    setObjectName("Histograms");
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel("Histogram", this));
    histograms_->setObjectName("Histogram");
    histograms_->setMinimumWidth(220);
    histograms_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    bar->addWidget(histograms_);
    bar->addSpacing(12);
    bar->addWidget(new QLabel("View", this));
    views_->setObjectName("View");
    bar->addWidget(views_);
    bar->addSpacing(12);
    bar->addWidget(clear_);
    bar->addWidget(graph_);
    bar->addStretch(1);
    // Only when: a bitmask in a state, or a value within a range, that a record must meet.
    auto* when_bar = new QHBoxLayout;
    when_bar->addWidget(new QLabel("Only when", this));
    when_->setObjectName("OnlyWhen");
    when_->setMinimumWidth(220);
    when_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    when_bar->addWidget(when_);
    when_state_->addItem("is true", true);
    when_state_->addItem("is false", false);
    when_bar->addWidget(when_state_);
    when_low_->setPlaceholderText("from");
    when_high_->setPlaceholderText("to");
    when_low_->setMaximumWidth(90);
    when_high_->setMaximumWidth(90);
    when_bar->addWidget(when_low_);
    when_bar->addWidget(when_high_);
    when_bar->addWidget(when_apply_);
    when_bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addLayout(when_bar);
    layout->addWidget(grid_, 1);
    layout->addWidget(chart_, 1);
    chart_->hide();

    for (uint32_t code : kViewCodes) {
        views_->addItem(definition::HistogramStatisticName(code), QVariant::fromValue(code));
    }
    grid_->RemoveStyle(kGridStyleOff, false);
    grid_->SetSize(1, 1);
    // The title that the grid and the chart share is shown in a bar above the grid.
    grid_->SetTitleBarHeight(22);

    chart_->installEventFilter(this);
    connect(histograms_, &QComboBox::currentIndexChanged, this, &HistogramPage::OnHistogramChosen);
    connect(views_, &QComboBox::currentIndexChanged, this, &HistogramPage::OnViewChosen);
    connect(clear_, &QPushButton::clicked, this, &HistogramPage::OnClear);
    connect(graph_, &QCheckBox::toggled, this, &HistogramPage::ShowGraph);
    connect(when_, &QComboBox::currentIndexChanged, this, &HistogramPage::ShowFilterKind);
    connect(when_apply_, &QPushButton::clicked, this, [this] {
        std::string error;
        const auto filter = FilterFromFields(&error);
        if (!filter || !SetCurrentFilter(*filter, &error)) {
            emit filterRefused(QString::fromStdString(error));
        }
    });
    FillFilterFields();
}

namespace {
enum FilterKind : int { kEveryRecord = 0, kBitmaskState = 1, kValueRange = 2 };
constexpr int kKindRole = Qt::UserRole + 1;
}  // namespace

void HistogramPage::SetFilters(app::HistogramFilters* filters) {
    filters_ = filters;
    FillFilterFields();
}

void HistogramPage::FillFilterFields() {
    const bool was = filling_;
    filling_ = true;
    when_->clear();
    when_->addItem("(every record)", QString());
    when_->setItemData(0, kEveryRecord, kKindRole);
    for (const auto& object : definition_.objects()) {
        int kind = kEveryRecord;
        if (definition::As<definition::ADXBitmask>(object.get()) != nullptr) kind = kBitmaskState;
        if (definition::As<definition::ADXValue>(object.get()) != nullptr) kind = kValueRange;
        if (kind == kEveryRecord) continue;
        const QString id =
            QString::fromLatin1(object->id().data(), static_cast<qsizetype>(object->id().size()));
        when_->addItem(Text(object->title()) + " (" + id + ")", id);
        when_->setItemData(when_->count() - 1, kind, kKindRole);
    }
    std::optional<evaluation::HistogramFilter> filter;
    if (filters_ != nullptr && current_ != nullptr) filter = filters_->Get(current_->id());
    int index = 0;
    if (filter) {
        index = std::max(0, when_->findData(QString::fromStdString(filter->item)));
        when_state_->setCurrentIndex(filter->state ? 0 : 1);
        const bool range = filter->kind == evaluation::HistogramFilter::Kind::kRange;
        when_low_->setText(range ? QString::number(filter->low, 'g', 10) : QString());
        when_high_->setText(range ? QString::number(filter->high, 'g', 10) : QString());
    } else {
        when_state_->setCurrentIndex(0);
        when_low_->clear();
        when_high_->clear();
    }
    when_->setCurrentIndex(index);
    filling_ = was;
    const bool usable = filters_ != nullptr && current_ != nullptr;
    when_->setEnabled(usable);
    when_apply_->setEnabled(usable);
    ShowFilterKind();
}

void HistogramPage::ShowFilterKind() {
    const int kind = when_->currentData(kKindRole).toInt();
    when_state_->setVisible(kind == kBitmaskState);
    when_low_->setVisible(kind == kValueRange);
    when_high_->setVisible(kind == kValueRange);
}

std::optional<std::optional<evaluation::HistogramFilter>> HistogramPage::FilterFromFields(
    std::string* error) const {
    const int kind = when_->currentData(kKindRole).toInt();
    if (kind == kEveryRecord) return std::optional<evaluation::HistogramFilter>();
    evaluation::HistogramFilter filter;
    filter.item = when_->currentData().toString().toStdString();
    if (kind == kBitmaskState) {
        filter.kind = evaluation::HistogramFilter::Kind::kBitmask;
        filter.state = when_state_->currentData().toBool();
        return std::optional(filter);
    }
    bool low_ok = false, high_ok = false;
    filter.kind = evaluation::HistogramFilter::Kind::kRange;
    filter.low = QLocale::c().toDouble(when_low_->text().trimmed(), &low_ok);
    filter.high = QLocale::c().toDouble(when_high_->text().trimmed(), &high_ok);
    if (!low_ok || !high_ok || !std::isfinite(filter.low) || !std::isfinite(filter.high)) {
        if (error != nullptr) *error = "Only when: the range needs two numbers";
        return std::nullopt;
    }
    if (filter.low > filter.high) std::swap(filter.low, filter.high);
    return std::optional(filter);
}

bool HistogramPage::SetCurrentFilter(const std::optional<evaluation::HistogramFilter>& filter,
                                     std::string* error) {
    if (filters_ == nullptr || current_ == nullptr) {
        if (error != nullptr) *error = "Only when: no histogram is shown";
        return false;
    }
    const std::string id(current_->id());
    if (filter) {
        std::string why;
        if (!evaluation::ResolvedHistogramFilter::Resolve(*filter, definition_, &why)) {
            if (error != nullptr) *error = "Only when: " + filter->Format() + ": " + why;
            return false;
        }
        filters_->Set(id, *filter);
    } else {
        filters_->Remove(id);
    }
    filters_->Apply(definition_);
    FillFilterFields();
    emit filterChanged();
    return true;
}

bool HistogramPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chart_ && event->type() == QEvent::Resize) {
        // The surface, turned and in perspective, with its labels, fits the chart's window.
        const float size = std::min(static_cast<float>(chart_->width()) / 2.0f,
                                    static_cast<float>(chart_->height()) / 2.1f);
        chart_->SetCubeSize(std::max(size, 40.0f));
    }
    return QWidget::eventFilter(watched, event);
}

void HistogramPage::FillHistogramChoices() {
    filling_ = true;
    histograms_->clear();
    for (const auto& object : definition_.objects()) {
        if (auto* h = definition::As<ADXHistogram>(object.get())) {
            histograms_->addItem(Text(h->title()), QVariant::fromValue(static_cast<void*>(h)));
        }
    }
    filling_ = false;
    if (histograms_->count() > 0) histograms_->setCurrentIndex(0);
    current_ = histograms_->count() > 0
                   ? static_cast<ADXHistogram*>(histograms_->itemData(0).value<void*>())
                   : nullptr;
    statistic_ = views_->currentData().toUInt();
    FillFilterFields();
    RefreshHistogramView();
}

void HistogramPage::OnHistogramChosen(int index) {
    if (filling_) return;
    current_ = index >= 0 ? static_cast<ADXHistogram*>(histograms_->itemData(index).value<void*>())
                          : nullptr;
    FillFilterFields();
    RefreshHistogramView();
}

void HistogramPage::OnViewChosen(int index) {
    if (index < 0) return;
    statistic_ = views_->itemData(index).toUInt();
    RefreshHistogramView();
}

bool HistogramPage::SelectStatistic(uint32_t code) {
    const int index = views_->findData(QVariant::fromValue(code));
    if (index < 0) return false;
    views_->setCurrentIndex(index);
    return true;
}

void HistogramPage::OnClear() {
    if (current_ != nullptr) current_->ClearHistogram();
    RefreshHistogramView();
}

void HistogramPage::ShowGraph(bool on) {
    if (graph_->isChecked() != on) graph_->setChecked(on);  // comes back here through toggled
    grid_->setVisible(!on);
    chart_->setVisible(on);
}

void HistogramPage::RefreshHistogramView() {
    if (current_ == nullptr) {
        grid_->SetTitle(QString());
        grid_->SetSize(0, 0);
        chart_->SetTitle(QString());
        chart_->SetSize(0, 0);
        return;
    }
    ADXHistogram& h = *current_;
    chart_->AddStyle(kChartStyleOn, false);
    chart_->RemoveStyle(kChartStyleOff, false);
    chart_->SetColorRangeMode(0);
    chart_->Redraw();
    grid_->SetRedraw(false);
    chart_->SetRedraw(false);

    const QString title = HistogramTitle(h);
    grid_->SetTitle(title);
    chart_->SetTitle(title);

    const int rows = static_cast<int>(std::min<uint32_t>(h.rows(), MMGridControl::kMaxRows));
    const int cols = static_cast<int>(std::min<uint32_t>(h.cols(), MMGridControl::kMaxColumns));
    grid_->SetSize(rows, cols);
    chart_->SetSize(rows, cols);
    chart_->SetLabelCount(Chart3D::kX, cols);
    chart_->SetLabelCount(Chart3D::kY, rows);

    std::vector<float> xs(static_cast<size_t>(cols));
    std::vector<float> ys(static_cast<size_t>(rows));
    const auto axis = [&](bool x_axis, int count, std::vector<float>& values) {
        float low = 0.0f;
        float high = 0.0f;
        for (int k = 1; k <= count; ++k) {
            const float v = h.AxisBreakPoint(x_axis, static_cast<uint32_t>(k - 1));
            values[static_cast<size_t>(k - 1)] = v;
            const QString text = AxisLabel(v);
            if (x_axis) {
                grid_->SetColumnWidth(k, kColumnWidth);
                grid_->SetCellText(0, k, text);
            } else {
                grid_->SetRowHeight(k, kRowHeight);
                grid_->SetCellText(k, 0, text);
            }
            chart_->SetLabel(x_axis ? Chart3D::kX : Chart3D::kY, {k - 1, v, text});
            low = k == 1 ? v : std::min(low, v);
            high = k == 1 ? v : std::max(high, v);
        }
        if (count > 0) chart_->SetRange(x_axis ? Chart3D::kX : Chart3D::kY, &low, &high);
    };
    axis(true, cols, xs);
    axis(false, rows, ys);

    std::vector<Chart3D::Point> points(static_cast<size_t>(rows) * cols);
    char text[60];
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            const float v = h.GetStatistic(statistic_, static_cast<uint32_t>(i),
                                           static_cast<uint32_t>(j), text, sizeof text);
            grid_->SetCellText(i + 1, j + 1, QString::fromLatin1(text));
            points[static_cast<size_t>(i) * cols + j] = {xs[static_cast<size_t>(j)],
                                                         ys[static_cast<size_t>(i)], v, 0};
        }
    }
    chart_->SetPoints(points);
    chart_->SetRedraw(true);
    grid_->SetRedraw(true);
    grid_->RedrawNow();
}

void HistogramPage::ShowFedCell(const ADXHistogram* histogram, int32_t cell) {
    if (histogram == nullptr || histogram != current_ || cell < 0) return;
    const int row = cell & 0xFFFF;
    const int column = (cell >> 16) & 0xFFFF;
    if (row >= grid_->dataRowCount() || column >= grid_->dataColumnCount()) return;
    char text[30];
    const float v = current_->GetStatistic(statistic_, static_cast<uint32_t>(row),
                                           static_cast<uint32_t>(column), text, sizeof text);
    grid_->SetCellText(row + 1, column + 1, QString::fromLatin1(text));
    const uint32_t address = MMGridControl::Address(row + 1, column + 1);
    grid_->SetMarkedRange(address, address);
    Chart3D::Point point;
    if (chart_->GetPoint(row, column, point)) {
        point.value = v;
        chart_->SetPoint(row, column, point);
        chart_->Redraw();
    }
}

void HistogramPage::Refresh(uint32_t changes) {
    bool overflow = false;
    const auto cells = fed_cells_.Take(&overflow);
    if ((changes & kPositionChanged) == 0) return ShowFedCells(cells, overflow);
    RefreshHistogramView();
    if (overflow) return;  // the newest cells were not kept one by one
    // The newest cell of the shown histogram is marked, as drawing cell by cell leaves it.
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
        if (it->first != current_) continue;
        ShowFedCell(it->first, it->second);
        break;
    }
}

void HistogramPage::ShowFedCells(const std::vector<std::pair<const ADXHistogram*, int32_t>>& cells,
                                 bool overflow) {
    if (overflow) return RefreshHistogramView();
    // A frame of fast playback feeds the same few cells thousands of times: each cell of the
    // shown histogram is drawn once, with its statistics as they are now, and the newest last so
    // that it is the one marked.
    const int rows = grid_->dataRowCount();
    const int columns = grid_->dataColumnCount();
    std::vector<bool> seen(static_cast<size_t>(std::max(0, rows * columns)));
    std::vector<int32_t> distinct;
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
        if (it->first != current_ || it->second < 0) continue;
        const int row = it->second & 0xFFFF;
        const int column = (it->second >> 16) & 0xFFFF;
        if (row >= rows || column >= columns) continue;
        const size_t index = static_cast<size_t>(row) * static_cast<size_t>(columns) + column;
        if (seen[index]) continue;
        seen[index] = true;
        distinct.push_back(it->second);
    }
    for (auto it = distinct.rbegin(); it != distinct.rend(); ++it) ShowFedCell(current_, *it);
}

}  // namespace korvit::pages
