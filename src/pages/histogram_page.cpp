#include "pages/histogram_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/fed_cells.h"
#include "controls/chart3d.h"
#include "controls/mm_grid_control.h"
#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"
#include "definition/adx_value.h"

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
      chart_(new Chart3D(this)) {
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
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
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
    RefreshHistogramView();
}

void HistogramPage::OnHistogramChosen(int index) {
    if (filling_) return;
    current_ = index >= 0 ? static_cast<ADXHistogram*>(histograms_->itemData(index).value<void*>())
                          : nullptr;
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
    for (const auto& [histogram, cell] : cells) ShowFedCell(histogram, cell);
}

}  // namespace korvit::pages
