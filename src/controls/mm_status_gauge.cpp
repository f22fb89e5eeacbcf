#include "controls/mm_status_gauge.h"

#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "controls/gauge_paint.h"

namespace korvit::controls {

MMStatusGauge::MMStatusGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MMStatusGauge::AddStyle(uint32_t bits, bool redraw) {
    style_ = bits == 0 ? 0 : style_ | bits;
    if (redraw) update();
}

void MMStatusGauge::ClearStyle(uint32_t bits, bool redraw) {
    style_ &= ~bits;
    if (redraw) update();
}

void MMStatusGauge::SetState(uint32_t state, bool redraw) {
    bool changed;
    changed = state_ != state || !has_state_;
    state_ = state;
    has_state_ = true;
    if (redraw && changed) update();
}

void MMStatusGauge::ClearState() {
    has_state_ = false;
    update();
}

bool MMStatusGauge::hasState() const {
    return has_state_;
}

void MMStatusGauge::SetTitle(const QString& text) {
    title_ = text;
    update();
}

void MMStatusGauge::SetTrueText(const QString& text) {
    true_text_ = text;
    update();
}

void MMStatusGauge::SetFalseText(const QString& text) {
    false_text_ = text;
    update();
}

uint32_t MMStatusGauge::style() const {
    return style_;
}
uint32_t MMStatusGauge::state() const {
    return state_;
}
QString MMStatusGauge::title() const {
    return title_;
}
QString MMStatusGauge::trueText() const {
    return true_text_;
}
QString MMStatusGauge::falseText() const {
    return false_text_;
}

void MMStatusGauge::paintEvent(QPaintEvent*) {
    const uint32_t style = style_, state = state_;
    const QString title = title_;
    // State 1 is true; 0 shows the false text; other nonzero states the true text, both in the
    // false colours.
    // Without a state the face shows "----" in the title's colour on its own background.
    const bool known = has_state_;
    const QString state_text = !known       ? QString("----")
                               : state == 1 ? true_text_
                               : state == 0 ? false_text_
                                            : true_text_;
    const QColor text_color = !known       ? title_color_
                              : state == 1 ? true_text_color_
                                           : false_text_color_;
    const QColor text_background = !known       ? QColor(Qt::white)
                                   : state == 1 ? true_background_
                                                : false_background_;
    const QColor background = background_, title_color = title_color_;

    QImage image(size(), QImage::Format_RGB32);
    image.fill(background);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::TextAntialiasing);
        if (style > 127) {
            const int side = std::min(width(), height());
            p.setViewport((width() - side) / 2, (height() - side) / 2, side, side);
        }
        p.setWindow(0, 0, 100, 100);
        p.setPen(QPen(Qt::black, 0));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(0, 0, 99.5, 99.5));

        p.setFont(ArialFont(10));
        QFontMetricsF m(p.font());
        p.setPen(title_color);
        // Texts wider than the face are cut at their end with an ellipsis.
        const QString shown_title = m.elidedText(title, Qt::ElideRight, 96);
        p.drawText(QPointF(50.0 - m.horizontalAdvance(shown_title) / 2.0, 6.0 + m.ascent()),
                   shown_title);

        // The state text is drawn opaque: its cell takes the state's background colour.
        p.setFont(ArialFont(24));
        m = QFontMetricsF(p.font());
        const QString text = m.elidedText(state_text, Qt::ElideRight, 96);
        const QRectF cell(50.0 - m.horizontalAdvance(text) / 2.0, 50.0 - m.height() / 2.0,
                          m.horizontalAdvance(text), m.height());
        p.fillRect(cell, text_background);
        p.setPen(text_color);
        p.drawText(QPointF(cell.left(), cell.top() + m.ascent()), text);
    }
    QPainter(this).drawImage(0, 0, image);
}

void MMStatusGauge::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        emit rightClicked(event->position().toPoint());
        return;
    }
    QWidget::mousePressEvent(event);
}

}  // namespace korvit::controls
