// What command nodes do with the resources they hold: drop a reference through the budget (so
// that what a last release frees is credited), mark resources in use while drawing, and the colour
// flags a node takes from them.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct ResourceStore;
struct BrushEntry;
struct Pen;
struct Clip;

// Null does nothing; the pointer is cleared.
void CmdBrushRelease(ResourceStore* store, BrushEntry** brush);
void CmdPenRelease(ResourceStore* store, Pen** pen);
void CmdClipRelease(ResourceStore* store, Clip** clip);
// The node's colour flags from the colour classes of the resources it paints with (0 for absent
// ones): colour when any is colour, else grey when any is grey, else black and white.
uint16_t CmdColorFlags(uint32_t classes);

// The rectangle cut to the clip's bounds (empty when they do not meet); the rectangle itself
// without a clip.
RECT CmdClipBounded(const RECT& rect, const Clip* clip);
// A line or path node's pen reach: the width its bounds grow by on every side (0 without a pen).
LONG CmdPenReach(const Pen* pen);
inline bool CmdRectInside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}
// Slot CmdClipRegionSet of the line and path kinds: the node's clip becomes the store's clip with
// the given one's id (a new reference) and the bounds shrink to it; 0 when it is not found.
int CmdClipReplace(ResourceStore* store, Clip** held, Clip* clip, RECT* bounds);
