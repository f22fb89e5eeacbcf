#include "controls/mm_text_progress.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <cmath>
#include <utility>

namespace korvit::controls {

MMTextProgress::MMTextProgress(QWidget* parent) : QWidget(parent) {
    font_ = QApplication::font();
    font_.setWeight(QFont::Medium);
}

void MMTextProgress::SetText(const QString& text) {
    // The status bar sets the rate text on every frame; only a change is worth a repaint.
    QString cut = text.left(kMaxText);
    if (cut == text_) return;
    text_ = std::move(cut);
    update();
}

void MMTextProgress::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    update();
}

int MMTextProgress::SetPos(int position) {
    int old = position_;
    position_ = position;
    update();
    return old;
}

int MMTextProgress::StepIt() {
    int old = position_;
    position_ += step_;
    if (position_ > maximum_) position_ = minimum_;
    update();
    return old;
}

void MMTextProgress::Step() {
    StepIt();
    // The loader runs on the GUI thread; let the bar show its progress meanwhile.
    repaint();
}

void MMTextProgress::SetBarColor(const QColor& color) {
    bar_color_ = color;
    update();
}

void MMTextProgress::SetBackgroundColor(std::optional<QColor> color) {
    background_ = color;
    update();
}

void MMTextProgress::SetTextColor(std::optional<QColor> color) {
    text_color_ = color;
    update();
}

void MMTextProgress::SetVertical(bool vertical) {
    vertical_ = vertical;
    update();
}

void MMTextProgress::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect all = rect();
    const QColor back = background_.value_or(palette().color(QPalette::Button));
    p.fillRect(all, back);

    const int span = maximum_ - minimum_;
    const double fraction = span != 0 ? static_cast<double>(position_) / span : 0.0;
    QRect bar;
    if (vertical_) {
        int h = static_cast<int>(std::trunc(fraction * all.height()));
        bar = QRect(0, all.height() - h, all.width(), h);
    } else {
        bar = QRect(0, 0, static_cast<int>(std::trunc(fraction * all.width())), all.height());
    }
    bar = bar.intersected(all);
    p.fillRect(bar, bar_color_);

    p.setFont(font_);
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    if (text_color_) {
        p.setPen(*text_color_);
        p.drawText(all, flags, text_);
        return;
    }
    // Two-colour text: the part over the bar in the background colour, the rest in the bar's.
    p.save();
    p.setClipRect(bar);
    p.setPen(back);
    p.drawText(all, flags, text_);
    p.restore();
    p.setClipRegion(QRegion(all).subtracted(bar));
    p.setPen(bar_color_);
    p.drawText(all, flags, text_);
}

}  // namespace korvit::controls
