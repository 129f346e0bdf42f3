// GetTextMetricsA/W and GetTextExtentPoint32A/W, in the DC's logical units.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "font_internal.h"
#include "platform/kernel.h"

using namespace gdi;

namespace {

LONG Logical(double device, double scale) { return LONG(std::lround(device / scale)); }

BOOL Metrics(HDC handle, TEXTMETRICW& tm)
{
    DcCall dc(handle);
    Font* font = DcAndFont(dc);
    if (!font) return FALSE;
    SizedFont sized(*font, *dc);
    if (!sized.ok()) return FALSE;
    const FontScale& s = sized.scale();
    FT_Face face = font->face;
    const LOGFONTW& log = font->log;
    const double upem = face->units_per_EM ? face->units_per_EM : 1000;
    const double perUnitY = s.em / upem, perUnitX = font->sizedX / 64.0 / upem;
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const bool hasOs2 = os2 && os2->version != 0xFFFF;
    tm = TEXTMETRICW{};
    tm.tmAscent = Logical(s.ascent, s.yScale);
    tm.tmDescent = Logical(s.descent, s.yScale);
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max<LONG>(0, tm.tmHeight - Logical(s.em, s.yScale));
    const double cell = hasOs2 && os2->usWinAscent + os2->usWinDescent > 0
                            ? double(os2->usWinAscent) + os2->usWinDescent
                            : double(face->ascender) - face->descender;
    const double line = face->height;  // ascender - descender + line gap
    tm.tmExternalLeading = std::max<LONG>(0, Logical((line - cell) * perUnitY, s.yScale));
    const double average = hasOs2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : upem / 2;
    tm.tmAveCharWidth = Logical(average * perUnitX, s.xScale);
    tm.tmMaxCharWidth = Logical(double(face->bbox.xMax - face->bbox.xMin) * perUnitX, s.xScale);
    tm.tmWeight =
        font->embolden || log.lfWeight == 0 ? (log.lfWeight ? log.lfWeight : font->faceWeight) : font->faceWeight;
    tm.tmOverhang = 0;
    tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = hasOs2 ? os2->usFirstCharIndex : 0x20;
    tm.tmLastChar = hasOs2 ? os2->usLastCharIndex : 0xFFFF;
    tm.tmDefaultChar = hasOs2 && os2->version >= 2 ? os2->usDefaultChar : 0;
    tm.tmBreakChar = hasOs2 && os2->version >= 2 && os2->usBreakChar ? os2->usBreakChar : 0x20;
    tm.tmItalic = log.lfItalic ? 255 : 0;
    tm.tmUnderlined = log.lfUnderline ? 255 : 0;
    tm.tmStruckOut = log.lfStrikeOut ? 255 : 0;
    tm.tmPitchAndFamily = BYTE(TMPF_VECTOR | (FT_IS_SFNT(face) ? TMPF_TRUETYPE : 0) |
                               (FT_IS_FIXED_WIDTH(face) ? 0 : TMPF_FIXED_PITCH) | (log.lfPitchAndFamily & 0xF0));
    tm.tmCharSet = log.lfCharSet;
    return TRUE;
}

BOOL Extent(HDC handle, const WCHAR* text, size_t count, LPSIZE size)
{
    if (!size || (count && !text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DcCall dc(handle);
    Font* font = DcAndFont(dc);
    if (!font) return FALSE;
    SizedFont sized(*font, *dc);
    if (!sized.ok()) return FALSE;
    TextRun run;
    try {
        TextRunLayout(sized, text, count, false, nullptr, run);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const FontScale& s = sized.scale();
    const double along = (run.advance.x * s.cos - run.advance.y * s.sin) / 64.0;
    size->cx = Logical(along, s.xScale);
    size->cy = Logical(s.ascent, s.yScale) + Logical(s.descent, s.yScale);
    return TRUE;
}

}  // namespace

BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics)
{
    if (!metrics) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Metrics(dc, *metrics);
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics)
{
    TEXTMETRICW wide;
    if (!metrics) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!Metrics(dc, wide)) return FALSE;
    std::memcpy(metrics, &wide, offsetof(TEXTMETRICW, tmFirstChar));
    metrics->tmFirstChar = BYTE(std::min<WCHAR>(wide.tmFirstChar, 255));
    metrics->tmLastChar = BYTE(std::min<WCHAR>(wide.tmLastChar, 255));
    metrics->tmDefaultChar = BYTE(std::min<WCHAR>(wide.tmDefaultChar, 255));
    metrics->tmBreakChar = BYTE(std::min<WCHAR>(wide.tmBreakChar, 255));
    metrics->tmItalic = wide.tmItalic;
    metrics->tmUnderlined = wide.tmUnderlined;
    metrics->tmStruckOut = wide.tmStruckOut;
    metrics->tmPitchAndFamily = wide.tmPitchAndFamily;
    metrics->tmCharSet = wide.tmCharSet;
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size)
{
    if (count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Extent(dc, text, size_t(count), size);
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size)
{
    if (count < 0 || (count && !text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string wide;
    try {
        wide = NarrowTextToWide(text, size_t(count), false);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return Extent(dc, wide.data(), wide.size(), size);
}
