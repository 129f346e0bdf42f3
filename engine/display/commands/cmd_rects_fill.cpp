// The RectsFill command kind: one brush filling a list of rectangles, made by the optimiser and
// the Rect outline splitter.
#include <algorithm>
#include <cstring>

#include "engine/common/rect_list.h"
#include "engine/common/render_heap.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

CmdRectsFillNode* AsList(CmdNode* node) { return reinterpret_cast<CmdRectsFillNode*>(node); }
const CmdRectsFillNode* AsList(const CmdNode* node) { return reinterpret_cast<const CmdRectsFillNode*>(node); }

int CmdRectsFillMapToDevice(CmdNode* node, ResourceStore*, const CmdMapping* mapping)
{
    CmdRectsFillNode* list = AsList(node);
    RectWidenToPixel(mapping, &node->bounds);
    for (uint32_t i = 0; i < list->count; ++i) RectWidenToPixel(mapping, &list->rects[i]);
    return 1;
}

void CmdRectsFillDestroy(CmdNode* node, ResourceStore* store)
{
    CmdBrushRelease(store, &AsList(node)->brush);
    CmdMemoryFree(store, node);
}

CmdNode* CmdRectsFillClone(const CmdNode* node, ResourceStore* store)
{
    return CmdFillNodeClone(node, CmdRectsFillNodeSize(AsList(node)->count), store);
}

int CmdRectsFillRenderBand(CmdNode* node, ResourceStore*, BandSurface* mask, const RECT* band, const RECT* area,
                           const RECT* clear, int accumulate)
{
    const CmdRectsFillNode* list = AsList(node);
    if (list->count == 0) return CMD_BAND_NOTHING;
    auto* rects = static_cast<RECT*>(RenderAlloc(size_t{list->count} * sizeof(RECT)));
    if (rects == nullptr) return CMD_BAND_NOTHING;
    std::memcpy(rects, list->rects, size_t{list->count} * sizeof(RECT));
    const uint32_t overlapping = RectListCull(list->count, rects, band);
    uint32_t kept = 0;
    for (uint32_t i = 0; i < overlapping; ++i) {
        POINT corners[2] = {{rects[i].left, rects[i].top}, {rects[i].right, rects[i].bottom}};
        LPtoDP(mask->drawDC, corners, 2);
        RECT device{std::min(corners[0].x, corners[1].x), std::min(corners[0].y, corners[1].y),
                    std::max(corners[0].x, corners[1].x), std::max(corners[0].y, corners[1].y)};
        RECT visible;
        if (!IntersectRect(&visible, &device, area)) continue;
        RECT& previous = rects[kept - (kept > 0 ? 1 : 0)];
        if (kept > 0 && previous.left == visible.left && previous.right == visible.right &&
            previous.bottom == visible.top) {
            previous.bottom = visible.bottom;
            continue;
        }
        rects[kept++] = visible;
    }
    int result = CMD_BAND_NOTHING;
    if (kept == 1 && EqualRect(&rects[0], area)) {
        result = CMD_BAND_NO_MASK;
    } else if (kept > 0) {
        if (!accumulate) BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
        BandMaskRectsSet(mask, kept, rects);
        result = CMD_BAND_MASKED;
    }
    RenderFree(rects);
    return result;
}

int CmdRectsFillDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void*)
{
    CmdRectsFillNode* list = AsList(node);
    const CmdDrawState state(surface);
    ClipSelect(store, nullptr, surface, nullptr);
    if (BrushSelect(store, list->brush, nullptr, surface) == 0) return 0;
    for (uint32_t i = 0; i < list->count; ++i) {
        const RECT& r = list->rects[i];
        if (band != nullptr &&
            !(r.left < band->right && r.right > band->left && r.top < band->bottom && r.bottom > band->top))
            continue;
        PatBlt(surface->drawDC, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY);
    }
    return 1;
}

int CmdRectsFillColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int)
{
    const BrushEntry* brush = AsList(node)->brush;
    *hint = CMD_HINT_VECTOR;
    if (!BrushIsSolid(brush)) return CMD_COLOR_DRAW_RESTORE;
    *colour = brush->colour;
    return CMD_COLOR_SOLID;
}

int CmdRectsFillDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, const SIZE*)
{
    const RECT& r = node->bounds;
    const CmdDrawState state(surface);
    ClipSelect(store, nullptr, surface, nullptr);
    if (BrushSelect(store, AsList(node)->brush, nullptr, surface) != 0)
        PatBlt(surface->drawDC, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY);
    return GdiFlush();
}

}  // namespace

CmdNode* RectsFillCreate(ResourceStore* store, const RECT* bounds, ResourceId brushId, uint32_t count,
                         const RECT* rects)
{
    if (count == 1) {
        RECT one;
        if (!IntersectRect(&one, bounds, &rects[0])) one = RECT{};
        return RectFillCreate(store, &one, brushId);
    }
    if (uint64_t{count} * sizeof(RECT) > UINT32_MAX) return nullptr;
    auto* node = reinterpret_cast<CmdRectsFillNode*>(
        CmdFillNodeCreate(store, CmdRectsFillNodeSize(count), CmdOpRectsFill, bounds, brushId));
    if (node == nullptr) return nullptr;
    node->count = count;
    if (count > 0) std::memcpy(node->rects, rects, size_t{count} * sizeof(RECT));
    return &node->head;
}

const CmdOpRow kCmdOpRowRectsFill = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.mapToDevice = CmdRectsFillMapToDevice;
    row.destroy = CmdRectsFillDestroy;
    row.clone = CmdRectsFillClone;
    row.renderBand = CmdRectsFillRenderBand;
    row.draw = CmdRectsFillDraw;
    row.colorClassGet = CmdRectsFillColorClassGet;
    row.drawRestore = CmdRectsFillDrawRestore;
    return row;
}();
