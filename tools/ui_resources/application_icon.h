// The application icon, drawn for the window (64 pixels) and for the desktop's icon theme (every
// size it asks for).
#pragma once

#include <QImage>

namespace orvane::tools {

// A document camera's arm over a page, `size` pixels square on a transparent ground.
QImage ApplicationIcon(int size);

}  // namespace orvane::tools
