#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "controls/chart_legend.h"
#include "controls/chart_navigation.h"

namespace korvit::definition {
class ADXValue;
}

namespace korvit::controls {
class ChartInput;
}  // namespace korvit::controls

namespace korvit::pages {

struct MonitorChart;

/// A value as the item list writes it (its output type and digits, or its lookup table's
/// text), for a number taken from a chart line; "----" when it is not finite.
QString FormatItemNumber(const definition::ADXValue& value, double number);
/// A value whose lookup table maps it to texts: its chart line holds 0, as its gauges show it.
bool IsTextLookup(const definition::ADXValue& value);
/// The change of a value between two cursors, with its sign, in the value's digits; empty for
/// values whose numbers are not amounts (texts and hexadecimal codes).
QString FormatItemChange(const definition::ADXValue& value, double change);
/// A cursor time as minutes, seconds and hundredths ("1:05.25").
QString FormatCursorTime(double seconds);

/// Reviewing the Monitors charts: the legend beside each chart with the values at the cursor,
/// a second cursor, and the time view shared by every chart (zoom, pan, fit). The page keeps
/// the charts; this keeps what is drawn beside and over them.
class MonitorReview : public QObject {
    Q_OBJECT
  public:
    explicit MonitorReview(QWidget* sheet);
    ~MonitorReview() override;

    /// Legends and mouse handling for the page's charts, after they were built anew.
    void Attach(const std::vector<MonitorChart>& charts);
    /// Lets go of the charts before the page deletes them.
    void Detach();
    /// Places chart i and its legend in `area`.
    void Place(size_t i, const QRect& area);
    /// The legends as the cursors and lines now stand.
    void Refresh();
    /// Writes the text of a value its lookup table maps to texts, as the item list shows it at
    /// chart time t, or "----" when that is not known.
    using TextAt = std::function<QString(definition::ADXValue& value, double t)>;
    void SetTextLookupSource(TextAt source) { lookup_text_ = std::move(source); }

    /// The cursor every chart shows (the playback position or where the user put it).
    double cursor() const;
    std::optional<double> secondCursor() const { return second_; }
    /// Puts the cursor at t, as a click there does.
    void ChooseCursor(double t);
    void SetSecondCursor(std::optional<double> t);

    controls::ChartSpan view() const;
    /// Everything the charts hold: from the first to the last point of any line (the time
    /// axis when there are none).
    controls::ChartSpan full() const;
    /// Every chart shows `span`; the view stops following new points until the scroll bar
    /// is dragged again.
    void SetView(controls::ChartSpan span);

    size_t legendCount() const { return legends_.size(); }
    controls::ChartLegend* legend(size_t i) const { return legends_[i]; }
    controls::ChartInput* input(size_t i) const { return inputs_[i]; }

  signals:
    /// The user put the cursor at this time (seconds of chart time).
    void cursorChosen(double seconds);
    /// The view changed by zoom, pan or fit.
    void viewChanged();

  private:
    std::vector<controls::LegendRow> RowsFor(const MonitorChart& c, double t) const;

    QWidget* sheet_;
    const std::vector<MonitorChart>* charts_ = nullptr;
    std::vector<controls::ChartLegend*> legends_;
    std::vector<controls::ChartInput*> inputs_;
    std::optional<double> second_;
    TextAt lookup_text_;
};

}  // namespace korvit::pages
