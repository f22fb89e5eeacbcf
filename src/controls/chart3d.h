#pragma once

#include <QColor>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace korvit::controls {

/// A table of (x, y, value) points drawn as a shaded surface in perspective inside its range
/// box, with labelled axes, a title, optional markers and a selection. The view turns, moves and
/// zooms with the mouse and the keyboard. Points are addressed by row and column; packed
/// addresses are (column << 16) | row.
class Chart3D : public QWidget {
    Q_OBJECT
  public:
    enum Style : uint32_t {
        kDragX = 0x1,
        kDragY = 0x2,
        kDragValue = 0x4,
        kClickSelect = 0x8,
        kRubberBand = 0x10,
        kNoMarkers = 0x20,
        kOffScreen = 0x40,
        kAutoXLabels = 0x80,
        kAutoYLabels = 0x100,
        kAutoValueLabels = 0x200,
        kSecondaryText = 0x800,
        kWireFrame = 0x1000,
        kAllMarkers = 0x2000,
        kShaded = 0x4000,
        kNormalise = 0x8000,
        kInfoBox = 0x10000,
        kXFollowsData = 0x20000,
        kYFollowsData = 0x40000,
        kValueFollowsData = 0x80000,
        kBackGrid = 0x100000,
    };
    static constexpr uint32_t kDefaultStyle = 0x118054;

    enum Axis { kX = 0, kY = 1, kValue = 2 };

    /// Colour indices.
    enum ColorIndex {
        kBackground = 0,
        kBoxLines = 1,
        kTitleText = 3,
        kXLabelText = 4,
        kAxisTitleX = 8,
        kSecondaryTextColor = 11,
        kSelectedMarker = 12,
        kMarker = 13,
        kOutline = 15,
        kPlainFill = 16,
        kInfoBackground = 17,
        kInfoText = 18,
        kColorCount = 19,
    };

    /// Notification codes.
    enum Notification {
        kPointClicked = 1224,
        kPointMoved = 1225,
        kContextMenu = 1227,
        kXRangeChanged = 1228,
        kYRangeChanged = 1229,
        kValueRangeChanged = 1230,
    };

    struct Point {
        float x = 0.0f;
        float y = 0.0f;
        float value = 0.0f;
        uint32_t flags = 0;  // bit 0: selected
    };
    struct Label {
        int index = 0;
        float value = 0.0f;
        QString text;
    };
    /// Which text the callback is asked for.
    enum CallbackText { kXLabel = 1, kYLabel = 2, kValueLabel = 4, kSelectionText = 8 };
    /// Fills `text` (at most 39 characters) and returns true, or returns false to keep the
    /// chart's own text.
    using TextCallback = std::function<bool(Chart3D* chart, float x, float y, float value, int row,
                                            int column, int which, QString& text)>;

    static uint32_t Address(int row, int column) {
        return (static_cast<uint32_t>(column) << 16) | (static_cast<uint32_t>(row) & 0xFFFFu);
    }

    explicit Chart3D(QWidget* parent = nullptr);
    ~Chart3D() override;

    // Style. Adding 0 clears every bit.
    void AddStyle(uint32_t bits, bool redraw);
    void RemoveStyle(uint32_t bits, bool redraw);
    uint32_t style() const { return style_; }
    void Redraw();
    /// Suspends (false) or resumes (true) drawing.
    void SetRedraw(bool on);

    void SetTitle(const QString& title);
    QString title() const { return title_; }
    void SetSecondaryText(const QString& text);
    void SetAxisTitle(Axis axis, const QString& text);

    // Points.
    void SetSize(int rows, int columns);
    void GetSize(int* rows, int* columns) const;
    int rows() const { return rows_; }
    int columns() const { return columns_; }
    /// Stores the point and scans the data ranges again.
    void SetPoint(int row, int column, const Point& point);
    bool GetPoint(int row, int column, Point& point) const;
    /// Sets every point at once (rows x columns, row by row) and scans the ranges once.
    void SetPoints(const std::vector<Point>& points);
    void SelectPoint(int row, int column, bool select, bool redraw);
    void ClearSelection();
    int selectedCount() const { return selected_; }

    // Ranges (either bound may be absent).
    void SetRange(Axis axis, const float* minimum, const float* maximum);
    void GetRange(Axis axis, float* minimum, float* maximum) const;
    /// Bounds for drags; the value limits are also the colour range of mode 1.
    void SetLimits(Axis axis, const float* lower, const float* upper);
    void GetLimits(Axis axis, float* lower, float* upper) const;
    /// 0: with shading the colours span the smallest to the largest value; 1: the value limits.
    void SetColorRangeMode(int mode);
    int colorRangeMode() const { return color_mode_; }
    /// The colour range of the last repaint.
    std::pair<float, float> colorRange() const { return {color_low_, color_high_}; }
    /// The ramp colour of a value over the current colour range: blue at the low end, red at the
    /// high end, through cyan, green and yellow.
    QColor RampColor(float value) const;

    // Labels.
    void SetLabelCount(Axis axis, int count);
    int LabelCount(Axis axis) const;
    void SetLabel(Axis axis, const Label& label);
    bool GetLabel(Axis axis, int index, Label& label) const;
    void SetTextCallback(TextCallback callback) { callback_ = std::move(callback); }

    // View.
    void SetCubeSize(float size);
    float cubeSize() const { return cube_; }
    void SetMarkerDiameter(int diameter) { marker_radius_ = std::max(0, diameter / 2); }
    int markerDiameter() const { return marker_radius_ * 2; }
    void SetColor(int index, const QColor& color);
    QColor Color(int index) const;
    /// Turn angles in radians: tilt about the horizontal axis, turn about the vertical axis.
    void SetTurn(float tilt, float turn);
    float tilt() const { return turn_[0]; }
    float turn() const { return turn_[1]; }
    void SetScreenOffset(float x, float y);
    QPointF screenOffset() const { return {offset_[0], offset_[1]}; }
    void SetScale(float scale);
    float scale() const { return scale_; }

    /// Where a data point lands on the widget, in widget pixels (y down).
    QPointF Project(float x, float value, float y) const;

    QSize sizeHint() const override { return {500, 400}; }

  signals:
    /// Every notification as (code, lParam), besides the named signals below.
    void notified(int code, uint32_t lparam);
    void pointClicked(uint32_t address);
    void pointMoved(uint32_t address);
    void contextMenuRequested(uint32_t address);
    void rangeChanged(int axis);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    struct Projected {
        QPointF screen;
        float depth = 0.0f;
    };
    struct Range {
        float min = 0.0f;
        float max = 255.0f;
    };
    /// Bits of state_.
    enum StateBit : uint32_t {
        kButtonDown = 0x1,
        kCtrlHeld = 0x4,
        kShiftHeld = 0x8,
        kClickRunning = 0x20,
        kRubberRunning = 0x40,
        kCursorHidden = 0x80,
        kMovedByHand = 0x100,
        kDrawingSuspended = 0x200,
    };

    void Notify(int code, uint32_t lparam);
    Point& At(int row, int column) { return points_[static_cast<size_t>(row) * columns_ + column]; }
    const Point& At(int row, int column) const {
        return points_[static_cast<size_t>(row) * columns_ + column];
    }
    void ScanData();
    void RebuildLabels();
    float Normalise(Axis axis, float v) const;
    Projected ProjectCube(float x, float v, float y) const;
    Projected ProjectPoint(const Point& p) const;
    void Recentre();
    void PaintBox(QPainter& p);
    void PaintSurface(QPainter& p, const std::vector<Projected>& screen);
    void PaintMarkers(QPainter& p, const std::vector<Projected>& screen);
    void PaintTexts(QPainter& p);
    /// The point within the marker radius of a widget position: (row, column), or (-1, -1).
    std::pair<int, int> HitTest(QPointF position) const;
    void DragValues(int pixels_up);
    void SelectInRubberBand();
    QString LabelText(Axis axis, float value);
    void Changed();

    uint32_t state_ = 0;
    uint32_t style_ = kDefaultStyle;
    int rows_ = 0;
    int columns_ = 0;
    std::vector<Point> points_;
    std::array<Range, 3> range_{};
    std::array<Range, 3> limits_{};
    std::array<Range, 3> data_{};
    bool have_data_ = false;
    float cube_ = 255.0f;
    int marker_radius_ = 3;
    int selected_ = 0;
    int last_row_ = -1;
    int last_column_ = -1;
    int color_mode_ = 1;
    float color_low_ = 0.0f;
    float color_high_ = 255.0f;
    QRect rubber_;
    std::array<QColor, kColorCount> colors_;
    QString title_ = "3D Chart";
    QString secondary_ = "v2.0";
    std::array<QString, 3> axis_titles_;
    std::array<float, 3> eye_{0.0f, 0.0f, -4.0f};
    float scale_ = 1.0f;
    std::array<float, 2> turn_{-0.5f, 0.707f};
    std::array<float, 3> offset_{128.0f, 60.0f, 0.0f};
    std::array<float, 3> centre_{127.5f, 127.5f, 100.0f};
    std::array<std::vector<Label>, 3> labels_;
    std::array<float, 3> spacing_{50.0f, 50.0f, 50.0f};
    TextCallback callback_;
    bool redraw_ = true;
    QPointF press_;
    QPointF last_;
    bool dragging_points_ = false;
    bool moved_ = false;
};

}  // namespace korvit::controls
