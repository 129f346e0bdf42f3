// The Rect command kind: a rectangle with an optional outline pen, a fill brush and a clip. A
// thick or round-joined outline is split at read time into simpler commands.
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/commands/cmd_draw_state.h"

#include <algorithm>
#include <cmath>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/common/rop.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_records.h"
#include "engine/display/commands/band_mask_clip.h"
#include "engine/display/commands/cmd_line.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/resource_store.h"
#include "engine/display/stores/styled_polyline.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi_paths.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

CmdRectNode* AsRect(CmdNode* node) { return reinterpret_cast<CmdRectNode*>(node); }
const CmdRectNode* AsRect(const CmdNode* node) { return reinterpret_cast<const CmdRectNode*>(node); }

bool RealBrush(const BrushEntry* brush) { return brush != nullptr && brush->head.id != RESOURCE_ID_NONE; }

// Mixes that ignore the brush's colour: drawn with the built-in white brush.
bool MixIgnoresBrush(uint32_t mix) { return mix == R2_BLACK || mix == R2_WHITE || mix == R2_NOP || mix == R2_NOT; }

void FlagsSet(CmdRectNode* node)
{
    uint32_t classes = 0;
    if (RealBrush(node->brush)) classes |= node->brush->head.flags;
    if (PenIsReal(node->pen)) classes |= node->pen->head.flags;
    node->head.flags = static_cast<uint16_t>((node->head.flags & ~CMD_FLAG_COLOR_MASK) | CmdColorFlags(classes));
}

void CmdRectDestroy(CmdNode* node, ResourceStore* store)
{
    CmdRectNode* rect = AsRect(node);
    CmdBrushRelease(store, &rect->brush);
    CmdPenRelease(store, &rect->pen);
    CmdClipRelease(store, &rect->clip);
    CmdMemoryFree(store, node);
}

// Destroys every node of a chain linked through next.
void ChainDestroy(CmdNode* first, ResourceStore* store)
{
    while (first != nullptr) {
        CmdNode* next = first->next;
        CmdRow(first).destroy(first, store);
        first = next;
    }
}

CmdNode*& ChainEnd(CmdNode*& first)
{
    CmdNode** link = &first;
    while (*link != nullptr) link = &(*link)->next;
    return *link;
}

uint8_t RectMixGet(const CmdNode* node) { return AsRect(node)->mix; }
void RectMixSet(CmdNode* node, uint8_t mix) { AsRect(node)->mix = AsRect(node)->mix2 = mix; }
BrushEntry* RectBrushGet(const CmdNode* node) { return AsRect(node)->brush; }
POINT* RectBrushOriginGet(CmdNode* node) { return &AsRect(node)->brushOrigin; }
Clip* RectClipGet(const CmdNode* node) { return AsRect(node)->clip; }
Pen* RectPenGet(const CmdNode* node) { return AsRect(node)->pen; }

int RectIsSolid(const CmdNode* node, COLORREF colour, uint32_t mix)
{
    const CmdRectNode* rect = AsRect(node);
    if (rect->mix == R2_COPYPEN && !PenIsReal(rect->pen) && BrushIsSolid(rect->brush) && rect->brush->colour == colour)
        return 1;
    return rect->mix == mix ? 1 : 0;
}
int CmdRectIsBlack(const CmdNode* node) { return RectIsSolid(node, 0, R2_BLACK); }
int CmdRectIsWhite(const CmdNode* node) { return RectIsSolid(node, 0xFFFFFF, R2_WHITE); }

int CmdRectBrushSet(CmdNode* node, ResourceStore* store, const POINT* origin, BrushEntry* brush)
{
    CmdRectNode* rect = AsRect(node);
    CmdBrushRelease(store, &rect->brush);
    rect->brush = BrushLookup(&store->brushes, brush != nullptr ? brush->head.id : RESOURCE_ID_NONE);
    if (origin != nullptr) rect->brushOrigin = *origin;
    FlagsSet(rect);
    return rect->brush != nullptr ? 1 : 0;
}

int CmdRectClipRegionSet(CmdNode* node, ResourceStore* store, Clip* clip)
{
    CmdRectNode* rect = AsRect(node);
    if (clip == rect->clip) return 1;
    CmdClipRelease(store, &rect->clip);
    if (clip == nullptr) return 1;
    if (PenIsReal(rect->pen) || ClipHasRects(clip)) {
        rect->clip = ClipLookup(&store->clips, clip->head.id);
        if (rect->clip == nullptr) return 0;
        node->bounds = CmdClipBounded(node->bounds, rect->clip);
        return 1;
    }
    // A plain rectangular clip of a plain rectangle is the rectangle made smaller.
    rect->rect = CmdClipBounded(rect->rect, clip);
    node->bounds = rect->rect;
    return 1;
}

int CmdRectEqual(const CmdNode* a, const CmdNode* b)
{
    const CmdRectNode* x = AsRect(a);
    const CmdRectNode* y = AsRect(b);
    return a->op == b->op && EqualRect(&x->rect, &y->rect) && x->brushOrigin.x == y->brushOrigin.x &&
                   x->brushOrigin.y == y->brushOrigin.y && BrushEqual(x->brush, y->brush) && PenEqual(x->pen, y->pen) &&
                   ClipEqual(x->clip, y->clip)
               ? 1
               : 0;
}

int CmdRectMapToDevice(CmdNode* node, ResourceStore*, const CmdMapping* mapping)
{
    CmdRectNode* rect = AsRect(node);
    if (PenIsReal(rect->pen) || !CmdMixIsPlain(rect->mix)) return 1;
    RectWidenToPixel(mapping, &rect->rect);
    if (rect->clip != nullptr) {
        RECT bounds = rect->clip->data.rcBound;
        RectWidenToPixel(mapping, &bounds);
        if (!IntersectRect(&node->bounds, &rect->rect, &bounds)) node->bounds = RECT{};
    } else {
        node->bounds = rect->rect;
    }
    return 1;
}

CmdNode* CmdRectClone(const CmdNode* node, ResourceStore* store)
{
    const CmdRectNode* from = AsRect(node);
    auto* copy = static_cast<CmdRectNode*>(CmdMemoryAlloc(store, sizeof(CmdRectNode)));
    if (copy == nullptr) return nullptr;
    *copy = *from;
    copy->head.next = copy->head.prev = nullptr;
    copy->brush = nullptr;
    copy->pen = nullptr;
    copy->clip = nullptr;
    bool ok = true;
    if (from->brush) ok &= (copy->brush = BrushLookup(&store->brushes, from->brush->head.id)) != nullptr;
    if (from->pen) ok &= (copy->pen = PenLookup(&store->pens, from->pen->head.id, store->deviceByte)) != nullptr;
    if (from->clip) ok &= (copy->clip = ClipLookup(&store->clips, from->clip->head.id)) != nullptr;
    if (!ok) {
        CmdRectDestroy(&copy->head, store);
        return nullptr;
    }
    return &copy->head;
}

int CmdRectColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int)
{
    const CmdRectNode* rect = AsRect(node);
    const bool thin = node->flags >= CMD_FLAG_THIN;
    *hint = CMD_HINT_VECTOR;
    const bool realPen = PenIsReal(rect->pen);
    if (RealBrush(rect->brush) && !realPen && BrushIsSolid(rect->brush) && rect->mix == R2_COPYPEN) {
        *colour = rect->brush->colour;
        if (thin) *hint |= CMD_HINT_THIN;
        return CMD_COLOR_SOLID;
    }
    if (realPen && !RealBrush(rect->brush) && BrushIsSolid(rect->pen->brush) && rect->mix == R2_COPYPEN) {
        *colour = rect->pen->brush->colour;
        if (rect->pen->head.flags & PEN_THIN) *hint |= CMD_HINT_THIN;
        return CMD_COLOR_SOLID;
    }
    if (!CmdMixIsPlain(rect->mix)) return CMD_COLOR_LEVEL_IMAGE;
    if (thin) *hint = CMD_HINT_VECTOR | CMD_HINT_THIN;
    return CMD_COLOR_DRAW_RESTORE;
}

// The outline of a Rect drawn with a plain mix: along the same border pixels as GDI's Rectangle
// and the outline's Line pieces (columns left and right - 1, rows top and bottom - 1).
void RectOutline(const CmdRectNode* rect, BandSurface* surface, const RECT* clip)
{
    const RECT& r = rect->rect;
    const POINT corners[4] = {{r.left, r.top},
                              {r.right - 1, r.top},
                              {r.right - 1, r.bottom - 1},
                              {r.left, r.bottom - 1}};
    HDC dc = surface->drawDC;
    if (PenIsDashed(rect->pen)) {
        DashState state{0, 0};
        for (int i = 0; i < 4; ++i) StyledPolyline(surface, rect->pen, &state, clip, corners[i], corners[(i + 1) % 4]);
        return;
    }
    // Back to the first corner before closing: the figure's last side is drawn even where
    // CloseFigure leaves a Polyline figure open.
    const POINT closed[5] = {corners[0], corners[1], corners[2], corners[3], corners[0]};
    BeginPath(dc);
    Polyline(dc, closed, 5);
    CloseFigure(dc);
    EndPath(dc);
    StrokePath(dc);  // a failure leaves the outline out
}

BrushEntry* BrushUsed(ResourceStore* store, const CmdRectNode* rect)
{
    return MixIgnoresBrush(rect->mix) ? &store->brushes.white : rect->brush;
}

int PenPrepare(ResourceStore* store, Pen* pen, BandSurface* surface)
{
    return ResourcePrepare(store, pen, surface, &store->pens, PenCostEstimate, PenRealize);
}

// Steps 2 and 3 of drawing a Rect with a real pen.
void RectWithPenDraw(const CmdRectNode* rect, BandSurface* surface, const RECT* band)
{
    HDC dc = surface->drawDC;
    const RECT& r = rect->rect;
    SetROP2(dc, rect->mix);
    if (!CmdMixIsPlain(rect->mix)) {
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
        return;
    }
    if (RealBrush(rect->brush))
        PatBlt(dc, r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1, DWORD{RopToRop3(rect->mix)} << 16);
    RectOutline(rect, surface, band);
}

int CmdRectDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void*)
{
    CmdRectNode* rect = AsRect(node);
    HDC dc = surface->drawDC;
    const RECT& r = rect->rect;
    const CmdDrawState state(surface);
    BrushEntry* brush = BrushUsed(store, rect);
    ResourceUseMark(store, brush ? &brush->head : nullptr, RESOURCE_IN_USE);
    ResourceUseMark(store, rect->pen ? &rect->pen->head : nullptr, RESOURCE_IN_USE);
    ResourceUseMark(store, rect->clip ? &rect->clip->head : nullptr, RESOURCE_IN_USE);
    const bool ready = BrushSelect(store, brush, &rect->brushOrigin, surface) != 0 &&
                       PenPrepare(store, rect->pen, surface) != 0 && ClipSelect(store, rect->clip, surface, band) != 0;
    if (!ready) {
        ResourceUseClear(store);
        return 0;
    }
    if (PenIsReal(rect->pen)) {
        RectWithPenDraw(rect, surface, band);
    } else if (BrushHasMask(rect->brush)) {
        // The colour lands where the mask brush is set: XOR the colour in, clear it where the
        // mask is set, XOR again.
        PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, PATINVERT);
        BrushCompanionSelect(store, rect->brush, &rect->brushOrigin, surface);
        SetROP2(dc, R2_MASKNOTPEN);
        Rectangle(dc, r.left, r.top, r.right + 1, r.bottom + 1);
        BrushSelect(store, rect->brush, &rect->brushOrigin, surface);
        PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, PATINVERT);
    } else {
        PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, DWORD{RopToRop3(rect->mix)} << 16);
    }
    ResourceUseClear(store);
    return 1;
}

int CmdRectDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE*)
{
    CmdRectNode* rect = AsRect(node);
    HDC dc = surface->drawDC;
    const RECT& r = rect->rect;
    if (rect->clip != nullptr || !CmdRectInside(node->bounds, *area)) BandSurfaceResetDC(surface);
    const CmdDrawState state(surface);
    BrushEntry* brush = BrushUsed(store, rect);
    ResourceUseMark(store, brush ? &brush->head : nullptr, RESOURCE_IN_USE);
    ResourceUseMark(store, rect->pen ? &rect->pen->head : nullptr, RESOURCE_IN_USE);
    if (BrushSelect(store, brush, &rect->brushOrigin, surface) != 0 && PenPrepare(store, rect->pen, surface) != 0) {
        if (!PenIsReal(rect->pen)) {
            SetROP2(dc, R2_COPYPEN);
            PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, DWORD{RopToRop3(rect->mix)} << 16);
        } else {
            RectWithPenDraw(rect, surface, area);
        }
    }
    ResourceUseClear(store);
    BandSurfaceResetDC(surface);
    return GdiFlush();
}

int CmdRectRenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area,
                      const RECT* clear, int accumulate)
{
    CmdRectNode* rect = AsRect(node);
    HDC dc = mask->drawDC;
    const CmdDrawState state(mask);
    const RECT& r = rect->rect;
    const bool realPen = PenIsReal(rect->pen);
    const bool brushMask = BrushHasMask(rect->brush);
    auto clearArea = [&] {
        if (!accumulate) BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
    };
    auto markVisible = [&] {
        clearArea();
        const int32_t marked = BandMaskClipRectsSet(store, mask, rect->clip, band, area);
        return marked > 0 ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
    };
    if (RealBrush(rect->brush) && !realPen && !brushMask) {
        if (!ClipHasRects(rect->clip) && !accumulate) return CMD_BAND_NO_MASK;
        return markVisible();
    }
    if (MixIgnoresBrush(rect->mix)) return markVisible();
    if (realPen) {
        if (!accumulate) {
            clearArea();
            BandSurfaceResetDC(mask);
        }
        ResourceUseMark(store, &rect->pen->head, RESOURCE_IN_USE);
        ResourceUseMark(store, rect->brush ? &rect->brush->head : nullptr, RESOURCE_IN_USE);
        ResourceUseMark(store, rect->clip ? &rect->clip->head : nullptr, RESOURCE_IN_USE);
        const bool ready = ResourcePrepare(store, rect->pen, mask, &store->pens, PenMaskCostEstimate, PenMaskRealize) &&
                           BrushCompanionSelect(store, rect->brush, &rect->brushOrigin, mask) &&
                           ClipSelect(store, rect->clip, mask, band);
        ResourceUseClear(store);
        if (ready) {
            SetROP2(dc, R2_COPYPEN);
            // With a plain mix the shape is marked the way the draw paints it, the fill inside
            // the border and the outline along (r-1, b-1), dashes stepped by the engine: GDI's
            // Rectangle strokes its border from other corners (a bevelled corner loses pixels) and
            // would draw the mask pen's dashes solid.
            if (CmdMixIsPlain(rect->mix)) {
                if (RealBrush(rect->brush))
                    PatBlt(dc, r.left, r.top, r.right - r.left - 1, r.bottom - r.top - 1, PATCOPY);
                RECT inside = *band;
                RectOutline(rect, mask, &inside);
            } else {
                Rectangle(dc, r.left, r.top, r.right, r.bottom);
            }
        }
        if (!accumulate) {
            BandSurfaceResetDC(mask);
            GdiFlush();
        }
        return ready ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
    }
    // No pen: a brush with a mask, or no real brush. The shape is the rectangle where the mask
    // brush is set, within the visible rectangles.
    RECT single = *area;
    RECT* rects = &single;
    int32_t count = 1;
    RECT* owned = nullptr;
    if (ClipHasRects(rect->clip)) {
        if (ResourcePrepareWith(store, rect->clip, &store->clips, mask, nullptr, ClipCostEstimate, ClipRealize) == 0)
            return CMD_BAND_NOTHING;
        count = ClipRectsForBand(rect->clip, mask, area, &owned);
        if (count <= 0) return CMD_BAND_NOTHING;
        rects = owned;
    }
    clearArea();
    ResourceUseMark(store, rect->brush ? &rect->brush->head : nullptr, RESOURCE_IN_USE);
    const bool ready = BrushCompanionSelect(store, rect->brush, &rect->brushOrigin, mask) != 0;
    ResourceUseClear(store);
    if (accumulate) BandMaskRectsInvert(mask, static_cast<uint32_t>(count), rects);
    else BandMaskRectsSet(mask, static_cast<uint32_t>(count), rects);
    if (ready) PatBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0x000A0000);
    GdiFlush();
    if (accumulate) {
        BandMaskRectsInvert(mask, static_cast<uint32_t>(count), rects);
    } else {
        BandMaskRectsInvertEach(mask, static_cast<uint32_t>(count), rects);
        BandSurfaceResetDC(mask);
    }
    RenderFree(owned);
    return CMD_BAND_MASKED;
}

// The outline's four strips (mitre joins or a direct colour), filled with the pen's colour;
// false when one does not fit 32-bit coordinates.
bool Strips(const RECT& r, uint32_t width, RECT out[4])
{
    const int64_t h1 = width / 2, h2 = int64_t{width} - h1;
    const int64_t l = r.left, t = r.top, rr = r.right, b = r.bottom;
    const int64_t strips[4][4] = {{l - h1, t - h1, l + h2, b + h2 - 1},
                                  {l, t - h1, rr, t + h2},
                                  {rr - h1 - 1, t - h1, rr + h2 - 1, b + h2 - 1},
                                  {l, b - h1 - 1, rr, b + h2 - 1}};
    for (int i = 0; i < 4; ++i) {
        int64_t v[4];
        for (int k = 0; k < 4; ++k) v[k] = strips[i][k];
        const RECT64 wide{v[0], v[1], v[2], v[3]};
        if (!Rect64Fits(wide)) return false;
        out[i] = RECT{LONG(v[0]), LONG(v[1]), LONG(v[2]), LONG(v[3])};
    }
    return true;
}

}  // namespace

bool Rect64Fits(const RECT64& r)
{
    auto fits = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    return fits(r.left) && fits(r.top) && fits(r.right) && fits(r.bottom) && fits(r.right - r.left) &&
           fits(r.bottom - r.top);
}

bool RectFits(const RECT& r) { return Rect64Fits(RECT64{r.left, r.top, r.right, r.bottom}); }

bool CmdMixIsPlain(uint32_t mix)
{
    return mix == R2_BLACK || mix == R2_WHITE || mix == R2_COPYPEN || mix == R2_NOTCOPYPEN;
}

CmdNode* RectOutlineSplit(ResourceStore* store, CmdRectNode* node)
{
    Pen* pen = node->pen;
    const uint32_t style = pen->style;
    const uint32_t join = style & PS_JOIN_MASK;
    const ResourceId clipId = node->clip != nullptr ? node->clip->head.id : RESOURCE_ID_NONE;
    const ResourceId penBrush = pen->brush != nullptr ? pen->brush->head.id : RESOURCE_ID_NONE;
    const RECT r = node->rect;
    CmdNode* first = &node->head;
    node->head.next = nullptr;
    if ((style & PS_STYLE_MASK) != 0) return first;
    auto fail = [&] {
        ChainDestroy(first, store);
        return nullptr;
    };
    auto nullPen = [&] {
        CmdPenRelease(store, &node->pen);
        node->pen = PenLookup(&store->pens, RESOURCE_ID_NONE, store->deviceByte);
        return node->pen != nullptr;
    };
    if (join == PS_JOIN_MITER || ResourceIdIsColor(pen->head.id)) {
        RECT strips[4];
        if (!Strips(r, pen->width, strips)) {
            SetLastError(ERROR_INVALID_DATA);
            return fail();
        }
        if (!nullPen()) return fail();
        int from = 0;
        if (RealBrush(node->brush)) {
            node->head.bounds = CmdClipBounded(r, node->clip);
        } else {
            CmdBrushRelease(store, &node->brush);
            node->brush = BrushLookup(&store->brushes, penBrush);
            if (node->brush == nullptr) return fail();
            node->rect = strips[0];
            node->head.bounds = CmdClipBounded(strips[0], node->clip);
            from = 1;
        }
        FlagsSet(node);
        for (int i = from; i < 4; ++i) {
            CmdNode* strip = RectCreate(store, &strips[i], penBrush, RESOURCE_ID_NONE, clipId, nullptr, node->mix);
            if (strip == nullptr) return fail();
            ChainEnd(first) = strip;
        }
        return first;
    }
    if (join == PS_JOIN_ROUND) {
        // The last column and row, a step in from any 32-bit edge, in 64 bits and kept in range.
        auto last = [](LONG edge) { return static_cast<LONG>(std::max<int64_t>(int64_t{edge} - 1, INT32_MIN)); };
        const POINT corners[4] = {{r.left, r.top},
                                  {last(r.right), r.top},
                                  {last(r.right), last(r.bottom)},
                                  {r.left, last(r.bottom)}};
        CmdNode* lines = nullptr;
        for (int i = 0; i < 4; ++i) {
            CmdNode* line = LineCreate(store, &corners[i], &corners[(i + 1) % 4], pen->head.id, clipId, node->mix);
            if (line == nullptr) {
                ChainDestroy(lines, store);
                return fail();
            }
            ChainEnd(lines) = line;
        }
        if (!RealBrush(node->brush)) {
            CmdRectDestroy(first, store);
            return lines;
        }
        if (!nullPen()) {
            ChainDestroy(lines, store);
            return fail();
        }
        node->head.bounds = CmdClipBounded(r, node->clip);
        FlagsSet(node);
        node->head.next = lines;
        return first;
    }
    // Bevel joins: GDI draws the outline; a fill goes first as its own Rect, so that the outline
    // is drawn over it.
    if (!RealBrush(node->brush)) return first;
    CmdNode* fill =
        RectCreate(store, &r, node->brush->head.id, RESOURCE_ID_NONE, clipId, &node->brushOrigin, node->mix);
    if (fill == nullptr) return fail();
    CmdBrushRelease(store, &node->brush);
    node->brush = BrushLookup(&store->brushes, RESOURCE_ID_NONE);
    if (node->brush == nullptr) {
        ChainDestroy(fill, store);
        return fail();
    }
    FlagsSet(node);
    ChainEnd(fill) = first;
    return fill;
}

CmdNode* RectCreate(ResourceStore* store, const RECT* rect, ResourceId brushId, ResourceId penId, ResourceId clipId,
                    const POINT* brushOrigin, uint32_t mix)
{
    if (penId == RESOURCE_ID_NONE) Rop2Simplify(&mix, &brushId);
    if (mix == R2_COPYPEN && clipId == RESOURCE_ID_NONE && penId == RESOURCE_ID_NONE && ResourceIdIsColor(brushId))
        return RectFillCreate(store, rect, brushId);
    auto* node = static_cast<CmdRectNode*>(CmdMemoryAlloc(store, sizeof(CmdRectNode)));
    if (node == nullptr) return nullptr;
    node->head.op = CmdOpRect;
    node->pen = PenLookup(&store->pens, penId, store->deviceByte);
    node->brush = BrushLookup(&store->brushes, brushId);
    if (clipId != RESOURCE_ID_NONE) node->clip = ClipLookup(&store->clips, clipId);
    if (node->pen == nullptr || node->brush == nullptr || (clipId != RESOURCE_ID_NONE && node->clip == nullptr)) {
        if (GetLastError() == 0) SetLastError(ERROR_INVALID_DATA);
        CmdRectDestroy(&node->head, store);
        return nullptr;
    }
    node->rect = *rect;
    node->head.bounds = *rect;
    node->mix = node->mix2 = static_cast<uint8_t>(mix);
    if (brushOrigin != nullptr) node->brushOrigin = *brushOrigin;
    if (PenIsReal(node->pen)) {
        const int64_t grow = (int64_t{node->pen->width} + 1) / 2;
        const RECT64 wide{int64_t{rect->left} - grow, int64_t{rect->top} - grow, int64_t{rect->right} + grow,
                          int64_t{rect->bottom} + grow};
        if (!Rect64Fits(wide)) {
            SetLastError(ERROR_INVALID_DATA);
            CmdRectDestroy(&node->head, store);
            return nullptr;
        }
        node->head.bounds = RECT{LONG(wide.left), LONG(wide.top), LONG(wide.right), LONG(wide.bottom)};
    }
    node->head.bounds = CmdClipBounded(node->head.bounds, node->clip);
    FlagsSet(node);
    if (!PenIsReal(node->pen)) return &node->head;
    return RectOutlineSplit(store, node);
}

int CmdRectRead(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[48];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    const uint32_t mix = raw[CmdRectRecord::mix];
    if (mix == R2_NOP) return 1;
    const uint8_t* p = raw + CmdRectRecord::rect;
    const RECT rect{static_cast<LONG>(LoadLE32(p)), static_cast<LONG>(LoadLE32(p + 4)),
                    static_cast<LONG>(LoadLE32(p + 8)), static_cast<LONG>(LoadLE32(p + 12))};
    const POINT origin{static_cast<LONG>(LoadLE32(raw + CmdRectRecord::brushOriginX)),
                       static_cast<LONG>(LoadLE32(raw + CmdRectRecord::brushOriginY))};
    if (!RectFits(rect)) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    *out = RectCreate(store, &rect, LoadLE32(raw + CmdRectRecord::brush), LoadLE32(raw + CmdRectRecord::pen),
                      LoadLE32(raw + CmdRectRecord::clip), &origin, mix);
    return *out != nullptr ? 1 : 0;
}

void RectWidenToPixel(const CmdMapping* mapping, RECT* rect)
{
    HDC dc = mapping->dc;
    POINT corners[2] = {{rect->left, rect->top}, {rect->right, rect->bottom}};
    if (!LPtoDP(dc, corners, 2)) return;
    // A mirroring mapping turns edges round; the size counts either way.
    const bool narrow = std::llabs(int64_t{corners[1].x} - corners[0].x) < 1;
    const bool low = std::llabs(int64_t{corners[1].y} - corners[0].y) < 1;
    if (!narrow && !low) return;
    // The far edge moves out from the near one, logical unit by logical unit from a first guess,
    // until the two lie at least one device pixel apart; the near edge and the other axis stay.
    // The far edge moves out from the near one by the fewest logical units that put the two at
    // least one device pixel apart (found by halving: the distance grows with the step); the
    // near edge and the other axis stay.
    auto widen = [&](LONG nearEdge, LONG deviceNear, LONG windowExtent, LONG viewportExtent, bool xAxis) {
        auto reaches = [&](int64_t step) {
            const int64_t farEdge = int64_t{nearEdge} + step;
            if (farEdge > INT32_MAX) return true;
            POINT p{xAxis ? static_cast<LONG>(farEdge) : rect->left, xAxis ? rect->top : static_cast<LONG>(farEdge)};
            if (!LPtoDP(dc, &p, 1)) return true;
            return std::llabs(int64_t{xAxis ? p.x : p.y} - deviceNear) >= 1;
        };
        const double ratio = viewportExtent != 0 ? std::fabs(double(windowExtent) / viewportExtent) : 1.0;
        int64_t high = std::max<int64_t>(1, static_cast<int64_t>(std::min(ratio, 1e9)) + 2);
        while (!reaches(high) && high < INT32_MAX) high *= 2;
        int64_t low = 0;  // does not reach
        while (high - low > 1) {
            const int64_t middle = low + (high - low) / 2;
            (reaches(middle) ? high : low) = middle;
        }
        return static_cast<LONG>(std::min<int64_t>(int64_t{nearEdge} + high, INT32_MAX));
    };
    if (narrow)
        rect->right = widen(rect->left, corners[0].x, mapping->windowExtent.cx, mapping->viewportExtent.cx, true);
    if (low) rect->bottom = widen(rect->top, corners[0].y, mapping->windowExtent.cy, mapping->viewportExtent.cy, false);
}

const CmdOpRow kCmdOpRowRect = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.isBlack = CmdRectIsBlack;
    row.brushGet = RectBrushGet;
    row.brushOriginGet = RectBrushOriginGet;
    row.brushSet = CmdRectBrushSet;
    row.clipGet = RectClipGet;
    row.clipRegionSet = CmdRectClipRegionSet;
    row.equal = CmdRectEqual;
    row.mapToDevice = CmdRectMapToDevice;
    row.read = CmdRectRead;
    row.destroy = CmdRectDestroy;
    row.clone = CmdRectClone;
    row.renderBand = CmdRectRenderBand;
    row.penGet = RectPenGet;
    row.draw = CmdRectDraw;
    row.mixGet = RectMixGet;
    row.mixSet = RectMixSet;
    row.colorClassGet = CmdRectColorClassGet;
    row.drawRestore = CmdRectDrawRestore;
    row.isWhite = CmdRectIsWhite;
    return row;
}();
