// A dialog's own face as a window: Qt's paint events become WM_PAINT, drawn with the GDI into a
// bitmap that EndPaint puts on the widget, and the mouse over the face becomes the mouse messages.
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "platform/gdi.h"
#include "ui_internal.h"

namespace platform::ui {
namespace {

void PaintRelease(WindowPaint& paint)
{
    if (paint.dc) DeleteDC(paint.dc);
    if (paint.bitmap) DeleteObject(paint.bitmap);
    paint.dc = nullptr;
    paint.bitmap = nullptr;
    paint.bits = nullptr;
}

COLORREF FaceColour(const QWidget* widget)
{
    const QColor face = widget->palette().color(QPalette::Window);
    return RGB(face.red(), face.green(), face.blue());
}

WPARAM KeyState(const QMouseEvent* mouse)
{
    const Qt::MouseButtons buttons = mouse->buttons();
    const Qt::KeyboardModifiers keys = mouse->modifiers();
    return ((buttons & Qt::LeftButton) ? MK_LBUTTON : 0u) | ((buttons & Qt::RightButton) ? MK_RBUTTON : 0u) |
           ((buttons & Qt::MiddleButton) ? MK_MBUTTON : 0u) | ((keys & Qt::ShiftModifier) ? MK_SHIFT : 0u) |
           ((keys & Qt::ControlModifier) ? MK_CONTROL : 0u);
}

// The message a mouse event on the face gives, or 0 for none.
UINT MouseMessage(const QMouseEvent* mouse)
{
    const bool left = mouse->button() == Qt::LeftButton, right = mouse->button() == Qt::RightButton;
    switch (mouse->type()) {
        case QEvent::MouseMove: return WM_MOUSEMOVE;
        // A dialog's class asks for no double clicks: the second press is a press.
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: return left ? WM_LBUTTONDOWN : right ? WM_RBUTTONDOWN : 0;
        case QEvent::MouseButtonRelease: return left ? WM_LBUTTONUP : right ? WM_RBUTTONUP : 0;
        default: return 0;
    }
}

class SurfaceEvents : public QObject {
public:
    SurfaceEvents(Window* dialog, QObject* owner) : QObject(owner), handle_(HandleOf(dialog)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The widget may outlive its window (a dialog that ended, until Qt deletes it).
        Window* dialog = FromHandle(handle_);
        if (!dialog || dialog->widget != watched) return false;
        switch (event->type()) {
            case QEvent::Paint: Paint(dialog, static_cast<QPaintEvent*>(event)->region()); return false;
            case QEvent::MouseMove:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseButtonRelease: return Mouse(dialog, static_cast<QMouseEvent*>(event));
            case QEvent::ContextMenu: return ContextMenu(dialog, static_cast<QContextMenuEvent*>(event));
            default: return false;
        }
    }

private:
    void Paint(Window* dialog, const QRegion& region)
    {
        WindowPaint paint{region};
        dialog->painting = &paint;
        dialog->invalid -= region;
        DialogProcCall(dialog, WM_PAINT, 0, 0);
        if (FromHandle(handle_) == dialog) dialog->painting = nullptr;
        PaintRelease(paint);  // a procedure that forgot EndPaint
    }

    bool Mouse(Window* dialog, const QMouseEvent* mouse)
    {
        const QPoint at = mouse->position().toPoint();
        // An event a control let through is the control's, as Windows would have sent it there.
        if (dialog->widget->childAt(at)) return false;
        const UINT message = MouseMessage(mouse);
        if (!message) return false;
        DialogProcCall(dialog, message, KeyState(mouse), MAKELPARAM(at.x(), at.y()));
        return true;
    }

    // A right click on the face names the innermost group box around the point, else the dialog
    // itself: a group box lets the mouse through to the face, yet its help is its own.
    bool ContextMenu(Window* dialog, const QContextMenuEvent* menu)
    {
        const QPoint at = menu->pos();
        if (dialog->widget->childAt(at)) return false;
        Window* clicked = dialog;
        QRect inner;
        for (Window* child : dialog->children) {
            if (child->kind != Kind::GroupBox || !child->widget || !child->widget->isVisible()) continue;
            const QRect box = child->widget->geometry();
            if (box.contains(at) && (clicked == dialog || inner.contains(box))) {
                clicked = child;
                inner = box;
            }
        }
        const QPoint global = menu->globalPos();
        DialogProcCall(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(HandleOf(clicked)),
                       MAKELPARAM(global.x(), global.y()));
        return true;
    }

    HWND handle_;
};

}  // namespace

void SurfaceConnect(Window* dialog)
{
    QWidget* widget = dialog->widget;
    widget->setMouseTracking(true);  // WM_MOUSEMOVE comes without a button held too
    widget->installEventFilter(new SurfaceEvents(dialog, widget));
}

}  // namespace platform::ui

using namespace platform::ui;

HDC BeginPaint(HWND handle, PAINTSTRUCT* paint)
{
    Window* window = FromHandle(handle);
    if (!paint) return nullptr;
    *paint = {};
    if (!window || !window->widget || !window->painting) return nullptr;
    WindowPaint& target = *window->painting;
    PaintRelease(target);
    const LONG width = std::max(1, window->widget->width()), height = std::max(1, window->widget->height());
    target.dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    target.bitmap = CreateDIBSection(target.dc, &info, DIB_RGB_COLORS, &target.bits, nullptr, 0);
    if (!target.dc || !target.bitmap || !target.bits) {
        PaintRelease(target);
        return nullptr;
    }
    SelectObject(target.dc, target.bitmap);
    HBRUSH face = CreateSolidBrush(FaceColour(window->widget));
    const RECT all{0, 0, width, height};
    FillRect(target.dc, &all, face);
    DeleteObject(face);
    HRGN clip = CreateRectRgn(0, 0, 0, 0);
    for (const QRect& r : target.region) {
        HRGN part = CreateRectRgn(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
        CombineRgn(clip, clip, part, RGN_OR);
        DeleteObject(part);
    }
    SelectClipRgn(target.dc, clip);
    DeleteObject(clip);
    const QRect bounds = target.region.boundingRect();
    paint->hdc = target.dc;
    paint->fErase = window->eraseWanted;
    window->eraseWanted = false;
    paint->rcPaint = {bounds.left(), bounds.top(), bounds.left() + bounds.width(), bounds.top() + bounds.height()};
    return paint->hdc;
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT* paint)
{
    Window* window = FromHandle(handle);
    if (!window || !window->painting || !paint || !paint->hdc || paint->hdc != window->painting->dc) return FALSE;
    WindowPaint& target = *window->painting;
    QWidget* widget = window->widget;
    const int width = std::max(1, widget->width()), height = std::max(1, widget->height());
    // The GDI's 32-bit pixels carry no alpha: the widget takes them opaque.
    auto* pixels = static_cast<uint32_t*>(target.bits);
    for (const QRect& r : target.region)
        for (int y = std::max(0, r.top()); y <= std::min(height - 1, r.bottom()); ++y)
            for (int x = std::max(0, r.left()); x <= std::min(width - 1, r.right()); ++x)
                pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] |= 0xFF000000u;
    const QImage image(static_cast<const uchar*>(target.bits), width, height, width * 4, QImage::Format_ARGB32);
    QPainter painter(widget);
    painter.setClipRegion(target.region);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, image);
    painter.end();
    PaintRelease(target);
    return TRUE;
}

BOOL InvalidateRect(HWND handle, const RECT* rect, BOOL erase)
{
    Window* window = FromHandle(handle);
    if (!window || !window->widget) return FALSE;
    const QRect area =
        rect ? QRect(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1)) : window->widget->rect();
    if (area.isEmpty()) return TRUE;
    window->invalid += area;
    window->eraseWanted = window->eraseWanted || erase;
    window->widget->update(area);
    return TRUE;
}

BOOL UpdateWindow(HWND handle)
{
    Window* window = FromHandle(handle);
    if (!window || !window->widget) return FALSE;
    if (!window->invalid.isEmpty() && window->widget->isVisible()) window->widget->repaint(window->invalid);
    return TRUE;
}

BOOL GetClientRect(HWND handle, RECT* rect)
{
    Window* window = FromHandle(handle);
    if (!window || !window->widget || !rect) return FALSE;
    *rect = {0, 0, window->widget->width(), window->widget->height()};
    return TRUE;
}

BOOL ScreenToClient(HWND handle, POINT* point)
{
    Window* window = FromHandle(handle);
    if (!window || !window->widget || !point) return FALSE;
    const QPoint at = window->widget->mapFromGlobal(QPoint(point->x, point->y));
    *point = {at.x(), at.y()};
    return TRUE;
}
