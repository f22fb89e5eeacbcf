#include "controls/mm_splash.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

namespace korvit::controls {

MMSplash::MMSplash(QWidget* owner, const QPixmap& picture)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint), picture_(picture) {
    setFixedSize(picture_.size());
    hide_timer_.setSingleShot(true);
    connect(&hide_timer_, &QTimer::timeout, this, &QWidget::hide);
}

void MMSplash::SetTextItem(int id, const QString& text, QPoint at, std::optional<QFont> font,
                           const QColor& color) {
    TextItem item{id, text.left(254), at, std::move(font), color};
    for (auto& existing : items_) {
        if (existing.id == id) {
            existing = std::move(item);
            update();
            return;
        }
    }
    items_.push_back(std::move(item));
    update();
}

void MMSplash::ShowFor(int ms) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->geometry();
        move(area.center() - rect().center());
    }
    show();
    raise();
    hide_timer_.start(ms);
}

QPixmap MMSplash::Render() const {
    QPixmap out(picture_.size());
    QPainter p(&out);
    Draw(p);
    return out;
}

void MMSplash::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Draw(p);
}

void MMSplash::Draw(QPainter& p) const {
    p.drawPixmap(0, 0, picture_);
    QFont fallback("Arial");
    fallback.setPixelSize(13);
    fallback.setWeight(QFont::DemiBold);
    for (const auto& item : items_) {
        p.setFont(item.font.value_or(fallback));
        p.setPen(item.color);
        QRect box = p.fontMetrics().boundingRect(item.text);
        box.moveTopLeft(item.at);
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, item.text);
    }
}

QPixmap MMSplash::DefaultPicture() {
    QPixmap pic(420, 131);
    QPainter p(&pic);
    QLinearGradient g(0, 0, 420, 131);
    g.setColorAt(0, QColor(235, 240, 248));
    g.setColorAt(1, QColor(170, 190, 220));
    p.fillRect(pic.rect(), g);
    p.setPen(QPen(QColor(0, 100, 210), 3));
    p.drawRect(pic.rect().adjusted(1, 1, -2, -2));
    QFont title("Arial");
    title.setPixelSize(44);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(20, 40, 80));
    p.drawText(QRect(24, 18, 380, 56), Qt::AlignLeft | Qt::AlignVCenter, "Korvit");
    QFont sub("Arial");
    sub.setPixelSize(14);
    p.setFont(sub);
    p.drawText(QRect(26, 74, 380, 20), Qt::AlignLeft | Qt::AlignVCenter,
               "ALDL datastream monitor and logger");
    return pic;
}

}  // namespace korvit::controls
