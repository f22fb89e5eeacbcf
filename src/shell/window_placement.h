#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

namespace korvit::shell {

/// Where a window's frame goes so that it can be seen and grabbed: on the screen it mostly lies
/// on (else the first), its title bar below the screen's top and at least a grip's width of it
/// inside the screen. `screens` are the screens' available areas.
QPoint PlaceOnScreen(const QRect& frame, const QList<QRect>& screens);

}  // namespace korvit::shell
