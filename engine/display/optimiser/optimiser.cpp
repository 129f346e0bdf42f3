// The optimiser's walk over one list: thin marking, the merges in their fixed order, Complex
// candidates, and the white fills that the bottom level starts with.
#include "engine/display/optimiser/optimiser.h"

#include <initializer_list>

#include "engine/common/output_module.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/form_level.h"
#include "engine/display/optimiser/optimiser_merge.h"
#include "engine/display/stores/brush_store.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/pen_store.h"
#include "engine/display/stores/resource_budget.h"
#include "engine/display/stores/resource_store.h"
#include "engine/include/rastrel/imo.h"
#include "engine/raster/band_plan.h"

namespace {

// The thin threshold: the device's thin-line width when it asks for thin hints, else off.
LONG ThinThreshold(const ResourceStore* store)
{
    const OutputModuleContext* device = store != nullptr && store->budget != nullptr ? store->budget->device : nullptr;
    if (device == nullptr || (device->options & IMO_OPTION_THINLINE_HINTS) == 0) return 0;
    return static_cast<LONG>(device->thinLineValue);
}

bool IsRectKind(const CmdNode* node) { return node->op == CmdOpRect || node->op == CmdOpRectFill; }

bool ThinCandidate(const CmdNode* node)
{
    if (node->op == CmdOpRectFill) return true;
    if (node->op != CmdOpRect) return false;
    const auto* rect = reinterpret_cast<const CmdRectNode*>(node);
    return CmdPenIsNull(node) && (rect->clip == nullptr || !ClipHasRects(rect->clip));
}

// A bar that touches another rectangle along its length is part of a wider shape: not thin.
void ThinMark(CmdList* list, CmdNode* n, LONG threshold)
{
    if (!ThinCandidate(n)) return;
    const RECT& b = n->bounds;
    const LONG w = b.right - b.left, h = b.bottom - b.top;
    if (w > threshold && h > threshold) return;
    const bool vertical = h > threshold;
    for (const CmdNode* other : {n->prev, n->next}) {
        if (other == CmdListEnd(list) || !IsRectKind(other)) continue;
        const RECT& o = other->bounds;
        if (vertical ? (o.left == b.right || o.right == b.left) : (o.bottom == b.top || o.top == b.bottom)) return;
    }
    n->flags |= CMD_FLAG_THIN;
}

bool BrushIsSolidColour(const BrushEntry* brush, COLORREF colour)
{
    return brush != nullptr && (brush->head.flags & BRUSH_SOLID) != 0 && brush->colour == colour;
}

bool PlainSolidBrush(const BrushEntry* brush)
{
    return brush != nullptr && (brush->head.flags & BRUSH_SOLID) != 0 && (brush->head.flags & BRUSH_COMPANION) == 0 &&
           brush->companion == nullptr;
}

// The merges tried at a node, in order; the first that applies (or fails) ends the round.
int MergeRound(OptimiseRun* run, CmdNode* n, CmdNode** next)
{
    const uint8_t mix = CmdMix(n);
    const uint32_t rop = CmdRop(n);
    const bool shape = CmdIsPathOrRect(n);
    const bool image = CmdIsImage(n);
    int r = MERGE_NOT_APPLIED;
    if (shape && mix == MIX_XOR && (r = CmdMergeXorSandwich(run, n, next)) != 0) return r;
    if (shape && mix == MIX_XOR && (r = CmdMergeXorPatternSandwich(run, n, next)) != 0) return r;
    if (shape && mix == MIX_XOR && (r = CmdMergeFillThroughMask(run, n, next)) != 0) return r;
    if (shape && mix == MIX_NOT_XOR && (r = CmdMergeXnorSandwich(run, n, next)) != 0) return r;
    if (image && rop == 0x6666 && (r = CmdMergeXorPatternSandwich(run, n, next)) != 0) return r;
    if (image && rop == 0x6666 && (r = CmdMergeXorAndXorBlts(run, n, next)) != 0) return r;
    if (image && rop == 0x6666 && (r = CmdMergeXorSandwich(run, n, next)) != 0) return r;
    if (image && rop == 0x9999 && (r = CmdMergeXnorSandwich(run, n, next)) != 0) return r;
    if (image && (rop == 0x8888 || rop == 0xEEEE) && n->next != CmdListEnd(run->list) && CmdIsImage(n->next) &&
        (r = CmdMergeMaskPairs(run, n, next)) != 0)
        return r;
    if (n->op == CmdOpRect && mix == MIX_COPY && CmdPenIsNull(n)) {
        const auto* rect = reinterpret_cast<const CmdRectNode*>(n);
        if (PlainSolidBrush(rect->brush) && ClipHasRects(rect->clip) && (r = CmdMergeClippedRect(run, n, next)) != 0)
            return r;
    }
    if ((image || n->op == CmdOpCopyBits) && (r = CmdMergeBlts(run, n, next)) != 0) return r;
    return MERGE_NOT_APPLIED;
}

// The bottom level starts on white paper: white fills at its start paint nothing.
void WhiteFillsDrop(OptimiseRun* run)
{
    while (!CmdListEmpty(run->list)) {
        CmdNode* first = CmdListFirst(run->list);
        if (first->op != CmdOpRectFill ||
            !BrushIsSolidColour(reinterpret_cast<const CmdRectFillNode*>(first)->brush, 0xFFFFFF))
            break;
        CmdNodeDiscard(run, first);
    }
}

}  // namespace

int CmdListOptimize(CmdList* list, uint32_t level, const BandIterator* iterator)
{
    if (list->flags & CMD_LIST_OPTIMISED) return 1;
    OptimiseRun run{list, list->owner, iterator != nullptr ? iterator->direction : 0};
    ComplexCandidates candidates{0, 0, list, nullptr};
    const LONG threshold = ThinThreshold(list->owner);
    int result = 1;
    CmdNode* n = CmdListFirst(list);
    while (n != CmdListEnd(list)) {
        if (threshold > 0) ThinMark(list, n, threshold);
        CmdNode* next = nullptr;
        const int merged = MergeRound(&run, n, &next);
        if (merged < 0) {
            result = 0;
            break;
        }
        if (merged > 0) {
            n = next;
            continue;
        }
        uint32_t colour = 0;
        uint8_t hint = 0;
        if (CmdRow(n).colorClassGet(n, &colour, &hint, 0) == CMD_COLOR_LEVEL_IMAGE &&
            !ComplexCandidateAdd(&candidates, n)) {
            result = 0;
            break;
        }
        n = n->next;
    }
    if (level == 0) WhiteFillsDrop(&run);
    if (result != 0 && !ComplexBuildAll(&candidates)) result = 0;
    ComplexCandidatesFree(&candidates);
    list->flags |= CMD_LIST_OPTIMISED;
    return result;
}

int FormLevelsOptimize(FormLevel* levels, uint32_t count, const BandIterator* iterator)
{
    for (uint32_t i = 0; i < count; ++i)
        if (levels[i].list != nullptr && !CmdListOptimize(levels[i].list, i, iterator)) return 0;
    return 1;
}
