// The RectFill command kind: a brush filling one rectangle (its bounds).
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_records.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "platform/kernel.h"

namespace {

CmdRectFillNode* AsFill(CmdNode* node) { return reinterpret_cast<CmdRectFillNode*>(node); }
const CmdRectFillNode* AsFill(const CmdNode* node) { return reinterpret_cast<const CmdRectFillNode*>(node); }

int FillIsSolid(const CmdNode* node, COLORREF colour)
{
    const BrushEntry* brush = AsFill(node)->brush;
    return BrushIsSolid(brush) && brush->colour == colour ? 1 : 0;
}
int CmdRectFillIsBlack(const CmdNode* node) { return FillIsSolid(node, 0); }
int CmdRectFillIsWhite(const CmdNode* node) { return FillIsSolid(node, 0xFFFFFF); }

int CmdRectFillMapToDevice(CmdNode* node, ResourceStore*, const CmdMapping* mapping)
{
    RectWidenToPixel(mapping, &node->bounds);
    return 1;
}

void CmdRectFillDestroy(CmdNode* node, ResourceStore* store)
{
    CmdBrushRelease(store, &AsFill(node)->brush);
    CmdMemoryFree(store, node);
}

CmdNode* CmdRectFillClone(const CmdNode* node, ResourceStore* store)
{
    return CmdFillNodeClone(node, sizeof(CmdRectFillNode), store);
}

int CmdRectFillRenderBand(CmdNode*, ResourceStore*, BandSurface* mask, const RECT*, const RECT* area, const RECT*,
                          int accumulate)
{
    if (!accumulate) return CMD_BAND_NO_MASK;
    BandMaskRectsSet(mask, 1, area);
    return CMD_BAND_MASKED;
}

int CmdRectFillDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, void*)
{
    CmdRectFillNode* fill = AsFill(node);
    const CmdDrawState state(surface);
    ClipSelect(store, nullptr, surface, nullptr);
    if (BrushSelect(store, fill->brush, nullptr, surface) == 0) return 0;
    const RECT& r = node->bounds;
    if (PatBlt(surface->drawDC, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY)) return 1;
    return static_cast<int>(GetLastError());
}

int CmdRectFillColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int)
{
    const BrushEntry* brush = AsFill(node)->brush;
    *hint = CMD_HINT_VECTOR;
    if (node->flags >= CMD_FLAG_THIN) *hint |= CMD_HINT_THIN;
    if (!BrushIsSolid(brush)) return CMD_COLOR_DRAW_RESTORE;
    *colour = brush->colour;
    return CMD_COLOR_SOLID;
}

int CmdRectFillDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE*)
{
    const CmdDrawState state(surface);
    ClipSelect(store, nullptr, surface, nullptr);
    if (BrushSelect(store, AsFill(node)->brush, nullptr, surface) != 0)
        PatBlt(surface->drawDC, area->left, area->top, area->right - area->left, area->bottom - area->top, PATCOPY);
    return GdiFlush();
}

}  // namespace

CmdNode* CmdFillNodeCreate(ResourceStore* store, size_t size, uint16_t op, const RECT* bounds, ResourceId brushId)
{
    auto* node = static_cast<CmdRectFillNode*>(CmdMemoryAlloc(store, size));
    if (node == nullptr) return nullptr;
    node->brush = BrushLookup(&store->brushes, brushId);
    if (node->brush == nullptr) {
        SetLastError(ERROR_INVALID_DATA);
        CmdMemoryFree(store, node);
        return nullptr;
    }
    node->head.op = op;
    node->head.bounds = *bounds;
    node->head.flags = static_cast<uint16_t>(node->brush->head.flags & CMD_FLAG_COLOR_MASK);
    return &node->head;
}

CmdNode* CmdFillNodeClone(const CmdNode* node, size_t size, ResourceStore* store)
{
    auto* copy = static_cast<CmdRectFillNode*>(CmdMemoryAlloc(store, size));
    if (copy == nullptr) return nullptr;
    std::memcpy(static_cast<void*>(copy), node, size);
    copy->head.next = copy->head.prev = nullptr;
    copy->brush = BrushLookup(&store->brushes, AsFill(node)->brush->head.id);
    if (copy->brush == nullptr) {
        CmdMemoryFree(store, copy);
        return nullptr;
    }
    return &copy->head;
}

CmdNode* RectFillCreate(ResourceStore* store, const RECT* rect, ResourceId brushId)
{
    return CmdFillNodeCreate(store, sizeof(CmdRectFillNode), CmdOpRectFill, rect, brushId);
}

int CmdRectFillRead(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[28];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    const uint8_t* p = raw + CmdRectFillRecord::rect;
    const RECT rect{static_cast<LONG>(LoadLE32(p)), static_cast<LONG>(LoadLE32(p + 4)),
                    static_cast<LONG>(LoadLE32(p + 8)), static_cast<LONG>(LoadLE32(p + 12))};
    if (!RectFits(rect)) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    *out = RectFillCreate(store, &rect, LoadLE32(raw + CmdRectFillRecord::brush));
    return *out != nullptr ? 1 : 0;
}

const CmdOpRow kCmdOpRowRectFill = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.isBlack = CmdRectFillIsBlack;
    row.mapToDevice = CmdRectFillMapToDevice;
    row.read = CmdRectFillRead;
    row.destroy = CmdRectFillDestroy;
    row.clone = CmdRectFillClone;
    row.renderBand = CmdRectFillRenderBand;
    row.draw = CmdRectFillDraw;
    row.colorClassGet = CmdRectFillColorClassGet;
    row.drawRestore = CmdRectFillDrawRestore;
    row.isWhite = CmdRectFillIsWhite;
    return row;
}();
