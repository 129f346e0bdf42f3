// The AlphaBlend command kind: a bitmap blended into the page with a constant alpha and, when the
// record asks, the bitmap's own per-pixel alpha.
#include <algorithm>

#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/cmd_records.h"
#include "engine/display/commands/band_mask_clip.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "platform/kernel.h"

namespace {

struct AlphaNode {
    CmdNode head;
    CmdImageArea area;
    Clip* clip;
    BitmapEntry* bitmap;
    BLENDFUNCTION blend;
};

AlphaNode* As(CmdNode* node) { return reinterpret_cast<AlphaNode*>(node); }
const AlphaNode* As(const CmdNode* node) { return reinterpret_cast<const AlphaNode*>(node); }

void CmdAlphaBlendDestroy(CmdNode* node, ResourceStore* store)
{
    AlphaNode* n = As(node);
    CmdBitmapRelease(store, &n->bitmap);
    CmdClipRelease(store, &n->clip);
    CmdMemoryFree(store, n);
}

int CmdAlphaBlendRead(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[52];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    auto* n = static_cast<AlphaNode*>(CmdMemoryAlloc(store, sizeof(AlphaNode)));
    if (n == nullptr) return 0;
    n->head.op = CmdOpAlphaBlend;
    n->blend = BLENDFUNCTION{AC_SRC_OVER, 0, raw[CmdAlphaBlendRecord::alpha],
                             static_cast<BYTE>((LoadLE16(raw + CmdAlphaBlendRecord::flags) & 2) ? AC_SRC_ALPHA : 0)};
    constexpr CmdBitmapRecordLayout kLayout{CmdAlphaBlendRecord::destination, CmdAlphaBlendRecord::source,
                                            CmdAlphaBlendRecord::bitmap, CmdAlphaBlendRecord::clip};
    if (!CmdBitmapRecordResolve(store, raw, kLayout, &n->head, &n->area, &n->bitmap, &n->clip)) {
        CmdAlphaBlendDestroy(&n->head, store);
        return 0;
    }
    n->head.flags = n->bitmap->head.flags & CMD_FLAG_COLOR_MASK;
    *out = &n->head;
    return 1;
}

CmdNode* CmdAlphaBlendClone(const CmdNode* node, ResourceStore* store)
{
    auto* copy = static_cast<AlphaNode*>(CmdMemoryAlloc(store, sizeof(AlphaNode)));
    if (copy == nullptr) return nullptr;
    *copy = *As(node);
    copy->head.next = copy->head.prev = nullptr;
    ResourceRefAdd(&copy->bitmap->head);
    if (copy->clip) ResourceRefAdd(&copy->clip->head);
    return &copy->head;
}

int CmdAlphaBlendRenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area,
                            const RECT* clear, int accumulate)
{
    AlphaNode* n = As(node);
    if (n->clip == nullptr || !ClipHasRects(n->clip)) {
        if (!accumulate) return CMD_BAND_NO_MASK;
    } else if (!accumulate && clear != nullptr) {
        BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
    }
    return BandMaskClipRectsSet(store, mask, n->clip, band, area) > 0 ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
}

int CmdAlphaBlendDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, void*)
{
    AlphaNode* n = As(node);
    const CmdDrawState state(surface);
    if (n->clip) ResourceUseMark(store, &n->clip->head, RESOURCE_IN_USE);
    const int ready = CmdBitmapRealise(store, n->bitmap, surface);
    ClipSelect(store, n->clip, surface, nullptr);
    ResourceUseClear(store);
    if (!ready) return 0;
    if (AlphaBlend(surface->drawDC, n->area.x, n->area.y, n->area.width, n->area.height, surface->secondDC,
                   n->area.srcX, n->area.srcY, n->area.srcWidth, n->area.srcHeight, n->blend))
        return 1;
    return static_cast<int>(GetLastError());
}

int CmdAlphaBlendColorClassGet(const CmdNode*, uint32_t*, uint8_t* hint, int)
{
    *hint = CMD_HINT_IMAGE;
    return CMD_COLOR_LEVEL_IMAGE;
}

}  // namespace

const CmdOpRow kCmdOpRowAlphaBlend = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.read = CmdAlphaBlendRead;
    row.destroy = CmdAlphaBlendDestroy;
    row.clone = CmdAlphaBlendClone;
    row.renderBand = CmdAlphaBlendRenderBand;
    row.draw = CmdAlphaBlendDraw;
    row.colorClassGet = CmdAlphaBlendColorClassGet;
    return row;
}();
