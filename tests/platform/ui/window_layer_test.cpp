// Dialogs, controls and property sheets of the window layer, driven through messages and
// through Qt events, with every modal loop answered by a hook.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/resources.h"
#include "platform/ui/dialog_template.h"
#include "platform/window.h"
#include "platform/window_hooks.h"
#include "platform/window_qt.h"
#include "tests/support/offscreen.h"

namespace {

constexpr char kDialog[] =
    "DIALOG 200 120 \"Tahoma\" 8 \"Test dialog\"\n"
    "# a comment\n"
    "LTEXT 10 5 5 60 10 \"Name:\"\n"
    "EDITTEXT 11 70 5 100 12 AUTOHSCROLL\n"
    "EDITTEXT 12 70 20 40 12 NUMBER\n"
    "CHECKBOX 13 5 40 80 10 \"Option\"\n"
    "COMBOBOX 14 5 55 80 50\n"
    "VSCROLL 15 120 20 10 12\n"
    "GROUPBOX 16 2 2 196 80 \"Frame\"\n"
    "PUSHBUTTON 1 100 95 40 14 \"OK\"\n"
    "PUSHBUTTON 17 150 95 40 14 DISABLED \"Off\"\n";
constexpr char kPage[] =
    "DIALOG 150 80 \"Tahoma\" 8\n"
    "EDITTEXT 21 10 10 100 12\n"
    "CHECKBOX 22 10 30 80 10 \"Tick\"\n"
    "GROUPBOX 23 5 50 140 25 \"Box\"\n";
constexpr char kLists[] =
    "DIALOG 200 120 \"Tahoma\" 8\n"
    "LISTVIEW 31 5 5 90 100 SORTASCENDING\n"
    "LISTVIEW 32 105 5 90 100\n";
constexpr char kBroken[] = "DIALOG 10 10 \"Tahoma\" 8\nSLIDER 1 0 0 5 5\n";

FAX_RESOURCE_TABLE(UiTestResources, {FaxResourceKey(RT_DIALOG_ID), FaxResourceKey(100), kDialog, sizeof kDialog - 1},
                   {FaxResourceKey(RT_DIALOG_ID), FaxResourceKey(200), kPage, sizeof kPage - 1},
                   {FaxResourceKey(RT_DIALOG_ID), FaxResourceKey(300), kBroken, sizeof kBroken - 1},
                   {FaxResourceKey(RT_DIALOG_ID), FaxResourceKey(400), kLists, sizeof kLists - 1});

struct Message {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int notifyCode = 0;  // WM_NOTIFY's code
    int helpId = 0;  // WM_HELP's control
};
std::vector<Message> messages;
// What a page answers to PSN_APPLY, by its DWLP_USER value.
std::vector<int> applyAnswer = {PSNRET_NOERROR, PSNRET_NOERROR};

INT_PTR CALLBACK_Record(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Message m{window, message, wParam, lParam};
    if (message == WM_NOTIFY) m.notifyCode = static_cast<int>(reinterpret_cast<const NMHDR*>(lParam)->code);
    if (message == WM_HELP) m.helpId = reinterpret_cast<const HELPINFO*>(lParam)->iCtrlId;
    messages.push_back(m);
    if (message == WM_INITDIALOG) {
        // A page gets its description; the dialog of these tests a small number.
        const auto* page = lParam > 0xFFFF ? reinterpret_cast<const PROPSHEETPAGEW*>(lParam) : nullptr;
        SetWindowLongPtrW(window, DWLP_USER, page ? page->lParam : 0);
        return TRUE;
    }
    if (message == WM_NOTIFY && m.notifyCode == PSN_APPLY) {
        const int answer = applyAnswer[static_cast<size_t>(GetWindowLongPtrW(window, DWLP_USER))];
        SetWindowLongPtrW(window, DWLP_MSGRESULT, answer);
        return answer != 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == 1) EndDialog(window, 42);
    return 0;
}

std::vector<Message> Of(UINT message)
{
    std::vector<Message> found;
    for (const Message& m : messages)
        if (m.message == message) found.push_back(m);
    return found;
}

class WindowLayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        FaxResourceTableLink_UiTestResources();
        messages.clear();
        applyAnswer = {PSNRET_NOERROR, PSNRET_NOERROR};
        platform::ui::SetMessageBoxHook([](HWND, std::u16string_view, std::u16string_view, UINT) {
            ADD_FAILURE() << "unexpected message box";
            return IDOK;
        });
    }
    void TearDown() override
    {
        platform::ui::SetModalHook({});
        platform::ui::SetMessageBoxHook({});
        platform::ui::SetFileDialogHook({});
    }
};

TEST(DialogTemplate, ParseAcceptsTheFormAndRefusesDamage)
{
    const std::string good(kDialog);
    const auto parsed =
        platform::ui::DialogTemplateParse({reinterpret_cast<const unsigned char*>(good.data()), good.size()});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->cx, 200);
    EXPECT_EQ(parsed->font, "Tahoma");
    EXPECT_EQ(parsed->caption, u"Test dialog");
    ASSERT_EQ(parsed->items.size(), 9u);
    EXPECT_EQ(parsed->items[2].flags, static_cast<unsigned>(platform::ui::kNumber));
    EXPECT_EQ(parsed->items[8].text, u"Off");

    const char* broken[] = {
        "",
        "LTEXT 1 0 0 5 5\n",
        "DIALOG 10 x \"T\" 8\n",
        "DIALOG 10 10 \"T\" 8\nLTEXT 1 0 0 5\n",
        "DIALOG 10 10 \"T\" 8\nLTEXT 1 0 0 5 5 BOLD\n",
        "DIALOG 10 10 \"T\" 8\nLTEXT 1 0 0 5 5 \"open\n",
        kBroken,
    };
    for (const char* text : broken)
        EXPECT_FALSE(
            platform::ui::DialogTemplateParse({reinterpret_cast<const unsigned char*>(text), std::strlen(text)}))
            << text;
}

TEST_F(WindowLayer, DialogControlsAnswerMessagesAndNotifyTheirDialog)
{
    HWND seen = nullptr;
    LPARAM initParam = 0;
    platform::ui::SetModalHook([&](HWND dialog) {
        seen = dialog;
        ASSERT_EQ(Of(WM_INITDIALOG).size(), 1u);
        initParam = Of(WM_INITDIALOG)[0].lParam;
        EXPECT_EQ(GetActiveWindow(), dialog);
        // Text set by message raises EN_CHANGE, as on Windows, also for the same text.
        messages.clear();
        SetDlgItemTextW(dialog, 11, u"abc");
        SetDlgItemTextW(dialog, 11, u"abc");
        ASSERT_EQ(Of(WM_COMMAND).size(), 2u);
        EXPECT_EQ(Of(WM_COMMAND)[0].wParam, MAKEWPARAM(11, EN_CHANGE));
        EXPECT_EQ(Of(WM_COMMAND)[0].lParam, reinterpret_cast<LPARAM>(GetDlgItem(dialog, 11)));
        WCHAR text[8];
        EXPECT_EQ(GetDlgItemTextW(dialog, 11, text, 3), 2u);  // cut to the buffer
        EXPECT_EQ(std::u16string(text), u"ab");

        // Typing: a digits-only edit refuses letters, a limited edit stops at its limit.
        SendDlgItemMessageW(dialog, 11, EM_LIMITTEXT, 5, 0);
        QTest::keyClicks(platform::ui::WidgetOf(GetDlgItem(dialog, 11)), "defgh");
        GetDlgItemTextW(dialog, 11, text, 8);
        EXPECT_EQ(std::u16string(text), u"abcde");
        QTest::keyClicks(platform::ui::WidgetOf(GetDlgItem(dialog, 12)), "1a2");
        GetDlgItemTextW(dialog, 12, text, 8);
        EXPECT_EQ(std::u16string(text), u"12");

        // A check box clicked by message and by mouse.
        messages.clear();
        SendDlgItemMessageW(dialog, 13, BM_CLICK, 0, 0);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 13), static_cast<UINT>(BST_CHECKED));
        QWidget* box = platform::ui::WidgetOf(GetDlgItem(dialog, 13));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        EXPECT_EQ(IsDlgButtonChecked(dialog, 13), static_cast<UINT>(BST_UNCHECKED));
        ASSERT_EQ(Of(WM_COMMAND).size(), 2u);
        EXPECT_EQ(Of(WM_COMMAND)[1].wParam, MAKEWPARAM(13, BN_CLICKED));
        CheckDlgButton(dialog, 13, BST_CHECKED);  // no notification
        EXPECT_EQ(Of(WM_COMMAND).size(), 2u);

        // Combo box, spin bar, enabling.
        EXPECT_EQ(SendDlgItemMessageW(dialog, 14, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"none")), 0);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 14, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"one")), 1);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 14, CB_SETCURSEL, 1, 0), 1);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 14, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(SendDlgItemMessageW(dialog, 14, CB_SETCURSEL, 7, 0), CB_ERR);
        messages.clear();
        static_cast<QScrollBar*>(platform::ui::WidgetOf(GetDlgItem(dialog, 15)))
            ->triggerAction(QAbstractSlider::SliderSingleStepSub);
        ASSERT_EQ(Of(WM_VSCROLL).size(), 1u);
        EXPECT_EQ(LOWORD(Of(WM_VSCROLL)[0].wParam), SB_LINEUP);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 17)));
        SendDlgItemMessageW(dialog, 17, BM_CLICK, 0, 0);  // a disabled button does nothing
        EXPECT_TRUE(IsWindow(dialog));

        // F1 and a right click on a control reach the dialog with that control.
        messages.clear();
        QWidget* edit = platform::ui::WidgetOf(GetDlgItem(dialog, 11));
        QTest::keyClick(edit, Qt::Key_F1);
        ASSERT_EQ(Of(WM_HELP).size(), 1u);
        EXPECT_EQ(Of(WM_HELP)[0].helpId, 11);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), edit->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(platform::ui::WidgetOf(GetDlgItem(dialog, 10)), &click);
        ASSERT_EQ(Of(WM_CONTEXTMENU).size(), 1u);
        EXPECT_EQ(Of(WM_CONTEXTMENU)[0].wParam, reinterpret_cast<WPARAM>(GetDlgItem(dialog, 10)));

        // Posted messages come after the current one.
        messages.clear();
        PostMessageW(dialog, WM_APP + 45, 1, 2);
        EXPECT_TRUE(Of(WM_APP + 45).empty());
        platform::ui::ProcessPosted();
        EXPECT_EQ(Of(WM_APP + 45).size(), 1u);

        QTest::mouseClick(platform::ui::WidgetOf(GetDlgItem(dialog, 1)), Qt::LeftButton);
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(100), nullptr, CALLBACK_Record, 1234), 42);
    EXPECT_EQ(initParam, 1234);
    EXPECT_FALSE(IsWindow(seen));  // gone with its dialog
    EXPECT_EQ(GetActiveWindow(), nullptr);
}

TEST_F(WindowLayer, DialogLeftOpenEndsAsCancelledAndBrokenTemplatesFail)
{
    platform::ui::SetModalHook([](HWND) {});
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(100), nullptr, CALLBACK_Record, 0), IDCANCEL);
    EXPECT_EQ(Of(WM_COMMAND).back().wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, CALLBACK_Record, 0), -1);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, CALLBACK_Record, 0), -1);
}

struct TwoPages {
    HPROPSHEETPAGE pages[2];
    PROPSHEETHEADERW header{};
    TwoPages()
    {
        for (int i = 0; i < 2; ++i) {
            WCHAR title[8] = u"Page ";
            title[5] = static_cast<WCHAR>(u'1' + i);
            PROPSHEETPAGEW page{};
            page.dwSize = sizeof page;
            page.dwFlags = PSP_USETITLE | PSP_HASHELP;
            page.pszTemplate = MAKEINTRESOURCEW(200);
            page.pszTitle = title;  // a local buffer: the sheet keeps its own copy
            page.pfnDlgProc = CALLBACK_Record;
            page.lParam = i;
            pages[i] = CreatePropertySheetPageW(&page);
        }
        header.dwSize = sizeof header;
        header.dwFlags = PSH_HASHELP | PSH_NOAPPLYNOW;
        header.pszCaption = u"Sheet";
        header.nPages = 2;
        header.phpage = pages;
    }
};

std::vector<HWND> PagesNotified(int code)
{
    std::vector<HWND> pages;
    for (const Message& m : Of(WM_NOTIFY))
        if (m.notifyCode == code) pages.push_back(m.window);
    return pages;
}

TEST_F(WindowLayer, SheetCreatesPagesWhenShownAndAppliesThemInOrder)
{
    TwoPages sheet;
    HWND first = nullptr, second = nullptr;
    platform::ui::SetModalHook([&](HWND window) {
        first = reinterpret_cast<HWND>(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0));
        ASSERT_TRUE(first);
        EXPECT_EQ(GetParent(first), window);
        EXPECT_EQ(Of(WM_INITDIALOG).size(), 1u);  // only the start page so far
        auto* tabs = platform::ui::WidgetOf(window)->findChild<QTabWidget*>();
        EXPECT_EQ(tabs->tabText(1), QStringLiteral("Page 2"));
        tabs->setCurrentIndex(1);
        second = reinterpret_cast<HWND>(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0));
        ASSERT_EQ(Of(WM_INITDIALOG).size(), 2u);
        EXPECT_EQ(reinterpret_cast<const PROPSHEETPAGEW*>(Of(WM_INITDIALOG)[1].lParam)->lParam, 1);

        // The second page refuses: the first applied, the sheet stays open on the second.
        applyAnswer = {PSNRET_NOERROR, PSNRET_INVALID};
        tabs->setCurrentIndex(0);
        SendMessageW(window, PSM_PRESSBUTTON, PSBTN_OK, 0);
        EXPECT_EQ(PagesNotified(PSN_APPLY), (std::vector<HWND>{first, second}));
        EXPECT_EQ(tabs->currentIndex(), 1);
        EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0)), second);

        // Help goes to the current page; then OK by mouse closes the sheet.
        SendMessageW(window, PSM_PRESSBUTTON, PSBTN_HELP, 0);
        EXPECT_EQ(PagesNotified(PSN_HELP), std::vector<HWND>{second});
        applyAnswer = {PSNRET_NOERROR, PSNRET_NOERROR};
        messages.clear();
        for (QPushButton* button : platform::ui::WidgetOf(window)->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("OK")) QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(PagesNotified(PSN_APPLY), (std::vector<HWND>{first, second}));
        EXPECT_EQ(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0), 0);  // ended
    });
    EXPECT_EQ(PropertySheetW(&sheet.header), 1);
    EXPECT_FALSE(IsWindow(first));
}

TEST_F(WindowLayer, SheetCancelAndPagesNeverShown)
{
    TwoPages sheet;
    platform::ui::SetModalHook([](HWND window) {
        SendMessageW(window, PSM_PRESSBUTTON, PSBTN_OK, 0);  // only the start page applies
        EXPECT_EQ(PagesNotified(PSN_APPLY).size(), 1u);
    });
    EXPECT_EQ(PropertySheetW(&sheet.header), 1);

    TwoPages again;
    messages.clear();
    // Escape itself ends the sheet, not the layer's ending of a sheet the hook left open.
    bool ended = false;
    platform::ui::SetModalHook([&ended](HWND window) {
        QTest::keyClick(platform::ui::WidgetOf(window), Qt::Key_Escape);
        ended = SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0) == 0;
    });
    EXPECT_EQ(PropertySheetW(&again.header), 0);
    EXPECT_TRUE(ended);
    EXPECT_EQ(PagesNotified(PSN_RESET).size(), 1u);
    EXPECT_TRUE(PagesNotified(PSN_APPLY).empty());
}

TEST_F(WindowLayer, MessageBoxesAndFileDialogsGoThroughTheirHooks)
{
    std::u16string text, caption;
    platform::ui::SetMessageBoxHook([&](HWND, std::u16string_view t, std::u16string_view c, UINT) {
        text = t;
        caption = c;
        return IDOK;
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"Выберите", u"Ошибка", MB_OK), IDOK);
    EXPECT_EQ(text, u"Выберите");
    EXPECT_EQ(caption, u"Ошибка");

    WCHAR path[8] = u"*.BMP";
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.lpstrFile = path;
    request.nMaxFile = 8;
    bool sawSave = true;
    platform::ui::SetFileDialogHook([&](bool save, const OPENFILENAMEW& r, std::u16string& chosen) {
        sawSave = save;
        EXPECT_EQ(std::u16string(r.lpstrFile), u"*.BMP");
        chosen = u"/a/long/picture.bmp";
        return true;
    });
    EXPECT_FALSE(GetOpenFileNameW(&request));  // does not fit: refused, never cut to another name
    EXPECT_FALSE(sawSave);
    request.nMaxFile = 8;
    platform::ui::SetFileDialogHook([](bool, const OPENFILENAMEW&, std::u16string& chosen) {
        chosen = u"/a.bmp";
        return true;
    });
    EXPECT_TRUE(GetOpenFileNameW(&request));
    EXPECT_EQ(std::u16string(path), u"/a.bmp");
    platform::ui::SetFileDialogHook([](bool, const OPENFILENAMEW&, std::u16string&) { return false; });
    EXPECT_FALSE(GetSaveFileNameW(&request));
}

// The file chooser without a hook: Qt's own dialog in Russian (when the system has Qt's Russian
// catalogue), the caller's filter shown once, the caller's initial file text, and the file the
// user accepts handed back.
TEST_F(WindowLayer, TheFileChooserSpeaksRussianAndStartsWithTheCallersText)
{
    const std::string folder = testing::TempDir() + "chooser";
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/picture.BMP";
    std::ofstream(file) << "BM";
    const bool russian =
        std::filesystem::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString() + "/qtbase_ru.qm");
    struct Seen {
        QStringList filters;
        QString fileText, lookIn, fileName, fileType, accept, reject;
    } seen;
    int dialogs = 0;
    platform::ui::SetModalHook([&](HWND window) {
        ++dialogs;
        auto* dialog = qobject_cast<QFileDialog*>(platform::ui::WidgetOf(window));
        ASSERT_NE(dialog, nullptr);
        seen = {dialog->nameFilters(),
                dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text(),
                dialog->labelText(QFileDialog::LookIn),
                dialog->labelText(QFileDialog::FileName),
                dialog->labelText(QFileDialog::FileType),
                dialog->labelText(QFileDialog::Accept),
                dialog->labelText(QFileDialog::Reject)};
        // The user types the file's name and presses Open.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name->setText(QString::fromStdString(file));
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open), Qt::LeftButton);
    });
    WCHAR path[256] = u"*.BMP";
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.lpstrFilter = u"BMP FILE(*.BMP)\0*.BMP\0";
    request.lpstrFile = path;
    request.nMaxFile = 256;
    request.lpstrDefExt = u"BMP";
    EXPECT_TRUE(GetOpenFileNameW(&request));
    ASSERT_EQ(dialogs, 1);
    EXPECT_EQ(std::u16string(path), QString::fromStdString(file).toStdU16String());
    EXPECT_EQ(seen.filters, QStringList{QStringLiteral("BMP FILE(*.BMP)")});
    EXPECT_EQ(seen.fileText, QStringLiteral("*.BMP"));
    if (!russian) GTEST_SKIP() << "Qt's Russian catalogue is not installed";
    const struct {
        const QString& shown;
        const char* english;
    } texts[] = {{seen.lookIn, "Look in:"},
                 {seen.fileName, "File &name:"},
                 {seen.fileType, "Files of type:"},
                 {seen.accept, "&Open"},
                 {seen.reject, "Cancel"}};
    for (const auto& t : texts) {
        // Cyrillic letters, none of the English ones.
        EXPECT_TRUE(
            std::any_of(t.shown.begin(), t.shown.end(), [](QChar c) { return c.script() == QChar::Script_Cyrillic; }))
            << t.english << " shows as " << t.shown.toStdString();
        EXPECT_FALSE(
            std::any_of(t.shown.begin(), t.shown.end(), [](QChar c) { return c.script() == QChar::Script_Latin; }))
            << t.english << " shows as " << t.shown.toStdString();
    }
}

int InsertRow(HWND list, int at, const char16_t* text, LPARAM param)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    item.iItem = at;
    item.pszText = const_cast<LPWSTR>(text);
    item.lParam = param;
    item.iImage = 2;
    return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

std::vector<std::u16string> Texts(HWND list, int column)
{
    std::vector<std::u16string> texts;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        WCHAR text[32] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 32;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        texts.emplace_back(text);
    }
    return texts;
}

// Orders rows by parameter, descending; the data argument is checked to arrive.
int ByParamDescending(LPARAM a, LPARAM b, LPARAM data)
{
    EXPECT_EQ(data, 77);
    return static_cast<int>(b - a);
}

TEST_F(WindowLayer, ListViewsKeepWindowsSemantics)
{
    platform::ui::SetModalHook([](HWND dialog) {
        HWND sorted = GetDlgItem(dialog, 31), plain = GetDlgItem(dialog, 32);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = 60;
        column.pszText = const_cast<LPWSTR>(u"Имя");
        EXPECT_EQ(SendMessageW(sorted, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)), 0);
        column.pszText = const_cast<LPWSTR>(u"Факс");
        EXPECT_EQ(SendMessageW(sorted, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column)), 1);

        // A sorted list puts each row at its place by text, whatever position is asked for.
        EXPECT_EQ(InsertRow(sorted, 0, u"Cid", 2), 0);
        EXPECT_EQ(InsertRow(sorted, 0, u"Ann", 0), 0);
        EXPECT_EQ(InsertRow(sorted, 0, u"Bob", 1), 1);
        EXPECT_EQ(InsertRow(sorted, 9, u"Ann", 6000), 1);  // equal texts: after the earlier one
        EXPECT_EQ(Texts(sorted, 0), (std::vector<std::u16string>{u"Ann", u"Ann", u"Bob", u"Cid"}));
        // An unsorted list takes the position asked for, clamped to the end.
        InsertRow(plain, 0, u"x", 1);
        InsertRow(plain, 0, u"y", 2);
        InsertRow(plain, 7, u"z", 3);
        EXPECT_EQ(Texts(plain, 0), (std::vector<std::u16string>{u"y", u"x", u"z"}));

        // Sub-item texts, find by parameter, focus and selection.
        LVITEMW text{};
        text.iSubItem = 1;
        text.pszText = const_cast<LPWSTR>(u"333");
        SendMessageW(sorted, LVM_SETITEMTEXTW, 3, reinterpret_cast<LPARAM>(&text));
        EXPECT_EQ(Texts(sorted, 1)[3], u"333");
        LVFINDINFOW find{LVFI_PARAM, nullptr, 6000, {0, 0}, 0};
        EXPECT_EQ(SendMessageW(sorted, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)), 1);
        find.lParam = 42;
        EXPECT_EQ(SendMessageW(sorted, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)), -1);
        EXPECT_EQ(SendMessageW(sorted, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), -1);
        LVITEMW state{};
        state.state = state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        SendMessageW(sorted, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
        SendMessageW(sorted, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
        EXPECT_EQ(SendMessageW(sorted, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 0);  // one focus
        EXPECT_EQ(SendMessageW(sorted, LVM_GETNEXTITEM, 0, LVNI_SELECTED), 2);
        LVITEMW get{};
        get.mask = LVIF_PARAM | LVIF_IMAGE | LVIF_STATE;
        get.iItem = 2;
        get.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        ASSERT_TRUE(SendMessageW(sorted, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get)));
        EXPECT_EQ(get.lParam, 1);
        EXPECT_EQ(get.iImage, 2);
        EXPECT_EQ(get.state, LVIS_SELECTED);

        // Sorting by the caller's comparison of parameters; deleting rows.
        EXPECT_TRUE(SendMessageW(sorted, LVM_SORTITEMS, 77, reinterpret_cast<LPARAM>(&ByParamDescending)));
        EXPECT_EQ(Texts(sorted, 0), (std::vector<std::u16string>{u"Ann", u"Cid", u"Bob", u"Ann"}));
        EXPECT_TRUE(SendMessageW(sorted, LVM_DELETEITEM, 0, 0));
        EXPECT_FALSE(SendMessageW(sorted, LVM_DELETEITEM, 9, 0));
        EXPECT_EQ(Texts(sorted, 0), (std::vector<std::u16string>{u"Cid", u"Bob", u"Ann"}));

        // A click focuses and selects the row and notifies the dialog; so do double and right clicks.
        messages.clear();
        auto* view = static_cast<QTreeWidget*>(platform::ui::WidgetOf(sorted));
        const QPoint second = view->visualItemRect(view->topLevelItem(1)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second);
        EXPECT_EQ(SendMessageW(sorted, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 1);
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, second);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, second);
        std::vector<int> codes;
        for (const Message& m : Of(WM_NOTIFY)) codes.push_back(m.notifyCode);
        EXPECT_NE(std::find(codes.begin(), codes.end(), NM_CLICK), codes.end());
        EXPECT_NE(std::find(codes.begin(), codes.end(), NM_RCLICK), codes.end());
        EXPECT_NE(std::find(codes.begin(), codes.end(), NM_DBLCLK), codes.end());
        messages.clear();
        view->header()->sectionClicked(1);
        ASSERT_EQ(Of(WM_NOTIFY).size(), 1u);
        EXPECT_EQ(Of(WM_NOTIFY)[0].notifyCode, LVN_COLUMNCLICK);
        EXPECT_TRUE(SendMessageW(sorted, LVM_DELETEALLITEMS, 0, 0));
        EXPECT_EQ(SendMessageW(sorted, LVM_GETITEMCOUNT, 0, 0), 0);
        EndDialog(dialog, 1);
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(400), nullptr, CALLBACK_Record, 0), 1);
}

}  // namespace
