#pragma once

class QWidget;

// Window-manager requests Qt has no word for.
namespace WindowManager {
// Keeping a top-level window out of the taskbar and the pager. The window
// manager forgets the state when the window is withdrawn, and reads it when
// it takes the window: mark (or unmark) it before each mapping, from
// showEvent, and request it again once shown, for a window manager that took
// the window before the mark. Both do nothing on platforms other than X11.
void markSkipTaskbar(QWidget* window, bool skip);
void requestSkipTaskbar(QWidget* window);

// Whether a compositing manager runs on the X display, so that a window's
// opacity shows. False on platforms other than X11.
bool compositing();
} // namespace WindowManager
