// The window layer: dialogs, property sheets and controls, message-shaped as the front end's
// dialog procedures expect, drawn by Qt 6 Widgets inside libfaxplatformui.so (the engine's
// processes never link it). A window handle names an entry of the layer's window table.
//
// Dialog templates are resources of type RT_DIALOG in our own text form (UTF-8), one line each:
//     DIALOG <width> <height> "<font>" <points> ["<caption>"]
//     <KIND> <id> <x> <y> <width> <height> [FLAGS...] ["<text>"]
// in dialog units. KIND: LTEXT, RTEXT, CTEXT, GROUPBOX, EDITTEXT, PUSHBUTTON, DEFPUSHBUTTON,
// CHECKBOX (automatic), COMBOBOX (drop-down list), VSCROLL (a spin bar), LISTVIEW (report view).
// FLAGS: HIDDEN, DISABLED, READONLY, NUMBER, AUTOHSCROLL, SORTASCENDING (a list view). A horizontal dialog unit is a quarter of
// the font's average letter width, a vertical one an eighth of its height, as on Windows.
//
// Modal loops (DialogBoxParamW, PropertySheetW, MessageBoxW, the file dialogs) go through hooks
// that tests replace (platform/window_hooks.h), so no test waits for a person.
#pragma once

#include "platform/kernel.h"

// Declarations from here on are the window layer's exports.
#pragma GCC visibility push(default)

typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
FAX_DECLARE_HANDLE(HCURSOR);
FAX_DECLARE_HANDLE(HPROPSHEETPAGE);

#define MAKELONG(a, b) (static_cast<LONG>(static_cast<WORD>(a) | (static_cast<DWORD>(static_cast<WORD>(b)) << 16)))
#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(HIWORD(lp))))

// ---- Messages ----
#define WM_SETTEXT 0x000Cu
#define WM_GETTEXT 0x000Du
#define WM_GETTEXTLENGTH 0x000Eu
#define WM_CLOSE 0x0010u
#define WM_NOTIFY 0x004Eu
#define WM_HELP 0x0053u
#define WM_CONTEXTMENU 0x007Bu
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define WM_VSCROLL 0x0115u
#define WM_USER 0x0400u
#define WM_APP 0x8000u

#define BM_GETCHECK 0x00F0u
#define BM_SETCHECK 0x00F1u
#define BM_CLICK 0x00F5u
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0

#define EM_SETSEL 0x00B1u
#define EM_LIMITTEXT 0x00C5u
#define EM_SETREADONLY 0x00CFu
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300

#define CB_GETCOUNT 0x0146u
#define CB_ADDSTRING 0x0143u
#define CB_GETCURSEL 0x0147u
#define CB_RESETCONTENT 0x014Bu
#define CB_SETCURSEL 0x014Eu
#define CB_ERR (-1)
#define CBN_SELCHANGE 1

#define SB_LINEUP 0
#define SB_LINEDOWN 1

struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};

// WM_HELP's information.
#define HELPINFO_WINDOW 1
struct HELPINFO {
    UINT cbSize;
    int iContextType;
    int iCtrlId;
    HANDLE hItemHandle;
    DWORD_PTR dwContextId;
    POINT MousePos;
};
static_assert(sizeof(HELPINFO) == 40);

// Slots of a dialog window (GetWindowLongPtrW / SetWindowLongPtrW), at pointer width.
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16

// ---- Windows and dialogs ----
// A dialog from the template resource; runs modally (through the modal hook when one is set)
// until EndDialog and returns its result, or -1 when the template is missing or unreadable. The
// dialog procedure receives WM_INITDIALOG with the parameter.
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
// Messages go to the dialog procedure of a dialog or page, or are answered by the control
// (WM_SETTEXT, WM_GETTEXT, BM_*, EM_*, CB_* and the list view's LVM_*). A dialog procedure
// that returns 0 for a message leaves it to the layer's default answer (0).
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
// Queued: delivered by the event loop after the current message (or by the modal hook's
// platform::ui::ProcessPosted).
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND window);
HWND GetParent(HWND window);
BOOL IsWindow(HWND window);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
int GetWindowTextW(HWND window, LPWSTR text, int size);
BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int size);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
BOOL IsWindowVisible(HWND window);
#define SW_HIDE 0
#define SW_SHOW 5
BOOL ShowWindow(HWND window, int command);
HWND SetFocus(HWND window);
HWND GetFocus();
// The modal dialog or sheet on top, or null.
HWND GetActiveWindow();
// Screen coordinates; a top-level window's rectangle is its frame's. A top-level window not yet
// shown has the size its layout asks for.
BOOL GetWindowRect(HWND window, RECT* rect);

// ---- The screen and window places ----
#define ERROR_INVALID_WINDOW_HANDLE 1400L
// The primary screen's width and height in pixels (a desktop of 1024 x 768 when Qt has no
// screen); other indexes give 0.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
int GetSystemMetrics(int index);
// GA_PARENT: a child window's container (null for a dialog or sheet, whose parent is its
// owner); GA_ROOT: the dialog or sheet that holds the window (the window itself when it is one).
#define GA_PARENT 1
#define GA_ROOT 2
HWND GetAncestor(HWND window, UINT flags);
// Moves and sizes a window: a top-level one in screen coordinates, a child in its container's.
// The stacking order is left as it is (the insert-after window is not used).
#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOACTIVATE 0x0010u
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

// Registers the common controls (comctl32's ordinal 17 on the original platform): here it makes
// sure the application object exists.
void InitCommonControls();

#define IDC_ARROW_ID 32512
#define IDC_HAND_ID 32649
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
HCURSOR SetCursor(HCURSOR cursor);

// ---- Painting and the mouse ----
// A dialog or page gets WM_PAINT when Qt paints its widget; between BeginPaint and EndPaint it
// draws with the GDI into a bitmap of the window's client size that starts as the dialog's
// face colour, clipped to the part being painted (rcPaint), and EndPaint puts that part on the
// widget. BeginPaint outside WM_PAINT gives no DC (null, rcPaint empty).
// The mouse over a dialog's own face (not over a control; group boxes let it through, as on
// Windows) gives WM_MOUSEMOVE, WM_LBUTTONDOWN / UP and WM_RBUTTONDOWN / UP with the key state
// in wParam and the client position in lParam; a dialog has no double-click messages, so a
// second press is another button-down.
#define WM_PAINT 0x000Fu
#define WM_MOUSEMOVE 0x0200u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_RBUTTONDOWN 0x0204u
#define WM_RBUTTONUP 0x0205u
#define MK_LBUTTON 0x0001u
#define MK_RBUTTON 0x0002u
#define MK_SHIFT 0x0004u
#define MK_CONTROL 0x0008u
#define MK_MBUTTON 0x0010u

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
static_assert(sizeof(PAINTSTRUCT) == 72);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// Adds the rectangle (the whole client area for null) to the window's update region; the paint
// comes from the event loop, or at once from UpdateWindow.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
// Paints the window's update region now when it has one and the window shows.
BOOL UpdateWindow(HWND window);
// (0, 0, width, height) of the window.
BOOL GetClientRect(HWND window, RECT* rect);
BOOL ScreenToClient(HWND window, POINT* point);

// ---- Message boxes ----
#define MB_OK 0x0u
#define MB_OKCANCEL 0x1u
#define MB_ICONERROR 0x10u
#define IDOK 1
#define IDCANCEL 2
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// ---- Common file dialogs ----
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u
#define OFN_LONGNAMES 0x00200000u
struct OPENFILENAMEW {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;  // pairs of description and pattern, ended by an empty text
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPWSTR lpstrFile;  // in: the initial text; out: the chosen path
    DWORD nMaxFile;
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCWSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
};
static_assert(sizeof(OPENFILENAMEW) == 152);
// 1 when the user chose a file (written to lpstrFile), 0 otherwise, also when the chosen path does
// not fit nMaxFile - 1 units.
BOOL GetOpenFileNameW(OPENFILENAMEW* ofn);
BOOL GetSaveFileNameW(OPENFILENAMEW* ofn);

// ---- Property sheets ----
#define PSP_DLGINDIRECT 0x00000001u
#define PSP_USETITLE 0x00000008u
#define PSP_HASHELP 0x00000020u
#define PSH_HASHELP 0x00000200u
#define PSH_NOAPPLYNOW 0x00000080u

struct PROPSHEETPAGEW;
typedef UINT (*LPFNPSPCALLBACKW)(HWND, UINT, PROPSHEETPAGEW*);
// The version with the header-title members.
struct PROPSHEETPAGEW {
    DWORD dwSize;
    DWORD dwFlags;
    HINSTANCE hInstance;
    LPCWSTR pszTemplate;
    HANDLE hIcon;
    LPCWSTR pszTitle;
    DLGPROC pfnDlgProc;
    LPARAM lParam;
    LPFNPSPCALLBACKW pfnCallback;
    UINT* pcRefParent;
    LPCWSTR pszHeaderTitle;
    LPCWSTR pszHeaderSubTitle;
};
static_assert(sizeof(PROPSHEETPAGEW) == 88);

typedef int (*PFNPROPSHEETCALLBACK)(HWND, UINT, LPARAM);
// The version with the watermark and header-bitmap members.
struct PROPSHEETHEADERW {
    DWORD dwSize;
    DWORD dwFlags;
    HWND hwndParent;
    HINSTANCE hInstance;
    HANDLE hIcon;
    LPCWSTR pszCaption;
    UINT nPages;
    UINT nStartPage;
    HPROPSHEETPAGE* phpage;
    PFNPROPSHEETCALLBACK pfnCallback;
    HBITMAP hbmWatermark;
    HPALETTE hplWatermark;
    HBITMAP hbmHeader;
};
static_assert(sizeof(PROPSHEETHEADERW) == 88);

struct PSHNOTIFY {
    NMHDR hdr;
    LPARAM lParam;
};
#define PSN_SETACTIVE (-200)
#define PSN_KILLACTIVE (-201)
#define PSN_APPLY (-202)
#define PSN_RESET (-203)
#define PSN_HELP (-205)
#define PSNRET_NOERROR 0
#define PSNRET_INVALID 1

#define PSM_SETCURSEL (WM_USER + 101)
#define PSM_PRESSBUTTON (WM_USER + 112)
#define PSM_GETCURRENTPAGEHWND (WM_USER + 118)  // null once the sheet has ended
#define PSBTN_OK 3
#define PSBTN_CANCEL 5
#define PSBTN_HELP 6

// Copies the description; the strings and template it names must outlive the page.
HPROPSHEETPAGE CreatePropertySheetPageW(const PROPSHEETPAGEW* page);
BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page);
// Runs the sheet modally. Pages are created when first shown (the start page at once) and get
// WM_INITDIALOG with their copied description. OK sends PSN_APPLY to every created page in page
// order and stops at the first that answers PSNRET_INVALID (the sheet stays open on that page);
// when all accept, the sheet closes and returns 1. Cancel sends PSN_RESET and returns 0; a sheet
// that cannot be built returns -1. Help sends PSN_HELP to the current page; F1 on a control sends
// WM_HELP and a right click WM_CONTEXTMENU to the page that holds it. The page descriptions are
// destroyed with the sheet.
INT_PTR PropertySheetW(const PROPSHEETHEADERW* header);

// ---- List views ----
// Report views over the layer's own model, with Windows' list-view semantics: rows with a text
// per column, a picture index, a parameter and state bits; a list made with SORTASCENDING in its
// template inserts each row at its place by the text of column 0 (lstrcmpW), whatever position
// was asked for; LVM_SORTITEMS orders the rows by the caller's comparison of their parameters.
// Clicks reach the dialog as NM_CLICK, NM_DBLCLK, NM_RCLICK (a click also focuses and selects the
// row), a header click as LVN_COLUMNCLICK. Each row shows its picture (iImage) from the small
// image list in column 0; a picture index outside the list shows none. The list view does not
// own its image lists (the caller destroys them, after the list view or not at all); a list
// destroyed while set leaves its rows without pictures.
#define LVM_SETIMAGELIST 0x1003u
#define LVM_GETITEMCOUNT 0x1004u
#define LVM_DELETEITEM 0x1008u
#define LVM_DELETEALLITEMS 0x1009u
#define LVM_GETNEXTITEM 0x100Cu
#define LVM_SETITEMSTATE 0x102Bu
#define LVM_GETITEMSTATE 0x102Cu
#define LVM_SORTITEMS 0x1030u
#define LVM_GETITEMW 0x104Bu
#define LVM_SETITEMW 0x104Cu
#define LVM_INSERTITEMW 0x104Du
#define LVM_FINDITEMW 0x1053u
#define LVM_INSERTCOLUMNW 0x1061u
#define LVM_GETITEMTEXTW 0x1073u
#define LVM_SETITEMTEXTW 0x1074u

#define LVSIL_NORMAL 0
#define LVSIL_SMALL 1
#define LVSIL_STATE 2

#define LVIF_TEXT 0x0001u
#define LVIF_IMAGE 0x0002u
#define LVIF_PARAM 0x0004u
#define LVIF_STATE 0x0008u
#define LVIS_FOCUSED 0x0001u
#define LVIS_SELECTED 0x0002u
#define LVIS_CUT 0x0004u
#define LVIS_DROPHILITED 0x0008u
#define LVNI_ALL 0x0000u
#define LVNI_FOCUSED 0x0001u
#define LVNI_SELECTED 0x0002u
#define LVFI_PARAM 0x0001u
#define LVCF_WIDTH 0x0002u
#define LVCF_TEXT 0x0004u
#define LVCF_SUBITEM 0x0008u

#define NM_CLICK (-2)
#define NM_DBLCLK (-3)
#define NM_RCLICK (-5)
#define NM_RDBLCLK (-6)
#define LVN_COLUMNCLICK (-108)

struct LVITEMW {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
    int iIndent;
    int iGroupId;
    UINT cColumns;
    UINT* puColumns;
    int* piColFmt;
    int iGroup;
};
struct LVCOLUMNW {
    UINT mask;
    int fmt;
    int cx;
    LPWSTR pszText;
    int cchTextMax;
    int iSubItem;
    int iImage;
    int iOrder;
    int cxMin;
    int cxDefault;
    int cxIdeal;
};
struct LVFINDINFOW {
    UINT flags;
    LPCWSTR psz;
    LPARAM lParam;
    POINT pt;
    UINT vkDirection;
};
// NM_CLICK and the other clicks carry the row; LVN_COLUMNCLICK the column in iSubItem.
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
    UINT uKeyFlags;
};
typedef int (*PFNLVCOMPARE)(LPARAM, LPARAM, LPARAM);

// ---- Image lists ----
// A list of pictures of one size, cx x cy, kept in 24-bit colour whatever the colour flag asks.
// Masks are not kept: ILC_MASK and a mask bitmap are accepted and ignored, and a picture is drawn
// whole. The list grows as pictures are added (the initial and growth counts only reserve room).
FAX_DECLARE_HANDLE(HIMAGELIST);
#define ILC_MASK 0x0001u
#define ILC_COLOR 0x0000u
#define ILC_COLOR4 0x0004u
#define ILC_COLOR8 0x0008u
#define ILC_COLOR16 0x0010u
#define ILC_COLOR24 0x0018u
#define ILC_COLOR32 0x0020u
// Null (ERROR_INVALID_PARAMETER) for a size that is not positive or above 256 x 256.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
// Cuts the bitmap into pictures of the list's size, left to right (bitmap width / cx of them,
// the top cy rows; rows the bitmap lacks are black) and appends them. Returns the index of the
// first new picture; -1 for an unknown list, a bitmap that is not one, narrower than cx or
// selected into a device context.
int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask);
// 0 for an unknown list.
int ImageList_GetImageCount(HIMAGELIST list);
// FALSE for an unknown or already destroyed list.
BOOL ImageList_Destroy(HIMAGELIST list);

// ---- HTML help ----
#define HH_DISPLAY_TEXT_POPUP 0x000E
#define HH_HELP_CONTEXT 0x000F
#define HH_TP_HELP_WM_HELP 0x0011
struct HH_POPUP {
    int cbStruct;
    HINSTANCE hinst;
    UINT idString;
    LPCWSTR pszText;
    POINT pt;
    COLORREF clrForeground;
    COLORREF clrBackground;
    RECT rcMargins;
    LPCWSTR pszFont;
};
static_assert(sizeof(HH_POPUP) == 72);

#pragma GCC visibility pop
