#include "controls/mm_analog_gauge.h"

#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "controls/gauge_paint.h"

namespace korvit::controls {
namespace {

constexpr double kCentre = MMAnalogGauge::kLogicalSize / 2.0;  // 90
constexpr double kDegree = std::numbers::pi / 180.0;

QPointF OnDial(double angle_degrees, double radius) {
    const double a = angle_degrees * kDegree;
    return {kCentre + radius * std::cos(a), kCentre + radius * std::sin(a)};
}

// A rim arc between two dial angles (degrees, clockwise on screen), over the shorter way that
// the scale itself covers: never the way round the rest of the rim.
void RimArc(QPainter& p, double a, double b) {
    // Qt counts counterclockwise in sixteenths of a degree: start at the larger dial angle and
    // sweep counterclockwise to the smaller.
    const double from = std::max(a, b);
    const double span = std::min(from - std::min(a, b), 360.0);
    const QRectF rim(2, 2, 176, 176);
    p.drawArc(rim, static_cast<int>(std::lround(-from * 16.0)),
              static_cast<int>(std::lround(span * 16.0)));
}

// Draws text centred on x with its top at y, cut with an ellipsis beyond `width` units.
void TextTopFit(QPainter& p, const QString& s, double x, double top, double width) {
    const QFontMetricsF m(p.font());
    const QString shown = m.elidedText(s, Qt::ElideRight, width);
    p.drawText(QPointF(x - m.horizontalAdvance(shown) / 2.0, top + m.ascent()), shown);
}

// Draws text centred on x with its bottom at y.
void TextBottom(QPainter& p, const QString& s, double x, double bottom) {
    const QFontMetricsF m(p.font());
    p.drawText(QPointF(x - m.horizontalAdvance(s) / 2.0, bottom - m.descent()), s);
}

}  // namespace

// Everything a paint needs.
struct MMAnalogGauge::Look {
    uint32_t style;
    float start, end, minimum, maximum;
    std::array<QColor, 10> colors;
    int digits;
    bool has_value;
    float value, lowest, highest;
    QString title, units;
    int major_ticks, minor_divisions;
    std::vector<GaugeZone> zones;

    double Angle(float v) const {
        const double range = static_cast<double>(maximum) - minimum;
        const double share = range != 0.0 ? (v - minimum) / range : 0.0;
        return start + share * (end - start) - 270.0;
    }
};

MMAnalogGauge::MMAnalogGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

MMAnalogGauge::~MMAnalogGauge() = default;

void MMAnalogGauge::AddStyle(uint32_t bits, bool redraw) {
    style_ = bits == 0 ? 0 : style_ | bits;
    if (redraw) update();
}

void MMAnalogGauge::ClearStyle(uint32_t bits, bool redraw) {
    style_ &= ~bits;
    if (redraw) update();
}

void MMAnalogGauge::SetColor(int slot, uint32_t colorref) {
    if (slot < 0 || slot >= static_cast<int>(colors_.size())) return;
    colors_[static_cast<size_t>(slot)] = colorref;
    update();
}

uint32_t MMAnalogGauge::Color(int slot) const {
    if (slot < 0 || slot >= static_cast<int>(colors_.size())) return 0;
    return colors_[static_cast<size_t>(slot)];
}

void MMAnalogGauge::SetScale(float minimum, float maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    update();
}

void MMAnalogGauge::SetValue(float value, bool redraw) {
    has_value_ = std::isfinite(value);
    if (has_value_) {
        // The scale may run either way: range low above range high is a reversed dial.
        value = std::clamp(value, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
        value_ = value;
        highest_ = std::max(highest_, value);
        lowest_ = std::min(lowest_, value);
    }
    if (redraw) update();
}

void MMAnalogGauge::ClearValue() {
    has_value_ = false;
    lowest_ = FLT_MAX;
    highest_ = -FLT_MAX;
    update();
}

bool MMAnalogGauge::hasValue() const {
    return has_value_;
}

int MMAnalogGauge::IntValue() const {
    return static_cast<int>(value_);
}

void MMAnalogGauge::SetAngles(float start, float end) {
    start_angle_ = start;
    end_angle_ = end;
    update();
}

void MMAnalogGauge::ResetLowest() {
    lowest_ = FLT_MAX;
    update();
}

void MMAnalogGauge::ResetHighest() {
    highest_ = -FLT_MAX;
    update();
}

void MMAnalogGauge::SetTitle(const QString& text) {
    title_ = text;
    update();
}

void MMAnalogGauge::SetUnits(const QString& text) {
    units_ = text;
    update();
}

void MMAnalogGauge::SetDigits(int digits) {
    digits_ = digits;
    update();
}

int MMAnalogGauge::SetZone(int index, const GaugeZone& zone) {
    int at;
    const int count = static_cast<int>(zones_.size());
    if (index == -1) {
        zones_.insert(zones_.begin(), zone);
        at = 0;
    } else if (index >= count || index < -1) {
        zones_.push_back(zone);
        at = count;
    } else {
        zones_[static_cast<size_t>(index)] = zone;
        at = index;
    }
    update();
    return at;
}

bool MMAnalogGauge::Zone(int index, GaugeZone& out) const {
    if (index < 0 || index >= static_cast<int>(zones_.size())) return false;
    out = zones_[static_cast<size_t>(index)];
    return true;
}

void MMAnalogGauge::RemoveZones() {
    zones_.clear();
    update();
}

float MMAnalogGauge::value() const {
    return value_;
}
float MMAnalogGauge::lowest() const {
    return lowest_;
}
float MMAnalogGauge::highest() const {
    return highest_;
}
float MMAnalogGauge::minimum() const {
    return minimum_;
}
float MMAnalogGauge::maximum() const {
    return maximum_;
}
uint32_t MMAnalogGauge::style() const {
    return style_;
}
QString MMAnalogGauge::title() const {
    return title_;
}
QString MMAnalogGauge::units() const {
    return units_;
}
int MMAnalogGauge::digits() const {
    return digits_;
}
int MMAnalogGauge::zoneCount() const {
    return static_cast<int>(zones_.size());
}

float MMAnalogGauge::AngleOf(float v) const {
    Look look{};
    look.start = start_angle_;
    look.end = end_angle_;
    look.minimum = minimum_;
    look.maximum = maximum_;
    return static_cast<float>(look.Angle(v));
}

void MMAnalogGauge::paintEvent(QPaintEvent*) {
    Look look;
    look.style = style_;
    look.start = start_angle_;
    look.end = end_angle_;
    look.minimum = minimum_;
    look.maximum = maximum_;
    for (size_t i = 0; i < colors_.size(); ++i) look.colors[i] = FromColorRef(colors_[i]);
    look.digits = digits_;
    look.has_value = has_value_;
    look.value = value_;
    look.lowest = lowest_;
    look.highest = highest_;
    look.title = title_;
    look.units = units_;
    look.major_ticks = major_ticks_;
    look.minor_divisions = minor_divisions_;
    look.zones = zones_;
    const auto set_up = [&](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        if (look.style >= kStyleRound) {
            const int side = std::min(width(), height());
            p.setViewport((width() - side) / 2, (height() - side) / 2, side, side);
        }
        p.setWindow(0, 0, kLogicalSize, kLogicalSize);
    };
    // The face (everything but the value, Min, Max and the needle) is drawn again only when
    // something it shows or the size changed; a new value paints over it.
    if (face_.size() != size() || !face_look_ || !SameFace(*face_look_, look)) {
        face_ = QImage(size(), QImage::Format_RGB32);
        face_.fill(look.colors[kBackground]);
        QPainter p(&face_);
        set_up(p);
        DrawFace(p, look);
        face_look_ = std::make_unique<Look>(look);
    }
    QPainter p(this);
    p.drawImage(0, 0, face_);
    set_up(p);
    DrawReadings(p, look);
}

bool MMAnalogGauge::SameFace(const Look& a, const Look& b) {
    const auto same_zone = [](const GaugeZone& x, const GaugeZone& y) {
        return x.start == y.start && x.end == y.end && x.color == y.color;
    };
    return (a.style >= kStyleRound) == (b.style >= kStyleRound) &&
           (a.style & kStyleZones) == (b.style & kStyleZones) && a.start == b.start &&
           a.end == b.end && a.minimum == b.minimum && a.maximum == b.maximum &&
           a.colors == b.colors && a.digits == b.digits && a.title == b.title &&
           a.units == b.units && a.major_ticks == b.major_ticks &&
           a.minor_divisions == b.minor_divisions &&
           std::equal(a.zones.begin(), a.zones.end(), b.zones.begin(), b.zones.end(), same_zone);
}

void MMAnalogGauge::DrawFace(QPainter& p, const Look& look) {
    p.fillRect(QRectF(0, 0, kLogicalSize, kLogicalSize), look.colors[kBackground]);
    p.setPen(QPen(look.colors[kOutline], 0));
    p.setBrush(look.colors[kFace]);
    p.drawEllipse(QRectF(2, 2, 176, 176));
    p.setBrush(Qt::NoBrush);

    // Ticks and labels.
    const int majors = std::max(2, look.major_ticks);
    const int minors = std::max(1, look.minor_divisions);
    const double step = (static_cast<double>(look.maximum) - look.minimum) / (majors - 1);
    const double sin20 = std::sin(20.0 * kDegree);
    p.setFont(ArialFont(9));
    const QFontMetricsF label_metrics(p.font());
    for (int i = 0; i < majors; ++i) {
        const auto v = static_cast<float>(look.minimum + i * step);
        const double a = look.Angle(v);
        p.setPen(QPen(look.colors[kMajorTicks], 0));
        p.drawLine(OnDial(a, 87), OnDial(a, 79));
        // Labels sit inside the ticks, anchored by the side of the dial they are on.
        const QString text = DialValueText(v, look.digits);
        const QPointF at = OnDial(a, 76);
        const double c = std::cos(a * kDegree), s = std::sin(a * kDegree);
        const double w = label_metrics.horizontalAdvance(text);
        const double x = c > sin20 ? at.x() - w : c < -sin20 ? at.x() : at.x() - w / 2.0;
        const double y =
            s > sin20 ? at.y() - label_metrics.descent() : at.y() + label_metrics.ascent();
        p.setPen(look.colors[kLabels]);
        p.drawText(QPointF(x, y), text);
        if (i + 1 < majors) {
            p.setPen(QPen(look.colors[kMinorTicks], 0));
            for (int j = 1; j < minors; ++j) {
                const double m = look.Angle(static_cast<float>(v + j * step / minors));
                p.drawLine(OnDial(m, 87), OnDial(m, 82));
            }
        }
    }

    // Scale arc from the maximum back to the minimum, then the alarm zones over it.
    p.setPen(QPen(look.colors[kOutline], 2, Qt::SolidLine, Qt::FlatCap));
    RimArc(p, look.Angle(look.maximum), look.Angle(look.minimum));
    if (look.style & kStyleZones) {
        // Zones are clipped to the scale: a band beyond it would otherwise run round the rim.
        const float low = std::min(look.minimum, look.maximum);
        const float high = std::max(look.minimum, look.maximum);
        for (const GaugeZone& zone : look.zones) {
            const float start = std::max(std::min(zone.start, zone.end), low);
            const float end = std::min(std::max(zone.start, zone.end), high);
            if (!(start < end)) continue;  // empty, or wholly outside the scale
            p.setPen(QPen(FromColorRef(zone.color), 2, Qt::SolidLine, Qt::FlatCap));
            RimArc(p, look.Angle(end), look.Angle(start));
        }
    }

    // Texts.
    // Texts stay inside the face; one that does not fit ends in an ellipsis.
    p.setFont(ArialFont(12));
    p.setPen(look.colors[kTitle]);
    {
        const QFontMetricsF m(p.font());
        const QString title = m.elidedText(look.title, Qt::ElideRight, 130);
        TextBottom(p, title, 90, 36);
    }
    p.setFont(ArialFont(10));
    p.setPen(look.colors[kUnits]);
    TextTopFit(p, look.units, 90, 72, 150);
}

void MMAnalogGauge::DrawReadings(QPainter& p, const Look& look) {
    p.setFont(ArialFont(10));
    if (look.style & kStyleValueText) {
        p.setPen(look.colors[kValueText]);
        TextTopFit(p, look.has_value ? DialValueText(look.value, look.digits) : QString("----"), 90,
                   135, 110);
    }
    p.setFont(ArialFont(7));
    p.setPen(Qt::black);
    // Nothing seen since a reset shows the label alone.
    if (look.style & kStyleMin) {
        const QString seen =
            look.lowest <= look.highest ? DialValueText(look.lowest, look.digits) : QString();
        TextTopFit(p, "Min: " + seen, 67, 120, 44);
    }
    if (look.style & kStyleMax) {
        const QString seen =
            look.lowest <= look.highest ? DialValueText(look.highest, look.digits) : QString();
        TextTopFit(p, "Max: " + seen, 112, 120, 44);
    }

    // Needle, hub and the red mark on the rim; without a value the needle rests at the start.
    const double a = look.Angle(look.has_value ? look.value : look.minimum);
    QPainterPath needle;
    needle.moveTo(OnDial(a, 75));
    needle.lineTo(OnDial(a + 90, 2));
    needle.lineTo(OnDial(a - 90, 2));
    needle.closeSubpath();
    p.setPen(QPen(look.colors[kNeedle], 0));
    p.setBrush(Qt::white);
    p.drawPath(needle);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(kCentre, kCentre), 2, 2);
    p.setPen(QPen(QColor(255, 0, 0), 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(OnDial(a, 88), OnDial(a, 84));
}

void MMAnalogGauge::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit rightClicked(event->position().toPoint());
        return;
    }
    QWidget::mousePressEvent(event);
}

void MMAnalogGauge::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        ResetLowest();
        ResetHighest();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace korvit::controls
