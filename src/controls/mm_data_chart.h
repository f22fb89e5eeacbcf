#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/chart_points.h"

namespace korvit::controls {

class MMDataChart;
class DataChartAxis;
}  // namespace korvit::controls

class QPainter;

namespace korvit::controls {

/// Formats a tick label into a 30-character buffer; `length` comes in as the buffer size and
/// goes out as the text length.
using DataChartLabelCallback = void (*)(MMDataChart* chart, DataChartAxis* axis, float value,
                                        char* buf, int* length);

/// Integer plot rectangle; right and bottom are exclusive.
struct ChartRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

/// One axis of a chart: its side, ranges, ticks, labels and cursor.
class DataChartAxis {
  public:
    enum Flags : uint32_t {
        kTicksFromDataMin = 1,
        kAutoScroll = 16,
        kCallbackLabels = 32,
        kCursorLine = 64,
    };
    enum Position : int { kLeft = 0, kRight = 1, kTop = 2, kBottom = 3 };
    struct Range {
        float min = 0.0f, max = 255.0f;
    };

    explicit DataChartAxis(MMDataChart* chart);

    MMDataChart* chart() const { return chart_; }
    uint32_t flags() const { return flags_; }
    void SetFlags(uint32_t flags) { flags_ = flags; }
    /// Sets or clears flag bits.
    void SetFlag(uint32_t bits, bool on);
    int position() const { return position_; }
    /// Also picks the title font: rotated for the vertical sides, upright for the others.
    void SetPosition(int position);
    bool vertical() const { return position_ == kLeft || position_ == kRight; }

    const QString& title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }
    const QFont& titleFont() const { return title_font_; }
    bool titleRotated() const { return title_rotated_; }
    const QFont& labelFont() const { return label_font_; }
    QColor labelColor() const { return label_color_; }
    void SetLabelColor(QColor c) { label_color_ = c; }
    QColor axisColor() const { return axis_color_; }
    void SetAxisColor(QColor c) { axis_color_ = c; }
    void SetLabelCallback(DataChartLabelCallback callback) { callback_ = callback; }
    int decimals() const { return decimals_; }
    int margin() const { return margin_; }
    void SetMargin(int percent) { margin_ = static_cast<uint8_t>(percent); }
    int offset() const { return offset_; }
    int thickness() const { return thickness_; }
    /// True when the last render left the axis out to keep the plot its minimum size.
    bool hidden() const { return hidden_; }
    float tickStep() const { return tick_step_; }
    float firstTick() const { return first_tick_; }

    Range dataRange() const { return data_; }
    Range viewRange() const { return view_; }
    float cursor() const { return cursor_; }
    void SetDataRange(float min, float max);
    void SetViewRange(float min, float max);
    void SetCursor(float value);

    /// The tick step and decimals for an axis of `length` pixels over the view.
    static void TickStep(float view_min, float view_max, int length, bool vertical, float* step,
                         int* decimals);
    /// The label text of a tick value: the callback's when flag 32 is set, else the number.
    QString Label(float value);

    /// Moves the view to take in `v` when the axis auto-scrolls; true when it moved.
    bool Follow(float v);

  private:
    friend class MMDataChart;

    /// Measure and Draw work on the ranges the render copied.
    int Measure();
    void Draw(class QPainter& p);

    MMDataChart* chart_;
    uint32_t flags_ = 0;
    int position_ = kLeft;
    QString title_;
    QFont title_font_;
    bool title_rotated_ = true;
    QColor label_color_{Qt::black};
    QColor axis_color_{Qt::black};
    uint8_t decimals_ = 0;
    uint8_t margin_ = 15;
    int offset_ = 0;
    int thickness_ = 0;
    bool hidden_ = false;
    float cursor_ = 0.0f;
    Range data_;
    Range view_;
    /// The ranges as the last render took them.
    Range shown_data_;
    Range shown_view_;
    ChartRect plot_;
    float tick_step_ = 0.0f;
    float first_tick_ = 0.0f;
    QFont label_font_;
    DataChartLabelCallback callback_ = nullptr;
};

/// One line of a chart.
class DataChartSeries {
  public:
    explicit DataChartSeries(MMDataChart* chart) : chart_(chart) {}

    MMDataChart* chart() const { return chart_; }
    uint32_t flags = 0;
    int lineWidth() const { return width_; }
    void SetLineWidth(int width) { width_ = static_cast<uint8_t>(width); }
    int lineStyle() const { return style_; }
    void SetLineStyle(int style) { style_ = static_cast<uint8_t>(style); }
    QColor lineColor() const { return color_; }
    void SetLineColor(QColor c) { color_ = c; }

    DataChartAxis* xAxis() const { return x_axis_; }
    DataChartAxis* yAxis() const { return y_axis_; }
    /// Refused (false) unless the axis lies at the top or bottom.
    bool SetXAxis(DataChartAxis* axis);
    /// Refused (false) unless the axis lies left or right.
    bool SetYAxis(DataChartAxis* axis);

    /// Appends a point, lets auto-scrolling axes follow it and asks the chart to repaint.
    void AppendPoint(float x, float y);
    /// Adds a played record's point in time order, once (ChartPoints::Insert), lets
    /// auto-scrolling axes follow it and asks the chart to repaint.
    void InsertPoint(float x, float y);
    /// Appends (or, with `insert`, inserts as InsertPoint does) `n` points in order; the y axis
    /// follows each as it would one by one, the x axis is left to the caller (it follows the
    /// arrivals of every line of the chart in their order).
    void AddPoints(const app::ChartPoint* points, size_t n, bool insert);
    const app::ChartPoints& points() const { return points_; }
    app::ChartPoints& points() { return points_; }

  private:
    MMDataChart* chart_;
    uint8_t width_ = 1;
    uint8_t style_ = 0;
    QColor color_{Qt::black};
    DataChartAxis* x_axis_ = nullptr;
    DataChartAxis* y_axis_ = nullptr;
    app::ChartPoints points_;
};

/// A time chart: axes on four sides, line series, a title and a cursor line. Axes and frame
/// are rendered into an off-screen picture on recalc and resize; each paint copies it and
/// draws the lines on top. Used on the GUI thread only; whoever feeds it merges its changes
/// to the frame rate (repaint requests before a paint go as one).
class MMDataChart : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kMaxTitle = 149;

    explicit MMDataChart(QWidget* parent = nullptr);
    ~MMDataChart() override;

    void SetControlId(int id) { id_ = id; }
    int controlId() const { return id_; }

    DataChartSeries* NewSeries();
    DataChartSeries* GetSeries(size_t index) const;
    int DeleteSeries(size_t index);
    size_t SeriesCount() const { return series_.size(); }
    int DeleteAllSeries();
    /// Empties the points of every series.
    int ClearData();
    DataChartAxis* NewAxis();
    DataChartAxis* GetAxis(size_t index) const;
    /// Refused (0) while a series uses the axis; 1 when deleted or out of range.
    int DeleteAxis(size_t index);
    size_t AxisCount() const { return axes_.size(); }
    /// Deletes every series, then every axis.
    int DeleteAllAxes();
    /// Lays out and renders the off-screen picture, then repaints.
    int Recalc();
    /// Repaints now.
    int Repaint();
    /// Suspends (false) or resumes drawing.
    void SetRedraw(bool on);

    /// A title of 150 characters or more leaves the chart without one.
    void SetTitle(const QString& title);
    QString title() const { return title_; }
    QColor titleColor() const { return title_color_; }
    ChartRect plotRect() const { return plot_; }
    /// The plot keeps at least this share of the chart's width (and a third of its height):
    /// the outermost axes that would squeeze it further are hidden, with a "+N" marker.
    static constexpr double kMinPlotWidthShare = 0.5;
    static constexpr double kMinPlotHeightShare = 1.0 / 3.0;
    /// Axes the last render hid for want of room.
    int hiddenAxisCount() const;

    /// Asks for a repaint (and to re-render first when `rerender`), merged with requests not
    /// yet painted.
    void RequestUpdate(bool rerender);
    /// The picture a paint shows: the off-screen picture with the lines and cursors on top.
    const QImage& Frame();
    /// Draws with every point walked one by one (no search, no reduction), for comparison.
    QImage FrameEveryPoint();

    /// A stretch of chart time in seconds.
    struct TimeSpan {
        double begin = 0.0;
        double end = 0.0;
        double width() const { return end - begin; }
        bool operator==(const TimeSpan&) const = default;
    };
    /// The narrowest span the view shows.
    static constexpr double kMinSpan = 1.0;
    /// The time axis: the first axis at the top or bottom, or null.
    DataChartAxis* timeAxis() const;
    /// Shows [begin, end] on every time (top or bottom) axis and renders anew. A span narrower
    /// than kMinSpan (or turned round) widens around its middle. Auto-scrolling stays as set.
    void SetVisibleSpan(double begin, double end);
    /// The view of the time axis ({0, 0} without one).
    TimeSpan VisibleSpan() const;
    /// From the earliest to the latest point of any series; the time axis' data range while no
    /// series holds a point.
    TimeSpan FullSpan() const;
    /// The value series `index` shows at time t: the last point at or before t; nothing when
    /// there is no such series or point.
    std::optional<float> ValueAt(size_t index, double t) const;

  signals:
    /// The visible time span changed (by SetVisibleSpan or by auto-scrolling), as drawn.
    void visibleSpanChanged(double begin, double end);
    /// Right click: the control id and the point in screen coordinates.
    void contextMenuRequested(int id, const QPoint& global);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void Render();
    void Compose(QImage& target, bool every_point);
    void DrawLines(QPainter& p, QImage& target, bool every_point);
    /// A solid line with more points than the plot has columns.
    void DrawCrowded(QPainter& p, QImage& target, const QRect& clip, const QPen& pen,
                     const QVector<QPoint>& line);
    void DrawCursors(QPainter& p);

    int id_ = 0;
    bool suspended_ = false;
    QImage picture_;
    QImage frame_;
    QString title_;
    QFont title_font_;
    QColor fill_{240, 240, 240};
    QColor border_{Qt::black};
    QColor title_color_{Qt::black};
    ChartRect plot_;
    std::vector<std::unique_ptr<DataChartSeries>> series_;
    std::vector<std::unique_ptr<DataChartAxis>> axes_;
    std::vector<app::PixelPoint> trace_;
    QVector<QLine> joined_;
    QVector<QLine> between_;
    QVector<QPoint> ends_;
    /// The rows [from, to) of a column's vertical line that the stamp's body covers.
    struct Body {
        int x, from, to;
    };
    std::vector<Body> bodies_;
    bool rerender_ = false;
    /// The lines as last drawn over the picture, reused while no line, view, axis or size
    /// changed: a paint that only moves the cursor then costs one copy.
    QImage lines_cache_;
    std::vector<float> cache_key_;
    /// The time span the last render showed, to tell listeners when it moves.
    TimeSpan shown_span_;
};

/// The time label callback: "%i:%.2i" minutes and seconds, "-" before negative times.
void TimeLabel(MMDataChart* chart, DataChartAxis* axis, float value, char* buf, int* length);

}  // namespace korvit::controls
