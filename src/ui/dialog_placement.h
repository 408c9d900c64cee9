// Where the feature dialogs stand: over the bottom of the live picture, so that the page stays
// in view while they run.
#pragma once

#include <QRect>
#include <QWidget>

namespace orvane::ui {

// Moves the top-level `window`, frame included, so that it is centred across `area` (screen
// coordinates) with its lower edge on the area's lower edge.
inline void PlaceOverBottom(QWidget& window, const QRect& area) {
  const QRect frame = window.frameGeometry();
  const int left = area.left() + (area.width() - frame.width()) / 2;
  const int top = area.top() + area.height() - frame.height();
  window.move(left, top);
}

}  // namespace orvane::ui
