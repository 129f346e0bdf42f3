// For tests and tools that drive the window layer with Qt events (keys, clicks): the widget that
// shows a window handle. Only code that links Qt itself includes this.
#pragma once

#include "platform/window.h"

// Declarations from here on are the window layer's exports.
#pragma GCC visibility push(default)

class QWidget;

namespace platform::ui {
QWidget* WidgetOf(HWND window);
// The window handle a widget shows, or null.
HWND WindowOf(const QWidget* widget);
}  // namespace platform::ui

#pragma GCC visibility pop
