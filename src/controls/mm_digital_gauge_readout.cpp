#include "controls/mm_digital_gauge_readout.h"

#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>

#include "controls/gauge_paint.h"

namespace korvit::controls {
namespace {

// Value font height by text length 0 to 10; longer texts use the last.
constexpr int kHeightByLength[] = {50, 50, 50, 50, 44, 40, 34, 30, 28, 26, 24};
// Width of the 100-unit box that texts may take, leaving a margin inside the frame.
constexpr qreal kTextWidth = 90.0;

}  // namespace

MMDigitalGaugeReadout::MMDigitalGaugeReadout(QWidget* parent) : QWidget(parent) {
    colors_[kFrame] = Qt::black;
    colors_[kTitle] = Qt::black;
    colors_[kUnits] = Qt::black;
    colors_[kNormalValue] = QColor(100, 100, 255);
    colors_[kHighAlarm] = QColor(255, 0, 0);
    colors_[kLowAlarm] = QColor(0, 255, 0);
    colors_[kBackground] = Qt::white;
    current_ = colors_[kNormalValue];
    setAttribute(Qt::WA_OpaquePaintEvent);
    PickColorAndText();
}

void MMDigitalGaugeReadout::SetTitle(const QString& text) {
    title_ = text.left(kTitleCapacity - 1);
    update();
}

void MMDigitalGaugeReadout::SetUnits(const QString& text) {
    units_ = text.left(kUnitsCapacity - 1);
    update();
}

void MMDigitalGaugeReadout::SetNumberFormat(int decimal, int digits) {
    if (decimal != -1) decimal_ = static_cast<uint32_t>(decimal);
    if (digits != -1) digits_ = static_cast<uint32_t>(digits);
    PickColorAndText();
    update();
}

void MMDigitalGaugeReadout::SetColor(int slot, uint32_t colorref) {
    if (slot < 0 || slot >= static_cast<int>(colors_.size())) return;
    colors_[static_cast<size_t>(slot)] = FromColorRef(colorref);
    PickColorAndText();
    update();
}

void MMDigitalGaugeReadout::SetAlarmLow(float limit) {
    alarm_low_ = limit;
    PickColorAndText();
    update();
}

void MMDigitalGaugeReadout::SetAlarmHigh(float limit) {
    alarm_high_ = limit;
    PickColorAndText();
    update();
}

void MMDigitalGaugeReadout::EnableHighAlarm(bool on) {
    high_enabled_ = on;
    PickColorAndText();
    update();
}

void MMDigitalGaugeReadout::EnableLowAlarm(bool on) {
    low_enabled_ = on;
    PickColorAndText();
    update();
}

void MMDigitalGaugeReadout::SetAutoSize(bool on) {
    auto_size_ = on ? 1 : 0;
}

float MMDigitalGaugeReadout::SetValue(float value) {
    float previous;
    bool changed;
    previous = value_;
    const bool had_value = has_value_;
    value_ = value;
    has_value_ = std::isfinite(value);
    changed = had_value != has_value_ || (has_value_ && previous != value);
    PickColorAndText();
    if (changed) update();
    return previous;
}

void MMDigitalGaugeReadout::ClearValue() {
    has_value_ = false;
    PickColorAndText();
    update();
}

bool MMDigitalGaugeReadout::hasValue() const {
    return has_value_;
}

void MMDigitalGaugeReadout::PickColorAndText() {
    if (!has_value_) {
        current_ = colors_[kNormalValue];
        std::snprintf(text_.data(), text_.size(), "----");
    } else if (high_enabled_ && value_ >= alarm_high_) {
        current_ = colors_[kHighAlarm];
    } else if (low_enabled_ && value_ <= alarm_low_) {
        current_ = colors_[kLowAlarm];
    } else {
        current_ = colors_[kNormalValue];
    }
    const int digits = static_cast<int>(digits_);
    if (!has_value_) {
        // text set above
    } else if (decimal_ != 0) {
        const int n =
            std::snprintf(text_.data(), text_.size(), "%.*f", digits, static_cast<double>(value_));
        // A number too long for the text keeps its magnitude in exponent form rather than
        // losing its last digits.
        if (n >= static_cast<int>(text_.size())) {
            std::snprintf(text_.data(), text_.size(), "%.*e", std::min(digits, 6),
                          static_cast<double>(value_));
        }
    } else {
        // Truncated toward zero, as a C cast does; out-of-range values pin to the int limits.
        const float clamped = std::max(-2147483648.0f, std::min(value_, 2147483520.0f));
        std::snprintf(text_.data(), text_.size(), "%.*i", digits, static_cast<int>(clamped));
    }
    const size_t length = std::char_traits<char>::length(text_.data());
    if (auto_size_ != 0 && length != last_length_) {
        value_height_ = kHeightByLength[std::min<size_t>(length, std::size(kHeightByLength) - 1)];
    }
    last_length_ = length;
}

float MMDigitalGaugeReadout::value() const {
    return value_;
}
QString MMDigitalGaugeReadout::title() const {
    return title_;
}
QString MMDigitalGaugeReadout::units() const {
    return units_;
}
QString MMDigitalGaugeReadout::valueText() const {
    return QString::fromLatin1(text_.data());
}
QColor MMDigitalGaugeReadout::valueColor() const {
    return current_;
}
int MMDigitalGaugeReadout::valueFontHeight() const {
    return value_height_;
}

void MMDigitalGaugeReadout::paintEvent(QPaintEvent*) {
    const QString title = title_, units = units_, text = QString::fromLatin1(text_.data());
    const QColor value_color = current_;
    const auto colors = colors_;
    const uint32_t style = style_;
    const int title_h = title_height_, value_h = value_height_, units_h = units_height_;

    // Drawn off-screen and copied in one step.
    QImage image(size(), QImage::Format_RGB32);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setViewport(0, 0, std::max(width(), 100), std::max(height(), 100));
        p.setWindow(0, 0, 100, 100);
        p.fillRect(QRectF(0, 0, 100, 100), colors[kBackground]);

        // A text wider than the box is cut at its end with an ellipsis, never at both sides.
        const auto centred = [&p](const QString& s, qreal top, const QColor& color) {
            const QFontMetricsF m(p.font());
            const QString shown = m.elidedText(s, Qt::ElideRight, kTextWidth);
            p.setPen(color);
            p.drawText(QPointF(50.0 - m.horizontalAdvance(shown) / 2.0, top + m.ascent()), shown);
        };
        // A long number first gives up font size (down to half) so that it stays whole.
        QFont value_font = ArialFont(value_h, 600);
        const qreal wide = QFontMetricsF(value_font).horizontalAdvance(text);
        if (wide > kTextWidth) {
            value_font = ArialFont(
                std::max(value_h / 2, static_cast<int>(value_h * kTextWidth / wide)), 600);
        }
        p.setFont(value_font);
        centred(text, 50.0 - QFontMetricsF(p.font()).height() / 2.0, value_color);
        p.setFont(ArialFont(title_h, 600));
        centred(title, 6.0, colors[kTitle]);
        p.setFont(ArialFont(units_h, 600));
        centred(units, 90.0 - QFontMetricsF(p.font()).height(), colors[kUnits]);
        if (style & kStyleFrame) {
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setPen(QPen(colors[kFrame], 0));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(0, 0, 99.5, 99.5));
        }
    }
    QPainter(this).drawImage(0, 0, image);
}

void MMDigitalGaugeReadout::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit rightClicked(event->position().toPoint());
        return;
    }
    QWidget::mousePressEvent(event);
}

}  // namespace korvit::controls
