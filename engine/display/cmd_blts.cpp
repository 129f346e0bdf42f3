// The Blts command kind: each item is copied by the stretch blit straight into the band's pixels,
// as a plain BitBlt of the same bitmap would be, cut to its visible rectangle.
#include "engine/display/cmd_blts.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "engine/band/band_surface.h"
#include "engine/display/bitmap_store.h"
#include "engine/display/cmd_image.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/resource_store.h"
#include "engine/job/render_call.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/gdi.h"
#include "platform/user.h"

namespace {

CmdBltsNode* AsBlts(CmdNode* node) { return reinterpret_cast<CmdBltsNode*>(node); }
const CmdBltsNode* AsBlts(const CmdNode* node) { return reinterpret_cast<const CmdBltsNode*>(node); }

size_t BltsSize(uint32_t capacity)
{
    return offsetof(CmdBltsNode, items) + size_t{capacity > 0 ? capacity : 1} * sizeof(CmdBltsItem);
}

void Destroy(CmdNode* node, ResourceStore* store)
{
    CmdBltsNode* n = AsBlts(node);
    for (uint32_t i = 0; i < n->count; ++i) CmdBitmapRelease(store, &n->items[i].bitmap);
    RenderFree(n);
}

CmdNode* Clone(const CmdNode* node, ResourceStore*)
{
    const CmdBltsNode* from = AsBlts(node);
    const size_t size = BltsSize(from->capacity);
    auto* copy = static_cast<CmdBltsNode*>(RenderAlloc(size));
    if (copy == nullptr) return nullptr;
    std::memcpy(static_cast<void*>(copy), from, size);
    copy->head.next = copy->head.prev = nullptr;
    for (uint32_t i = 0; i < copy->count; ++i) ResourceRefAdd(&copy->items[i].bitmap->head);
    return &copy->head;
}

int RenderBand(CmdNode* node, ResourceStore*, BandSurface*, const RECT*, const RECT*, const RECT*, int)
{
    // The items abut and share their rows or columns: the bounds are exactly what they paint.
    return AsBlts(node)->count > 0 ? CMD_BAND_NO_MASK : CMD_BAND_NOTHING;
}

// The recorded destination as the device sees it, reversed when mirrored, as BitBlt maps it.
RECT DeviceDestination(const RECT& d, HDC dc)
{
    const LONG width = d.right - d.left, height = d.bottom - d.top;
    POINT p[2] = {{d.left + (width < 0 ? 1 : 0), d.top + (height < 0 ? 1 : 0)}, {}};
    p[1] = POINT{p[0].x + width, p[0].y + height};
    LPtoDP(dc, p, 2);
    return RECT{p[0].x, p[0].y, p[1].x, p[1].y};
}

int Draw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, void*)
{
    CmdBltsNode* n = AsBlts(node);
    const RECT base{0, 0, static_cast<LONG>(surface->width), static_cast<LONG>(surface->height)};
    for (uint32_t i = 0; i < n->count; ++i) {
        CmdBltsItem& item = n->items[i];
        POINT v[2] = {{item.visible.left, item.visible.top}, {item.visible.right, item.visible.bottom}};
        LPtoDP(surface->drawDC, v, 2);
        RECT visible{std::min(v[0].x, v[1].x), std::min(v[0].y, v[1].y), std::max(v[0].x, v[1].x),
                     std::max(v[0].y, v[1].y)};
        if (!IntersectRect(&visible, &visible, &base)) continue;
        if (!CmdBitmapPixelsReady(store, item.bitmap, surface)) continue;
        const BltBitmap to = CmdSurfaceBlt(surface);
        const BltBitmap from = CmdBitmapBlt(item.bitmap, item.source.left, item.source.top,
                                            item.source.right - item.source.left,
                                            item.source.bottom - item.source.top, true);
        RECT rect = DeviceDestination(item.destination, surface->drawDC);
        RasterStretchBlt(&to, &from, nullptr, &rect, &visible, 1, Rop3SrcCopy, 0);
    }
    ResourceUseClear(store);
    return 1;
}

int DrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE*)
{
    return Draw(node, store, surface, area, nullptr);
}

int ColorClassGet(const CmdNode* node, uint32_t*, uint8_t* hint, int flag)
{
    *hint = CMD_HINT_IMAGE;
    if (static_cast<uint32_t>(flag) & 0x80000000u) return CMD_COLOR_DRAW_RESTORE;
    return static_cast<int>(AsBlts(node)->colourAnswer);
}

}  // namespace

CmdNode* BltsCreate(uint32_t capacity)
{
    auto* n = static_cast<CmdBltsNode*>(RenderAlloc(BltsSize(capacity)));
    if (n == nullptr) return nullptr;
    std::memset(static_cast<void*>(n), 0, BltsSize(capacity));
    n->head.op = CmdOpBlts;
    n->capacity = capacity;
    n->colourAnswer = CMD_COLOR_DIRECT;
    return &n->head;
}

int BltsAdd(CmdNode* node, ResourceStore* store, const RECT* bounds, const RECT* source, const RECT* destination,
            const RECT* visible, BitmapEntry* bitmap, int colourClass)
{
    CmdBltsNode* n = AsBlts(node);
    if (n->count >= n->capacity || bitmap == nullptr) return 0;
    BitmapEntry* held = BitmapLookup(&store->bitmaps, bitmap->head.id);
    if (held == nullptr) return 0;
    if (n->count == 0) n->head.bounds = *bounds;
    else UnionRect(&n->head.bounds, &n->head.bounds, bounds);
    n->items[n->count++] = CmdBltsItem{*source, *destination, *visible, held};
    if (n->colourAnswer == CMD_COLOR_DIRECT && colourClass == CMD_COLOR_DRAW_RESTORE)
        n->colourAnswer = CMD_COLOR_DRAW_RESTORE;
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
    return row;
}();
