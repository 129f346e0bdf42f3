// The screen and the places of windows on it: the display's size from Qt's primary screen, a
// window's root, and moving a window. Screen coordinates are Qt's global coordinates.
#include <QGuiApplication>
#include <QScreen>

#include "ui_internal.h"

namespace platform::ui {

void WindowSettle(QWidget* widget)
{
    // A top-level window not shown yet has no size until its layout is asked for one, where a
    // window on the original platform has its size from its creation on.
    if (!widget || !widget->isWindow()) return;
    if (!widget->isVisible() && !widget->testAttribute(Qt::WA_Resized)) widget->adjustSize();
    // Its frame is known once the platform has a window for it.
    widget->winId();
}

}  // namespace platform::ui

using namespace platform::ui;

int GetSystemMetrics(int index)
{
    ApplicationEnsure();
    // With no screen at all (a platform without outputs), a common desktop size.
    QSize size(1024, 768);
    if (const QScreen* screen = QGuiApplication::primaryScreen(); screen && !screen->geometry().isEmpty())
        size = screen->geometry().size();
    switch (index) {
        case SM_CXSCREEN: return size.width();
        case SM_CYSCREEN: return size.height();
        default: return 0;
    }
}

HWND GetAncestor(HWND handle, UINT flags)
{
    Window* window = FromHandle(handle);
    if (!window || (flags != GA_PARENT && flags != GA_ROOT)) return nullptr;
    // Dialogs and sheets are top-level windows: their parent is their owner, not a container.
    const auto topLevel = [](const Window* w) { return w->kind == Kind::Dialog || w->kind == Kind::Sheet; };
    if (flags == GA_PARENT) return topLevel(window) || !window->parent ? nullptr : HandleOf(window->parent);
    while (!topLevel(window) && window->parent) window = window->parent;
    return HandleOf(window);
}

BOOL SetWindowPos(HWND handle, HWND, int x, int y, int width, int height, UINT flags)
{
    Window* window = FromHandle(handle);
    if (!window || !window->widget) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    QWidget* widget = window->widget;
    WindowSettle(widget);
    if (!(flags & SWP_NOSIZE)) {
        if (width < 0 || height < 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // The size asked for is the frame's, as a window rectangle is; Qt sizes the inside.
        QSize inside(width, height);
        if (widget->isWindow()) inside -= widget->frameGeometry().size() - widget->size();
        inside = inside.expandedTo(QSize(0, 0));
        // Dialogs keep the size of their template; a size set here is the new fixed size.
        if (widget->minimumSize() == widget->maximumSize()) widget->setFixedSize(inside);
        else widget->resize(inside);
    }
    // A top-level window moves on the screen (its frame's corner); a child inside its parent.
    if (!(flags & SWP_NOMOVE)) widget->move(x, y);
    return TRUE;
}
