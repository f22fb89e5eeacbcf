#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pages/display_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace korvit::app {
class FedCells;
class HistogramFilters;
}  // namespace korvit::app
namespace korvit::evaluation {
struct HistogramFilter;
}
namespace korvit::definition {
class ADXDefinition;
class ADXHistogram;
}  // namespace korvit::definition

namespace korvit::controls {
class Chart3D;
class MMGridControl;
}  // namespace korvit::controls

namespace korvit::pages {

/// The Histograms page: one histogram of the definition at a time, as a grid of per-cell
/// statistics or as a 3D surface. Samples are added on the worker thread (under the
/// histogram's lock); a refresh redraws the cells fed since the last one.
class HistogramPage : public QWidget, public DisplayPage {
    Q_OBJECT
  public:
    /// Column width and row height of the grid's cells, in pixels.
    static constexpr int kColumnWidth = 55;
    static constexpr int kRowHeight = 20;

    HistogramPage(definition::ADXDefinition& definition, app::FedCells& fed_cells,
                  QWidget* parent = nullptr);

    QWidget* widget() override { return this; }
    void Rebuild() override { FillHistogramChoices(); }
    /// Redraws the fed cells of the shown histogram, or all of it after a position change.
    void Refresh(uint32_t changes) override;

    /// Refills the "Histogram" list from the definition (after every load), shows the first.
    void FillHistogramChoices();
    /// Rebuilds the grid and the chart from the current histogram.
    void RefreshHistogramView();
    /// A sample landed in `cell` (column * 65536 + row): when it is the shown histogram, that
    /// one cell's text, the mark and its 3D point follow.
    void ShowFedCell(const definition::ADXHistogram* histogram, int32_t cell);
    /// Cells fed since the last call, oldest first; `overflow` rebuilds the whole view.
    void ShowFedCells(const std::vector<std::pair<const definition::ADXHistogram*, int32_t>>& cells,
                      bool overflow);

    /// Selects the statistic shown by its code; false for a code the "View" list lacks.
    bool SelectStatistic(uint32_t code);
    /// Shows the graph (true) or the grid.
    void ShowGraph(bool on);

    /// The "Only when" filters the page shows and changes; null leaves the row disabled.
    void SetFilters(app::HistogramFilters* filters);
    /// Sets (or with none removes) the filter of the shown histogram, puts it on the
    /// histogram and says so through filterChanged. False (nothing changes, `error` says why)
    /// when no histogram is shown or the filter does not fit the definition.
    bool SetCurrentFilter(const std::optional<evaluation::HistogramFilter>& filter,
                          std::string* error = nullptr);
    /// The filter the row's fields describe: none for "every record", or nothing when a range
    /// is not two numbers (`error` says so).
    std::optional<std::optional<evaluation::HistogramFilter>> FilterFromFields(
        std::string* error = nullptr) const;
    QComboBox* whenList() const { return when_; }
    QComboBox* whenStateList() const { return when_state_; }
    QLineEdit* whenLowEdit() const { return when_low_; }
    QLineEdit* whenHighEdit() const { return when_high_; }
    QPushButton* whenApplyButton() const { return when_apply_; }

  signals:
    /// The shown histogram's filter changed (already set on it).
    void filterChanged();
    /// A filter could not be used; `text` says why.
    void filterRefused(const QString& text);

  public:
    definition::ADXHistogram* current() const { return current_; }
    uint32_t statistic() const { return statistic_; }
    controls::MMGridControl* grid() const { return grid_; }
    controls::Chart3D* chart() const { return chart_; }
    QComboBox* histogramList() const { return histograms_; }
    QComboBox* viewList() const { return views_; }
    QPushButton* clearButton() const { return clear_; }
    QCheckBox* graphBox() const { return graph_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OnHistogramChosen(int index);
    /// The "Only when" items of the definition and the shown histogram's filter in the fields.
    void FillFilterFields();
    void ShowFilterKind();
    void OnViewChosen(int index);
    void OnClear();

    definition::ADXDefinition& definition_;
    app::FedCells& fed_cells_;
    definition::ADXHistogram* current_ = nullptr;
    uint32_t statistic_ = 0;
    QComboBox* histograms_;
    QComboBox* views_;
    QPushButton* clear_;
    QCheckBox* graph_;
    controls::MMGridControl* grid_;
    controls::Chart3D* chart_;
    bool filling_ = false;
    app::HistogramFilters* filters_ = nullptr;
    QComboBox* when_;
    QComboBox* when_state_;
    QLineEdit* when_low_;
    QLineEdit* when_high_;
    QPushButton* when_apply_;
};

}  // namespace korvit::pages
