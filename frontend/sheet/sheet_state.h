// Velmora's sending sheet: the state both pages share, its load and save, and the sheet's run.
#pragma once

#include "frontend/common/records.h"
#include "platform/gdi.h"
#include "platform/window.h"

// One per run of the sheet, zero-filled on the process heap. Every array is a process-heap block
// that grows one record at a time; its heap size, not its count, bounds a record's removal.
struct FaxSheetState {
    HMODULE module;
    HWND sendPage;
    HWND coverPage;
    int32_t sendPageNotApplied;
    int32_t coverPageNotApplied;
    HDC previewDC;
    HBITMAP previewBitmap;
    HBRUSH whiteBrush;
    HBRUSH faceBrush;
    HPEN blackPen;
    HPEN facePen;
    HCURSOR handCursor;
    HCURSOR savedCursor;
    int16_t focusedRow;
    int16_t focusedRowKind;
    HBITMAP portraitPicture;
    HBITMAP landscapePicture;
    BYTE* picture;
    int32_t picturePaletteBytes;
    CountValue* count;
    ContactRecord* contacts;
    ContactRecord* typed;
    ContactRecord* sendList;
    GroupRecord* chosenGroups;
    GroupRecord* chosenGroupsAsChosen;
    GroupRecord* groups;
    ContactRecord* allContacts;
    int16_t contactsCount;
    int16_t typedCount;
    int16_t sendListCount;
    int16_t groupsCount;
    int16_t chosenGroupsCount;
    int16_t allContactsCount;
    CoverPageSettings* settings;
    WCHAR driverFolder[260];
    WCHAR prefix[32];
    HANDLE pictureDrawing;
    int32_t receiverTotal;
    int32_t pictureFitScale;
};

// The sheet's pages, in page order; the table ends with a template id of -1.
struct FaxSheetPage {
    int templateId;
    UINT titleId;
    DLGPROC proc;
};
extern const FaxSheetPage kFaxSheetPages[];

inline constexpr UINT kStringSheetCaption = 8042;
inline constexpr UINT kStringErrorCaption = 8068;
inline constexpr int kReceiverLimit = 50;

// The library's own module handle, kept when the library is loaded.
HMODULE VelmoraModule();

INT_PTR FaxSheetRun(HWND owner, HMODULE module);
HPROPSHEETPAGE FaxSheetPageCreate(HMODULE module, int templateId, UINT titleId, DLGPROC proc, FaxSheetState* state);
// The state of a page, kept by WM_INITDIALOG in its DWLP_USER slot (index 0 send, 1 cover page).
void PageStateAttach(HWND page, const PROPSHEETPAGEW* description, int pageIndex);
inline FaxSheetState* PageState(HWND page)
{
    return reinterpret_cast<FaxSheetState*>(GetWindowLongPtrW(page, DWLP_USER));
}

// Mode 1 saves, anything else opens; out has room for 260 characters and is empty when the
// user chose nothing.
void FileNameChoose(HWND owner, LPCWSTR filter, LPCWSTR defaultExtension, int mode, LPWSTR out);

void FaxSheetStateLoad(FaxSheetState* state);
// A page's apply: clears its flag; once no opened page waits, builds the receivers and writes
// "CoverPagePout", "CountPout" and the receivers file. Returns true when it wrote.
bool FaxSheetStateSave(FaxSheetState* state, int pageIndex);
// Frees the state and every block it owns (after the sheet returns, whether it saved or not).
void FaxSheetStateFree(FaxSheetState* state);
// Appends the typed receivers and the members of the chosen groups to the send list and returns
// the receiver count, which becomes the count record's contact count.
int SendListBuild(FaxSheetState* state);
// The receivers the send list reaches (typed, members of chosen groups, moved contacts), kept
// as the state's receiver total.
int FaxSheetReceiverTotal(FaxSheetState* state);
// A message box captioned "Ошибка" with the string's text and an OK button.
void FaxSheetError(HWND owner, HMODULE module, UINT stringId);
