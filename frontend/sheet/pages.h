// The sheet's two pages. Here they carry what the sheet itself relies on (the state in the page,
// the not-applied flags, the apply rules, the page texts and context help); the lists of the send
// page and the cover-page controls and preview build on these procedures.
#pragma once

#include "frontend/sheet/sheet_state.h"

INT_PTR SendListPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CoverPagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// PSN_APPLY of each page: 0 after handing over to the save, PSNRET_INVALID (with the page's
// message) when the page refuses.
LRESULT SendListPageApply(HWND page, FaxSheetState* state);
LRESULT CoverPagePageApply(HWND page, FaxSheetState* state);

// Counts the receivers, shows the counter and enables the add and remove buttons.
void SendCountUpdate(HWND page, FaxSheetState* state);
// 1 when group k of the address book may join the send list, else 0 after message 8502.
int SendListLimitCheck(HWND page, FaxSheetState* state, int groupIndex);

// Sets the three flags a style decides from their check boxes (or clears them without a cover
// page), enables the controls that follow them and redraws the preview.
void CoverPagePageEnable(HWND page, FaxSheetState* state);
// Dialog 3100; its parameter is the sheet state.
INT_PTR SenderInfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr UINT kCoverPageSubjectFocus = WM_APP + 45;
// Sets each control's text from the string table: {control id, string id} pairs.
struct PageText {
    int controlId;
    UINT stringId;
};
void PageTextsSet(HWND page, HMODULE module, const PageText* texts, size_t count, int room);
