#include <utility>

#include "engine/stretch/stretch_blt.h"

namespace {

int BlockOf(RasterRop3 rop)
{
    if (rop == Rop3SrcCopy) return 0;
    if (rop == Rop3NotSrcCopy) return 1;
    if (rop == Rop3SrcPaint) return 2;
    return 3;
}

// The format group, or -1 for a pairing whose pixel sizes no group reads and writes: routing
// those to a group of other sizes would read or write beyond the caller's rows.
int GroupOf(int32_t sourceBpp, bool palette, int32_t destBpp)
{
    if (palette && sourceBpp <= 8) {
        int base;
        switch (sourceBpp) {
            case 1: base = StretchGroupPal1To32; break;
            case 8: base = StretchGroupPal8To32; break;
            case 4: base = StretchGroupPal4To32; break;
            default: return -1;
        }
        switch (destBpp) {
            case 32: return base;
            case 8: return base + 1;
            case 24: return base + 2;
            default: return -1;
        }
    }
    switch (sourceBpp) {
        case 1: return destBpp == 1 ? StretchGroup1To1 : -1;
        case 4: return destBpp == 4 ? StretchGroup4To4 : -1;
        case 8: return destBpp == 8 ? StretchGroup8To8 : -1;
        case 16:
            if (destBpp == 24) return StretchGroup16To24;
            return destBpp == 16 ? StretchGroup16To16 : -1;
        case 24: return destBpp == 24 ? StretchGroup24To24 : -1;
        case 32:
            if (destBpp == 32) return StretchGroup32To32;
            return destBpp == 24 ? StretchGroup32To24 : -1;
        default: return -1;
    }
}

}  // namespace

// (extents differ ? 1 : 0) | (destination smaller ? 2 : 0), in 64 bits so that no extent wraps.
StretchScaleMode StretchScaleModeOf(int64_t destExtent, int64_t sourceExtent)
{
    if (destExtent == sourceExtent) return StretchSame;
    return destExtent > sourceExtent ? StretchGrow : StretchShrink;
}

int StretchKernelSelect(const BltBitmap* dest, const BltBitmap* source, const RECT* destRect, RasterRop3 rop,
                        uint32_t xMirror)
{
    if (!dest || !source || !destRect) return -1;
    if (source->width <= 0 || source->height == 0) return -1;
    const int group = GroupOf(source->bpp, source->palette != nullptr, dest->bpp);
    if (group < 0) return -1;
    const StretchScaleMode xMode = StretchScaleModeOf(int64_t(destRect->right) - destRect->left, source->width);
    const int member = (xMode == StretchSame ? 0 : xMode == StretchGrow ? 2 : 4) + (xMirror ? 1 : 0);
    return BlockOf(rop) * kStretchGroupCount * kStretchMemberCount + group * kStretchMemberCount + member;
}

void RasterStretchBlt(const BltBitmap* dest, const BltBitmap* source, const void* reserved, RECT* destRect,
                      const RECT* clips, int32_t count, RasterRop3 rop, uint32_t reserved2)
{
    (void)reserved;
    (void)reserved2;
    if (!dest || !source || !destRect) return;
    uint32_t yMirror = 0;
    uint32_t xMirror = 0;
    if (destRect->bottom < destRect->top) {
        std::swap(destRect->top, destRect->bottom);
        yMirror = 1;
    }
    if (destRect->right < destRect->left) {
        std::swap(destRect->left, destRect->right);
        xMirror = 1;
    }
    const int index = StretchKernelSelect(dest, source, destRect, rop, xMirror);
    if (index >= 0) {
        const StretchScaleMode xMode = StretchScaleModeOf(int64_t(destRect->right) - destRect->left, source->width);
        // The height as stored: a bottom-up source given with a negative height counts as taller.
        const StretchScaleMode yMode = StretchScaleModeOf(int64_t(destRect->bottom) - destRect->top, source->height);
        StretchKernelTable[index](dest, source, destRect, clips, count, rop, xMode, yMode, xMirror, yMirror);
    }
    if (xMirror) std::swap(destRect->left, destRect->right);
    if (yMirror) std::swap(destRect->top, destRect->bottom);
}
