// The TransparentBlt command kind: a bitmap scaled onto the page with one colour left out. The
// band mask gets the bitmap's 1-bit mask copy (1 where the pixel is not that colour).
#include <algorithm>

#include "engine/band/band_surface.h"
#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/display/band_mask_clip.h"
#include "engine/display/cmd_image.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/cmd_resources.h"
#include "engine/display/resource_store.h"
#include "engine/job/render_call.h"
#include "engine/spool/stream.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/gdi.h"
#include "platform/kernel.h"

namespace {

// Record (type 25, 52 bytes).
namespace TransparentBltRecord {
constexpr uint32_t source = 8, destination = 24, clip = 40, bitmap = 44, colour = 48;
}

struct TransparentNode {
    CmdNode head;
    CmdImageArea area;
    uint32_t colour;
    Clip* clip;
    BitmapEntry* bitmap;
    BitmapEntry* mask;  // null for a run-length bitmap
};

TransparentNode* As(CmdNode* node) { return reinterpret_cast<TransparentNode*>(node); }
const TransparentNode* As(const CmdNode* node) { return reinterpret_cast<const TransparentNode*>(node); }

void Destroy(CmdNode* node, ResourceStore* store)
{
    TransparentNode* n = As(node);
    CmdBitmapRelease(store, &n->bitmap);
    if (n->mask != nullptr) {
        // The mask copy is this node's own: its last reference removes it from the store.
        ResourceCost tally{};
        BitmapRelease(&store->bitmaps, n->mask, 1, &tally);
        ResourceBudgetCharge(store->budget, tally);
    }
    CmdClipRelease(store, &n->clip);
    RenderFree(n);
}

int Read(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[52];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    auto* n = static_cast<TransparentNode*>(RenderAlloc(sizeof(TransparentNode)));
    if (n == nullptr) return 0;
    n->head.op = CmdOpTransparentBlt;
    const RECT d = CmdRecordRect(raw + TransparentBltRecord::destination);
    n->area = CmdImageAreaRead(raw + TransparentBltRecord::destination, raw + TransparentBltRecord::source);
    n->colour = LoadLE32(raw + TransparentBltRecord::colour);
    n->bitmap = BitmapLookup(&store->bitmaps, LoadLE32(raw + TransparentBltRecord::bitmap));
    bool ok = n->bitmap != nullptr;
    const ResourceId clipId = LoadLE32(raw + TransparentBltRecord::clip);
    if (ok && clipId != 0) ok = (n->clip = ClipLookup(&store->clips, clipId)) != nullptr;
    if (ok) {
        if (BitmapEntry* mask = BitmapCloneMask(&store->bitmaps, n->bitmap, n->colour))
            ok = (n->mask = BitmapLookup(&store->bitmaps, mask->head.id)) != nullptr;
    }
    if (!ok) {
        SetLastError(ERROR_INVALID_DATA);
        Destroy(&n->head, store);
        return 0;
    }
    RectNormalize(&n->head.bounds, &d);
    n->head.bounds = CmdClipBoundsApply(n->head.bounds, n->clip);
    n->head.flags = CmdColorFlags(n->bitmap->head.flags);
    *out = &n->head;
    return 1;
}

CmdNode* Clone(const CmdNode* node, ResourceStore*)
{
    auto* copy = static_cast<TransparentNode*>(RenderAlloc(sizeof(TransparentNode)));
    if (copy == nullptr) return nullptr;
    *copy = *As(node);
    copy->head.next = copy->head.prev = nullptr;
    ResourceRefAdd(&copy->bitmap->head);
    if (copy->mask) ResourceRefAdd(&copy->mask->head);
    if (copy->clip) ResourceRefAdd(&copy->clip->head);
    return &copy->head;
}

int RenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area,
               const RECT* clear, int accumulate)
{
    TransparentNode* n = As(node);
    if (!accumulate && clear != nullptr)
        BandSurfaceClear(mask, SIZE{clear->right - clear->left, clear->bottom - clear->top});
    if (n->mask == nullptr) {
        if (n->clip == nullptr || !ClipHasRects(n->clip)) {
            if (!accumulate) return CMD_BAND_NO_MASK;
        }
        return BandMaskClipRectsSet(store, mask, n->clip, band, area) > 0 ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
    }
    POINT p[2] = {{n->area.x, n->area.y}, {n->area.x + n->area.width, n->area.y + n->area.height}};
    LPtoDP(mask->drawDC, p, 2);
    RECT rect{p[0].x, p[0].y, p[1].x, p[1].y};
    const RECT extent{0, 0, static_cast<LONG>(mask->width), static_cast<LONG>(mask->height)};
    if (!CmdBitmapPixelsReady(store, n->mask, mask)) {
        ResourceUseClear(store);
        return CMD_BAND_NOTHING;
    }
    if (CmdSourceInside(n->mask, n->area.srcX, n->area.srcY, n->area.srcWidth, n->area.srcHeight)) {
        const BltBitmap to = CmdSurfaceBlt(mask);
        const BltBitmap from = CmdBitmapBlt(n->mask, n->area.srcX, n->area.srcY, n->area.srcWidth, n->area.srcHeight, false);
        RasterStretchBlt(&to, &from, nullptr, &rect, &extent, 1, Rop3SrcCopy, 0);
    } else {
        // The stretch blit reads only inside the bitmap; GDI leaves what lies outside it.
        StretchDIBits(mask->drawDC, n->area.x, n->area.y, n->area.width, n->area.height, n->area.srcX,
                      CmdDibSourceY(n->mask, n->area.srcY, n->area.srcHeight), n->area.srcWidth, n->area.srcHeight,
                      BitmapPixelRows(n->mask), reinterpret_cast<const BITMAPINFO*>(n->mask->pixels), DIB_RGB_COLORS,
                      SRCCOPY);
    }
    ResourceUseClear(store);
    return CMD_BAND_MASKED;
}

void Blt(TransparentNode* n, BandSurface* surface)
{
    TransparentBlt(surface->drawDC, n->area.x, n->area.y, n->area.width, n->area.height, surface->secondDC, n->area.srcX, n->area.srcY, n->area.srcWidth,
                   n->area.srcHeight, n->colour);
}

int Draw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, void*)
{
    TransparentNode* n = As(node);
    if (n->clip) ResourceUseMark(store, &n->clip->head, RESOURCE_IN_USE);
    ClipSelect(store, n->clip, surface, nullptr);
    if (CmdBitmapRealise(store, n->bitmap, surface)) Blt(n, surface);
    ResourceUseClear(store);
    BandSurfaceResetDC(surface);
    return 1;
}

int DrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, const SIZE*)
{
    TransparentNode* n = As(node);
    BandSurfaceResetDC(surface);
    if (CmdBitmapRealise(store, n->bitmap, surface)) Blt(n, surface);
    ResourceUseClear(store);
    BandSurfaceResetDC(surface);
    return GdiFlush();
}

int ColorClassGet(const CmdNode* node, uint32_t*, uint8_t* hint, int)
{
    const TransparentNode* n = As(node);
    *hint = CMD_HINT_IMAGE;
    const uint8_t c = n->bitmap->compression;
    if (n->mask == nullptr || c == BitmapCompressionRle4 || c == BitmapCompressionRle8 ||
        c == BitmapCompressionBitFields || n->bitmap->depth == 16)
        return CMD_COLOR_DRAW_RESTORE;
    return CmdColorDirect(node);
}


int ClipRegionSet(CmdNode* node, ResourceStore* store, Clip* clip)
{
    return CmdClipReplace(node, store, &As(node)->clip, clip);
}

}  // namespace

const CmdOpRow kCmdOpRowTransparentBlt = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.clipRegionSet = ClipRegionSet;
    row.read = Read;
    row.destroy = Destroy;
    row.clone = Clone;
    row.renderBand = RenderBand;
    row.draw = Draw;
    row.colorClassGet = ColorClassGet;
    row.drawRestore = DrawRestore;
    return row;
}();
