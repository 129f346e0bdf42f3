// The rectangle command kinds: Rect (a rectangle with an optional outline pen, a fill brush and a
// clip), RectFill (a brush filling one rectangle) and RectsFill (a brush filling a list of
// rectangles), their constructors, and the device-pixel widening they share. The optimiser reads
// the Rect and RectFill fields directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/cmd_node.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/stores/resource_object.h"
#include "platform/types.h"

struct BrushEntry;
struct Pen;
struct Clip;

struct CmdRectNode {
    CmdNode head;
    RECT rect;  // logical
    POINT brushOrigin;  // slot 5 returns its address
    Pen* pen;  // always present after a read: the null pen for pen id 0
    BrushEntry* brush;
    Clip* clip;  // or null
    uint8_t mix;  // ROP2
    uint8_t mix2;
};

struct CmdRectFillNode {
    CmdNode head;  // bounds: the rectangle
    BrushEntry* brush;
};

struct CmdRectsFillNode {
    CmdNode head;  // bounds: the area the list was cut from
    BrushEntry* brush;
    uint32_t count;
    RECT rects[1];  // count rectangles; the node is allocated for all of them
};
static_assert(offsetof(CmdRectsFillNode, brush) == offsetof(CmdRectFillNode, brush));
inline size_t CmdRectsFillNodeSize(uint32_t count)
{
    return offsetof(CmdRectsFillNode, rects) + size_t{count > 0 ? count : 1} * sizeof(RECT);
}

// Constructors; null when a resource is missing or memory is short, with every reference taken
// released. RectCreate may return a chain linked through next (an outline split into simpler
// commands); every node of a failed chain is destroyed.
CmdNode* RectFillCreate(ResourceStore* store, const RECT* rect, ResourceId brush);
CmdNode* RectsFillCreate(ResourceStore* store, const RECT* bounds, ResourceId brush, uint32_t count, const RECT* rects);
CmdNode* RectCreate(ResourceStore* store, const RECT* rect, ResourceId brush, ResourceId pen, ResourceId clip,
                    const POINT* brushOrigin, uint32_t mix);
// Turns a Rect with a real pen into simpler commands; null on failure (the node is destroyed).
CmdNode* RectOutlineSplit(ResourceStore* store, CmdRectNode* node);

// The two fill kinds share their head and brush: a zeroed node of the size with the brush looked
// up, the op, bounds and the brush's colour flags; and a copy with its own brush reference.
CmdNode* CmdFillNodeCreate(ResourceStore* store, size_t size, uint16_t op, const RECT* bounds, ResourceId brush);
CmdNode* CmdFillNodeClone(const CmdNode* node, size_t size, ResourceStore* store);

// Widens a rectangle that covers less than one device pixel in either direction to one pixel.
void RectWidenToPixel(const CmdMapping* mapping, RECT* rect);

// A rectangle whose coordinates, width and height fit 32 bits: a record whose rectangle does not
// fails, so that no width computed while drawing overflows.
struct RECT64 {
    int64_t left, top, right, bottom;
};
bool Rect64Fits(const RECT64& r);
bool RectFits(const RECT& r);

// Shared by the kinds.
int CmdRectRead(ResourceStore* store, Stream* stream, CmdNode** out);
int CmdRectFillRead(ResourceStore* store, Stream* stream, CmdNode** out);
// Mixes whose colour is drawn from a brush: their shape is simple to mark.
bool CmdMixIsPlain(uint32_t mix);
