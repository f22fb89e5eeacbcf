#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

namespace korvit::controls {

/// One line of a chart's legend: a series, its value at the cursor and, with a second cursor,
/// how much it changed between the two.
struct LegendRow {
    QColor color;
    QString title;
    QString units;
    QString value;
    QString change;  // empty without a second cursor
};

/// The legend beside a chart: the cursor's time (and the time between the cursors), then one row
/// per series with its colour, title, value and units.
class ChartLegend : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 200;

    explicit ChartLegend(QWidget* parent = nullptr);

    void SetHeading(const QString& heading);
    void SetRows(std::vector<LegendRow> rows);
    const QString& heading() const { return heading_; }
    const std::vector<LegendRow>& rows() const { return rows_; }

  protected:
    void paintEvent(class QPaintEvent* event) override;

  private:
    QString heading_;
    std::vector<LegendRow> rows_;
};

}  // namespace korvit::controls
