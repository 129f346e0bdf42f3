// The property sheet: a tab per page, each page built from its template when first shown, and
// the OK, Cancel and Help buttons that become the pages' notifications.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdlib>

#include "platform/window_hooks.h"
#include "ui_internal.h"

namespace platform::ui {
namespace {

struct PageObject {
    PROPSHEETPAGEW description;
    std::u16string title;  // the caller's buffers may be gone once the page is made
    std::u16string templateName;
};

class Sheet : public WindowExtra {
public:
    Window* self = nullptr;
    QDialog* dialog = nullptr;
    QTabWidget* tabs = nullptr;
    std::vector<PageObject*> pages;
    std::vector<Window*> pageWindows;  // null until the page is first shown
    std::vector<QWidget*> containers;

    void PageShow(int index)
    {
        if (index < 0 || index >= static_cast<int>(pages.size())) return;
        if (!pageWindows[index]) {
            PageObject* page = pages[index];
            const LPCWSTR name =
                page->templateName.empty() ? page->description.pszTemplate : page->templateName.c_str();
            Window* window = DialogBuild(page->description.hInstance, name, Kind::Page, self, containers[index],
                                         page->description.pfnDlgProc, nullptr);
            if (!window) return;
            // A page answers to its template's number as its own id, so that help mapped to the
            // page (a right click on its face) finds it.
            if (IS_INTRESOURCE(name)) window->id = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
            pageWindows[index] = window;
            DialogProcCall(window, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&page->description));
        }
        if (tabs->currentIndex() != index) tabs->setCurrentIndex(index);
        Notify(pageWindows[index], PSN_SETACTIVE, 0);
    }

    LRESULT Notify(Window* page, int code, LPARAM lParam)
    {
        if (!page) return 0;
        PSHNOTIFY notify{};
        notify.hdr.hwndFrom = HandleOf(self);
        notify.hdr.idFrom = 0;
        notify.hdr.code = static_cast<UINT>(code);
        notify.lParam = lParam;
        return DialogProcCall(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
    }

    void Ok()
    {
        for (size_t i = 0; i < pageWindows.size(); ++i) {
            if (pageWindows[i] && Notify(pageWindows[i], PSN_APPLY, 1) == PSNRET_INVALID) {
                tabs->setCurrentIndex(static_cast<int>(i));
                return;  // the sheet stays open on the page that refused
            }
        }
        End(1);
    }

    void Cancel()
    {
        for (Window* page : pageWindows) Notify(page, PSN_RESET, 0);
        End(0);
    }

    void Help() { Notify(Current(), PSN_HELP, 0); }

    Window* Current() const
    {
        const int index = tabs->currentIndex();
        return index >= 0 && index < static_cast<int>(pageWindows.size()) ? pageWindows[index] : nullptr;
    }

    void End(INT_PTR result)
    {
        self->ended = true;
        self->result = result;
        dialog->hide();
    }

    LRESULT Message(HWND, UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override
    {
        handled = true;
        switch (message) {
            case PSM_PRESSBUTTON:
                if (wParam == PSBTN_OK) Ok();
                else if (wParam == PSBTN_CANCEL) Cancel();
                else if (wParam == PSBTN_HELP) Help();
                return 0;
            case PSM_SETCURSEL: {
                int index = static_cast<int>(wParam);
                for (size_t i = 0; lParam && i < pages.size(); ++i)
                    if (reinterpret_cast<LPARAM>(pages[i]) == lParam) index = static_cast<int>(i);
                PageShow(index);
                return TRUE;
            }
            case PSM_GETCURRENTPAGEHWND:
                // Null once the sheet has ended: the way to ask whether it is still open.
                return reinterpret_cast<LRESULT>(Current() && !self->ended ? HandleOf(Current()) : nullptr);
            default: handled = false; return 0;
        }
    }
};

// Shows each page in turn and writes the sheet there as sheet-page<N>.png; the first page is
// current again afterwards.
bool SnapshotWrite(Sheet& sheet, const QString& folder)
{
    QDir().mkpath(folder);
    bool written = true;
    for (size_t i = 0; i < sheet.pages.size(); ++i) {
        sheet.PageShow(static_cast<int>(i));
        for (int round = 0; round < 5; ++round) QApplication::processEvents();
        written = sheet.dialog->grab().save(folder + QStringLiteral("/sheet-page%1.png").arg(i + 1)) && written;
    }
    sheet.PageShow(0);
    return written;
}

// With FAXDRIVER_UI_SNAPSHOT set to a folder and no modal hook to drive the sheet, the sheet
// writes its pages there and ends as cancelled: the demo's screenshots under a virtual display.
// A modal hook that fills the sheet first writes them itself (SheetSnapshot).
bool Snapshot(Sheet& sheet)
{
    const char* folder = std::getenv("FAXDRIVER_UI_SNAPSHOT");
    if (!folder || !*folder || ModalHookSet()) return false;
    SnapshotWrite(sheet, QString::fromUtf8(folder));
    sheet.Cancel();
    return true;
}

}  // namespace
}  // namespace platform::ui

using namespace platform::ui;

HPROPSHEETPAGE CreatePropertySheetPageW(const PROPSHEETPAGEW* description)
{
    if (!description || description->dwSize < sizeof(PROPSHEETPAGEW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* page = new PageObject{*description, {}, {}};
    if ((description->dwFlags & PSP_USETITLE) && description->pszTitle && !IS_INTRESOURCE(description->pszTitle))
        page->title = description->pszTitle;
    if (description->pszTemplate && !IS_INTRESOURCE(description->pszTemplate))
        page->templateName = description->pszTemplate;
    page->description.pszTitle = page->title.c_str();
    return reinterpret_cast<HPROPSHEETPAGE>(page);
}

BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page)
{
    delete reinterpret_cast<PageObject*>(page);
    return TRUE;
}

bool platform::ui::SheetSnapshot(HWND handle, const std::string& folder)
{
    Window* window = FromHandle(handle);
    if (!window || window->kind != Kind::Sheet || folder.empty()) return false;
    auto* sheet = static_cast<Sheet*>(window->extra.get());
    sheet->dialog->show();
    return SnapshotWrite(*sheet, QString::fromStdString(folder));
}

INT_PTR PropertySheetW(const PROPSHEETHEADERW* header)
{
    if (!header || !header->phpage || header->nPages == 0) return -1;
    auto owned = std::make_unique<Sheet>();
    Sheet& sheet = *owned;
    sheet.dialog = ModalDialogCreate(header->hwndParent, [&sheet] { sheet.Cancel(); });
    sheet.self = WindowCreate(Kind::Sheet, FromHandle(header->hwndParent), 0, sheet.dialog);
    sheet.self->extra = std::move(owned);
    sheet.dialog->setWindowTitle(ToQString(TextOf(header->pszCaption)));

    auto* layout = new QVBoxLayout(sheet.dialog);
    sheet.tabs = new QTabWidget(sheet.dialog);
    layout->addWidget(sheet.tabs);
    for (UINT i = 0; i < header->nPages; ++i) {
        auto* page = reinterpret_cast<PageObject*>(header->phpage[i]);
        sheet.pages.push_back(page);
        sheet.pageWindows.push_back(nullptr);
        auto* container = new QWidget;
        sheet.containers.push_back(container);
        sheet.tabs->addTab(container, ToQString(page->title));
    }
    auto* buttons = new QDialogButtonBox(sheet.dialog);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    ok->setText(QStringLiteral("OK"));
    cancel->setText(QStringLiteral("Отмена"));
    QObject::connect(ok, &QPushButton::clicked, [&sheet] { sheet.Ok(); });
    QObject::connect(cancel, &QPushButton::clicked, [&sheet] { sheet.Cancel(); });
    if (header->dwFlags & PSH_HASHELP) {
        QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
        help->setText(QStringLiteral("Справка"));
        QObject::connect(help, &QPushButton::clicked, [&sheet] { sheet.Help(); });
    }
    layout->addWidget(buttons);

    const int start = header->nStartPage < header->nPages ? static_cast<int>(header->nStartPage) : 0;
    sheet.PageShow(start);
    INT_PTR result = -1;
    if (!sheet.pageWindows[start]) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    } else {
        QObject::connect(sheet.tabs, &QTabWidget::currentChanged, [&sheet](int index) { sheet.PageShow(index); });
        if (!Snapshot(sheet)) ModalRun(sheet.self, sheet.dialog, [&sheet] { sheet.Cancel(); });
        result = sheet.self->result;
    }
    for (PageObject* page : sheet.pages) delete page;
    QDialog* dialog = sheet.dialog;
    WindowDestroy(sheet.self);  // also ends the sheet record
    delete dialog;
    return result;
}
