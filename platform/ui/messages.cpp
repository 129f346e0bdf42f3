// Messages to windows: the controls answer their own (text, check state, edit and combo box
// messages); dialogs and pages hand theirs to their dialog procedure.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui_internal.h"

namespace platform::ui {
namespace {

std::u16string ControlText(const Window* window)
{
    QWidget* widget = window->widget;
    if (!widget) return {};
    switch (window->kind) {
        case Kind::Static: return FromQString(static_cast<QLabel*>(widget)->text());
        case Kind::GroupBox: return FromQString(static_cast<QGroupBox*>(widget)->title());
        case Kind::Edit: return FromQString(static_cast<QLineEdit*>(widget)->text());
        case Kind::Button:
        case Kind::CheckBox: return FromQString(static_cast<QAbstractButton*>(widget)->text());
        case Kind::Combo: return FromQString(static_cast<QComboBox*>(widget)->currentText());
        default: return FromQString(widget->windowTitle());
    }
}

void ControlTextSet(Window* window, const std::u16string& text)
{
    QWidget* widget = window->widget;
    if (!widget) return;
    const QString value = ToQString(text);
    switch (window->kind) {
        case Kind::Static: static_cast<QLabel*>(widget)->setText(value); break;
        case Kind::GroupBox: static_cast<QGroupBox*>(widget)->setTitle(value); break;
        case Kind::Edit: {
            auto* edit = static_cast<QLineEdit*>(widget);
            // Windows raises EN_CHANGE for every WM_SETTEXT, even of the same text.
            if (edit->text() == value) ControlNotify(window, EN_CHANGE);
            else edit->setText(value);
            break;
        }
        case Kind::Button:
        case Kind::CheckBox: static_cast<QAbstractButton*>(widget)->setText(value); break;
        default: widget->setWindowTitle(value); break;
    }
}

LRESULT ControlMessage(Window* window, UINT message, WPARAM wParam, LPARAM lParam)
{
    QWidget* widget = window->widget;
    switch (message) {
        case WM_SETTEXT: ControlTextSet(window, TextOf(reinterpret_cast<LPCWSTR>(lParam))); return TRUE;
        case WM_GETTEXT:
            return TextCopyOut(ControlText(window), reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(ControlText(window).size());
        case BM_GETCHECK:
            return window->kind == Kind::CheckBox && static_cast<QCheckBox*>(widget)->isChecked() ? BST_CHECKED
                                                                                                  : BST_UNCHECKED;
        case BM_SETCHECK:
            if (window->kind == Kind::CheckBox) static_cast<QCheckBox*>(widget)->setChecked(wParam == BST_CHECKED);
            return 0;
        case BM_CLICK:
            if ((window->kind == Kind::Button || window->kind == Kind::CheckBox) && widget->isEnabled())
                static_cast<QAbstractButton*>(widget)->click();
            return 0;
        case EM_LIMITTEXT:
            window->textLimit = wParam ? static_cast<int>(std::min<WPARAM>(wParam, 0x7FFFFFFE)) : 0x7FFFFFFE;
            return 0;
        case EM_SETSEL:
            if (window->kind == Kind::Edit) {
                auto* edit = static_cast<QLineEdit*>(widget);
                const int length = static_cast<int>(edit->text().size());
                const int start = static_cast<int>(static_cast<INT_PTR>(wParam));
                const int end = static_cast<int>(lParam);
                if (start < 0) {
                    edit->deselect();
                } else {
                    const int from = std::min(start, length), to = end < 0 ? length : std::min(end, length);
                    edit->setSelection(from, to - from);
                    if (from == to) edit->setCursorPosition(from);
                }
            }
            return 0;
        case EM_SETREADONLY:
            if (window->kind == Kind::Edit) static_cast<QLineEdit*>(widget)->setReadOnly(wParam != 0);
            return TRUE;
        case CB_ADDSTRING:
            if (window->kind != Kind::Combo) return CB_ERR;
            static_cast<QComboBox*>(widget)->addItem(ToQString(TextOf(reinterpret_cast<LPCWSTR>(lParam))));
            return static_cast<QComboBox*>(widget)->count() - 1;
        case CB_GETCOUNT: return window->kind == Kind::Combo ? static_cast<QComboBox*>(widget)->count() : CB_ERR;
        case CB_GETCURSEL:
            return window->kind == Kind::Combo ? static_cast<QComboBox*>(widget)->currentIndex() : CB_ERR;
        case CB_SETCURSEL: {
            if (window->kind != Kind::Combo) return CB_ERR;
            auto* combo = static_cast<QComboBox*>(widget);
            const auto index = static_cast<INT_PTR>(wParam);
            combo->setCurrentIndex(index >= 0 && index < combo->count() ? static_cast<int>(index) : -1);
            return combo->currentIndex() == static_cast<int>(index) ? index : CB_ERR;
        }
        case CB_RESETCONTENT:
            if (window->kind == Kind::Combo) static_cast<QComboBox*>(widget)->clear();
            return 0;
        default: return 0;
    }
}

}  // namespace
}  // namespace platform::ui

using namespace platform::ui;

LRESULT SendMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* window = FromHandle(handle);
    if (!window) return 0;
    if (window->extra) {
        bool handled = false;
        const LRESULT result = window->extra->Message(handle, message, wParam, lParam, handled);
        if (handled) return result;
    }
    switch (window->kind) {
        case Kind::Dialog:
        case Kind::Page:
        case Kind::Sheet: {
            const LRESULT result = DialogProcCall(window, message, wParam, lParam);
            window = FromHandle(handle);
            if (!result && window && (message == WM_SETTEXT || message == WM_GETTEXT) && window->widget) {
                if (message == WM_GETTEXT)
                    return TextCopyOut(FromQString(window->widget->windowTitle()), reinterpret_cast<LPWSTR>(lParam),
                                       static_cast<int>(wParam));
                window->widget->setWindowTitle(ToQString(TextOf(reinterpret_cast<LPCWSTR>(lParam))));
                return TRUE;
            }
            return result;
        }
        default: return ControlMessage(window, message, wParam, lParam);
    }
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(GetDlgItem(dialog, id), message, wParam, lParam);
}

HWND GetDlgItem(HWND dialog, int id)
{
    Window* window = FromHandle(dialog);
    if (!window) return nullptr;
    for (Window* child : window->children)
        if (child->id == id && child->kind != Kind::Page) return HandleOf(child);
    return nullptr;
}

int GetDlgCtrlID(HWND handle)
{
    Window* window = FromHandle(handle);
    return window ? window->id : 0;
}

HWND GetParent(HWND handle)
{
    Window* window = FromHandle(handle);
    return window && window->parent ? HandleOf(window->parent) : nullptr;
}

BOOL IsWindow(HWND handle) { return FromHandle(handle) != nullptr; }

BOOL SetWindowTextW(HWND window, LPCWSTR text)
{
    return FromHandle(window) && SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

int GetWindowTextW(HWND window, LPWSTR text, int size)
{
    if (size > 0 && text) text[0] = 0;
    return static_cast<int>(
        SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(text)));
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) { return SetWindowTextW(GetDlgItem(dialog, id), text); }

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int size)
{
    return static_cast<UINT>(GetWindowTextW(GetDlgItem(dialog, id), text, size));
}

LONG_PTR SetWindowLongPtrW(HWND handle, int index, LONG_PTR value)
{
    Window* window = FromHandle(handle);
    if (!window || index < 0 || index > DWLP_USER || index % 8 != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const LONG_PTR old = window->longs[index / 8];
    window->longs[index / 8] = value;
    if (index == DWLP_DLGPROC) window->proc = reinterpret_cast<DLGPROC>(value);
    return old;
}

LONG_PTR GetWindowLongPtrW(HWND handle, int index)
{
    Window* window = FromHandle(handle);
    if (!window || index < 0 || index > DWLP_USER || index % 8 != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return window->longs[index / 8];
}

BOOL EnableWindow(HWND handle, BOOL enable)
{
    Window* window = FromHandle(handle);
    if (!window || !window->widget) return FALSE;
    const bool wasDisabled = !window->widget->isEnabled();
    window->widget->setEnabled(enable != 0);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND handle)
{
    Window* window = FromHandle(handle);
    return window && window->widget && window->widget->isEnabled();
}

BOOL IsWindowVisible(HWND handle)
{
    Window* window = FromHandle(handle);
    return window && window->widget && !window->widget->isHidden();
}

BOOL ShowWindow(HWND handle, int command)
{
    Window* window = FromHandle(handle);
    if (!window || !window->widget) return FALSE;
    const bool wasVisible = !window->widget->isHidden();
    window->widget->setVisible(command != SW_HIDE);
    return wasVisible;
}

HWND SetFocus(HWND handle)
{
    HWND previous = GetFocus();
    Window* window = FromHandle(handle);
    if (window && window->widget) window->widget->setFocus(Qt::OtherFocusReason);
    return previous;
}

HWND GetFocus()
{
    ApplicationEnsure();
    return WindowOf(QApplication::focusWidget());
}

BOOL GetWindowRect(HWND handle, RECT* rect)
{
    Window* window = FromHandle(handle);
    if (!window || !window->widget || !rect) return FALSE;
    QWidget* widget = window->widget;
    WindowSettle(widget);
    const QRect r =
        widget->isWindow() ? widget->frameGeometry() : QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    *rect = {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
    return TRUE;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    HWND button = GetDlgItem(dialog, id);
    if (!button) return FALSE;
    SendMessageW(button, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

void InitCommonControls() { ApplicationEnsure(); }
