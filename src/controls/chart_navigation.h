#pragma once

#include <QObject>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>

namespace korvit::controls {

class MMDataChart;

/// A stretch of chart time in seconds.
struct ChartSpan {
    double begin = 0.0;
    double end = 0.0;
    double width() const { return end - begin; }
    bool operator==(const ChartSpan&) const = default;
};

/// How the view of a time chart moves: zooming about a time, panning, fitting. `full` is the
/// time the chart holds (the whole log); results stay inside it where they fit and are never
/// narrower than kMinChartSpan.
inline constexpr double kMinChartSpan = 1.0;
/// One wheel notch or key press zooms by this factor.
inline constexpr double kZoomStep = 1.25;
/// One wheel notch or arrow key pans by this share of the view.
inline constexpr double kPanStep = 0.1;

/// `view` scaled by `factor` (above 1 zooms out) so that time `at` stays where it was.
ChartSpan ZoomAbout(ChartSpan view, double at, double factor, ChartSpan full);
/// `view` moved by `share` of its width (negative: earlier).
ChartSpan PanBy(ChartSpan view, double share, ChartSpan full);
/// The span from `a` to `b` in either order, widened to kMinChartSpan about its middle.
ChartSpan SpanBetween(double a, double b, ChartSpan full);
/// The whole of `full` (at least kMinChartSpan wide).
ChartSpan FitAll(ChartSpan full);

/// Draws what the chart itself does not: the second cursor and the rectangle being dragged.
/// It lies over the chart's plot and lets every mouse event through.
class ChartOverlay : public QWidget {
    Q_OBJECT
  public:
    explicit ChartOverlay(MMDataChart* chart);
    /// Pixel columns inside the chart, or nothing to hide them.
    void SetSecondCursor(std::optional<int> x);
    void SetBand(std::optional<int> from, std::optional<int> to);
    std::optional<int> secondCursor() const { return second_; }

  protected:
    void paintEvent(class QPaintEvent* event) override;

  private:
    MMDataChart* chart_;
    std::optional<int> second_;
    std::optional<int> band_from_;
    std::optional<int> band_to_;
};

/// Turns the mouse and keys on one chart into cursor and view requests:
/// click or drag sets the cursor, Shift+click the second cursor, Ctrl+drag zooms to the dragged
/// band, the wheel zooms about the pointer, Ctrl+wheel pans, a double click fits the whole log;
/// + and - zoom about the middle, Left and Right pan, Home fits, Escape drops the second cursor.
class ChartInput : public QObject {
    Q_OBJECT
  public:
    /// Watches `chart`'s events; `view` gives the span the chart shows and `full` the whole.
    ChartInput(MMDataChart* chart, std::function<ChartSpan()> view,
               std::function<ChartSpan()> full);

    ChartOverlay* overlay() const { return overlay_; }
    /// The time at pixel column x of the chart's plot.
    double TimeAt(int x) const;
    /// The pixel column of time t.
    int PixelAt(double t) const;

  signals:
    void cursorRequested(double t);
    void secondCursorRequested(double t);
    void secondCursorCleared();
    void spanRequested(double begin, double end);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool Key(int key, Qt::KeyboardModifiers modifiers);
    void Request(ChartSpan span);

    MMDataChart* chart_;
    ChartOverlay* overlay_;
    std::function<ChartSpan()> view_;
    std::function<ChartSpan()> full_;
    enum class Drag { kNone, kCursor, kBand } drag_ = Drag::kNone;
    int band_from_ = 0;
};

}  // namespace korvit::controls
