// The bitmap source: a mask shared by the one or two commands a masked image record becomes. The
// mask's pixels are read as they are stored; which value paints follows from its palette, so a
// white-then-black palette means the same picture as a black-then-white one.
#include "engine/display/source_bitmap.h"

#include "engine/display/bitmap_store.h"
#include "engine/display/cmd_image.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/resource_store.h"
#include "engine/job/render_call.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/kernel.h"

#include <algorithm>
#include <cstdlib>

namespace {

SourceBitmap* As(Source* source) { return reinterpret_cast<SourceBitmap*>(source); }
const SourceBitmap* As(const Source* source) { return reinterpret_cast<const SourceBitmap*>(source); }

int Equal(const Source* a, const Source* b)
{
    const SourceBitmap* x = As(a);
    const SourceBitmap* y = As(b);
    return x->x == y->x && x->y == y->y && x->width == y->width && x->height == y->height &&
           x->foreground == y->foreground && BitmapEqual(x->mask, y->mask);
}

void Release(Source* source, ResourceStore* store, int)
{
    SourceBitmap* s = As(source);
    CmdBitmapRelease(store, &s->mask);
    RenderFree(s);
}

Source* Clone(const Source* source, ResourceStore*)
{
    auto* copy = static_cast<SourceBitmap*>(RenderAlloc(sizeof(SourceBitmap)));
    if (copy == nullptr) return nullptr;
    *copy = *As(source);
    ResourceRefAdd(&copy->mask->head);
    return &copy->head;
}

}  // namespace

Source* BitmapSourceCreate(CmdNode* node, ResourceStore* store, uint32_t maskId, uint32_t foreground)
{
    const CmdImageNode* n = reinterpret_cast<const CmdImageNode*>(node);
    auto* s = static_cast<SourceBitmap*>(RenderAlloc(sizeof(SourceBitmap)));
    if (s == nullptr) return nullptr;
    s->head.kind = SourceKindBitmap;
    s->head.owner = store;
    s->node = node;
    s->foreground = foreground;
    if (node->op == CmdOpStretchBlt) {
        s->x = n->srcX;
        s->y = n->srcY;
        s->width = n->srcWidth;
        s->height = n->srcHeight;
    } else {
        // A BitBlt's mask has its own origin; its source point belongs to the bitmap.
        s->x = n->maskOrigin.x;
        s->y = n->maskOrigin.y;
        s->width = n->width < 0 ? -n->width : n->width;
        s->height = n->height < 0 ? -n->height : n->height;
    }
    s->mask = BitmapLookup(&store->bitmaps, maskId);
    DWORD error = ERROR_INVALID_DATA;
    bool ok = s->mask != nullptr;
    if (ok && (s->mask->header.biBitCount != 1 || s->mask->header.biCompression != BI_RGB ||
               s->mask->compression == BitmapCompressionPassed)) {
        // Only plain 1-bit masks are drawn: the page fails rather than lose a mask of another kind.
        error = ERROR_NOT_SUPPORTED;
        ok = false;
    }
    // The stretch blit reads nothing outside the mask, and a mask that does not cover the
    // command has no answer for the pixels beyond it.
    if (ok) ok = CmdSourceInside(s->mask, s->x, s->y, s->width, s->height);
    if (!ok) {
        SetLastError(error);
        CmdBitmapRelease(store, &s->mask);
        RenderFree(s);
        return nullptr;
    }
    return &s->head;
}

int SourceBitmapReady(SourceBitmap* source, ResourceStore* store, BandSurface* surface)
{
    return CmdBitmapPixelsReady(store, source->mask, surface);
}

void SourceBitmapMaskDraw(const SourceBitmap* source, const BltBitmap* to, RECT* rect, const RECT* clips, int32_t count,
                          bool add)
{
    // A positive palette (black first or white last) shows white where the bit is 1.
    const bool whiteIsOne = BitmapPaletteIsPositive(source->mask) != 0;
    const bool paintOnOne = whiteIsOne == (source->foreground != 0);
    const BltBitmap from = CmdBitmapBlt(source->mask, source->x, source->y, source->width, source->height, false);
    MaskMarkStretch(to, &from, rect, clips, count, !paintOnOne, add);
}

void MaskMarkStretch(const BltBitmap* to, const BltBitmap* from, RECT* rect, const RECT* clips, int32_t count,
                     bool invert, bool add)
{
    if (!add) {
        RasterStretchBlt(to, from, nullptr, rect, clips, count, invert ? Rop3NotSrcCopy : Rop3SrcCopy, 0);
        return;
    }
    if (!invert) {
        RasterStretchBlt(to, from, nullptr, rect, clips, count, Rop3SrcPaint, 0);
        return;
    }
    // The stretch blit ORs a source in but not an inverted one: d | ~s is the source ANDed into
    // the inverted marks, inverted back. The clips are inverted whole, twice, so pixels the blit
    // does not reach come back as they were.
    auto invertClips = [&] {
        auto* bits = static_cast<uint8_t*>(to->bits);
        for (int32_t i = 0; i < count; ++i) {
            const LONG left = std::max<LONG>(clips[i].left, 0), right = std::min<LONG>(clips[i].right, to->width);
            const LONG top = std::max<LONG>(clips[i].top, 0), bottom = std::min<LONG>(clips[i].bottom, std::abs(to->height));
            for (LONG y = top; y < bottom; ++y) {
                uint8_t* row = bits + static_cast<ptrdiff_t>(y) * to->stride;
                for (LONG x = left; x < right; ++x) row[x / 8] ^= static_cast<uint8_t>(0x80u >> (x % 8));
            }
        }
    };
    invertClips();
    RasterStretchBlt(to, from, nullptr, rect, clips, count, Rop3SrcAnd, 0);
    invertClips();
}

const SourceKindRow kSourceRowBitmap = {
    nullptr,  // drawn by its command, which builds the mask at the destination's device size
    Equal,
    [](CmdNode* node, ResourceStore* store, uint32_t maskId, uint32_t foreground) {
        return BitmapSourceCreate(node, store, maskId, foreground);
    },
    Release,
    Clone,
    nullptr,  // marked by its command's CmdRenderBand, which knows the device rectangle
};
