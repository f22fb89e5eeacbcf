#include "controls/mm_rich_static.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

namespace korvit::controls {

MMRichStatic::MMRichStatic(QWidget* parent) : QWidget(parent) {
    default_font_ = QApplication::font();
    default_font_.setWeight(QFont::Medium);
    font_ = default_font_;
    flash_timer_.setSingleShot(true);
    connect(&flash_timer_, &QTimer::timeout, this, &MMRichStatic::EndFlash);
}

void MMRichStatic::SetText(const QString& text) {
    QString cut = text.left(kMaxText);
    if (flashing_) {
        saved_text_ = cut;
        return;
    }
    // The status bar sets its texts on every reply; only a change is worth a repaint.
    if (cut == text_) return;
    text_ = cut;
    update();
}

std::optional<QColor> MMRichStatic::SetBackgroundColor(std::optional<QColor> color) {
    std::optional<QColor>& target = flashing_ ? saved_background_ : background_;
    std::optional<QColor> previous = target;
    target = color;
    if (!flashing_ && previous != color) update();
    return previous;
}

QColor MMRichStatic::SetTextColor(const QColor& color) {
    QColor& target = flashing_ ? saved_text_color_ : text_color_;
    QColor previous = target;
    target = color;
    if (!flashing_ && previous != color) update();
    return previous;
}

void MMRichStatic::SetBorderColor(std::optional<QColor> color) {
    border_ = color;
    update();
}

void MMRichStatic::SetTextFont(const QFont& font) {
    font_ = font == QFont() ? default_font_ : font;
    update();
}

void MMRichStatic::Flash(const QString& text, const QColor& text_color, const QColor& background,
                         int ms) {
    if (flashing_) return;
    saved_text_ = text_;
    saved_text_color_ = text_color_;
    saved_background_ = background_;
    flashing_ = true;
    text_ = text.left(kMaxText);
    text_color_ = text_color;
    background_ = background;
    update();
    flash_timer_.start(ms);
}

void MMRichStatic::EndFlash() {
    flashing_ = false;
    text_ = saved_text_;
    text_color_ = saved_text_color_;
    background_ = saved_background_;
    update();
}

void MMRichStatic::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect r = rect();
    if (border_) {
        p.fillRect(r, *border_);
        r.adjust(1, 1, -1, -1);
    }
    p.fillRect(r, background_.value_or(palette().color(QPalette::Button)));
    p.setFont(font_);
    p.setPen(text_color_);
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text_);
}

}  // namespace korvit::controls
