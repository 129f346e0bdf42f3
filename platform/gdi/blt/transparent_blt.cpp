// TransparentBlt: a stretched source copy that leaves out pixels of one colour.
#include "../gdi_internal.h"
#include "platform/kernel.h"

using namespace gdi;

BOOL TransparentBlt(HDC dstHandle, int x, int y, int width, int height, HDC srcHandle, int srcX, int srcY, int srcWidth,
                    int srcHeight, UINT transparent)
{
    Dc* dst = Get<Dc>(dstHandle);
    Dc* src = Get<Dc>(srcHandle);
    if (!dst || !src) return FALSE;
    DcLock calls(dst, src);
    if (width < 0 || height < 0 || srcWidth < 0 || srcHeight < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BltRequest rq;
    rq.dst = dst;
    rq.rop = 0xCC;
    rq.ropBack = 0xAA;
    rq.transparent = true;
    rq.transparentColor = transparent & 0xFFFFFF;
    rq.hasSource = true;
    rq.src.dib = &src->bitmap->dib;
    rq.src.dc = src;
    if (!MapRect(*dst, x, y, width, height, rq.x, rq.y, rq.width, rq.height) ||
        !MapRect(*src, srcX, srcY, srcWidth, srcHeight, rq.src.x, rq.src.y, rq.src.width, rq.src.height))
        return FALSE;
    return BltRun(rq) ? TRUE : FALSE;
}
