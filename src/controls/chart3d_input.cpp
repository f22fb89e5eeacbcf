// Keyboard and mouse of the 3D chart: turn, move, zoom, click selection, rubber band and value
// drags.
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

#include "controls/chart3d.h"

namespace korvit::controls {
namespace {

constexpr float kMaxTilt = 1.57f;
constexpr float kMaxOffset = 300.0f;

}  // namespace

void Chart3D::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const int key = event->key();
    const bool arrow =
        key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    if (ctrl && shift) {
        if (key == Qt::Key_BracketLeft || key == Qt::Key_BraceLeft) {
            scale_ = std::max(0.2f, scale_ - 0.02f);
            return Changed();
        }
        if (key == Qt::Key_BracketRight || key == Qt::Key_BraceRight) {
            scale_ += 0.02f;
            return Changed();
        }
    } else if (shift && arrow) {
        const float dx = key == Qt::Key_Left ? -2.0f : key == Qt::Key_Right ? 2.0f : 0.0f;
        const float dy = key == Qt::Key_Up ? 2.0f : key == Qt::Key_Down ? -2.0f : 0.0f;
        offset_[0] = std::clamp(offset_[0] + dx, -kMaxOffset, kMaxOffset);
        offset_[1] = std::clamp(offset_[1] + dy, -kMaxOffset, kMaxOffset);
        state_ |= kMovedByHand;
        return Changed();
    } else if (ctrl && arrow) {
        if (key == Qt::Key_Left) turn_[1] -= 0.05f;
        if (key == Qt::Key_Right) turn_[1] += 0.05f;
        if (key == Qt::Key_Up) turn_[0] = std::clamp(turn_[0] + 0.05f, -kMaxTilt, kMaxTilt);
        if (key == Qt::Key_Down) turn_[0] = std::clamp(turn_[0] - 0.05f, -kMaxTilt, kMaxTilt);
        return Changed();
    }
    QWidget::keyPressEvent(event);
}

std::pair<int, int> Chart3D::HitTest(QPointF position) const {
    const double reach = std::max(marker_radius_, 3);
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            const QPointF at = ProjectPoint(At(r, c)).screen;
            if (std::hypot(at.x() - position.x(), at.y() - position.y()) <= reach) return {r, c};
        }
    }
    return {-1, -1};
}

void Chart3D::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    press_ = last_ = event->position();
    moved_ = false;
    dragging_points_ = false;
    state_ |= kButtonDown;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    state_ = ctrl ? state_ | kCtrlHeld : state_ & ~kCtrlHeld;
    state_ = shift ? state_ | kShiftHeld : state_ & ~kShiftHeld;
    if (ctrl || shift) {
        setCursor(Qt::BlankCursor);
        state_ |= kCursorHidden;
        return;
    }
    const auto [row, column] = HitTest(press_);
    if (row >= 0 && (style_ & (kDragX | kDragY | kDragValue))) {
        if (!(At(row, column).flags & 1)) {
            ClearSelection();
            SelectPoint(row, column, true, false);
        }
        dragging_points_ = true;
        return Changed();
    }
    if (row >= 0) state_ |= kClickRunning;
}

void Chart3D::mouseMoveEvent(QMouseEvent* event) {
    if (!(state_ & kButtonDown)) return;
    const QPointF pos = event->position();
    const float dx = static_cast<float>(pos.x() - last_.x());
    const float dy = static_cast<float>(pos.y() - last_.y());
    last_ = pos;
    if (std::hypot(pos.x() - press_.x(), pos.y() - press_.y()) > 2) moved_ = true;
    const bool ctrl = state_ & kCtrlHeld;
    const bool shift = state_ & kShiftHeld;
    if (ctrl && shift) {
        scale_ = std::max(0.05f, scale_ - dy * 0.01f);
    } else if (ctrl) {
        turn_[1] += dx * 0.01f;
        turn_[0] = std::clamp(turn_[0] + dy * 0.01f, -kMaxTilt, kMaxTilt);
    } else if (shift) {
        offset_[0] = std::clamp(offset_[0] + dx * 0.45f, -kMaxOffset, kMaxOffset);
        offset_[1] = std::clamp(offset_[1] - dy * 0.45f, -kMaxOffset, kMaxOffset);
        state_ |= kMovedByHand;
    } else if (dragging_points_) {
        if (style_ & kDragValue) DragValues(static_cast<int>(std::lround(-dy)));
    } else if ((style_ & kRubberBand) && moved_ && !(state_ & kClickRunning)) {
        state_ |= kRubberRunning;
        rubber_ = QRectF(press_, pos).toRect();
    } else {
        return;
    }
    Changed();
}

void Chart3D::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    if (state_ & kCursorHidden) unsetCursor();
    const bool ctrl = state_ & kCtrlHeld;
    const bool shift = state_ & kShiftHeld;
    if (state_ & kRubberRunning) {
        SelectInRubberBand();
    } else if (!moved_ && !dragging_points_ && !shift && (style_ & kClickSelect)) {
        const auto [row, column] = HitTest(event->position());
        if (row >= 0) {
            const bool selected = At(row, column).flags & 1;
            SelectPoint(row, column, !(ctrl && selected), false);
            Notify(kPointClicked, Address(row, column));
        }
    }
    state_ &=
        ~(kButtonDown | kClickRunning | kRubberRunning | kCursorHidden | kCtrlHeld | kShiftHeld);
    dragging_points_ = false;
    Changed();
}

void Chart3D::mouseDoubleClickEvent(QMouseEvent* event) {
    ClearSelection();
    mousePressEvent(event);
}

void Chart3D::contextMenuEvent(QContextMenuEvent* event) {
    const auto [row, column] = HitTest(event->pos());
    Notify(kContextMenu, row >= 0 ? Address(row, column) : 0xFFFFFFFFu);
}

void Chart3D::DragValues(int pixels_up) {
    if (pixels_up == 0 || selected_ == 0) return;
    const float width = range_[kValue].max - range_[kValue].min;
    float step = static_cast<float>(pixels_up) * width / cube_;
    // Cut the step so that no selected point leaves the value limits.
    for (const Point& point : points_) {
        if (!(point.flags & 1)) continue;
        if (step > 0) step = std::min(step, std::max(0.0f, limits_[kValue].max - point.value));
        if (step < 0) step = std::max(step, std::min(0.0f, limits_[kValue].min - point.value));
    }
    if (step == 0.0f) return;
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            Point& point = At(r, c);
            if (!(point.flags & 1)) continue;
            point.value += step;
            Notify(kPointMoved, Address(r, c));
        }
    }
    ScanData();
}

void Chart3D::SelectInRubberBand() {
    const QRectF band = QRectF(rubber_).normalized();
    for (int r = 0; r < rows_; ++r) {
        for (int c = 0; c < columns_; ++c) {
            if (band.contains(ProjectPoint(At(r, c)).screen)) SelectPoint(r, c, true, false);
        }
    }
    rubber_ = QRect();
}

}  // namespace korvit::controls
