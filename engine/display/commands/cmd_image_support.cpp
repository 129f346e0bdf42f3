// What every image command shares: bitmap references released through the budget, bitmaps made
// ready for drawing, the visible part of a source, band-mask clips and keeps, and record fields.
#include "engine/display/commands/cmd_image_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/cmd_records.h"
#include "engine/display/commands/band_mask_clip.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/commands/source_bitmap.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"

void CmdBitmapRelease(ResourceStore* store, BitmapEntry** bitmap)
{
    if (*bitmap == nullptr) return;
    ResourceReleaseAccount(store, *bitmap, 0, &store->bitmaps,
                           [](void* owner, void* object, int remove, ResourceCost* t) {
                               BitmapRelease(static_cast<BitmapStore*>(owner), static_cast<BitmapEntry*>(object),
                                             remove, t);
                           });
    *bitmap = nullptr;
}

int CmdBitmapPixelsReady(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface)
{
    ResourceUseMark(store, &bitmap->head, RESOURCE_PIXELS_IN_USE);
    return BitmapPixelsPrepare(
        store, bitmap, surface, &store->bitmaps,
        [](void* owner, BitmapEntry* b, ResourceCost* cost) {
            BitmapPixelsEstimate(static_cast<BitmapStore*>(owner), b, cost);
        },
        [](void* owner, BitmapEntry* b, ResourceCost* tally) {
            return BitmapPixelsLoad(static_cast<BitmapStore*>(owner), b, tally);
        });
}

int CmdBitmapRealise(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface)
{
    ResourceUseMark(store, &bitmap->head, RESOURCE_IN_USE | RESOURCE_PIXELS_IN_USE);
    return ResourcePrepare(
        store, bitmap, surface, &store->bitmaps,
        [](void* owner, void* b, BandSurface* s, ResourceCost* cost) {
            BitmapRealizeEstimate(static_cast<BitmapStore*>(owner), static_cast<BitmapEntry*>(b), s, cost);
        },
        [](void* owner, void* b, BandSurface* s, ResourceCost* tally) {
            return BitmapRealize(static_cast<BitmapStore*>(owner), static_cast<BitmapEntry*>(b), s, tally);
        });
}

BltBitmap CmdBitmapBlt(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, bool palette)
{
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bitmap->pixels);
    const uint32_t bits = header->biBitCount;
    int32_t stride = static_cast<int32_t>(BitmapRowBytes(bits, header->biWidth));
    uint8_t* rows = BitmapPixelRows(bitmap);
    if (header->biHeight > 0) {
        rows += static_cast<size_t>(stride) * (header->biHeight - 1);
        stride = -stride;
    }
    return BltBitmap{rows,
                     stride,
                     x,
                     y,
                     width,
                     height,
                     static_cast<int32_t>(bits),
                     palette && header->biClrUsed != 0 ? BitmapPixelPalette(bitmap) : nullptr};
}

bool CmdSourceInside(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height)
{
    const int64_t w = BitmapCurrentWidth(bitmap), h = std::abs(int64_t{BitmapCurrentHeight(bitmap)});
    return width > 0 && height > 0 && x >= 0 && y >= 0 && x + int64_t{width} <= w && y + int64_t{height} <= h;
}

namespace {

// Device pixels [lo, hi) of one axis, from a to b (b < a mirrors), whose source pixels
// s0 + floor(i * sn / d) lie in [0, size).
bool AxisVisible(int64_t a, int64_t b, int64_t s0, int64_t sn, int64_t size, int64_t* lo, int64_t* hi)
{
    const int64_t first = std::min(a, b), last = std::max(a, b), d = last - first;
    if (sn <= 0 || d <= 0) return false;
    // ceil(p / q) for q > 0, in 128 bits: record values reach 2^32 each.
    auto ceilDiv = [](__int128 p, __int128 q) { return p <= 0 ? -((-p) / q) : (p + q - 1) / q; };
    const int64_t i0 = static_cast<int64_t>(std::max<__int128>(0, ceilDiv(__int128{-s0} * d, sn)));
    const int64_t i1 = static_cast<int64_t>(std::min<__int128>(d, ceilDiv(__int128{size - s0} * d, sn)));
    if (i0 >= i1) return false;
    *lo = a > b ? last - i1 : first + i0;
    *hi = a > b ? last - i0 : first + i1;
    return true;
}

}  // namespace

bool CmdSourceVisible(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                      const RECT& device, RECT* visible)
{
    int64_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    if (!AxisVisible(device.left, device.right, x, width, BitmapCurrentWidth(bitmap), &x0, &x1) ||
        !AxisVisible(device.top, device.bottom, y, height, std::abs(int64_t{BitmapCurrentHeight(bitmap)}), &y0, &y1))
        return false;
    *visible = RECT{static_cast<LONG>(x0), static_cast<LONG>(y0), static_cast<LONG>(x1), static_cast<LONG>(y1)};
    return true;
}

int32_t CmdMaskClips(ResourceStore* store, Clip* clip, BandSurface* mask, const RECT* area, RECT** rects)
{
    *rects = nullptr;
    if (!ClipHasRects(clip)) return 1;
    if (ResourcePrepareWith(store, clip, &store->clips, mask, nullptr, ClipCostEstimate, ClipRealize) == 0) return 0;
    const int32_t count = ClipRectsForBand(clip, mask, area, rects);
    if (count > 0) return count;
    RenderFree(*rects);
    *rects = nullptr;
    return 0;
}

bool CmdMaskKeepBegin(CmdMaskKeep* keep, BandSurface* mask, const RECT* area, int accumulate)
{
    *keep = CmdMaskKeep{mask, nullptr, 0, 0};
    if (!accumulate || area == nullptr || mask->stride == 0) return true;
    const int64_t rows = mask->bytes / mask->stride;
    const int64_t top = std::clamp<int64_t>(area->top, 0, rows), bottom = std::clamp<int64_t>(area->bottom, top, rows);
    if (top == bottom) return true;
    const size_t bytes = static_cast<size_t>(bottom - top) * mask->stride;
    // The surface's scratch rows serve every command of the band walk; they grow to the largest
    // area asked for, at most the surface's own bytes.
    if (mask->keepBusy) return false;
    if (mask->keepBytes < bytes) {
        RenderFree(mask->keepRows);
        mask->keepRows = static_cast<uint8_t*>(RenderAlloc(bytes));
        mask->keepBytes = mask->keepRows != nullptr ? static_cast<uint32_t>(bytes) : 0;
        if (mask->keepRows == nullptr) return false;
    }
    keep->saved = mask->keepRows;
    mask->keepBusy = 1;
    keep->first = static_cast<uint32_t>(top);
    keep->rows = static_cast<uint32_t>(bottom - top);
    uint8_t* at = mask->bits + size_t{keep->first} * mask->stride;
    std::memcpy(keep->saved, at, bytes);
    std::memset(at, 0, bytes);
    return true;
}

void CmdMaskKeepEnd(CmdMaskKeep* keep)
{
    if (keep->saved == nullptr) return;
    uint8_t* at = keep->mask->bits + size_t{keep->first} * keep->mask->stride;
    const size_t bytes = size_t{keep->rows} * keep->mask->stride;
    for (size_t i = 0; i < bytes; ++i) at[i] |= keep->saved[i];
    keep->saved = nullptr;
    keep->mask->keepBusy = 0;
}

BltBitmap CmdSurfaceBlt(const BandSurface* surface)
{
    return BltBitmap{surface->bits,
                     static_cast<int32_t>(surface->stride),
                     0,
                     0,
                     static_cast<int32_t>(surface->width),
                     static_cast<int32_t>(surface->height),
                     static_cast<int32_t>(surface->bitsPerPixel),
                     nullptr};
}

int32_t CmdDibSourceY(const BitmapEntry* bitmap, int32_t y, int32_t height)
{
    // Record values are any 32-bit numbers: the row is found in 64 bits and held within 32 (a
    // source that far out draws nothing either way).
    const int64_t rows = BitmapCurrentHeight(bitmap);
    return rows > 0 ? static_cast<int32_t>(std::clamp<int64_t>(rows - y - height, INT32_MIN, INT32_MAX)) : y;
}

RECT CmdClipBoundsApply(const RECT& r, const Clip* clip)
{
    RECT out = r;
    if (clip != nullptr && !IntersectRect(&out, &r, &clip->data.rcBound)) out = RECT{};
    return out;
}

int32_t CmdExtent(LONG from, LONG to)
{
    // Record values are any 32-bit numbers: the extent wraps as the 32-bit sum it is, rather
    // than overflow; the commands clip and refuse sizes they cannot draw.
    return static_cast<int32_t>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}

CmdImageArea CmdImageAreaRead(const uint8_t* destination, const uint8_t* source)
{
    const RECT d = CmdRecordRect(destination);
    const RECT s = CmdRecordRect(source);
    return CmdImageArea{d.left, d.top, CmdExtent(d.left, d.right), CmdExtent(d.top, d.bottom),
                        s.left, s.top, CmdExtent(s.left, s.right), CmdExtent(s.top, s.bottom)};
}

int CmdBitmapRecordResolve(ResourceStore* store, const uint8_t* raw, const CmdBitmapRecordLayout& at, CmdNode* node,
                           CmdImageArea* area, BitmapEntry** bitmap, Clip** clip)
{
    const RECT d = CmdRecordRect(raw + at.destination);
    *area = CmdImageAreaRead(raw + at.destination, raw + at.source);
    *bitmap = BitmapLookup(&store->bitmaps, LoadLE32(raw + at.bitmap));
    bool ok = *bitmap != nullptr;
    const ResourceId clipId = LoadLE32(raw + at.clip);
    if (ok && clipId != 0) ok = (*clip = ClipLookup(&store->clips, clipId)) != nullptr;
    if (!ok) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    RectNormalize(&node->bounds, &d);
    node->bounds = CmdClipBoundsApply(node->bounds, *clip);
    return 1;
}

RECT CmdRecordRect(const uint8_t* raw)
{
    return RECT{static_cast<LONG>(LoadLE32(raw)), static_cast<LONG>(LoadLE32(raw + 4)),
                static_cast<LONG>(LoadLE32(raw + 8)), static_cast<LONG>(LoadLE32(raw + 12))};
}

int CmdClipReplace(CmdNode* node, ResourceStore* store, Clip** slot, Clip* clip)
{
    CmdClipRelease(store, slot);
    if (clip == nullptr) return 1;
    *slot = ClipLookup(&store->clips, clip->head.id);
    if (*slot == nullptr) return 0;
    node->bounds = CmdClipBoundsApply(node->bounds, *slot);
    return 1;
}

int CmdColorDirect(const CmdNode* node)
{
    return CmdSlotFilled(node->op, CmdSlotRenderDirectNode) ? CMD_COLOR_DIRECT : CMD_COLOR_DRAW_RESTORE;
}
