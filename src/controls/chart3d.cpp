// The 3D chart's state: points, ranges, labels, and the projection into the widget.
#include "controls/chart3d.h"

#include <QResizeEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace korvit::controls {
namespace {

constexpr int kMaxTitle = 99;
constexpr int kMaxSecondary = 59;
constexpr int kMaxShortText = 39;
constexpr uint32_t kFollowBits[3] = {Chart3D::kXFollowsData, Chart3D::kYFollowsData,
                                     Chart3D::kValueFollowsData};
constexpr uint32_t kAutoLabelBits[3] = {Chart3D::kAutoXLabels, Chart3D::kAutoYLabels,
                                        Chart3D::kAutoValueLabels};
constexpr int kRangeNotification[3] = {Chart3D::kXRangeChanged, Chart3D::kYRangeChanged,
                                       Chart3D::kValueRangeChanged};

}  // namespace

Chart3D::Chart3D(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    colors_.fill(QColor(0, 0, 0));
    colors_[kBackground] = QColor(255, 255, 255);
    colors_[kBoxLines] = QColor(150, 150, 150);
    colors_[2] = QColor(255, 255, 255);
    colors_[7] = QColor(255, 255, 255);
    for (int i = 0; i < 3; ++i) colors_[kAxisTitleX + i] = QColor(120, 120, 120);
    colors_[kSecondaryTextColor] = QColor(200, 200, 200);
    colors_[kSelectedMarker] = QColor(0, 0, 255);
    colors_[kMarker] = QColor(255, 255, 255);
    colors_[14] = QColor(0, 0, 0);
    colors_[kOutline] = QColor(70, 70, 70);
    colors_[kPlainFill] = QColor(255, 0, 0);
    colors_[kInfoBackground] = QColor(254, 250, 158);
    colors_[kInfoText] = QColor(0, 0, 0);
    RebuildLabels();
}

Chart3D::~Chart3D() = default;

void Chart3D::Notify(int code, uint32_t lparam) {
    emit notified(code, lparam);
    switch (code) {
        case kPointClicked:
            emit pointClicked(lparam);
            break;
        case kPointMoved:
            emit pointMoved(lparam);
            break;
        case kContextMenu:
            emit contextMenuRequested(lparam);
            break;
        case kXRangeChanged:
            emit rangeChanged(kX);
            break;
        case kYRangeChanged:
            emit rangeChanged(kY);
            break;
        case kValueRangeChanged:
            emit rangeChanged(kValue);
            break;
        default:
            break;
    }
}

void Chart3D::Changed() {
    if (redraw_) update();
}

void Chart3D::AddStyle(uint32_t bits, bool redraw) {
    const uint32_t old = style_;
    style_ = bits == 0 ? 0 : style_ | bits;
    if ((old ^ style_) & (kAutoXLabels | kAutoYLabels | kAutoValueLabels)) RebuildLabels();
    if (redraw) Redraw();
}

void Chart3D::RemoveStyle(uint32_t bits, bool redraw) {
    const uint32_t old = style_;
    style_ &= ~bits;
    if ((old ^ style_) & (kAutoXLabels | kAutoYLabels | kAutoValueLabels)) RebuildLabels();
    if (redraw) Redraw();
}

void Chart3D::Redraw() {
    if (redraw_) update();
}

void Chart3D::SetRedraw(bool on) {
    redraw_ = on;
    state_ = on ? state_ & ~kDrawingSuspended : state_ | kDrawingSuspended;
    if (on) update();
}

void Chart3D::SetTitle(const QString& title) {
    title_ = title.left(kMaxTitle);
    Changed();
}

void Chart3D::SetSecondaryText(const QString& text) {
    secondary_ = text.left(kMaxSecondary);
    Changed();
}

void Chart3D::SetAxisTitle(Axis axis, const QString& text) {
    axis_titles_[axis] = text.left(kMaxShortText);
    Changed();
}

void Chart3D::SetSize(int rows, int columns) {
    rows_ = std::max(0, rows);
    columns_ = std::max(0, columns);
    points_.assign(static_cast<size_t>(rows_) * columns_, Point{});
    selected_ = 0;
    last_row_ = last_column_ = -1;
    Changed();
}

void Chart3D::GetSize(int* rows, int* columns) const {
    if (rows != nullptr) *rows = rows_;
    if (columns != nullptr) *columns = columns_;
}

void Chart3D::SetPoint(int row, int column, const Point& point) {
    if (row < 0 || column < 0 || row >= rows_ || column >= columns_) return;
    Point& slot = At(row, column);
    if ((slot.flags & 1) != (point.flags & 1)) selected_ += (point.flags & 1) ? 1 : -1;
    slot = point;
    ScanData();
    Changed();
}

void Chart3D::SetPoints(const std::vector<Point>& points) {
    if (points.size() != points_.size()) return;
    points_ = points;
    selected_ = static_cast<int>(
        std::count_if(points_.begin(), points_.end(), [](const Point& p) { return p.flags & 1; }));
    ScanData();
    Changed();
}

bool Chart3D::GetPoint(int row, int column, Point& point) const {
    if (row < 0 || column < 0 || row >= rows_ || column >= columns_) return false;
    point = At(row, column);
    return true;
}

void Chart3D::SelectPoint(int row, int column, bool select, bool redraw) {
    if (row < 0 || column < 0 || row >= rows_ || column >= columns_) return;
    Point& point = At(row, column);
    const bool was = point.flags & 1;
    if (was == select) return;
    point.flags = select ? point.flags | 1u : point.flags & ~1u;
    selected_ += select ? 1 : -1;
    if (select) {
        last_row_ = row;
        last_column_ = column;
    }
    if (redraw) Redraw();
}

void Chart3D::ClearSelection() {
    for (Point& point : points_) point.flags &= ~1u;
    selected_ = 0;
    Changed();
}

void Chart3D::ScanData() {
    if (points_.empty()) return;
    std::array<Range, 3> found{};
    for (int a = 0; a < 3; ++a) {
        found[a] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest()};
    }
    for (const Point& p : points_) {
        const float v[3] = {p.x, p.y, p.value};
        for (int a = 0; a < 3; ++a) {
            found[a].min = std::min(found[a].min, v[a]);
            found[a].max = std::max(found[a].max, v[a]);
        }
    }
    bool relabel = false;
    for (int a = 0; a < 3; ++a) {
        const bool changed =
            !have_data_ || found[a].min != data_[a].min || found[a].max != data_[a].max;
        data_[a] = found[a];
        if (changed && (style_ & kFollowBits[a])) {
            range_[a] = found[a];
            relabel = true;
            Notify(kRangeNotification[a], 0);
        }
    }
    have_data_ = true;
    if (relabel) RebuildLabels();
}

void Chart3D::SetRange(Axis axis, const float* minimum, const float* maximum) {
    if (style_ & kFollowBits[axis]) return;
    if (minimum != nullptr) range_[axis].min = *minimum;
    if (maximum != nullptr) range_[axis].max = *maximum;
    RebuildLabels();
    Changed();
}

void Chart3D::GetRange(Axis axis, float* minimum, float* maximum) const {
    if (minimum != nullptr) *minimum = range_[axis].min;
    if (maximum != nullptr) *maximum = range_[axis].max;
}

void Chart3D::SetLimits(Axis axis, const float* lower, const float* upper) {
    if (lower != nullptr) limits_[axis].min = *lower;
    if (upper != nullptr) limits_[axis].max = *upper;
    Changed();
}

void Chart3D::GetLimits(Axis axis, float* lower, float* upper) const {
    if (lower != nullptr) *lower = limits_[axis].min;
    if (upper != nullptr) *upper = limits_[axis].max;
}

void Chart3D::SetColorRangeMode(int mode) {
    color_mode_ = mode;
    Changed();
}

QColor Chart3D::RampColor(float value) const {
    if (!(color_high_ > color_low_)) return QColor(0, 0, 255);
    const float t = std::clamp((value - color_low_) / (color_high_ - color_low_), 0.0f, 1.0f);
    // Blue (hue 240) to red (hue 0) at full saturation and brightness.
    const int hue = static_cast<int>(std::lround(240.0f * (1.0f - t)));
    return QColor::fromHsv(hue, 255, 255).toRgb();
}

void Chart3D::SetLabelCount(Axis axis, int count) {
    auto& list = labels_[axis];
    const int old = static_cast<int>(list.size());
    list.resize(static_cast<size_t>(std::max(0, count)));
    for (int i = old; i < count; ++i) list[static_cast<size_t>(i)].index = i;
    Changed();
}

int Chart3D::LabelCount(Axis axis) const {
    return static_cast<int>(labels_[axis].size());
}

void Chart3D::SetLabel(Axis axis, const Label& label) {
    auto& list = labels_[axis];
    if (label.index < 0 || label.index >= static_cast<int>(list.size())) return;
    list[static_cast<size_t>(label.index)] = {label.index, label.value,
                                              label.text.left(kMaxShortText)};
    Changed();
}

bool Chart3D::GetLabel(Axis axis, int index, Label& label) const {
    const auto& list = labels_[axis];
    if (index < 0 || index >= static_cast<int>(list.size())) return false;
    label = list[static_cast<size_t>(index)];
    return true;
}

QString Chart3D::LabelText(Axis axis, float value) {
    static constexpr int kWhich[3] = {kXLabel, kYLabel, kValueLabel};
    QString text;
    if (callback_ && callback_(this, axis == kX ? value : 0.0f, axis == kY ? value : 0.0f,
                               axis == kValue ? value : 0.0f, -1, -1, kWhich[axis], text)) {
        return text.left(kMaxShortText);
    }
    return QString::number(static_cast<double>(value), 'f', 2);
}

void Chart3D::RebuildLabels() {
    for (int a = 0; a < 3; ++a) {
        if (!(style_ & kAutoLabelBits[a])) continue;
        const int n = static_cast<int>(cube_ / spacing_[a] + 1.0f);
        auto& list = labels_[a];
        list.clear();
        for (int i = 0; i < n; ++i) {
            const float value = n > 1 ? range_[a].min + (range_[a].max - range_[a].min) *
                                                            static_cast<float>(i) /
                                                            static_cast<float>(n - 1)
                                      : range_[a].min;
            list.push_back({i, value, LabelText(static_cast<Axis>(a), value)});
        }
    }
}

void Chart3D::SetCubeSize(float size) {
    if (!(size > 0.0f)) return;
    cube_ = size;
    centre_ = {size / 2, size / 2, size / 2};
    Recentre();
    RebuildLabels();
    Changed();
}

void Chart3D::Recentre() {
    if (state_ & kMovedByHand) return;
    offset_[0] = (static_cast<float>(width()) - cube_) / 2;
    offset_[1] = (static_cast<float>(height()) - cube_) / 2;
}

void Chart3D::resizeEvent(QResizeEvent*) {
    Recentre();
}

void Chart3D::SetColor(int index, const QColor& color) {
    if (index < 0 || index >= kColorCount) return;
    colors_[static_cast<size_t>(index)] = color;
    Changed();
}

QColor Chart3D::Color(int index) const {
    return index >= 0 && index < kColorCount ? colors_[static_cast<size_t>(index)] : QColor();
}

void Chart3D::SetTurn(float tilt, float turn) {
    turn_ = {tilt, turn};
    Changed();
}

void Chart3D::SetScreenOffset(float x, float y) {
    offset_[0] = x;
    offset_[1] = y;
    state_ |= kMovedByHand;
    Changed();
}

void Chart3D::SetScale(float scale) {
    scale_ = scale;
    Changed();
}

float Chart3D::Normalise(Axis axis, float v) const {
    if (!(style_ & kNormalise)) return v;
    const float width = range_[axis].max - range_[axis].min;
    // An empty range would put every point at infinity; it sits in the middle instead.
    if (width == 0.0f) return cube_ / 2;
    return (v - range_[axis].min) * cube_ / width;
}

Chart3D::Projected Chart3D::ProjectCube(float x, float v, float y) const {
    // Turn about the cube centre: first about the vertical axis, then tilt about the horizontal.
    float px = (x - centre_[0]) * scale_;
    float py = (v - centre_[1]) * scale_;
    float pz = (y - centre_[2]) * scale_;
    const float ca = std::cos(turn_[1]);
    const float sa = std::sin(turn_[1]);
    const float x1 = px * ca + pz * sa;
    const float z1 = -px * sa + pz * ca;
    const float cb = std::cos(turn_[0]);
    const float sb = std::sin(turn_[0]);
    const float y2 = py * cb - z1 * sb;
    const float z2 = py * sb + z1 * cb;
    // Perspective from the eye, which stands -eye.z cube sizes in front of the centre.
    const float distance = -eye_[2] * cube_;
    const float f = distance / std::max(distance + z2, 1e-3f);
    const float sx = centre_[0] + x1 * f + offset_[0];
    const float sy = centre_[1] + y2 * f + offset_[1];
    return {QPointF(sx, static_cast<float>(height()) - sy), z2};
}

Chart3D::Projected Chart3D::ProjectPoint(const Point& p) const {
    return ProjectCube(Normalise(kX, p.x), Normalise(kValue, p.value), Normalise(kY, p.y));
}

QPointF Chart3D::Project(float x, float value, float y) const {
    return ProjectCube(Normalise(kX, x), Normalise(kValue, value), Normalise(kY, y)).screen;
}

}  // namespace korvit::controls
