// The brush source. The optimiser makes one from a shape painted with a black-and-white pattern,
// so that a picture can be copied through the pattern: the rectangles say where, the pattern's
// white pixels which of them.
#include "engine/display/commands/source_brush.h"

#include <algorithm>
#include <cstring>

#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_path.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/brush_store.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"

namespace {

SourceBrush* As(Source* source) { return reinterpret_cast<SourceBrush*>(source); }
const SourceBrush* As(const Source* source) { return reinterpret_cast<const SourceBrush*>(source); }

// D AND NOT P: the page is kept where the pattern is black and cleared where it is white.
constexpr DWORD kRopAndNotPattern = 0x0A0329;
// P OR D: the pattern's white pixels are marked and marks already made stay.
constexpr DWORD kRopPatternOr = 0xFA0089;

// The source's brush, or the store's white one without a brush, selected with the origin.
int Select(SourceBrush* s, ResourceStore* store, BandSurface* surface)
{
    BrushEntry* brush = s->brush != nullptr ? s->brush : &store->brushes.white;
    ResourceUseMark(store, &brush->head, RESOURCE_IN_USE);
    return BrushSelect(store, brush, &s->brushOrigin, surface);
}

void PatRect(HDC dc, const RECT& r, DWORD rop)
{
    if (r.left < r.right && r.top < r.bottom) PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, rop);
}

void BrushSourceRender(Source* source, ResourceStore* store, BandSurface* surface)
{
    SourceBrush* s = As(source);
    if (Select(s, store, surface) != 0)
        for (uint32_t i = 0; i < s->count; ++i) PatRect(surface->drawDC, s->rects[i], kRopAndNotPattern);
    ResourceUseClear(store);
    GdiFlush();
}

// Marks the pattern's white pixels of every rectangle that meets the band, cut to the band: a
// caller that passes its command's bounds as the band gets no mark outside them. Marks are added
// to what the mask holds (a plain copy of the pattern would erase the marks of commands drawn
// before it into an accumulated mask).
void BrushSourceRenderBand(Source* source, ResourceStore* store, BandSurface* surface, const RECT* band, void*,
                           const RECT* clear, int accumulate)
{
    SourceBrush* s = As(source);
    if (!accumulate && clear != nullptr) BandSurfaceClear(surface, SIZE{clear->right, clear->bottom});
    if (Select(s, store, surface) != 0) {
        for (uint32_t i = 0; i < s->count; ++i) {
            const RECT& r = s->rects[i];
            if (r.left >= band->right || r.right <= band->left || r.top >= band->bottom || r.bottom <= band->top)
                continue;
            const RECT cut{std::max(r.left, band->left), std::max(r.top, band->top), std::min(r.right, band->right),
                           std::min(r.bottom, band->bottom)};
            PatRect(surface->drawDC, cut, kRopPatternOr);
        }
    }
    ResourceUseClear(store);
    BandSurfaceResetDC(surface);
    GdiFlush();
}

int BrushSourceEqual(const Source* a, const Source* b)
{
    const SourceBrush* x = As(a);
    const SourceBrush* y = As(b);
    return x->count == y->count && std::memcmp(x->rects, y->rects, sizeof(RECT) * x->count) == 0 &&
           x->brushOrigin.x == y->brushOrigin.x && x->brushOrigin.y == y->brushOrigin.y &&
           BrushEqual(x->brush, y->brush);
}

void BrushSourceRelease(Source* source, ResourceStore* store, int)
{
    SourceBrush* s = As(source);
    CmdBrushRelease(store, &s->brush);
    CmdMemoryFree(store, s);
}

Source* BrushSourceClone(const Source* source, ResourceStore* store)
{
    const SourceBrush* s = As(source);
    const size_t size = SourceBrushSize(s->count);
    auto* copy = static_cast<SourceBrush*>(CmdMemoryAlloc(store, size));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, s, size);
    if (copy->brush != nullptr) ResourceRefAdd(&copy->brush->head);
    return &copy->head;
}

}  // namespace

Source* BrushSourcePrepare(CmdNode* node, ResourceStore* store, uint32_t clipId, uint32_t brushId)
{
    POINT origin{0, 0};
    BrushEntry* own = nullptr;
    switch (node->op) {
        case CmdOpPath: {
            const auto* p = reinterpret_cast<const CmdPathNode*>(node);
            origin = p->brushOrigin;
            own = p->brush;
            break;
        }
        case CmdOpRect: {
            const auto* r = reinterpret_cast<const CmdRectNode*>(node);
            origin = r->brushOrigin;
            own = r->brush;
            break;
        }
        case CmdOpRectFill:
        case CmdOpRectsFill: own = reinterpret_cast<const CmdRectFillNode*>(node)->brush; break;
        default: return nullptr;
    }
    Clip* clip = nullptr;
    if (clipId != 0 && (clip = ClipLookup(&store->clips, clipId)) == nullptr) return nullptr;
    const uint32_t count = clip != nullptr ? clip->data.nCount : 0;
    auto* s = static_cast<SourceBrush*>(CmdMemoryAlloc(store, SourceBrushSize(count)));
    if (s != nullptr) {
        s->head.kind = SourceKindBrush;
        s->head.owner = store;
        s->brushOrigin = origin;
        s->count = std::max<uint32_t>(count, 1);
        if (count > 0) std::memcpy(s->rects, ClipRects(clip), sizeof(RECT) * count);
        else s->rects[0] = clip != nullptr ? clip->data.rcBound : node->bounds;
        const ResourceId id = brushId != 0 ? brushId : own != nullptr ? own->head.id : 0;
        if (id != 0 || own != nullptr) {
            s->brush = BrushLookup(&store->brushes, id);
            if (s->brush == nullptr) {
                CmdMemoryFree(store, s);
                s = nullptr;
            } else if (!BrushIsSolid(s->brush)) {
                s->brush->head.flags |= BRUSH_COMPANION;
            }
        }
    }
    if (clip != nullptr) CmdClipRelease(store, &clip);
    return s != nullptr ? &s->head : nullptr;
}

const SourceKindRow kSourceRowBrush = {
    BrushSourceRender,
    BrushSourceEqual,
    [](CmdNode* node, ResourceStore* store, uint32_t clipId, uint32_t brushId) {
        return BrushSourcePrepare(node, store, clipId, brushId);
    },
    BrushSourceRelease,
    BrushSourceClone,
    BrushSourceRenderBand,
};
