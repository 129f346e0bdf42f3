// The Path command kind. Fills without a pen go through the engine's own scan converter into the
// band mask when the path can be realised; everything else is drawn by GDI from the stored path.
#include "engine/display/commands/cmd_path.h"
#include "engine/display/commands/cmd_draw_state.h"

#include <algorithm>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/common/rop.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/cmd_records.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/path_clip.h"
#include "engine/display/stores/path_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/raster/polygon_scan.h"
#include "engine/spool/stream.h"
#include "platform/gdi_paths.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

CmdPathNode* AsPath(CmdNode* node) { return reinterpret_cast<CmdPathNode*>(node); }
const CmdPathNode* AsPath(const CmdNode* node) { return reinterpret_cast<const CmdPathNode*>(node); }

bool MixIgnoresBrush(uint32_t mix) { return mix == R2_BLACK || mix == R2_WHITE || mix == R2_NOP || mix == R2_NOT; }

void PathDrop(ResourceStore* store, PathEntry** path)
{
    if (*path == nullptr) return;
    ResourceReleaseAccount(store, *path, 0, &store->paths, [](void* owner, void* object, int remove, ResourceCost* t) {
        PathRelease(static_cast<PathStore*>(owner), static_cast<PathEntry*>(object), remove, t);
    });
    *path = nullptr;
}

void FlagsSet(CmdPathNode* node)
{
    uint32_t classes = 0;
    if (node->brush != nullptr) classes |= node->brush->head.flags;
    if (node->pen != nullptr) classes |= node->pen->head.flags;
    node->head.flags = static_cast<uint16_t>((node->head.flags & ~CMD_FLAG_COLOR_MASK) | CmdColorFlags(classes));
}

void CmdPathDestroy(CmdNode* node, ResourceStore* store)
{
    CmdPathNode* p = AsPath(node);
    CmdBrushRelease(store, &p->brush);
    CmdPenRelease(store, &p->pen);
    PathDrop(store, &p->path);
    CmdClipRelease(store, &p->clip);
    CmdMemoryFree(store, node);
}

// A copy with its own references; null when one cannot be taken or memory is short.
CmdPathNode* PathCopy(const CmdPathNode* from, ResourceStore* store)
{
    auto* copy = static_cast<CmdPathNode*>(CmdMemoryAlloc(store, sizeof(CmdPathNode)));
    if (copy == nullptr) return nullptr;
    *copy = *from;
    copy->head.next = copy->head.prev = nullptr;
    copy->brush = nullptr;
    copy->pen = nullptr;
    copy->path = nullptr;
    copy->clip = nullptr;
    bool ok = true;
    if (from->brush) ok &= (copy->brush = BrushLookup(&store->brushes, from->brush->head.id)) != nullptr;
    if (from->pen) ok &= (copy->pen = PenLookup(&store->pens, from->pen->head.id, store->deviceByte)) != nullptr;
    if (from->path) ok &= (copy->path = PathLookup(&store->paths, from->path->head.id)) != nullptr;
    if (from->clip) ok &= (copy->clip = ClipLookup(&store->clips, from->clip->head.id)) != nullptr;
    if (!ok) {
        CmdPathDestroy(&copy->head, store);
        return nullptr;
    }
    return copy;
}

CmdNode* CmdPathClone(const CmdNode* node, ResourceStore* store)
{
    CmdPathNode* copy = PathCopy(AsPath(node), store);
    return copy != nullptr ? &copy->head : nullptr;
}

int CmdPathClip(CmdNode* node, const RECT* band, RECT* out)
{
    const CmdPathNode* p = AsPath(node);
    const PathEntry* path = p->path;
    const bool simple = !(path->head.flags & PATH_HAS_BEZIER) && path->subpathCount <= 1 && path->pointCount >= 2 &&
                        path->pointCount <= 16;
    if (!simple) {
        *out = node->bounds;
        return 1;
    }
    const LONG w = CmdPenReach(p->pen);
    RECT wide = *band;
    InflateRect(&wide, w, w);
    RECT r;
    if (!PathClipBounds(path, &wide, &r)) return 0;
    InflateRect(&r, w, w);
    *out = CmdClipBounded(r, p->clip);
    return IsRectEmpty(out) ? 0 : 1;
}

int CmdPathClipRegionSet(CmdNode* node, ResourceStore* store, Clip* clip)
{
    return CmdClipReplace(store, &AsPath(node)->clip, clip, &node->bounds);
}

int CmdPathBrushSet(CmdNode* node, ResourceStore* store, const POINT* origin, BrushEntry* brush)
{
    CmdPathNode* p = AsPath(node);
    CmdBrushRelease(store, &p->brush);
    p->brush = BrushLookup(&store->brushes, brush != nullptr ? brush->head.id : RESOURCE_ID_NONE);
    if (origin != nullptr) p->brushOrigin = *origin;
    FlagsSet(p);
    return p->brush != nullptr ? 1 : 0;
}

int CmdPathEqual(const CmdNode* a, const CmdNode* b)
{
    const CmdPathNode* x = AsPath(a);
    const CmdPathNode* y = AsPath(b);
    return a->op == b->op && EqualRect(&a->bounds, &b->bounds) && x->mix == y->mix &&
                   x->brushOrigin.x == y->brushOrigin.x && x->brushOrigin.y == y->brushOrigin.y &&
                   BrushEqual(x->brush, y->brush) && PenEqual(x->pen, y->pen) && ClipEqual(x->clip, y->clip) &&
                   PathEqual(x->path, y->path)
               ? 1
               : 0;
}

int PathIsSolid(const CmdNode* node, COLORREF colour, uint32_t mix)
{
    const CmdPathNode* p = AsPath(node);
    if (p->mix == R2_COPYPEN && !PenIsReal(p->pen) && BrushIsSolid(p->brush) && p->brush->colour == colour) return 1;
    return p->mix == mix ? 1 : 0;
}
int CmdPathIsBlack(const CmdNode* node) { return PathIsSolid(node, 0, R2_BLACK); }
int CmdPathIsWhite(const CmdNode* node) { return PathIsSolid(node, 0xFFFFFF, R2_WHITE); }

BrushEntry* PathBrushGet(const CmdNode* node) { return AsPath(node)->brush; }
POINT* PathBrushOriginGet(CmdNode* node) { return &AsPath(node)->brushOrigin; }
Clip* PathClipGet(const CmdNode* node) { return AsPath(node)->clip; }
Pen* PathPenGet(const CmdNode* node) { return AsPath(node)->pen; }
uint8_t PathMixGet(const CmdNode* node) { return AsPath(node)->mix; }
void PathMixSet(CmdNode* node, uint8_t mix) { AsPath(node)->mix = AsPath(node)->mix2 = mix; }

int CmdPathColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int)
{
    const CmdPathNode* p = AsPath(node);
    *hint = CMD_HINT_VECTOR;
    if (p->brush != nullptr && p->pen == nullptr && BrushIsSolid(p->brush) && p->mix == R2_COPYPEN) {
        *colour = p->brush->colour;
        return CMD_COLOR_SOLID;
    }
    if (p->pen != nullptr && p->brush == nullptr && BrushIsSolid(p->pen->brush) && p->mix == R2_COPYPEN) {
        *colour = p->pen->brush->colour;
        if (p->pen->head.flags & PEN_THIN) *hint |= CMD_HINT_THIN;
        return CMD_COLOR_SOLID;
    }
    if (!CmdMixIsPlain(p->mix)) return CMD_COLOR_LEVEL_IMAGE;
    if (node->flags >= CMD_FLAG_THIN) *hint = CMD_HINT_VECTOR | CMD_HINT_THIN;
    return CMD_COLOR_DRAW_RESTORE;
}

void MakeCurrent(const CmdPathNode* p, BandSurface* surface) { PathToGdiPath(p->path, surface->drawDC); }

int PenPrepare(ResourceStore* store, Pen* pen, BandSurface* surface)
{
    return pen == nullptr || ResourcePrepare(store, pen, surface, &store->pens, PenCostEstimate, PenRealize) != 0;
}

// Strokes the node's path with its pen: dashes by the engine, otherwise GDI's StrokePath.
void PathStroke(const CmdPathNode* p, BandSurface* surface, const RECT* rect)
{
    if (PenIsDashed(p->pen)) {
        PathStrokeStyled(p->path, surface, p->pen, rect);
        return;
    }
    MakeCurrent(p, surface);
    StrokePath(surface->drawDC);
}

void MarkAll(ResourceStore* store, BrushEntry* brush, const CmdPathNode* p)
{
    ResourceUseMark(store, brush ? &brush->head : nullptr, RESOURCE_IN_USE);
    ResourceUseMark(store, p->pen ? &p->pen->head : nullptr, RESOURCE_IN_USE);
    ResourceUseMark(store, &p->path->head, RESOURCE_IN_USE);
    ResourceUseMark(store, p->clip ? &p->clip->head : nullptr, RESOURCE_IN_USE);
}

int CmdPathDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* rect, void*)
{
    CmdPathNode* p = AsPath(node);
    HDC dc = surface->drawDC;
    const CmdDrawState state(surface);
    BrushEntry* used = MixIgnoresBrush(p->mix) ? &store->brushes.white : p->brush;
    MarkAll(store, used, p);
    bool ready = true;
    if (used != nullptr) {
        ready &= BrushSelect(store, used, &p->brushOrigin, surface) != 0;
        SetPolyFillMode(dc, static_cast<int>(p->fillMode));
    }
    ready &= PenPrepare(store, p->pen, surface);
    ready &= ClipSelect(store, p->clip, surface, rect) != 0;
    ResourceUseClear(store);
    if (!ready) return 0;
    if (p->pen == nullptr && p->brush == nullptr) return 1;
    SetROP2(dc, p->mix);
    if (p->brush == nullptr) {
        PathStroke(p, surface, rect);
    } else if (p->pen != nullptr) {
        MakeCurrent(p, surface);
        if (PenIsDashed(p->pen)) {
            FillPath(dc);
            PathStroke(p, surface, rect);
        } else {
            StrokeAndFillPath(dc);
        }
    } else if (BrushHasMask(p->brush)) {
        // The colour lands where the mask is set inside the path: XOR the colour in, clear it
        // where the mask brush is set inside the path, XOR again.
        const RECT& b = node->bounds;
        PatBlt(dc, b.left, b.top, b.right - b.left, b.bottom - b.top, PATINVERT);
        BrushCompanionSelect(store, p->brush, &p->brushOrigin, surface);
        SetROP2(dc, R2_MASKNOTPEN);
        MakeCurrent(p, surface);
        FillPath(dc);
        BrushSelect(store, p->brush, &p->brushOrigin, surface);
        PatBlt(dc, b.left, b.top, b.right - b.left, b.bottom - b.top, PATINVERT);
    } else {
        MakeCurrent(p, surface);
        FillPath(dc);
    }
    return 1;
}

int CmdPathDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE*)
{
    CmdPathNode* p = AsPath(node);
    HDC dc = surface->drawDC;
    if (p->clip != nullptr || !CmdRectInside(node->bounds, *area)) BandSurfaceResetDC(surface);
    const CmdDrawState state(surface);
    MarkAll(store, p->brush, p);
    if (p->brush != nullptr && BrushSelect(store, p->brush, &p->brushOrigin, surface) != 0)
        PatBlt(dc, area->left, area->top, area->right - area->left, area->bottom - area->top,
               DWORD{RopToRop3(p->mix)} << 16);
    if (p->pen != nullptr && PenPrepare(store, p->pen, surface)) {
        SetROP2(dc, p->mix);
        PathStroke(p, surface, area);
    }
    ResourceUseClear(store);
    BandSurfaceResetDC(surface);
    return GdiFlush();
}

// The path's coverage by the scan converter; false when the edge buffer cannot be had.
bool PathFillScan(CmdPathNode* p, BandSurface* mask, const RECT* area, const RECT* clear, const RECT* rects,
                  uint32_t count, bool single, int accumulate)
{
    const PathPoints* list = p->path->realised;
    const size_t n = list->pointCount;
    auto* edges = static_cast<Edge*>(RenderAlloc((n * 8 + 8) * sizeof(Edge)));
    if (edges == nullptr) return false;
    const int monotone = (p->path->head.flags & PATH_MONOTONE) != 0;
    uint32_t edgeCount = 0;
    if (!single) {
        // Set the visible rectangles, clear the path out of them, and flip: the path is left set
        // inside the rectangles only.
        if (accumulate) {
            BandMaskRectsInvert(mask, count, rects);
        } else {
            BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
            BandMaskRectsSet(mask, count, rects);
        }
        if (PathEdgeTableBuild(p->path, area, nullptr, nullptr, edges, &edgeCount))
            PolygonScanFill(mask, edges, edgeCount, monotone, static_cast<int>(p->fillMode), SCAN_CLEAR);
        if (accumulate) BandMaskRectsInvert(mask, count, rects);
        else BandMaskRectsInvertEach(mask, count, rects);
    } else {
        if (!accumulate) BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
        if (PathEdgeTableBuild(p->path, area, nullptr, nullptr, edges, &edgeCount))
            PolygonScanFill(mask, edges, edgeCount, monotone, static_cast<int>(p->fillMode), SCAN_SET);
    }
    RenderFree(edges);
    return true;
}

// band: the logical band rectangle that dashed strokes are cut to.
void PathRenderMaskGdi(CmdPathNode* p, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* clear,
                       const RECT* rects, uint32_t count, int accumulate)
{
    HDC dc = mask->drawDC;
    BrushEntry* maskBrush = nullptr;
    if (p->brush != nullptr) maskBrush = (p->brush->head.flags & BRUSH_COMPANION) ? p->brush : p->brush->companion;
    MarkAll(store, maskBrush, p);
    if (p->brush != nullptr) {
        BrushCompanionSelect(store, p->brush, &p->brushOrigin, mask);
        SetPolyFillMode(dc, static_cast<int>(p->fillMode));
    }
    if (p->pen != nullptr) ResourcePrepare(store, p->pen, mask, &store->pens, PenMaskCostEstimate, PenMaskRealize);
    ResourceUseClear(store);
    const bool hasMask = BrushHasMask(p->brush) || (p->pen != nullptr && BrushHasMask(p->pen->brush));
    SetROP2(dc, hasMask ? R2_MASKNOTPEN : R2_BLACK);
    auto draw = [&] {
        if (p->brush == nullptr) {
            PathStroke(p, mask, band);
        } else {
            MakeCurrent(p, mask);
            if (p->pen == nullptr) FillPath(dc);
            else if (PenIsDashed(p->pen)) {
                FillPath(dc);
                PathStroke(p, mask, band);
            } else {
                StrokeAndFillPath(dc);
            }
        }
    };
    if (accumulate) {
        BandMaskRectsInvert(mask, count, rects);
        draw();
        GdiFlush();
        BandMaskRectsInvert(mask, count, rects);
    } else {
        BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
        BandMaskRectsSet(mask, count, rects);
        draw();
        GdiFlush();
        BandMaskRectsInvertEach(mask, count, rects);
        BandSurfaceResetDC(mask);
    }
    SetROP2(dc, R2_COPYPEN);
}

int CmdPathRenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area,
                      const RECT* clear, int accumulate)
{
    CmdPathNode* p = AsPath(node);
    // Neither pen nor brush draws nothing, as the draw road does; the mask DC's own pen must not
    // stroke the path in their place.
    if (p->pen == nullptr && p->brush == nullptr) return CMD_BAND_NOTHING;
    const CmdDrawState state(mask);
    RECT single = *area;
    const RECT* rects = &single;
    uint32_t count = 1;
    RECT* owned = nullptr;
    bool isSingle = true;
    if (ClipHasRects(p->clip)) {
        if (ResourcePrepareWith(store, p->clip, &store->clips, mask, nullptr, ClipCostEstimate, ClipRealize) == 0)
            return CMD_BAND_NOTHING;
        const int32_t n = ClipRectsForBand(p->clip, mask, area, &owned);
        if (n <= 0) return CMD_BAND_NOTHING;
        count = static_cast<uint32_t>(n);
        rects = owned;
        isSingle = count == 1 && EqualRect(&owned[0], area);
    }
    bool scanned = false;
    if (p->brush != nullptr && p->pen == nullptr && p->path->pointCount > 2) {
        ResourceUseMark(store, &p->path->head, RESOURCE_IN_USE);
        const bool realised =
            ResourcePrepareWith(store, p->path, &store->paths, mask, nullptr, PathCostEstimate, PathRealize) != 0 &&
            p->path->realised != nullptr;
        ResourceUseClear(store);
        if (realised) scanned = PathFillScan(p, mask, area, clear, rects, count, isSingle, accumulate);
        if (realised && !scanned) {
            RenderFree(owned);
            return CMD_BAND_NOTHING;
        }
    }
    if (!scanned) PathRenderMaskGdi(p, store, mask, band, clear, rects, count, accumulate);
    RenderFree(owned);
    return CMD_BAND_MASKED;
}

}  // namespace

int CmdPathRead(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[36];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    uint32_t mix = raw[CmdPathRecord::mix];
    if (mix == R2_NOP) return 1;
    const ResourceId penId = LoadLE32(raw + CmdPathRecord::pen);
    ResourceId brushId = LoadLE32(raw + CmdPathRecord::brush);
    const ResourceId clipId = LoadLE32(raw + CmdPathRecord::clip);
    if (penId == RESOURCE_ID_NONE) Rop2Simplify(&mix, &brushId);

    auto* node = static_cast<CmdPathNode*>(CmdMemoryAlloc(store, sizeof(CmdPathNode)));
    if (node == nullptr) return 0;
    *node = CmdPathNode{};
    node->head.op = CmdOpPath;
    node->mix = static_cast<uint8_t>(mix);
    node->mix2 = raw[CmdPathRecord::backgroundMix];
    node->fillMode = raw[CmdPathRecord::fillMode];
    node->brushOrigin = POINT{static_cast<LONG>(LoadLE32(raw + CmdPathRecord::brushOriginX)),
                              static_cast<LONG>(LoadLE32(raw + CmdPathRecord::brushOriginY))};
    bool ok = true;
    if (penId != RESOURCE_ID_NONE) ok &= (node->pen = PenLookup(&store->pens, penId, store->deviceByte)) != nullptr;
    if (brushId != RESOURCE_ID_NONE) ok &= (node->brush = BrushLookup(&store->brushes, brushId)) != nullptr;
    ok &= (node->path = PathLookup(&store->paths, LoadLE32(raw + CmdPathRecord::path))) != nullptr;
    if (clipId != RESOURCE_ID_NONE) ok &= (node->clip = ClipLookup(&store->clips, clipId)) != nullptr;
    if (!ok) {
        SetLastError(ERROR_INVALID_DATA);
        CmdPathDestroy(&node->head, store);
        return 0;
    }
    RECT bounds = node->path->bounds;
    const LONG w = CmdPenReach(node->pen);
    InflateRect(&bounds, w, w);
    node->head.bounds = CmdClipBounded(bounds, node->clip);
    FlagsSet(node);

    if (node->pen != nullptr && node->brush != nullptr && node->mix == R2_COPYPEN) {
        // Fill first, then the outline over it, as two commands.
        CmdPathNode* outline = PathCopy(node, store);
        if (outline == nullptr) {
            CmdPathDestroy(&node->head, store);
            return 0;
        }
        CmdBrushRelease(store, &outline->brush);
        CmdPenRelease(store, &node->pen);
        FlagsSet(outline);
        FlagsSet(node);
        node->head.bounds = CmdClipBounded(node->path->bounds, node->clip);
        node->head.next = &outline->head;
    }
    *out = &node->head;
    return 1;
}

const CmdOpRow kCmdOpRowPath = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.isBlack = CmdPathIsBlack;
    row.clip = CmdPathClip;
    row.brushGet = PathBrushGet;
    row.brushOriginGet = PathBrushOriginGet;
    row.brushSet = CmdPathBrushSet;
    row.clipGet = PathClipGet;
    row.clipRegionSet = CmdPathClipRegionSet;
    row.equal = CmdPathEqual;
    row.read = CmdPathRead;
    row.destroy = CmdPathDestroy;
    row.clone = CmdPathClone;
    row.renderBand = CmdPathRenderBand;
    row.penGet = PathPenGet;
    row.draw = CmdPathDraw;
    row.mixGet = PathMixGet;
    row.mixSet = PathMixSet;
    row.colorClassGet = CmdPathColorClassGet;
    row.drawRestore = CmdPathDrawRestore;
    row.isWhite = CmdPathIsWhite;
    return row;
}();
