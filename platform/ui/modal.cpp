// Modal dialogs, message boxes, file dialogs and posted messages, with the hooks that let tests
// and tools stand in for the person in front of them.
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <deque>

#include "platform/window_hooks.h"
#include "ui_internal.h"

namespace platform::ui {
namespace {

struct Hooks {
    MessageBoxHook messageBox;
    FileDialogHook fileDialog;
    ModalHook modal;
};
Hooks& TheHooks()
{
    static Hooks hooks;
    return hooks;
}

struct Posted {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::deque<Posted>& PostedQueue()
{
    static std::deque<Posted> queue;
    return queue;
}

std::vector<Window*>& ModalStack()
{
    static std::vector<Window*> stack;
    return stack;
}

// A dialog whose close box and Escape key go to the layer, which asks the dialog procedure.
class LayerDialog : public QDialog {
public:
    LayerDialog(QWidget* owner, std::function<void()> cancel) : QDialog(owner), cancel_(std::move(cancel)) {}
    void reject() override { cancel_(); }

private:
    std::function<void()> cancel_;
};

QWidget* OwnerWidget(HWND owner)
{
    Window* window = FromHandle(owner);
    return window ? window->widget.data() : nullptr;
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { TheHooks().messageBox = std::move(hook); }
void SetFileDialogHook(FileDialogHook hook) { TheHooks().fileDialog = std::move(hook); }
void SetModalHook(ModalHook hook) { TheHooks().modal = std::move(hook); }
bool ModalHookSet() { return static_cast<bool>(TheHooks().modal); }

void ProcessPosted()
{
    auto& queue = PostedQueue();
    while (!queue.empty()) {
        const Posted posted = queue.front();
        queue.pop_front();
        if (FromHandle(posted.window)) SendMessageW(posted.window, posted.message, posted.wParam, posted.lParam);
    }
}

void ModalRun(Window* top, QDialog* dialog, const std::function<void()>& cancel)
{
    ModalStack().push_back(top);
    const HWND handle = HandleOf(top);
    dialog->setModal(true);
    dialog->show();
    if (TheHooks().modal) {
        TheHooks().modal(handle);
        ProcessPosted();
    } else if (OffscreenPlatform()) {
        std::fprintf(stderr,
                     "window layer: a modal dialog on the offscreen platform has no one to answer it; "
                     "it ends as cancelled\n");
    } else {
        while (FromHandle(handle) && !top->ended) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (FromHandle(handle) && !top->ended) cancel();
    ModalStack().pop_back();
}

QDialog* ModalDialogCreate(HWND owner, const std::function<void()>& cancel)
{
    ApplicationEnsure();
    return new LayerDialog(OwnerWidget(owner), cancel);
}

}  // namespace platform::ui

using namespace platform::ui;

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param)
{
    Window* dialog = nullptr;
    QDialog* widget = ModalDialogCreate(owner, [&dialog] {
        // The close box and Escape are the Cancel button of a dialog, as on Windows.
        if (dialog && FromHandle(HandleOf(dialog)))
            DialogProcCall(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        if (dialog && FromHandle(HandleOf(dialog)) && !dialog->ended) EndDialog(HandleOf(dialog), IDCANCEL);
    });
    std::u16string caption;
    dialog = DialogBuild(instance, templateName, Kind::Dialog, FromHandle(owner), widget, proc, &caption);
    if (!dialog) {
        delete widget;
        return -1;
    }
    widget->setWindowTitle(ToQString(caption));
    DialogProcCall(dialog, WM_INITDIALOG, 0, param);
    INT_PTR result = 0;
    if (!dialog->ended)
        ModalRun(dialog, widget, [&] {
            DialogProcCall(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            if (FromHandle(HandleOf(dialog)) && !dialog->ended) EndDialog(HandleOf(dialog), IDCANCEL);
        });
    result = dialog->result;
    WindowDestroy(dialog);
    delete widget;
    return result;
}

BOOL EndDialog(HWND handle, INT_PTR result)
{
    Window* window = FromHandle(handle);
    if (!window || window->kind != Kind::Dialog) return FALSE;
    window->ended = true;
    window->result = result;
    if (window->widget) window->widget->hide();
    return TRUE;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!FromHandle(window)) return FALSE;
    PostedQueue().push_back({window, message, wParam, lParam});
    if (PostedQueue().size() == 1) QTimer::singleShot(0, [] { ProcessPosted(); });
    return TRUE;
}

HWND GetActiveWindow()
{
    auto& stack = ModalStack();
    return stack.empty() ? nullptr : HandleOf(stack.back());
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    ApplicationEnsure();
    const std::u16string body = TextOf(text), title = TextOf(caption);
    if (auto& hook = TheHooks().messageBox) return hook(owner, body, title, type);
    if (OffscreenPlatform()) {
        std::fprintf(stderr, "window layer: message box on the offscreen platform: %s\n",
                     ToQString(body).toUtf8().constData());
        return IDOK;
    }
    QMessageBox box(type & MB_ICONERROR ? QMessageBox::Critical : QMessageBox::NoIcon, ToQString(title),
                    ToQString(body),
                    (type & 0xF) == MB_OKCANCEL ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    OwnerWidget(owner));
    return box.exec() == QMessageBox::Cancel ? IDCANCEL : IDOK;
}

namespace {

// The sheets speak Russian, and so does their file chooser: Qt's own texts come from its Russian
// catalogue (when the system has it). It stays installed once loaded, since taking it away would
// turn the texts of windows still open back to English.
void RussianQtTextsInstall()
{
    static QTranslator translator;
    static const bool loaded =
        translator.load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(&translator);
    (void)loaded;
}

// "Description\0pattern\0...\0\0" becomes Qt's "Description (pattern);;...". A description that
// already ends in its pattern in brackets ("BMP FILE(*.BMP)") is shown as it is, not twice.
QString FileFilters(LPCWSTR filter)
{
    QStringList filters;
    for (LPCWSTR at = filter; at && *at;) {
        const std::u16string description(at);
        at += description.size() + 1;
        const std::u16string pattern(at);
        at += pattern.size() + 1;
        const QString patterns = ToQString(pattern).replace(';', ' ');
        const QString shown = ToQString(description);
        filters << (shown.endsWith('(' + patterns + ')') ? shown : shown + QStringLiteral(" (") + patterns + ')');
    }
    return filters.join(QStringLiteral(";;"));
}

// Runs the chooser as a modal window of the layer (through the modal hook when one is set);
// true when the user chose a file.
bool FileDialogRun(const OPENFILENAMEW& request, bool save, std::u16string& chosen)
{
    RussianQtTextsInstall();
    auto* dialog =
        new QFileDialog(OwnerWidget(request.hwndOwner), QString(), QString(), FileFilters(request.lpstrFilter));
    // Qt's own chooser, so that its texts are the catalogue's rather than the desktop's.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The caller's buffer holds the initial file text ("*.BMP").
    dialog->selectFile(ToQString(TextOf(request.lpstrFile)));
    Window* window = WindowCreate(Kind::Dialog, FromHandle(request.hwndOwner), 0, dialog);
    QObject::connect(dialog, &QDialog::finished, dialog, [handle = HandleOf(window)] {
        if (Window* still = FromHandle(handle)) still->ended = true;
    });
    ModalRun(window, dialog, [dialog] { dialog->reject(); });
    const bool ok = dialog->result() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    if (ok) chosen = FromQString(dialog->selectedFiles().constFirst());
    WindowDestroy(window);
    delete dialog;
    return ok;
}

BOOL FileDialog(OPENFILENAMEW* request, bool save)
{
    ApplicationEnsure();
    if (!request || !request->lpstrFile || request->nMaxFile == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string chosen;
    const bool ok =
        TheHooks().fileDialog ? TheHooks().fileDialog(save, *request, chosen) : FileDialogRun(*request, save, chosen);
    // A path that does not fit the caller's buffer is refused whole, as a cut path would name
    // another file.
    if (!ok || chosen.size() >= request->nMaxFile) return FALSE;
    TextCopyOut(chosen, request->lpstrFile, static_cast<int>(request->nMaxFile));
    return TRUE;
}

}  // namespace

BOOL GetOpenFileNameW(OPENFILENAMEW* request) { return FileDialog(request, false); }
BOOL GetSaveFileNameW(OPENFILENAMEW* request) { return FileDialog(request, true); }

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name)
{
    // Cursors are Qt's shapes; the handle carries the shape.
    const auto id = reinterpret_cast<ULONG_PTR>(name);
    if (id == IDC_HAND_ID) return reinterpret_cast<HCURSOR>(static_cast<ULONG_PTR>(Qt::PointingHandCursor) + 1);
    if (id == IDC_ARROW_ID) return reinterpret_cast<HCURSOR>(static_cast<ULONG_PTR>(Qt::ArrowCursor) + 1);
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    static HCURSOR current = nullptr;
    ApplicationEnsure();
    HCURSOR previous = current;
    current = cursor;
    if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    if (cursor)
        QApplication::setOverrideCursor(QCursor(static_cast<Qt::CursorShape>(reinterpret_cast<ULONG_PTR>(cursor) - 1)));
    return previous;
}
