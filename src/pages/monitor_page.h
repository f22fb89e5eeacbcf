#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/chart_feed.h"
#include "app/chart_points.h"
#include "pages/display_page.h"

class QAction;
class QMenu;
class QScrollArea;
class QScrollBar;

namespace korvit::definition {
class ADXDefinition;
class ADXMonitor;
class ADXValue;
struct ADXMonitorSeries;
}  // namespace korvit::definition

namespace korvit::controls {
class MMDataChart;
class DataChartAxis;
class DataChartSeries;
}  // namespace korvit::controls

namespace korvit::pages {

class MonitorReview;

/// One chart of the Monitors page. `series` runs parallel to the monitor's entries: entry k
/// draws into series[k], or nowhere when its item is not a value; `lines[k]` is the feed's line
/// of its value (-1 for none).
struct MonitorChart {
    controls::MMDataChart* chart = nullptr;
    definition::ADXMonitor* monitor = nullptr;
    controls::DataChartAxis* time_axis = nullptr;
    std::vector<controls::DataChartSeries*> series;
    std::vector<int> lines;
};

/// The Monitors page: one time chart per monitor of the definition, stacked top to bottom, and
/// a horizontal scroll bar through the recorded history. The reply thread feeds the core's
/// ChartFeed; the page takes what is new when it is refreshed (only while it is shown), so it
/// does nothing while hidden and is current as soon as it shows. Everything here runs on the
/// GUI thread.
class MonitorPage : public QWidget, public DisplayPage {
    Q_OBJECT
  public:
    static constexpr int kFirstChartId = 9000;
    /// Charts are never squeezed below this height: the page scrolls instead.
    static constexpr int kMinChartHeight = 120;

    /// The figures of the scroll bar: range, page and position in milliseconds.
    struct ScrollInfo {
        int min = 0;
        int max = 0;
        int page = 0;
        int pos = 0;
    };

    MonitorPage(definition::ADXDefinition& definition, app::ChartFeed& feed,
                QWidget* parent = nullptr);
    ~MonitorPage() override;

    QWidget* widget() override { return this; }
    /// Deletes every chart and builds one per monitor of the definition, in definition order.
    void Rebuild() override;
    /// Takes what the feed holds into the charts (points, resets, the cursor), then the scroll
    /// bar and legends follow.
    void Refresh(uint32_t changes) override;
    /// Moves every chart's time cursor (playback position).
    void SetCursorTime(double seconds);
    /// Every chart's time view starts at `seconds`.
    void ScrollTo(double seconds);

    /// The values the charts draw, each once, in chart and series order.
    std::vector<uint32_t> SeriesHashes() const;
    /// Puts whole-log lines in place: every series of a value in `hashes` shows its line
    /// (lines[k] for hashes[k]). From then on samples go in at their time, once, and a reset
    /// keeps the lines (the log is shown whole), until DropOverview or Rebuild. With
    /// `show_all` every chart's view spans the whole log.
    /// The lines are taken: the first series of a value swaps its line in, later ones copy it.
    void FillFromLog(const std::vector<uint32_t>& hashes,
                     std::vector<std::unique_ptr<app::ChartPoints>>& lines, bool show_all);
    /// Back to live charts: the next reset empties them and samples are appended.
    void DropOverview();
    /// True while the charts hold a whole log.
    bool overview() const { return overview_; }

    size_t chartCount() const { return charts_.size(); }
    const MonitorChart& entry(size_t i) const { return charts_[i]; }
    QScrollBar* scrollBar() const { return scroll_; }
    /// The area the charts scroll in when they do not fit the page.
    QScrollArea* chartArea() const { return area_; }
    bool scrollBarShown() const { return scroll_shown_; }
    ScrollInfo scrollInfo() const { return scroll_info_; }
    /// The legends, cursors and time view of the charts.
    MonitorReview* review() const { return review_; }
    /// True once the right-click menu changed a monitor of the definition (until Rebuild).
    bool modified() const { return modified_; }

    /// The right-click menu of chart i: every value of the definition, the shown ones checked.
    /// Choosing a checked value removes its line and axis, an unchecked one adds them.
    void ShowSeriesMenu(size_t i, const QPoint& global);
    /// Runs the menu and returns the chosen action; tests replace it so that no menu opens.
    std::function<QAction*(QMenu& menu, const QPoint& global)> run_menu;
    void AddValue(size_t i, definition::ADXValue* value);
    void RemoveValue(size_t i, definition::ADXValue* value);

  signals:
    /// A monitor of the definition changed through the right-click menu.
    void definitionModified();
    /// A series was added through the right-click menu (its line is empty until filled).
    void seriesAdded(uint32_t value_hash);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    /// Series and axes from the monitor; the caller recalculates the chart.
    void Configure(MonitorChart& c);
    controls::DataChartSeries* AddSeriesFor(MonitorChart& c,
                                            const definition::ADXMonitorSeries& entry,
                                            int units_limit);
    void LayoutCharts();
    void UpdateScrollBar();
    void SetAutoScroll(bool on);
    /// Tells the feed which values the charts show and notes each series' line.
    void WatchValues(bool keep_waiting);
    /// Takes everything the feed holds into the charts.
    void TakeFeed();
    void ApplyBatch();
    /// Adds the batch's points from `from` (per line, or 0) up to `to` (per line, or the end),
    /// and lets each time axis follow the arrivals in [first, last).
    void AddFromBatch(const std::vector<size_t>* from, const std::vector<size_t>* to, size_t first,
                      size_t last);
    /// A new run: every line empties and each time axis restarts at 0 with its width (with a
    /// whole log shown only the cursor goes back to 0).
    void Restart();

    definition::ADXDefinition& definition_;
    app::ChartFeed& feed_;
    app::ChartFeed::Batch batch_;
    /// The commands of one chart's lines, while a batch goes in.
    std::vector<uint32_t> commands_;
    std::vector<MonitorChart> charts_;
    QScrollBar* scroll_;
    /// The charts sit on `sheet_` inside `area_`, which scrolls up and down when the charts
    /// would be shorter than kMinChartHeight.
    QScrollArea* area_;
    QWidget* sheet_;
    MonitorReview* review_;
    bool scroll_shown_ = false;
    ScrollInfo scroll_info_;
    bool modified_ = false;
    bool overview_ = false;
    /// Counts rebuilds, so that a menu opened before one does nothing after it.
    uint64_t generation_ = 0;
};

}  // namespace korvit::pages
