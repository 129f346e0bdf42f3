// Device-mode arithmetic: merging a caller's changes and the page a mode describes.
#include "print_internal.h"

namespace platform {

void PrinterModeMerge(DEVMODEW* mode, const DEVMODEW& input)
{
    const DWORD fields = input.dmFields;
    if (fields & DM_ORIENTATION) mode->dmOrientation = input.dmOrientation;
    if (fields & DM_PAPERSIZE) mode->dmPaperSize = input.dmPaperSize;
    if (fields & DM_PAPERLENGTH) mode->dmPaperLength = input.dmPaperLength;
    if (fields & DM_PAPERWIDTH) mode->dmPaperWidth = input.dmPaperWidth;
    if (fields & DM_PRINTQUALITY) mode->dmPrintQuality = input.dmPrintQuality;
    if (fields & DM_YRESOLUTION) mode->dmYResolution = input.dmYResolution;
    if (fields & DM_COLOR) mode->dmColor = input.dmColor;
    mode->dmFields |= fields & (DM_ORIENTATION | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH | DM_PRINTQUALITY |
                                DM_YRESOLUTION | DM_COLOR);
}

SIZE PrinterModePage(const DEVMODEW& mode)
{
    // Paper in tenths of a millimetre: explicit sides win over the named size.
    int64_t across = mode.dmPaperSize == DMPAPER_LETTER ? 2159 : 2100;
    int64_t down = mode.dmPaperSize == DMPAPER_LETTER ? 2794 : 2970;
    if ((mode.dmFields & DM_PAPERWIDTH) && mode.dmPaperWidth > 0) across = mode.dmPaperWidth;
    if ((mode.dmFields & DM_PAPERLENGTH) && mode.dmPaperLength > 0) down = mode.dmPaperLength;
    const int64_t dpiY = mode.dmYResolution > 0 ? mode.dmYResolution : 200;
    const int64_t dpiX = mode.dmPrintQuality > 0 ? mode.dmPrintQuality : dpiY;
    if (mode.dmOrientation == DMORIENT_LANDSCAPE) {
        const int64_t side = across;
        across = down;
        down = side;
    }
    return SIZE{static_cast<LONG>(across * dpiX / 254), static_cast<LONG>(down * dpiY / 254)};
}

}  // namespace platform
