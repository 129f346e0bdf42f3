// Complex commands: every command that can only be drawn as part of its level's image is gathered,
// with every earlier command under it, into one Complex command that redraws the area in order.
#include <cstring>

#include "engine/common/render_heap.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_complex.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/optimiser/optimiser_merge.h"
#include "platform/user.h"

namespace {

inline constexpr uint32_t kCandidateGrowth = 1024;

// Moves (or, when only partly under it, copies) every earlier command that meets the area into a
// new Complex node that takes the candidate's place. Null when a copy or the node cannot be made;
// the list is then as it was.
CmdNode* ComplexBuild(CmdNode* candidate, CmdList* list, const RECT* area)
{
    CmdComplexNode* complex = CmdComplexCreate(list, area);
    if (complex == nullptr) return nullptr;
    CmdList* inner = &complex->inner;
    // The copies first, each put at the front so that they stand in drawing order: a failure must
    // leave the list untouched, so nothing moves until every copy exists.
    bool failed = false;
    for (CmdNode* x = candidate->prev; x != CmdListEnd(list); x = x->prev) {
        if (!CmdStrictOverlap(x->bounds, *area) || CmdRectInside(x->bounds, *area)) continue;
        CmdNode* copy = CmdSlotClone(x, list->owner);
        if (copy == nullptr) failed = true;
        else CmdListInsertAfter(inner, CmdListEnd(inner), copy);
    }
    if (failed) {
        CmdListDestroyAll(inner);
        CmdMemoryFree(list->owner, complex);
        return nullptr;
    }
    // Walking back again, the commands wholly under the area move in between their copied
    // neighbours; cursor is the inner node the next one goes in front of.
    CmdNode* cursor = CmdListEnd(inner);
    for (CmdNode* x = candidate->prev; x != CmdListEnd(list);) {
        CmdNode* previous = x->prev;
        if (CmdStrictOverlap(x->bounds, *area)) {
            if (CmdRectInside(x->bounds, *area)) {
                CmdNodeUnlink(list, x);
                CmdListInsertAfter(inner, cursor->prev, x);
                cursor = x;
            } else {
                cursor = cursor->prev;
            }
        }
        x = previous;
    }
    CmdNode* before = candidate->prev;
    CmdNodeUnlink(list, candidate);
    CmdListAppend(inner, candidate);
    complex->head.flags |= static_cast<uint16_t>(inner->nodeFlags);
    CmdListInsertAfter(list, before, &complex->head);
    return &complex->head;
}

}  // namespace

int ComplexCandidateAdd(ComplexCandidates* candidates, CmdNode* node)
{
    if (candidates->count == candidates->capacity) {
        const uint32_t capacity = candidates->capacity + kCandidateGrowth;
        auto* items = static_cast<CmdNode**>(RenderAlloc(sizeof(CmdNode*) * capacity));
        if (items == nullptr) return 0;
        if (candidates->count > 0) std::memcpy(items, candidates->items, sizeof(CmdNode*) * candidates->count);
        RenderFree(candidates->items);
        candidates->items = items;
        candidates->capacity = capacity;
    }
    candidates->items[candidates->count++] = node;
    return 1;
}

void ComplexCandidatesFree(ComplexCandidates* candidates)
{
    RenderFree(candidates->items);
    *candidates = ComplexCandidates{0, 0, candidates->list, nullptr};
}

int ComplexBuildAll(ComplexCandidates* candidates)
{
    for (uint32_t i = candidates->count; i-- > 0;) {
        CmdNode* candidate = candidates->items[i];
        if (candidate == nullptr) continue;
        RECT area = candidate->bounds;
        for (uint32_t j = i; j-- > 0;) {
            CmdNode* earlier = candidates->items[j];
            if (earlier == nullptr || !CmdStrictOverlap(area, earlier->bounds)) continue;
            UnionRect(&area, &area, &earlier->bounds);
            candidates->items[j] = nullptr;
            j = i;  // the area grew: look at every earlier candidate again
        }
        if (ComplexBuild(candidate, candidates->list, &area) == nullptr) return 0;
    }
    return 1;
}
