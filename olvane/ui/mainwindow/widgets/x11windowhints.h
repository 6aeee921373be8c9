#pragma once
// What Windows does for the program's windows by itself and an X11 desktop
// needs to be told. Each call does nothing outside the xcb platform.

class QRegion;
class QWidget;

// Keeps a window that has an owner out of the task bar, as Windows lists no
// owned window. Call before the window is mapped (from its show event): the
// window manager reads the hint when it maps the window.
void setSkipTaskbarHint(QWidget* window);

// Without a compositing manager an X server draws a translucent window's
// transparent pixels black. Then the window gets `opaque` (its own
// coordinates) as its mask, so that only its opaque part shows and takes
// input; with a compositor, or on another platform, nothing changes.
void maskTranslucentParts(QWidget* window, const QRegion& opaque);
