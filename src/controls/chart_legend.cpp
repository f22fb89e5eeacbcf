#include "controls/chart_legend.h"

#include <QFontMetrics>
#include <QPainter>

namespace korvit::controls {

ChartLegend::ChartLegend(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartLegend::SetHeading(const QString& heading) {
    if (heading == heading_) return;
    heading_ = heading;
    update();
}

void ChartLegend::SetRows(std::vector<LegendRow> rows) {
    const bool same =
        rows.size() == rows_.size() &&
        std::equal(rows.begin(), rows.end(), rows_.begin(), [](const auto& a, const auto& b) {
            return a.color == b.color && a.title == b.title && a.units == b.units &&
                   a.value == b.value && a.change == b.change;
        });
    if (same) return;
    rows_ = std::move(rows);
    update();
}

void ChartLegend::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QColor(160, 160, 160));
    p.drawLine(0, 0, 0, height() - 1);
    QFont font = p.font();
    font.setPixelSize(12);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetrics fm(font);
    const int line = fm.height() + 2;
    const int left = 8, right = width() - 6;
    int y = 4;
    p.setFont(bold);
    p.setPen(Qt::black);
    p.drawText(QRect(left, y, right - left, line), Qt::AlignLeft | Qt::AlignVCenter, heading_);
    y += line + 4;
    for (const LegendRow& row : rows_) {
        if (y + 2 * line > height()) break;
        p.fillRect(QRect(left, y + line / 2 - 2, 14, 4), row.color);
        p.setFont(font);
        p.setPen(Qt::black);
        const QString title = fm.elidedText(row.title, Qt::ElideRight, right - left - 20);
        p.drawText(QRect(left + 20, y, right - left - 20, line), Qt::AlignLeft | Qt::AlignVCenter,
                   title);
        y += line;
        p.setFont(bold);
        QString value = row.value;
        if (!row.units.isEmpty()) value += " " + row.units;
        p.drawText(QRect(left + 20, y, right - left - 20, line), Qt::AlignLeft | Qt::AlignVCenter,
                   value);
        if (!row.change.isEmpty()) {
            p.setFont(font);
            p.setPen(QColor(200, 0, 0));
            p.drawText(QRect(left + 20, y, right - left - 20, line),
                       Qt::AlignRight | Qt::AlignVCenter, row.change);
        }
        y += line + 3;
    }
}

}  // namespace korvit::controls
