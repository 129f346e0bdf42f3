// USER rectangle helpers. A rectangle is empty when right <= left or bottom <= top.
#pragma once

#include "platform/types.h"

// Declarations from here on are the platform library's exports.
#pragma GCC visibility push(default)

// Writes the intersection; all zeros (and FALSE) when it is empty.
BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b);
// Writes the bounding rectangle; an empty operand is ignored; both empty gives all zeros and FALSE.
BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b);
// Writes a shrunk only when b covers a whole side of a (a full strip across it); otherwise a
// itself. FALSE when the result is empty.
BOOL SubtractRect(LPRECT dst, const RECT* a, const RECT* b);
BOOL OffsetRect(LPRECT rect, int dx, int dy);
BOOL InflateRect(LPRECT rect, int dx, int dy);
BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(LPRECT rect);
BOOL CopyRect(LPRECT dst, const RECT* src);
BOOL IsRectEmpty(const RECT* rect);
BOOL EqualRect(const RECT* a, const RECT* b);
// Left and top edges inside, right and bottom edges outside.
BOOL PtInRect(const RECT* rect, POINT pt);

#pragma GCC visibility pop
