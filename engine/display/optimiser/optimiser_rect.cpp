// A solid rectangle cut by a clip of many rectangles becomes a fill of those rectangles, which the
// band loop paints without selecting a clip region.
#include "engine/common/render_heap.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/optimiser/optimiser_merge.h"
#include "engine/display/stores/brush_store.h"
#include "engine/display/stores/clip_store.h"

int CmdMergeClippedRect(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    const auto* rect = reinterpret_cast<const CmdRectNode*>(node);
    RECT* pieces = nullptr;
    const int32_t count = ClipRectsClipped(rect->clip, &node->bounds, &pieces);
    if (count < 0) return MERGE_FAILED;
    CmdNode* fill = nullptr;
    if (count == 1) fill = RectFillCreate(run->store, &pieces[0], rect->brush->head.id);
    else if (count > 1)
        fill = RectsFillCreate(run->store, &node->bounds, rect->brush->head.id, uint32_t(count), pieces);
    RenderFree(pieces);
    if (count > 0 && fill == nullptr) return MERGE_FAILED;
    *next = node->next;
    if (fill != nullptr) CmdListInsertAfter(run->list, node, fill);
    CmdNodeDiscard(run, node);
    return MERGE_APPLIED;
}
