// The cover page's live miniature on the cover-page page: the fax pages as a page image and, with
// a style chosen, the cover page in front of them with its folded corner, the template style and
// the inserted picture.
#pragma once

#include "frontend/sheet/sheet_state.h"

inline constexpr COLORREF kPreviewFace = 0x00F0F0F0;  // the button face around the pages

// Draws the miniature again after a change of the settings, into the state's working bitmap
// of the preview area's size (control 3001).
void CoverPreviewRedraw(HWND page, FaxSheetState* state);
// Paints the miniature into dc over the area (0, 0)-(width, height): the work of a paint. Keeps
// the cover page and picture rectangles in the settings and pulls the picture's scale back to
// the largest that fits.
void CoverPreviewRender(HDC dc, SIZE area, FaxSheetState* state);
// "<driver folder><prefix>CP.INI".
std::u16string CoverTemplatePath(const FaxSheetState* state);
