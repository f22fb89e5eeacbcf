// Drawing of the grid: title bar, headers, cells, and the grey area past the last cell.
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "controls/mm_grid_control.h"

namespace korvit::controls {
namespace {

QColor Average(const QColor& a, const QColor& b) {
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

/// A raised edge: light on the top and left, dark on the bottom and right.
void DrawEtchedEdge(QPainter& p, const QRect& r) {
    p.setPen(QColor(255, 255, 255));
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    p.setPen(QColor(160, 160, 160));
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
}

QString ColumnLetters(int column) {
    const int first = (column - 1) / 26;
    const QChar second = QChar('A' + (column - 1) % 26);
    return first > 0 ? QString(QChar('A' + first - 1)) + second : QString(second);
}

}  // namespace

QString MMGridControl::ShownText(int row, int column) const {
    if (!Inside(row, column)) return QString();
    if (column == 0 && row > 0 && (style_ & kRowNumbers)) return QString::number(row);
    if (row == 0 && column > 0 && (style_ & kColumnLetters)) return ColumnLetters(column);
    if (editing_ && row == current_row_ && column == current_column_) return edit_text_;
    return At(row, column).text;
}

QColor MMGridControl::Background(int row, int column) const {
    const bool focus = hasFocus();
    if (row == 0 || column == 0) {
        const bool highlight = (column == 0 && row > 0 && (style_ & kHighlightRowHeaders) &&
                                row >= std::min(anchor_row_, current_row_) &&
                                row <= std::max(anchor_row_, current_row_)) ||
                               (row == 0 && column > 0 && (style_ & kHighlightColumnHeaders) &&
                                column >= std::min(anchor_column_, current_column_) &&
                                column <= std::max(anchor_column_, current_column_));
        if (highlight) return focus ? colors_[kHeaderHighlight] : QColor(220, 220, 220);
        return colors_[kHeaderBackground];
    }
    const Cell& cell = At(row, column);
    if (editing_ && row == current_row_ && column == current_column_) {
        return colors_[kEditableBackground];
    }
    if (IsSelected(row, column)) {
        const QColor selection = focus ? QColor(128, 162, 219) : QColor(180, 180, 180);
        if (IsMarked(row, column)) return Average(selection, colors_[kMarkedBackground]);
        if ((style_ & kOwnBackgrounds) && (style_ & kAverageOwnBackground)) {
            return Average(selection, QColor(cell.background));
        }
        return selection;
    }
    if (IsMarked(row, column)) return colors_[kMarkedBackground];
    if (cell.flags & kReadOnly) return colors_[kReadOnlyBackground];
    if (style_ & kOwnBackgrounds) return QColor(cell.background);
    return colors_[kEditableBackground];
}

void MMGridControl::paintEvent(QPaintEvent* event) {
    if (!redraw_) return;
    QPainter p(this);
    p.setClipRegion(event->region());
    const int area_w = DataAreaWidth();
    const int area_h = DataAreaHeight();
    p.fillRect(rect(), QColor(128, 128, 128));

    if (title_height_ > 0) {
        const QRect bar(0, 0, area_w, title_height_);
        p.fillRect(bar, colors_[kHeaderBackground]);
        DrawEtchedEdge(p, bar);
        p.setFont(title_font_);
        p.setPen(isEnabled() ? colors_[kTitleText] : QColor(120, 120, 120));
        p.drawText(bar, Qt::AlignCenter | Qt::TextSingleLine, title_);
    }
    p.setClipRect(QRect(0, title_height_, area_w, area_h - title_height_), Qt::IntersectClip);

    const bool hide_partial =
        (style_ & kHidePartialLastRow) && vbar_->isVisible() && !suspended_partial_;
    const QColor grey_text(120, 120, 120);
    int x = 0;
    for (int column = 0; column < columns_ && x < area_w;
         column = column == 0 ? first_column_ : column + 1) {
        const int w = VisibleWidth(column);
        if (w <= 0) continue;
        int y = title_height_;
        for (int row = 0; row < rows_ && y < area_h; row = row == 0 ? first_row_ : row + 1) {
            const int h = heights_[row];
            if (h <= 0) continue;
            if (hide_partial && row > 0 && y + h > area_h) break;
            const QRect cell_rect(x, y, w, h);
            y += h;
            if (!event->region().intersects(cell_rect)) continue;
            p.fillRect(cell_rect, Background(row, column));
            const QString text = ShownText(row, column);
            const QRect text_rect = cell_rect.adjusted(2, 0, -2, 0);
            const bool header = row == 0 || column == 0;
            if (header) {
                DrawEtchedEdge(p, cell_rect);
                p.setFont(header_font_);
                p.setPen(isEnabled() ? colors_[kCellText] : grey_text);
                int align = Qt::AlignVCenter;
                if (row == 0) {
                    align |= Qt::AlignHCenter;
                } else {
                    align |= (style_ & kLeftAlignNumbers) ? Qt::AlignLeft : Qt::AlignRight;
                }
                const QString shown =
                    p.fontMetrics().elidedText(text, Qt::ElideRight, text_rect.width());
                p.drawText(text_rect, align | Qt::TextSingleLine, shown);
                continue;
            }
            p.setPen(colors_[kBorder]);
            p.drawLine(cell_rect.right(), cell_rect.top(), cell_rect.right(), cell_rect.bottom());
            p.drawLine(cell_rect.left(), cell_rect.bottom(), cell_rect.right(), cell_rect.bottom());
            const Cell& cell = At(row, column);
            QColor color(cell.text_color);
            if ((style_ & kColorChanged) && (cell.flags & kChanged)) color = colors_[kChangedText];
            if (!isEnabled()) color = grey_text;
            p.setFont(cell_font_);
            p.setPen(color);
            int align = 0;
            if (cell.flags & kOwnAlignment) {
                align |= (cell.flags & kAlignHCenter) ? Qt::AlignHCenter
                         : (cell.flags & kAlignRight) ? Qt::AlignRight
                                                      : Qt::AlignLeft;
                align |= (cell.flags & kAlignVCenter)  ? Qt::AlignVCenter
                         : (cell.flags & kAlignBottom) ? Qt::AlignBottom
                                                       : Qt::AlignTop;
            } else if (ClassifyText(text) == 2) {
                align = Qt::AlignVCenter |
                        ((style_ & kLeftAlignNumbers) ? Qt::AlignLeft : Qt::AlignRight);
            } else {
                align = ((style_ & kRightAlignText) ? Qt::AlignRight : Qt::AlignLeft) |
                        ((style_ & kEllipsis) ? Qt::AlignVCenter : Qt::AlignTop);
            }
            // A text wider than its cell ends in an ellipsis (a clipped number could pass for
            // another); only the text being edited is shown whole, around its caret.
            const bool edited = editing_ && row == current_row_ && column == current_column_;
            const QString shown =
                edited ? text : p.fontMetrics().elidedText(text, Qt::ElideRight, text_rect.width());
            p.save();
            p.setClipRect(text_rect, Qt::IntersectClip);
            QRect used;
            p.drawText(text_rect, align | Qt::TextSingleLine, shown, &used);
            if (edited && hasFocus()) {
                const int caret_x = text.isEmpty() ? text_rect.left() + 1 : used.right() + 1;
                p.setPen(QColor(0, 0, 0));
                p.drawLine(caret_x, cell_rect.top() + 3, caret_x, cell_rect.bottom() - 3);
            }
            p.restore();
        }
        x += w;
    }
}

}  // namespace korvit::controls
