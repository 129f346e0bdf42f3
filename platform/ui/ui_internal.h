// The window table and the pieces of the window layer that its files share.
#pragma once

#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window.h"
#include "platform/window_qt.h"

class QDialog;

namespace platform::ui {

enum class Kind { Dialog, Page, Sheet, Static, GroupBox, Edit, Button, CheckBox, Combo, SpinBar, ListView };

// Behaviour a kind of window adds (a sheet's pages, a list view's rows).
struct WindowExtra {
    virtual ~WindowExtra() = default;
    virtual LRESULT Message(HWND self, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
};

// A paint under way: the part of the window Qt paints, and the DC BeginPaint gave for it.
struct WindowPaint {
    QRegion region;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    void* bits = nullptr;
};

struct Window {
    Kind kind;
    int id = 0;
    Window* parent = nullptr;
    QPointer<QWidget> widget;
    DLGPROC proc = nullptr;
    LONG_PTR longs[3] = {};  // DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER
    bool ended = false;  // a modal dialog or sheet that has ended
    INT_PTR result = 0;
    int textLimit = 0;  // an edit's typing limit, 0 for none
    bool digitsOnly = false;
    std::vector<Window*> children;
    std::unique_ptr<WindowExtra> extra;
    QRegion invalid;  // the update region (InvalidateRect) not yet painted
    bool eraseWanted = false;
    WindowPaint* painting = nullptr;  // during WM_PAINT
};

HWND HandleOf(const Window* window);
// The live window a handle names, or null.
Window* FromHandle(HWND handle);
Window* WindowCreate(Kind kind, Window* parent, int id, QWidget* widget);
// Removes the window and its children from the table (the widgets belong to Qt's parents).
void WindowDestroy(Window* window);

// Gives a top-level window that is not shown yet the size its layout asks for.
void WindowSettle(QWidget* widget);

// Makes sure a QApplication exists (one is made on first use when the host has none).
void ApplicationEnsure();
bool OffscreenPlatform();

// A dialog procedure's answer: for WM_NOTIFY and the other messages whose result the procedure
// leaves in DWLP_MSGRESULT, that slot when the procedure returned non-zero.
LRESULT DialogProcCall(Window* dialog, UINT message, WPARAM wParam, LPARAM lParam);
// WM_COMMAND from a control to its dialog.
void ControlNotify(Window* control, int code);

// Builds the template's controls inside container (a new dialog or page); null when the template
// is missing or unreadable. The caller sends WM_INITDIALOG.
Window* DialogBuild(HINSTANCE instance, LPCWSTR templateName, Kind kind, Window* parent, QWidget* container,
                    DLGPROC proc, std::u16string* caption);

// Whether a modal hook stands in for the event loop.
bool ModalHookSet();

// Shows a modal top window and runs it (through the modal hook when set) until it ends. cancel
// runs when the hook leaves it open or the user closes it.
void ModalRun(Window* top, QDialog* dialog, const std::function<void()>& cancel);
// A top-level dialog widget whose close box and Escape key run cancel.
QDialog* ModalDialogCreate(HWND owner, const std::function<void()>& cancel);

// Makes a dialog or page's own face a window of its own: Qt's paints become WM_PAINT and the
// mouse over the face (not over a control) the mouse messages.
void SurfaceConnect(Window* dialog);

// Gives a list view window its model and view (the tree widget is its widget).
void ListViewAttach(Window* list, bool sortAscending);

// Copies a UTF-16 text into a caller's buffer of size units; returns the units copied.
int TextCopyOut(const std::u16string& text, LPWSTR buffer, int size);
std::u16string TextOf(LPCWSTR text);
QString ToQString(std::u16string_view text);
std::u16string FromQString(const QString& text);
std::u16string Utf8To16(std::string_view text);
std::string Utf16To8(std::u16string_view text);
// A file name as this platform spells it: a back slash is a folder separator.
std::string NativeName(std::string name);

}  // namespace platform::ui
