// PatBlt, FillRect, BitBlt, StretchBlt and MaskBlt: logical rectangles mapped to the device and
// handed to the raster core.
#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

uint8_t RopCode(DWORD rop) { return uint8_t(rop >> 16); }

bool Stretch(HDC dstHandle, int x, int y, int w, int h, HDC srcHandle, int sx, int sy, int sw, int sh, uint8_t fore,
             uint8_t back, const Dib* mask, int maskX, int maskY)
{
    Dc* dst = Get<Dc>(dstHandle);
    if (!dst) return false;
    const bool needsSource = RopNeedsSource(fore) || (mask && RopNeedsSource(back));
    Dc* src = needsSource ? Get<Dc>(srcHandle) : nullptr;
    if (needsSource && !src) return false;
    DcLock calls(dst, src);
    BltRequest rq;
    rq.dst = dst;
    rq.rop = fore;
    rq.ropBack = back;
    rq.mask = mask;
    rq.maskX = maskX;
    rq.maskY = maskY;
    rq.brush = dst->brush;
    if (!MapRect(*dst, x, y, w, h, rq.x, rq.y, rq.width, rq.height)) return false;
    if (src) {
        rq.hasSource = true;
        rq.src.dib = &src->bitmap->dib;
        rq.src.dc = src;
        if (!MapRect(*src, sx, sy, sw, sh, rq.src.x, rq.src.y, rq.src.width, rq.src.height)) return false;
    }
    return BltRun(rq);
}

}  // namespace
}  // namespace gdi

using namespace gdi;

BOOL PatBlt(HDC handle, int x, int y, int width, int height, DWORD rop)
{
    uint8_t code = RopCode(rop);
    if (RopNeedsSource(code)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Stretch(handle, x, y, width, height, nullptr, 0, 0, 0, 0, code, code, nullptr, 0, 0) ? TRUE : FALSE;
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brushHandle)
{
    DcCall dc(handle);
    if (!dc) return 0;
    Brush* brush = Get<Brush>(brushHandle);
    if (!brush) return 0;
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (rect->right <= rect->left || rect->bottom <= rect->top) return 1;
    BltRequest rq;
    rq.dst = dc;
    rq.rop = rq.ropBack = 0xF0;
    rq.brush = brush;
    if (!MapRect(*dc, rect->left, rect->top, int64_t(rect->right) - rect->left, int64_t(rect->bottom) - rect->top, rq.x,
                 rq.y, rq.width, rq.height))
        return 0;
    return BltRun(rq) ? 1 : 0;
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop)
{
    uint8_t code = RopCode(rop);
    return Stretch(dst, x, y, width, height, src, srcX, srcY, width, height, code, code, nullptr, 0, 0) ? TRUE : FALSE;
}

BOOL StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth, int srcHeight,
                DWORD rop)
{
    uint8_t code = RopCode(rop);
    return Stretch(dst, x, y, width, height, src, srcX, srcY, srcWidth, srcHeight, code, code, nullptr, 0, 0) ? TRUE
                                                                                                              : FALSE;
}

BOOL MaskBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, HBITMAP maskHandle, int maskX,
             int maskY, DWORD rop)
{
    uint8_t fore = RopCode(rop), back = uint8_t(rop >> 24);
    if (!maskHandle) return BitBlt(dst, x, y, width, height, src, srcX, srcY, rop);
    Bitmap* mask = Get<Bitmap>(maskHandle);
    if (!mask) return FALSE;
    if (mask->dib.bpp != 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Stretch(dst, x, y, width, height, src, srcX, srcY, width, height, fore, back, &mask->dib, maskX, maskY)
               ? TRUE
               : FALSE;
}
