// Cosmetic (one-pixel) lines: Bresenham's rule with the last pixel left out, and the dash
// stepper that styled cosmetic pens count along the line, one step per pixel.
#pragma once

#include <span>

#include "../path/path.h"
#include "../region/polyfill.h"

// Where a styled line stands in its dash pattern: element `index` (even elements draw, odd ones
// are gaps) and the pixels already taken in it. A figure starts at {0, 0}.
struct LineDashState {
    DWORD index;
    DWORD count;
};

// Draws the line from `from` to `to` without the pixel at `to`: along the major axis (x when
// |dx| >= |dy|) one pixel per step, the minor coordinate being the exact line's rounded to
// nearest with halves going to the larger coordinate. Pixels outside `clip` are not drawn but
// still count in the dash pattern. `pattern` empty draws solid; otherwise `dash` is advanced
// by one per step. Drawn pixels reach `sink` merged into runs along rows. `gaps`, when given,
// receives the pixels that fall in gaps (for an opaque background mode), with the same context.
void CosmeticLine(POINT from, POINT to, const RECT& clip, std::span<const DWORD> pattern, LineDashState* dash,
                  FillSpanSink sink, void* context, FillSpanSink gaps = nullptr);

// Advances a dash state by `steps` pixels.
void LineDashAdvance(std::span<const DWORD> pattern, LineDashState* dash, int64_t steps);

// Strokes flattened figures with a cosmetic pen: each figure's points rounded to device pixels,
// one line after another, the dash count running on from line to line and starting afresh in
// each figure. An open figure leaves out its last pixel; a closed one ends on its first point,
// so every vertex is drawn once. Where a dashed flattening dropped points far outside the clip
// (PathFigures::phases), the pattern is set to its recorded phase in place of drawing the line.
void CosmeticFigures(const PathFigures& figures, const RECT& clip, std::span<const DWORD> pattern, FillSpanSink sink,
                     void* context, FillSpanSink gaps = nullptr);
