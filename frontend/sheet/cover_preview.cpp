#include "frontend/sheet/cover_preview.h"

std::u16string CoverTemplatePath(const FaxSheetState* state)
{
    return std::u16string(state->driverFolder) + state->prefix + u"CP.INI";
}

void CoverPreviewRedraw(HWND, FaxSheetState*) {}
