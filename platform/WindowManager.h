#pragma once

class QWidget;

// Window-manager requests Qt has no word for.
namespace WindowManager {
// Keeps a shown top-level window out of the taskbar and the pager. Call it
// after each showing: the window manager forgets the state when the window is
// withdrawn. Does nothing on platforms other than X11.
void skipTaskbar(QWidget* window);

// Whether a compositing manager runs on the X display, so that a window's
// opacity shows. False on platforms other than X11.
bool compositing();
} // namespace WindowManager
