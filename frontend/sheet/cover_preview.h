// The cover page's live miniature on the cover-page page: the fax pages as a page image and, with
// a style chosen, the cover page in front of them with its folded corner, the template style and
// the inserted picture.
#pragma once

#include <ctime>
#include <string>

#include "frontend/common/cover_template.h"
#include "frontend/sheet/sheet_state.h"

inline constexpr COLORREF kPreviewFace = 0x00F0F0F0;  // the button face around the pages
inline constexpr int kPreviewArea = 3001;  // the hidden control whose place the miniature takes

// Draws the miniature again after a change of the settings into the state's working bitmap of
// the preview area's size, whether the page shows or not (the settings keep what it placed), and
// paints it on the page at once.
void CoverPreviewRedraw(HWND page, FaxSheetState* state);
// Paints the miniature into dc over the area (0, 0)-(width, height). Keeps the cover page and
// picture rectangles in the settings and pulls the picture's scale back to the largest that fits.
// The date and time shown are now's, the current local time when null.
void CoverPreviewRender(HDC dc, SIZE area, FaxSheetState* state, const std::tm* now = nullptr);
// The preview area (control 3001) in the page's coordinates; false when it has no size.
bool CoverPreviewArea(HWND page, RECT* area);
// The page's WM_PAINT: the working bitmap at the preview area's place.
void CoverPagePreviewPaint(HWND page, FaxSheetState* state);
// The page's WM_LBUTTONDOWN, WM_MOUSEMOVE and WM_LBUTTONUP: dragging the picture into place,
// which sets the X and Y edits.
void CoverPreviewMouse(HWND page, FaxSheetState* state, UINT message, WPARAM keys, LPARAM at);
// The date and time, sender and receiver blocks on the template's working page, in the label
// font the style drawing measured.
void CoverPreviewBlocksDraw(HDC dc, const RECT& page, const CoverPageMarks& marks, FaxSheetState* state, int pageClass,
                            const std::tm& now);
// "<driver folder><prefix>CP.INI".
std::u16string CoverTemplatePath(const FaxSheetState* state);
