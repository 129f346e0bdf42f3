// The TransparentBlt command kind: a bitmap scaled onto the page with one colour left out. The
// band mask gets the bitmap's 1-bit mask copy (1 where the pixel is not that colour); the pixels are
// drawn by GDI, or rendered from the converted copy where the stretch blit picks GDI's pixels.
#include <algorithm>

#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/band_mask_clip.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
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
    CmdMemoryFree(store, n);
}

int Read(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[52];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    auto* n = static_cast<TransparentNode*>(CmdMemoryAlloc(store, sizeof(TransparentNode)));
    if (n == nullptr) return 0;
    n->head.op = CmdOpTransparentBlt;
    n->colour = LoadLE32(raw + TransparentBltRecord::colour);
    constexpr CmdBitmapRecordLayout kLayout{TransparentBltRecord::destination, TransparentBltRecord::source,
                                            TransparentBltRecord::bitmap, TransparentBltRecord::clip};
    bool ok = CmdBitmapRecordResolve(store, raw, kLayout, &n->head, &n->area, &n->bitmap, &n->clip) != 0;
    if (ok) {
        if (BitmapEntry* mask = BitmapCloneMask(&store->bitmaps, n->bitmap, n->colour))
            ok = (n->mask = BitmapLookup(&store->bitmaps, mask->head.id)) != nullptr;
        if (!ok) SetLastError(ERROR_INVALID_DATA);
    }
    if (!ok) {
        Destroy(&n->head, store);
        return 0;
    }
    n->head.flags = CmdColorFlags(n->bitmap->head.flags);
    *out = &n->head;
    return 1;
}

CmdNode* Clone(const CmdNode* node, ResourceStore* store)
{
    auto* copy = static_cast<TransparentNode*>(CmdMemoryAlloc(store, sizeof(TransparentNode)));
    if (copy == nullptr) return nullptr;
    *copy = *As(node);
    copy->head.next = copy->head.prev = nullptr;
    ResourceRefAdd(&copy->bitmap->head);
    if (copy->mask) ResourceRefAdd(&copy->mask->head);
    if (copy->clip) ResourceRefAdd(&copy->clip->head);
    return &copy->head;
}

RECT DestinationDevice(const TransparentNode* n, HDC dc)
{
    POINT p[2] = {{n->area.x, n->area.y}, {n->area.x + n->area.width, n->area.y + n->area.height}};
    LPtoDP(dc, p, 2);
    return RECT{p[0].x, p[0].y, p[1].x, p[1].y};
}

// GDI's TransparentBlt gives device pixel i of an axis the source pixel floor((2i + 1) s / 2d),
// the pixel under its centre; the stretch blit gives floor(i s / d), the one under its top-left
// corner. The two agree at every i exactly when d is a whole multiple of s (a copy or a whole
// enlargement): only then may the stretch blit stand in for GDI, on the mask and on the pixels.
bool PicksAgree(const TransparentNode* n, const RECT& device)
{
    const int64_t dw = int64_t{device.right} - device.left, dh = int64_t{device.bottom} - device.top;
    const int64_t sw = n->area.srcWidth, sh = n->area.srcHeight;
    return sw > 0 && sh > 0 && dw > 0 && dh > 0 && dw % sw == 0 && dh % sh == 0;
}

int RenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area,
               const RECT* clear, int accumulate)
{
    TransparentNode* n = As(node);
    if (!accumulate && clear != nullptr) BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
    if (n->mask == nullptr) {
        if (n->clip == nullptr || !ClipHasRects(n->clip)) {
            if (!accumulate) return CMD_BAND_NO_MASK;
        }
        return BandMaskClipRectsSet(store, mask, n->clip, band, area) > 0 ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
    }
    // GDI draws no TransparentBlt of a negative size: neither is anything marked.
    if (n->area.width < 0 || n->area.height < 0 || n->area.srcWidth < 0 || n->area.srcHeight < 0)
        return CMD_BAND_NOTHING;
    RECT rect = DestinationDevice(n, mask->drawDC);
    // Only the clip's rectangles are marked, as for the other image commands: the band mask is
    // what keeps the pixels outside the clip.
    RECT* rects = nullptr;
    const int32_t count = CmdMaskClips(store, n->clip, mask, area, &rects);
    CmdMaskKeep keep{};
    if (count == 0 || !CmdBitmapPixelsReady(store, n->mask, mask) || !CmdMaskKeepBegin(&keep, mask, area, accumulate)) {
        RenderFree(rects);
        ResourceUseClear(store);
        return CMD_BAND_NOTHING;
    }
    if (CmdSourceInside(n->mask, n->area.srcX, n->area.srcY, n->area.srcWidth, n->area.srcHeight) &&
        PicksAgree(n, rect)) {
        const BltBitmap to = CmdSurfaceBlt(mask);
        const BltBitmap from =
            CmdBitmapBlt(n->mask, n->area.srcX, n->area.srcY, n->area.srcWidth, n->area.srcHeight, false);
        RasterStretchBlt(&to, &from, nullptr, &rect, rects != nullptr ? rects : area, count, Rop3SrcCopy, 0);
    } else {
        // GDI picks the pixels its TransparentBlt picks, and leaves what lies outside the bitmap;
        // its clip is the command's.
        if (n->clip) ResourceUseMark(store, &n->clip->head, RESOURCE_IN_USE);
        ClipSelect(store, n->clip, mask, nullptr);
        StretchDIBits(mask->drawDC, n->area.x, n->area.y, n->area.width, n->area.height, n->area.srcX,
                      CmdDibSourceY(n->mask, n->area.srcY, n->area.srcHeight), n->area.srcWidth, n->area.srcHeight,
                      BitmapPixelRows(n->mask), reinterpret_cast<const BITMAPINFO*>(n->mask->pixels), DIB_RGB_COLORS,
                      SRCCOPY);
        BandSurfaceResetDC(mask);
    }
    CmdMaskKeepEnd(&keep);
    RenderFree(rects);
    ResourceUseClear(store);
    return CMD_BAND_MASKED;
}

void Blt(TransparentNode* n, BandSurface* surface)
{
    TransparentBlt(surface->drawDC, n->area.x, n->area.y, n->area.width, n->area.height, surface->secondDC,
                   n->area.srcX, n->area.srcY, n->area.srcWidth, n->area.srcHeight, n->colour);
}

int Draw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, void*)
{
    TransparentNode* n = As(node);
    const CmdDrawState state(surface);
    if (n->clip) ResourceUseMark(store, &n->clip->head, RESOURCE_IN_USE);
    ClipSelect(store, n->clip, surface, nullptr);
    if (CmdBitmapRealise(store, n->bitmap, surface)) Blt(n, surface);
    ResourceUseClear(store);
    return 1;
}

int DrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, const SIZE*)
{
    TransparentNode* n = As(node);
    BandSurfaceResetDC(surface);
    const CmdDrawState state(surface);
    if (CmdBitmapRealise(store, n->bitmap, surface)) Blt(n, surface);
    ResourceUseClear(store);
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

// The converted copy stretched into the caller's buffer; the band mask (the mask copy's 1s) keeps
// the transparent colour out. Only where the stretch blit picks GDI's pixels: other scalings are
// drawn by GDI and converted (0 here sends the band loop there).
int RenderDirect(CmdNode* node, ResourceStore* store, OutputModuleContext*, void* argument,
                 const ImxImageFormat* format, uint32_t stride, uint8_t* buffer, uint8_t* colour, const RECT* rect)
{
    TransparentNode* n = As(node);
    auto* surface = static_cast<BandSurface*>(argument);
    if (n->mask == nullptr || surface == nullptr) return 0;
    RECT destination = DestinationDevice(n, surface->drawDC);
    if (!PicksAgree(n, destination)) return 0;
    const CmdDirectTarget target{format, stride, buffer, colour, rect};
    return CmdConvertedStretch(store, surface, n->bitmap, n->area, &destination, rect, target);
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
    row.renderDirect = RenderDirect;
    return row;
}();
