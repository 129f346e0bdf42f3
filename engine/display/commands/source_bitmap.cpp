// The bitmap source: a mask shared by the one or two commands a masked image record becomes. The
// mask's pixels are read as they are stored; which value paints follows from its palette, so a
// white-then-black palette means the same picture as a black-then-white one. A mask of more bits
// is turned into one bit as GDI turns a colour picture into one (white where the pixel is the
// background colour, white here), once, into a copy of its own that both commands share.
#include "engine/display/commands/source_bitmap.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "engine/common/log_context.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/kernel.h"

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

// A one-bit copy made of a deeper mask is the source's own: its last reference takes it out of
// the store.
void MaskRelease(ResourceStore* store, BitmapEntry** mask)
{
    if (*mask == nullptr) return;
    const int remove = ((*mask)->head.flags & BITMAP_MASK) != 0 ? 1 : 0;
    ResourceReleaseAccount(store, *mask, remove, &store->bitmaps,
                           [](void* owner, void* object, int gone, ResourceCost* t) {
                               BitmapRelease(static_cast<BitmapStore*>(owner), static_cast<BitmapEntry*>(object), gone,
                                             t);
                           });
    *mask = nullptr;
}

void Release(Source* source, ResourceStore* store, int)
{
    SourceBitmap* s = As(source);
    MaskRelease(store, &s->mask);
    CmdMemoryFree(store, s);
}

// The mask as one bit: the mask itself when it is a plain 1-bit bitmap, else the white copy; null
// (the last error set) for a mask that cannot be read as one bit.
BitmapEntry* OneBitMask(ResourceStore* store, BitmapEntry* mask)
{
    const BITMAPINFOHEADER& h = mask->header;
    if (h.biBitCount == 1 && h.biCompression == BI_RGB && mask->compression != BitmapCompressionPassed) return mask;
    // Rows GDI decodes are read once here, so that damaged ones fail the record as any other mask
    // that cannot be applied, rather than leave the command out of the page when it is drawn.
    if (BitmapMaskThroughGdi(mask) && !BitmapGdiRowsReadable(mask, store->spill)) {
        CmdBitmapRelease(store, &mask);
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    BitmapEntry* copy = BitmapCloneWhiteMask(&store->bitmaps, mask);
    BitmapEntry* found = copy != nullptr ? BitmapLookup(&store->bitmaps, copy->head.id) : nullptr;
    const ResourceId id = mask->head.id;
    const bool passed = mask->compression == BitmapCompressionPassed;
    CmdBitmapRelease(store, &mask);
    if (found != nullptr) return found;
    // Passed-through pixels are read by the device alone, into the page's format, which cannot say
    // where they were white: the page fails, saying why, rather than draw it without the mask.
    if (passed)
        LogEvent(IMX_LOG_ERROR, __func__, "mask bitmap %u passes its pixels to the device; it cannot be applied", id);
    SetLastError(copy == nullptr ? ERROR_NOT_SUPPORTED : ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

Source* Clone(const Source* source, ResourceStore* store)
{
    auto* copy = static_cast<SourceBitmap*>(CmdMemoryAlloc(store, sizeof(SourceBitmap)));
    if (copy == nullptr) return nullptr;
    *copy = *As(source);
    ResourceRefAdd(&copy->mask->head);
    return &copy->head;
}

}  // namespace

Source* BitmapSourceCreate(CmdNode* node, ResourceStore* store, uint32_t maskId, uint32_t foreground)
{
    const CmdImageNode* n = reinterpret_cast<const CmdImageNode*>(node);
    auto* s = static_cast<SourceBitmap*>(CmdMemoryAlloc(store, sizeof(SourceBitmap)));
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
        // Record sizes can be -2^31, whose size does not fit: no mask covers it anyway.
        s->width = static_cast<int32_t>(std::min<int64_t>(std::llabs(n->width), INT32_MAX));
        s->height = static_cast<int32_t>(std::min<int64_t>(std::llabs(n->height), INT32_MAX));
    }
    BitmapEntry* mask = BitmapLookup(&store->bitmaps, maskId);
    if (mask == nullptr) SetLastError(ERROR_INVALID_DATA);
    s->mask = mask != nullptr ? OneBitMask(store, mask) : nullptr;
    bool ok = s->mask != nullptr;
    // The stretch blit reads nothing outside the mask, and a mask that does not cover the
    // command has no answer for the pixels beyond it.
    if (ok && !CmdSourceInside(s->mask, s->x, s->y, s->width, s->height)) {
        SetLastError(ERROR_INVALID_DATA);
        ok = false;
    }
    if (!ok) {
        MaskRelease(store, &s->mask);
        CmdMemoryFree(store, s);
        return nullptr;
    }
    return &s->head;
}

Source* SourceBitmapShare(const Source* source, ResourceStore* store, CmdNode* node, uint32_t foreground)
{
    Source* copy = Clone(source, store);
    if (copy == nullptr) return nullptr;
    As(copy)->node = node;
    As(copy)->foreground = foreground;
    return copy;
}

int SourceBitmapReady(SourceBitmap* source, ResourceStore* store, BandSurface* surface)
{
    return CmdBitmapPixelsReady(store, source->mask, surface);
}

void SourceBitmapMaskDraw(const SourceBitmap* source, const BltBitmap* to, RECT* rect, const RECT* clips, int32_t count)
{
    // A positive palette (black first or white last) shows white where the bit is 1.
    const bool whiteIsOne = BitmapPaletteIsPositive(source->mask) != 0;
    const bool paintOnOne = whiteIsOne == (source->foreground != 0);
    const BltBitmap from = CmdBitmapBlt(source->mask, source->x, source->y, source->width, source->height, false);
    RasterStretchBlt(to, &from, nullptr, rect, clips, count, paintOnOne ? Rop3SrcCopy : Rop3NotSrcCopy, 0);
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
