#include "shell/window_placement.h"

#include <algorithm>

namespace korvit::shell {

namespace {

// How much of the title bar stays on the screen, across and down: enough to grab it.
constexpr int kGrip = 100;
constexpr int kTitleHeight = 30;

qint64 Area(const QRect& rect) {
    return rect.isEmpty() ? 0 : static_cast<qint64>(rect.width()) * rect.height();
}

}  // namespace

QPoint PlaceOnScreen(const QRect& frame, const QList<QRect>& screens) {
    if (screens.isEmpty()) return frame.topLeft();
    QRect screen = screens.front();
    qint64 best = 0;
    for (const QRect& candidate : screens) {
        const qint64 shared = Area(candidate.intersected(frame));
        if (shared > best) {
            best = shared;
            screen = candidate;
        }
    }
    const int grip = std::min(kGrip, std::max(1, frame.width()));
    const int x = std::clamp(frame.x(), screen.left() - frame.width() + grip,
                             std::max(screen.left(), screen.right() + 1 - grip));
    const int y = std::clamp(frame.y(), screen.top(),
                             std::max(screen.top(), screen.bottom() + 1 - kTitleHeight));
    return {x, y};
}

}  // namespace korvit::shell
