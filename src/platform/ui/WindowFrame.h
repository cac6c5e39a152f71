#pragma once
// The frame a window manager will draw around a window that is not shown yet. Until a window is
// first shown, the platform reports no frame at all; a window placed by its outer size before
// then would be off by half its title bar. On X11 the window manager is asked for the frame it
// will draw (_NET_REQUEST_FRAME_EXTENTS); elsewhere, or with no window manager, there is none.
#include <QMargins>

class QWindow;

namespace ui {

QMargins expectedFrame(QWindow* window);

} // namespace ui
