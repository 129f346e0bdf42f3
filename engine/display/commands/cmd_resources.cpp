#include "engine/display/commands/cmd_resources.h"

#include "engine/display/cmd_node.h"
#include "engine/display/stores/resource_store.h"
#include "platform/user.h"

#include <algorithm>

void CmdBrushRelease(ResourceStore* store, BrushEntry** brush)
{
    if (*brush == nullptr) return;
    ResourceReleaseAccount(store, *brush, 0, &store->brushes,
                           [](void* owner, void* object, int remove, ResourceCost* t) {
                               BrushRelease(static_cast<BrushStore*>(owner), static_cast<BrushEntry*>(object), remove,
                                            t);
                           });
    *brush = nullptr;
}

void CmdPenRelease(ResourceStore* store, Pen** pen)
{
    if (*pen == nullptr) return;
    ResourceReleaseAccount(store, *pen, 0, &store->pens, [](void* owner, void* object, int remove, ResourceCost* t) {
        PenRelease(static_cast<PenStore*>(owner), static_cast<Pen*>(object), remove, t);
    });
    *pen = nullptr;
}

void CmdClipRelease(ResourceStore* store, Clip** clip)
{
    if (*clip == nullptr) return;
    ResourceReleaseAccount(store, *clip, 0, &store->clips, [](void* owner, void* object, int remove, ResourceCost* t) {
        ClipRegionFree(static_cast<ClipStore*>(owner), static_cast<Clip*>(object), remove, t);
    });
    *clip = nullptr;
}

uint16_t CmdColorFlags(uint32_t classes)
{
    const uint32_t f = classes & CMD_FLAG_COLOR_MASK;
    if (f >= CMD_FLAG_COLOR) return CMD_FLAG_COLOR;
    if (f & CMD_FLAG_GREY) return CMD_FLAG_GREY;
    return CMD_FLAG_BLACK_WHITE;
}

RECT CmdClipBounded(const RECT& rect, const Clip* clip)
{
    RECT out = rect;
    if (clip != nullptr && !IntersectRect(&out, &rect, &clip->data.rcBound)) out = RECT{};
    return out;
}

LONG CmdPenReach(const Pen* pen)
{
    return pen != nullptr ? static_cast<LONG>(std::min<uint32_t>(pen->width, 0x3FFFFFFF)) : 0;
}

int CmdClipReplace(ResourceStore* store, Clip** held, Clip* clip, RECT* bounds)
{
    if (clip == *held) return 1;
    CmdClipRelease(store, held);
    if (clip == nullptr) return 1;
    *held = ClipLookup(&store->clips, clip->head.id);
    if (*held == nullptr) return 0;
    *bounds = CmdClipBounded(*bounds, *held);
    return 1;
}
