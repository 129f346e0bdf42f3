// The cover page's live miniature on the cover-page page.
#pragma once

#include "frontend/sheet/sheet_state.h"

// Draws the miniature again after a change of the settings.
void CoverPreviewRedraw(HWND page, FaxSheetState* state);
// "<driver folder><prefix>CP.INI".
std::u16string CoverTemplatePath(const FaxSheetState* state);
