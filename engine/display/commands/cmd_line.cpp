// The Line command kind: a pen's straight segment, clipped per band, dashed by the engine's own
// stepper when the pen has a dash pattern so that every band continues the same pattern.
#include "engine/display/commands/cmd_line.h"
#include "engine/display/commands/cmd_draw_state.h"

#include <algorithm>

#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/common/rop.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/cmd_records.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/resource_store.h"
#include "engine/display/stores/styled_polyline.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi_paths.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

CmdLineNode* AsLine(CmdNode* node) { return reinterpret_cast<CmdLineNode*>(node); }
const CmdLineNode* AsLine(const CmdNode* node) { return reinterpret_cast<const CmdLineNode*>(node); }

void CmdLineDestroy(CmdNode* node, ResourceStore* store)
{
    CmdLineNode* line = AsLine(node);
    CmdPenRelease(store, &line->pen);
    CmdClipRelease(store, &line->clip);
    CmdMemoryFree(store, node);
}

int CmdLineClip(CmdNode* node, const RECT* band, RECT* out)
{
    const CmdLineNode* line = AsLine(node);
    if (line->from.x == line->to.x || line->from.y == line->to.y) {
        *out = node->bounds;
        return 1;
    }
    const LONG w = CmdPenReach(line->pen);
    RECT wide = *band;
    InflateRect(&wide, w, w);
    LONG x1 = line->from.x, y1 = line->from.y, x2 = line->to.x, y2 = line->to.y;
    if (!LineClipToRect(&x1, &y1, &x2, &y2, &wide)) return 0;
    RECT r{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
    InflateRect(&r, w, w);
    *out = CmdClipBounded(r, line->clip);
    return IsRectEmpty(out) ? 0 : 1;
}

int CmdLineClipRegionSet(CmdNode* node, ResourceStore* store, Clip* clip)
{
    return CmdClipReplace(store, &AsLine(node)->clip, clip, &node->bounds);
}

CmdNode* CmdLineClone(const CmdNode* node, ResourceStore* store)
{
    const CmdLineNode* from = AsLine(node);
    return LineCreate(store, &from->from, &from->to, from->pen->head.id,
                      from->clip != nullptr ? from->clip->head.id : RESOURCE_ID_NONE, from->mix);
}

uint8_t LineMixGet(const CmdNode* node) { return AsLine(node)->mix; }

// The segment, dashed by the engine or stroked by GDI with the selected pen.
void LineStroke(const CmdLineNode* line, BandSurface* surface, const RECT* rect)
{
    if (PenIsDashed(line->pen)) {
        DashState state{0, 0};
        StyledPolyline(surface, line->pen, &state, rect, line->from, line->to);
        return;
    }
    HDC dc = surface->drawDC;
    BeginPath(dc);
    MoveToEx(dc, line->from.x, line->from.y, nullptr);
    PolylineTo(dc, &line->to, 1);
    EndPath(dc);
    StrokePath(dc);
}

int CmdLineDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* rect, void*)
{
    CmdLineNode* line = AsLine(node);
    const CmdDrawState state(surface);
    ResourceUseMark(store, &line->pen->head, RESOURCE_IN_USE);
    ResourceUseMark(store, line->clip ? &line->clip->head : nullptr, RESOURCE_IN_USE);
    const bool ready = ResourcePrepare(store, line->pen, surface, &store->pens, PenCostEstimate, PenRealize) != 0 &&
                       ClipSelect(store, line->clip, surface, rect) != 0;
    ResourceUseClear(store);
    if (!ready) return 0;
    // A pen's pattern is tiled from the page's origin, as the draw-restore road tiles it: the DC's
    // brush origin is whatever the last brush left, in another band's device space.
    if (line->pen->brush != nullptr && !BrushIsSolid(line->pen->brush)) BrushOriginSet(surface, nullptr);
    SetROP2(surface->drawDC, line->mix);
    LineStroke(line, surface, rect);
    return 1;
}

int CmdLineRenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT*,
                      const RECT* clear, int accumulate)
{
    CmdLineNode* line = AsLine(node);
    const CmdDrawState state(mask);
    if (!accumulate) {
        BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
        if (line->clip != nullptr || !CmdRectInside(node->bounds, *band)) BandSurfaceResetDC(mask);
    }
    ResourceUseMark(store, &line->pen->head, RESOURCE_IN_USE);
    ResourceUseMark(store, line->clip ? &line->clip->head : nullptr, RESOURCE_IN_USE);
    const bool ready =
        ResourcePrepare(store, line->pen, mask, &store->pens, PenMaskCostEstimate, PenMaskRealize) != 0 &&
        ClipSelect(store, line->clip, mask, band) != 0;
    ResourceUseClear(store);
    if (ready) LineStroke(line, mask, band);
    if (!accumulate) {
        BandSurfaceResetDC(mask);
        GdiFlush();
    }
    return CMD_BAND_MASKED;
}

int CmdLineColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int)
{
    const CmdLineNode* line = AsLine(node);
    const bool thin = (line->pen->head.flags & PEN_THIN) != 0;
    *hint = CMD_HINT_VECTOR;
    if (BrushIsSolid(line->pen->brush) && line->mix == R2_COPYPEN) {
        *colour = line->pen->brush->colour;
        if (thin) *hint |= CMD_HINT_THIN;
        return CMD_COLOR_SOLID;
    }
    if (!CmdMixIsPlain(line->mix)) return CMD_COLOR_LEVEL_IMAGE;
    if (thin) *hint = CMD_HINT_VECTOR | CMD_HINT_THIN;
    return CMD_COLOR_DRAW_RESTORE;
}

int CmdLineDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE*)
{
    CmdLineNode* line = AsLine(node);
    const CmdDrawState state(surface);
    if (BrushSelect(store, line->pen->brush, nullptr, surface) != 0)
        PatBlt(surface->drawDC, area->left, area->top, area->right - area->left, area->bottom - area->top,
               DWORD{RopToRop3(line->mix)} << 16);
    BandSurfaceResetDC(surface);
    return GdiFlush();
}

}  // namespace

CmdNode* LineCreate(ResourceStore* store, const POINT* from, const POINT* to, ResourceId penId, ResourceId clipId,
                    uint8_t mix)
{
    auto* line = static_cast<CmdLineNode*>(CmdMemoryAlloc(store, sizeof(CmdLineNode)));
    if (line == nullptr) return nullptr;
    *line = CmdLineNode{};
    line->head.op = CmdOpLine;
    line->from = *from;
    line->to = *to;
    line->mix = mix;
    line->pen = PenLookup(&store->pens, penId, store->deviceByte);
    if (clipId != RESOURCE_ID_NONE) line->clip = ClipLookup(&store->clips, clipId);
    if (line->pen == nullptr || (clipId != RESOURCE_ID_NONE && line->clip == nullptr)) {
        SetLastError(ERROR_INVALID_DATA);
        CmdLineDestroy(&line->head, store);
        return nullptr;
    }
    // The bounds in 64 bits: the far end plus one and the pen's width may pass the 32-bit range.
    const int64_t w = CmdPenReach(line->pen);
    auto clamp = [](int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    RECT r{clamp(std::min<int64_t>(from->x, to->x) - w), clamp(std::min<int64_t>(from->y, to->y) - w),
           clamp(std::max<int64_t>(from->x, to->x) + 1 + w), clamp(std::max<int64_t>(from->y, to->y) + 1 + w)};
    line->head.bounds = CmdClipBounded(r, line->clip);
    line->head.flags = static_cast<uint16_t>(line->pen->head.flags & CMD_FLAG_COLOR_MASK);
    return &line->head;
}

int CmdLineRead(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[36];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    const uint8_t mix = raw[CmdLineRecord::mix];
    if (mix == R2_NOP) return 1;
    const POINT from{static_cast<LONG>(LoadLE32(raw + CmdLineRecord::x1)),
                     static_cast<LONG>(LoadLE32(raw + CmdLineRecord::y1))};
    const POINT to{static_cast<LONG>(LoadLE32(raw + CmdLineRecord::x2)),
                   static_cast<LONG>(LoadLE32(raw + CmdLineRecord::y2))};
    *out = LineCreate(store, &from, &to, LoadLE32(raw + CmdLineRecord::pen), LoadLE32(raw + CmdLineRecord::clip), mix);
    return *out != nullptr ? 1 : 0;
}

const CmdOpRow kCmdOpRowLine = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.clip = CmdLineClip;
    row.clipRegionSet = CmdLineClipRegionSet;
    row.read = CmdLineRead;
    row.destroy = CmdLineDestroy;
    row.clone = CmdLineClone;
    row.renderBand = CmdLineRenderBand;
    row.draw = CmdLineDraw;
    row.mixGet = LineMixGet;
    row.colorClassGet = CmdLineColorClassGet;
    row.drawRestore = CmdLineDrawRestore;
    return row;
}();
