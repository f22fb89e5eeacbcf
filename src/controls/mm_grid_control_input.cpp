// Keyboard, mouse, wheel and focus handling of the grid.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

#include "controls/mm_grid_control.h"

namespace korvit::controls {
namespace {

constexpr int kBorderZone = 5;  // pixels either side of a header border that start a drag

}  // namespace

void MMGridControl::MoveCurrent(int row, int column, bool extend) {
    CommitEdit();
    current_row_ = std::clamp(row, 1, std::max(1, rows_ - 1));
    current_column_ = std::clamp(column, 1, std::max(1, columns_ - 1));
    if (!extend) {
        anchor_row_ = current_row_;
        anchor_column_ = current_column_;
    }
    NotifyCurrent(kCurrentCellMoved);
    ScrollIntoView(current_row_, current_column_);
}

void MMGridControl::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool extend = (event->modifiers() & Qt::ShiftModifier) && (style_ & kExtendedSelection);
    const QString typed = event->text();
    const bool printable =
        !ctrl && typed.size() == 1 && typed[0].unicode() >= 32 && typed[0].unicode() <= 125;
    if (editing_) {
        if (key == Qt::Key_Escape) return CancelEdit();
        if (key == Qt::Key_Backspace) {
            edit_text_.chop(1);
            return RepaintCell(current_row_, current_column_);
        }
        if (printable) {
            edit_text_ += typed;
            return RepaintCell(current_row_, current_column_);
        }
    }
    const int page = std::max(1, vbar_->pageStep());
    switch (key) {
        case Qt::Key_Left:
            return MoveCurrent(current_row_, current_column_ - 1, extend);
        case Qt::Key_Right:
            return MoveCurrent(current_row_, current_column_ + 1, extend);
        case Qt::Key_Up:
            return MoveCurrent(current_row_ - 1, current_column_, extend);
        case Qt::Key_Down:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return MoveCurrent(current_row_ + 1, current_column_, extend);
        case Qt::Key_PageUp:
            return MoveCurrent(current_row_ - page, current_column_, extend);
        case Qt::Key_PageDown:
            return MoveCurrent(current_row_ + page, current_column_, extend);
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            CommitEdit();
            if (parentWidget() != nullptr) parentWidget()->setFocus(Qt::TabFocusReason);
            return;
        case Qt::Key_Escape:
            return CancelEdit();
        case Qt::Key_Delete:
            return NotifyCurrent(kDeletePressed);
        default:
            break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        return NotifyCurrent(kFunctionKey1 + (key - Qt::Key_F1));
    }
    if (ctrl && key == Qt::Key_A) {
        CommitEdit();
        anchor_row_ = anchor_column_ = 1;
        current_row_ = std::max(1, rows_ - 1);
        current_column_ = std::max(1, columns_ - 1);
        return Repaint();
    }
    if (ctrl && key == Qt::Key_C) return CopySelection();
    if (ctrl && key == Qt::Key_V) return Paste();
    const bool editable = (style_ & kEditable) && !IsReadOnly(current_row_, current_column_) &&
                          rows_ > 1 && columns_ > 1;
    if (editable && key == Qt::Key_Backspace) {
        QString text = CellText(current_row_, current_column_);
        text.chop(1);
        return StartEdit(text);
    }
    if (editable && printable) return StartEdit(typed);
    QWidget::keyPressEvent(event);
}

int MMGridControl::ColumnBorderAt(QPoint point) const {
    if (!(style_ & kDragColumnBorders)) return -1;
    if (point.y() < title_height_ || point.y() >= title_height_ + heights_[0]) return -1;
    int x = 0;
    for (int column = 0; column < columns_ && x < width();
         column = column == 0 ? first_column_ : column + 1) {
        x += widths_[column];
        if (std::abs(point.x() - x) < kBorderZone) return column;
    }
    return -1;
}

int MMGridControl::RowBorderAt(QPoint point) const {
    if (!(style_ & kDragRowBorders) || point.x() < 0 || point.x() >= widths_[0]) return -1;
    int y = title_height_;
    for (int row = 0; row < rows_ && y < height(); row = row == 0 ? first_row_ : row + 1) {
        y += heights_[row];
        if (std::abs(point.y() - y) < kBorderZone) return row;
    }
    return -1;
}

void MMGridControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    const QPoint point = event->position().toPoint();
    last_mouse_ = point;
    if (const int column = ColumnBorderAt(point); column >= 0) {
        drag_column_ = column;
        drag_start_ = point.x();
        drag_start_size_ = widths_[column];
        suspended_partial_ = true;
        return;
    }
    if (const int row = RowBorderAt(point); row >= 0) {
        drag_row_ = row;
        drag_start_ = point.y();
        drag_start_size_ = heights_[row];
        suspended_partial_ = true;
        return;
    }
    const auto [row, column] = HitTest(point);
    if (row < 0 || column < 0) return;
    if (row >= 1 && column >= 1) {
        CommitEdit();
        const bool moved = row != current_row_ || column != current_column_;
        current_row_ = row;
        current_column_ = column;
        if (!((style_ & kExtendedSelection) && (event->modifiers() & Qt::ShiftModifier))) {
            anchor_row_ = row;
            anchor_column_ = column;
        }
        NotifyCurrent(kCellClicked);
        if (moved) {
            NotifyCurrent(kCurrentCellMoved);
            ScrollIntoView(row, column);
        }
        selecting_ = true;
        return Repaint();
    }
    if (!(style_ & kExtendedSelection)) return;
    CommitEdit();
    const int last_row = std::max(1, rows_ - 1);
    const int last_column = std::max(1, columns_ - 1);
    anchor_row_ = row == 0 ? 1 : row;
    anchor_column_ = column == 0 ? 1 : column;
    current_row_ = row == 0 ? last_row : row;
    current_column_ = column == 0 ? last_column : column;
    NotifyCurrent(kCurrentCellMoved);
    selecting_ = true;
    Repaint();
}

void MMGridControl::mouseMoveEvent(QMouseEvent* event) {
    const QPoint point = event->position().toPoint();
    last_mouse_ = point;
    if (drag_column_ >= 0 || drag_row_ >= 0) {
        const bool columns = drag_column_ >= 0;
        int size = drag_start_size_ + (columns ? point.x() : point.y()) - drag_start_;
        if (size < 1) size = 0;
        (columns ? widths_[drag_column_] : heights_[drag_row_]) = std::min(size, 0x7FFF);
        Relayout();
        return Repaint();
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        const bool border = ColumnBorderAt(point) >= 0;
        const bool row_border = RowBorderAt(point) >= 0;
        if (border) {
            setCursor(Qt::SplitHCursor);
        } else if (row_border) {
            setCursor(Qt::SplitVCursor);
        } else {
            unsetCursor();
        }
        return;
    }
    if (!selecting_ || !(style_ & kExtendedSelection)) return;
    const bool outside = point.x() < 0 || point.y() < 0 || point.x() >= DataAreaWidth() ||
                         point.y() >= DataAreaHeight();
    if (outside) {
        if (!scroll_timer_.isActive()) scroll_timer_.start();
        return;
    }
    scroll_timer_.stop();
    const auto [row, column] = HitTest(point);
    if (row < 1 || column < 1) return;
    if (row != current_row_ || column != current_column_) {
        current_row_ = row;
        current_column_ = column;
        NotifyCurrent(kSelectionExtended);
        Repaint();
    }
}

void MMGridControl::AutoScroll() {
    if (!selecting_) return scroll_timer_.stop();
    int row = current_row_;
    int column = current_column_;
    if (last_mouse_.x() >= DataAreaWidth()) column = std::min(column + 1, columns_ - 1);
    if (last_mouse_.x() < 0) column = std::max(column - 1, 1);
    if (last_mouse_.y() >= DataAreaHeight()) row = std::min(row + 1, rows_ - 1);
    if (last_mouse_.y() < title_height_) row = std::max(row - 1, 1);
    if (row == current_row_ && column == current_column_) return;
    current_row_ = row;
    current_column_ = column;
    NotifyCurrent(kSelectionExtended);
    ScrollIntoView(row, column);
}

void MMGridControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    scroll_timer_.stop();
    selecting_ = false;
    if (drag_column_ >= 0 || drag_row_ >= 0) {
        drag_column_ = drag_row_ = -1;
        suspended_partial_ = false;
        Relayout();
        Repaint();
    }
}

void MMGridControl::mouseDoubleClickEvent(QMouseEvent* event) {
    const auto [row, column] = HitTest(event->position().toPoint());
    if (row < 1 || column < 1 || !(style_ & kEditable) || IsReadOnly(row, column)) return;
    if (row != current_row_ || column != current_column_) MoveCurrent(row, column, false);
    if (!editing_) StartEdit(CellText(row, column));
}

void MMGridControl::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0 || !vbar_->isVisible()) return;
    vbar_->setValue(vbar_->value() - notches * QApplication::wheelScrollLines());
    event->accept();
}

void MMGridControl::focusInEvent(QFocusEvent*) {
    NotifyCurrent(kFocusGained);
    Repaint();
}

void MMGridControl::focusOutEvent(QFocusEvent*) {
    CommitEdit();
    NotifyCurrent(kFocusLost);
    Repaint();
}

void MMGridControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) Repaint();
    QWidget::changeEvent(event);
}

}  // namespace korvit::controls
