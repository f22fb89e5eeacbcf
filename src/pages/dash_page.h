#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "app/views.h"

class QComboBox;
class QMenu;

namespace korvit::definition {
class ADXDashboard;
class ADXDefinition;
class ADXObject;
struct ADXDashboardEntry;
}  // namespace korvit::definition

namespace korvit::pages {

/// The Dash page: a drop-down of the definition's dashboards and, below it, one gauge per entry
/// of the chosen dashboard, placed by the entry's percentages of the gauge area. Replies update
/// the gauges on the reply thread; repaints are merged to at most one per gauge per frame.
class DashPage : public QWidget, public app::IViews {
    Q_OBJECT
  public:
    /// Entry gauge types.
    enum GaugeType : uint32_t { kAnalog = 0, kDigital = 1, kStatus = 2 };
    static constexpr int kFirstGaugeId = 10000;

    DashPage(definition::ADXDefinition& definition, QWidget* parent = nullptr);
    ~DashPage() override;

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

    /// Reply path (any thread): every gauge of the command takes its reading from the packet.
    void UpdateDash(evaluation::Packet packet, uint32_t command_hash) override;
    /// A new scan or log starts (the charts are reset with it): every gauge shows no value
    /// until its next reply.
    void ResetCharts() override;

  signals:
    /// A gauge was given another item: the dashboard in the definition changed.
    void definitionModified();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

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
    void RequestRepaint();
    void FlushRepaints();

    definition::ADXDefinition& definition_;
    QComboBox* choices_;
    definition::ADXDashboard* dashboard_ = nullptr;
    QRect area_;
    // Guards the gauge list and the dashboard's entries against the reply thread.
    mutable std::mutex gauges_lock_;
    std::vector<Gauge> gauges_;
    std::atomic<bool> visible_{false};
    std::atomic<bool> flush_pending_{false};
    QElapsedTimer frame_clock_;
};

}  // namespace korvit::pages
