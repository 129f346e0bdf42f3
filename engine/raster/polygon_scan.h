// The polygon scan converter: edge tables filled row by row into a 1-bit band surface, under the
// alternate or winding rule, setting, clearing or inverting the covered pixels.
#pragma once

#include <cstddef>
#include <cstdint>

struct BandSurface;

// One stepping state of an edge: its x on row y, the x offset a clipper added (undone at the next
// step) and the error term of the integer stepping.
struct EdgeState {
    int32_t x;
    int32_t y;
    int32_t correction;
    int32_t error;
};
static_assert(sizeof(EdgeState) == 16);

// One non-horizontal polygon side. It covers rows top.y up to bottom.y - 1; on every row its x is
// the smallest integer not left of the side's exact x.
struct Edge {
    Edge* next;  // pending or active list, owned by the converter while it runs
    EdgeState top;
    EdgeState bottom;
    EdgeState current;  // the stepping state; the clipper's scratch
    int32_t xStep;  // whole pixels of x change per row
    int32_t remainder;  // fractional x change per row, in units of 1 / dy
    int32_t dy;  // bottom y - top y of the side (0 for a clipper's vertical edge)
    int8_t xDirection;  // +1 when the side runs right or straight down, -1 when it runs left
    int8_t winding;  // +1 a side running up, -1 running down
};
static_assert(sizeof(Edge) == 72);
static_assert(offsetof(Edge, top) == 8);
static_assert(offsetof(Edge, bottom) == 24);
static_assert(offsetof(Edge, current) == 40);
static_assert(offsetof(Edge, xStep) == 56);
static_assert(offsetof(Edge, xDirection) == 68);
static_assert(offsetof(Edge, winding) == 69);

// Polygon fill rules (the GDI polygon fill modes) and span operations.
inline constexpr int POLY_FILL_ALTERNATE = 1;
inline constexpr int POLY_FILL_WINDING = 2;
inline constexpr int SCAN_SET = 1;
inline constexpr int SCAN_CLEAR = 2;
inline constexpr int SCAN_INVERT = 3;

// One row step of an edge's state.
inline void EdgeStep(const Edge* edge, EdgeState* state)
{
    state->y += 1;
    state->x += edge->xStep - state->correction;
    state->correction = 0;
    state->error += edge->remainder;
    if (state->error > 0) {
        state->x += edge->xDirection;
        state->error -= edge->dy;
    }
}

// The same state as k single steps, with one division.
void EdgeAdvance(const Edge* edge, EdgeState* state, int64_t k);

// Fills the edges into the 1-bit surface. The monotone flag promises at most two edges on every
// row. Any fill rule but 2 is alternate; an operation other than 1, 2 or 3 writes nothing. The
// edges' current states are used up. Nothing is written outside the surface's rows and width.
void PolygonScanFill(BandSurface* surface, Edge* edges, uint32_t count, int monotone, int fillRule, int operation);
// Comparisons and moves this thread's fills have spent keeping their active edges in x order: at
// most a sort's worth a row, so a fill costs its edges' rows times a logarithm however its edges
// cross. For tests that hold the work to that bound.
uint64_t PolygonScanOrderWork();
