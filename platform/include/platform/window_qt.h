// For tests and tools that drive the window layer with Qt events (keys, clicks): the widget that
// shows a window handle. Only code that links Qt itself includes this.
#pragma once

#include "platform/window.h"

// Declarations from here on are the window layer's exports.
#pragma GCC visibility push(default)

class QImage;
class QWidget;

namespace platform::ui {
QWidget* WidgetOf(HWND window);
// The window handle a widget shows, or null.
HWND WindowOf(const QWidget* widget);
// Picture index of an image list as the list views draw it (opaque 32-bit RGB); a null image for
// an unknown list or an index outside it.
QImage ImageListPicture(HIMAGELIST list, int index);
}  // namespace platform::ui

#pragma GCC visibility pop
