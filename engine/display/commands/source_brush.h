// The brush source: a brush pattern laid over a list of rectangles. An image command holding one
// paints where the pattern is white inside the rectangles and leaves the page elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/source.h"
#include "platform/types.h"

struct BrushEntry;
struct CmdNode;
struct ResourceStore;

struct SourceBrush {
    Source head;  // kind SourceKindBrush
    POINT brushOrigin;
    BrushEntry* brush;
    uint32_t count;
    RECT rects[1];  // count rectangles; the object is allocated for all of them
};
static_assert(offsetof(SourceBrush, head) == 0);

inline size_t SourceBrushSize(uint32_t count)
{
    return offsetof(SourceBrush, rects) + size_t{count > 0 ? count : 1} * sizeof(RECT);
}

// A brush source from a Path, Rect, RectFill or RectsFill node: the rectangles of the clip with
// id clipId (its bounds when it has none; the node's bounds for 0) and the brush with id brushId
// (the node's own for 0), laid from the node's brush origin. Null when a resource is missing or
// memory is short.
Source* BrushSourcePrepare(CmdNode* node, ResourceStore* store, uint32_t clipId, uint32_t brushId);
