#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "pages/display_page.h"

class QComboBox;
class QMenu;

namespace korvit::app {
class GaugeReadings;
}
namespace korvit::evaluation {
class LastPacket;
}
namespace korvit::definition {
class ADXDashboard;
class ADXDefinition;
class ADXObject;
struct ADXDashboardEntry;
}  // namespace korvit::definition

namespace korvit::pages {

/// The Dash page: a drop-down of the definition's dashboards and, below it, one gauge per entry
/// of the chosen dashboard, placed by the entry's percentages of the gauge area. The reply path
/// keeps the shown gauges' readings (with their lowest and highest) in the core; the page draws
/// them when refreshed.
class DashPage : public QWidget, public DisplayPage {
    Q_OBJECT
  public:
    /// Entry gauge types.
    enum GaugeType : uint32_t { kAnalog = 0, kDigital = 1, kStatus = 2 };
    static constexpr int kFirstGaugeId = 10000;

    /// Newly shown gauges start at what `last_packet` holds (a paused log's position).
    DashPage(definition::ADXDefinition& definition, app::GaugeReadings& readings,
             const evaluation::LastPacket& last_packet, QWidget* parent = nullptr);
    ~DashPage() override;

    QWidget* widget() override { return this; }
    /// Refills the drop-down from the definition (FillDashboardChoices).
    void Rebuild() override { FillDashboardChoices(); }
    /// The gauges take the latest readings, lowest and highest of the core.
    void Refresh(uint32_t changes) override;

    /// Refills the drop-down with every dashboard in definition order and shows the first.
    void FillDashboardChoices();
    /// Shows the dashboard (none: an empty page): one configured gauge per entry.
    void ShowDashboard(definition::ADXDashboard* dashboard);
    definition::ADXDashboard* currentDashboard() const { return dashboard_; }

    /// Gauge window of entry i (control id 10000 + i), or null.
    QWidget* gauge(int index) const;
    int gaugeCount() const;
    /// The area below the drop-down that the percentages refer to.
    QRect gaugeArea() const { return area_; }
    QComboBox* dashboardList() const { return choices_; }

    /// The pop-up menu of gauge i: "Values" and, unless the gauge is analog, "Bitmasks"; each
    /// action carries its object. The caller owns the menu.
    QMenu* BuildContextMenu(int index, QWidget* parent = nullptr);
    /// Shows the object in gauge i: a value of another type than the current item's makes the
    /// gauge digital, a bitmask a status indicator. The entry is written back and the definition
    /// marked modified.
    void ChooseItem(int index, definition::ADXObject* object);

  signals:
    /// A gauge was given another item: the dashboard in the definition changed.
    void definitionModified();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Gauge {
        QWidget* widget = nullptr;
        uint32_t type = kAnalog;
    };
    Gauge CreateGauge(int index, uint32_t type);
    void Configure(const Gauge& gauge, const definition::ADXDashboardEntry& entry);
    void LayOut();
    void ClearGauges();
    void OnRightClick(int index, const QPoint& pos);
    /// The core keeps readings for the shown gauges' items from now on.
    void WatchItems();

    definition::ADXDefinition& definition_;
    app::GaugeReadings& readings_;
    const evaluation::LastPacket& last_packet_;
    QComboBox* choices_;
    definition::ADXDashboard* dashboard_ = nullptr;
    QRect area_;
    std::vector<Gauge> gauges_;
    /// The readings' generation last drawn.
    uint64_t drawn_ = 0;
    /// The readings' restarts last drawn: a newer one restarts the dials' lowest and highest.
    uint64_t restarts_drawn_ = 0;
};

}  // namespace korvit::pages
