// StretchDIBits: a caller's DIB (any format, run-length data included) stretched into a DC.
#include "../gdi_internal.h"
#include "platform/kernel.h"

using namespace gdi;

int StretchDIBits(HDC handle, int x, int y, int width, int height, int srcX, int srcY, int srcWidth, int srcHeight,
                  const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop)
{
    DcCall dc(handle);
    if (!dc) return 0;
    if (usage != DIB_RGB_COLORS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    BltRequest rq;
    rq.dst = dc;
    rq.rop = rq.ropBack = uint8_t(rop >> 16);
    rq.brush = dc->brush;
    if (!MapRect(*dc, x, y, width, height, rq.x, rq.y, rq.width, rq.height)) return 0;
    Dib source;
    if (RopNeedsSource(rq.rop)) {
        if (!DibFromPacked(info, bits, source)) return 0;
        // A bottom-up DIB's source rectangle is measured from its lower-left corner.
        int64_t top = srcY;
        if (!source.topDown) top = int64_t(source.height) - srcY - srcHeight;
        rq.hasSource = true;
        rq.src.dib = &source;
        rq.src.x = srcX;
        rq.src.y = top;
        rq.src.width = srcWidth;
        rq.src.height = srcHeight;
    }
    if (!BltRun(rq)) return 0;
    return srcHeight < 0 ? -srcHeight : srcHeight;
}
