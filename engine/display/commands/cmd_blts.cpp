// The Blts command kind: made by the optimiser from runs of image commands, never read from a
// record. Every item is drawn by the stretch blit straight into the band's pixels, or its converted
// copy into the output format's.
#include "engine/display/commands/cmd_blts.h"

#include <algorithm>
#include <cstring>

#include "engine/common/geometry.h"
#include "engine/common/output_module.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace {

BltsNode* As(CmdNode* node) { return reinterpret_cast<BltsNode*>(node); }
const BltsNode* As(const CmdNode* node) { return reinterpret_cast<const BltsNode*>(node); }

size_t NodeSize(uint32_t capacity) { return sizeof(BltsNode) + sizeof(BltsItem) * (capacity > 0 ? capacity - 1 : 0); }

void Destroy(CmdNode* node, ResourceStore* store)
{
    BltsNode* n = As(node);
    for (uint32_t i = 0; i < n->count; ++i) CmdBitmapRelease(store, &n->items[i].bitmap);
    CmdMemoryFree(store, n);
}

CmdNode* Clone(const CmdNode* node, ResourceStore* store)
{
    const BltsNode* from = As(node);
    auto* copy = static_cast<BltsNode*>(CmdMemoryAlloc(store, NodeSize(from->capacity)));
    if (copy == nullptr) return nullptr;
    std::memcpy(static_cast<void*>(copy), from, NodeSize(from->capacity));
    copy->head.next = copy->head.prev = nullptr;
    for (uint32_t i = 0; i < copy->count; ++i) ResourceRefAdd(&copy->items[i].bitmap->head);
    return &copy->head;
}

RECT ToDevice(HDC dc, const RECT& r)
{
    POINT p[2] = {{r.left, r.top}, {r.right, r.bottom}};
    LPtoDP(dc, p, 2);
    return RECT{p[0].x, p[0].y, p[1].x, p[1].y};
}

// The items need not cover the node's bounds (the union of theirs): each item's visible part of
// its destination is marked, so that nothing between them is painted.
int RenderBand(CmdNode* node, ResourceStore*, BandSurface* mask, const RECT*, const RECT* area, const RECT* clear,
               int accumulate)
{
    const BltsNode* n = As(node);
    if (n->count == 0) return CMD_BAND_NOTHING;
    if (!accumulate && clear != nullptr) BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
    int marked = 0;
    for (uint32_t i = 0; i < n->count; ++i) {
        RECT destination = ToDevice(mask->drawDC, n->items[i].destination);
        RECT visible = ToDevice(mask->drawDC, n->items[i].visible);
        RectNormalize(&destination, &destination);
        RectNormalize(&visible, &visible);
        RECT shown{};
        if (!IntersectRect(&shown, &destination, &visible) || !IntersectRect(&shown, &shown, area)) continue;
        BandMaskRectsSet(mask, 1, &shown);
        ++marked;
    }
    return marked > 0 ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
}

int Draw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, void*)
{
    BltsNode* n = As(node);
    const RECT base{0, 0, static_cast<LONG>(surface->width), static_cast<LONG>(surface->height)};
    const BltBitmap to = CmdSurfaceBlt(surface);
    for (uint32_t i = 0; i < n->count; ++i) {
        BltsItem& item = n->items[i];
        RECT visible = ToDevice(surface->drawDC, item.visible);
        RectNormalize(&visible, &visible);
        if (!IntersectRect(&visible, &visible, &base)) continue;
        if (!CmdBitmapPixelsReady(store, item.bitmap, surface)) continue;
        const RECT& s = item.source;
        const BltBitmap from = CmdBitmapBlt(item.bitmap, s.left, s.top, s.right - s.left, s.bottom - s.top, true);
        RECT rect = ToDevice(surface->drawDC, item.destination);
        RasterStretchBlt(&to, &from, nullptr, &rect, &visible, 1, Rop3SrcCopy, 0);
    }
    ResourceUseClear(store);
    return 1;
}

int DrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE*)
{
    return Draw(node, store, surface, area, nullptr);
}

// Each item's converted copy stretched into the caller's buffer within the item's visible part,
// as Draw stretches its pixels; 0 (drawn and converted instead) when an item cannot be.
int RenderDirect(CmdNode* node, ResourceStore* store, OutputModuleContext*, void* argument,
                 const ImxImageFormat* format, uint32_t stride, uint8_t* buffer, uint8_t* colour, const RECT* rect)
{
    BltsNode* n = As(node);
    auto* surface = static_cast<BandSurface*>(argument);
    if (surface == nullptr) return 0;
    const CmdDirectTarget target{format, stride, buffer, colour, rect};
    for (uint32_t i = 0; i < n->count; ++i) {
        BltsItem& item = n->items[i];
        RECT visible = ToDevice(surface->drawDC, item.visible);
        RectNormalize(&visible, &visible);
        if (!IntersectRect(&visible, &visible, rect)) continue;
        const RECT& s = item.source;
        const CmdImageArea area{0, 0, 0, 0, s.left, s.top, s.right - s.left, s.bottom - s.top};
        RECT destination = ToDevice(surface->drawDC, item.destination);
        if (!CmdConvertedStretch(store, surface, item.bitmap, area, &destination, &visible, target)) return 0;
    }
    return 1;
}

int ColorClassGet(const CmdNode* node, uint32_t*, uint8_t* hint, int flag)
{
    *hint = CMD_HINT_IMAGE;
    if (flag < 0) return CMD_COLOR_DRAW_RESTORE;
    const uint32_t answer = As(node)->colourAnswer;
    return answer == CMD_COLOR_DIRECT ? CmdColorDirect(node) : static_cast<int>(answer);
}

}  // namespace

CmdNode* BltsCreate(ResourceStore* store, uint32_t capacity)
{
    auto* n = static_cast<BltsNode*>(CmdMemoryAlloc(store, NodeSize(capacity)));
    if (n == nullptr) return nullptr;
    n->head.op = CmdOpBlts;
    n->capacity = capacity;
    n->colourAnswer = CMD_COLOR_DIRECT;
    return &n->head;
}

int BltsAdd(CmdNode* node, ResourceStore* store, const RECT* bounds, const RECT* source, const RECT* destination,
            const RECT* visible, BitmapEntry* bitmap, uint32_t flag)
{
    BltsNode* n = As(node);
    if (n->count >= n->capacity || bitmap == nullptr) return 0;
    // The stretch blit reads only inside the bitmap: an item reaching out stays with its own
    // command, which GDI draws.
    if (!CmdSourceInside(bitmap, source->left, source->top, source->right - source->left, source->bottom - source->top))
        return 0;
    BitmapEntry* held = BitmapLookup(&store->bitmaps, bitmap->head.id);
    if (held == nullptr) return 0;
    if (n->count == 0) n->head.bounds = *bounds;
    else UnionRect(&n->head.bounds, &n->head.bounds, bounds);
    n->items[n->count++] = BltsItem{*source, *destination, *visible, held};
    if (n->colourAnswer == CMD_COLOR_DIRECT && flag == 1) n->colourAnswer = CMD_COLOR_DRAW_RESTORE;
    return 1;
}

const CmdOpRow kCmdOpRowBlts = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.destroy = Destroy;
    row.clone = Clone;
    row.renderBand = RenderBand;
    row.draw = Draw;
    row.colorClassGet = ColorClassGet;
    row.drawRestore = DrawRestore;
    row.renderDirect = RenderDirect;
    return row;
}();
