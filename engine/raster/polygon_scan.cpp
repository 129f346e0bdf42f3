// The scan converter keeps two lists threaded through the edges: pending (sorted by top row,
// then x) and active (sorted by the current x). Each row joins the edges that start there, writes
// the spans the fill rule gives, steps the edges and restores the x order by neighbour swaps,
// which is cheap because the order changes little from one row to the next.
#include "engine/raster/polygon_scan.h"

#include <algorithm>
#include <cstring>

#include "engine/band/band_surface.h"

void EdgeAdvance(const Edge* edge, EdgeState* state, int64_t k)
{
    if (k <= 0) return;
    // Done in 64 bits: k and the coordinates come from the page and may span the whole range.
    int64_t x = state->x + int64_t{edge->xStep} * k - state->correction;
    int64_t error = state->error;
    if (edge->dy > 0) {
        int64_t t = int64_t{edge->remainder} * k + edge->dy + error - 1;
        x += edge->xDirection * (t / edge->dy);
        error = t % edge->dy - edge->dy + 1;
    }
    state->y = static_cast<int32_t>(state->y + k);
    state->x = static_cast<int32_t>(x);
    state->correction = 0;
    state->error = static_cast<int32_t>(error);
}

namespace {

bool PendingBefore(const Edge* a, const Edge* b)
{
    return a->current.y != b->current.y ? a->current.y < b->current.y : a->current.x < b->current.x;
}

// Merges two sorted lists, a's edges first among equals.
Edge* MergePending(Edge* a, Edge* b)
{
    Edge* head = nullptr;
    Edge** tail = &head;
    while (a != nullptr && b != nullptr) {
        Edge*& from = PendingBefore(b, a) ? b : a;
        *tail = from;
        tail = &from->next;
        from = from->next;
    }
    *tail = a != nullptr ? a : b;
    return head;
}

// A stable merge sort of a linked list, with no allocation: bottom up, bin k holding a sorted run
// of 2^k edges that came before those in the lower bins, so that no pass walks the list to find
// its middle (a page of text has tens of thousands of edges).
Edge* SortPending(Edge* list)
{
    Edge* bins[64] = {};
    while (list != nullptr) {
        Edge* run = list;
        list = list->next;
        run->next = nullptr;
        size_t k = 0;
        for (; bins[k] != nullptr; ++k) {
            run = MergePending(bins[k], run);
            bins[k] = nullptr;
        }
        bins[k] = run;
    }
    Edge* sorted = nullptr;
    for (Edge* bin : bins)
        if (bin != nullptr) sorted = sorted == nullptr ? bin : MergePending(bin, sorted);
    return sorted;
}

// Rows are big-endian 32-bit words, the first pixel in the most significant bit.
uint32_t LoadWord(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void StoreWord(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void MaskWord(uint8_t* p, uint32_t mask, int operation)
{
    uint32_t v = LoadWord(p);
    StoreWord(p, operation == SCAN_SET ? v | mask : v & ~mask);
}

void WriteSpan(uint8_t* row, int32_t x0, int32_t x1, int operation)
{
    if (operation == SCAN_INVERT) {
        for (int32_t x = x0; x < x1; ++x)
            row[x >> 3] ^= static_cast<uint8_t>(0x80u >> (x & 7));
        return;
    }
    int32_t first = x0 >> 5, last = x1 >> 5;
    uint32_t startMask = 0xFFFFFFFFu >> (x0 & 31);
    uint32_t endMask = ~(0xFFFFFFFFu >> (x1 & 31));  // the bits before x1 in its word
    if (first == last) {
        if ((x1 & 31) > (x0 & 31)) MaskWord(row + 4 * first, startMask & endMask, operation);
        return;
    }
    MaskWord(row + 4 * first, startMask, operation);
    if (last > first + 1)
        std::memset(row + 4 * (first + 1), operation == SCAN_SET ? 0xFF : 0x00, 4 * static_cast<size_t>(last - first - 1));
    if ((x1 & 31) != 0) MaskWord(row + 4 * last, endMask, operation);
}

void Span(uint8_t* row, int32_t width, int32_t x0, int32_t x1, int operation)
{
    x0 = std::max(x0, 0);
    x1 = std::min(x1, width);
    if (x0 < x1) WriteSpan(row, x0, x1, operation);
}

// Moves the pending edges that start on row y into the active list (sorted by x) in one merge:
// a row of text starts hundreds of edges at once, and inserting each by a walk from the front
// cost a walk over the whole row per edge. The order is the one those insertions made (each edge
// before the first at or right of it): the new edges ascending in x, ties among them in reverse,
// each before the active edges of its x. Returns what is left pending.
Edge* JoinRow(Edge** active, Edge* pending, int32_t y)
{
    Edge* joined = nullptr;
    Edge** tail = &joined;   // the last new edge's link
    Edge** group = &joined;  // the link to the first new edge of the largest x so far
    while (pending != nullptr && pending->current.y == y) {
        Edge* edge = pending;
        pending = edge->next;
        if (*group != nullptr && (*group)->current.x == edge->current.x) {
            edge->next = *group;
            *group = edge;
        } else {
            group = tail;
            edge->next = nullptr;
            *tail = edge;
            tail = &edge->next;
        }
    }
    for (Edge** at = active; joined != nullptr;) {
        if (*at == nullptr || joined->current.x <= (*at)->current.x) {
            Edge* edge = joined;
            joined = edge->next;
            edge->next = *at;
            *at = edge;
            at = &edge->next;
        } else {
            at = &(*at)->next;
        }
    }
    return pending;
}

}  // namespace

void PolygonScanFill(BandSurface* surface, Edge* edges, uint32_t count, int monotone, int fillRule, int operation)
{
    const bool writes = operation == SCAN_SET || operation == SCAN_CLEAR || operation == SCAN_INVERT;
    const bool winding = fillRule == POLY_FILL_WINDING;
    const int32_t width = static_cast<int32_t>(surface->width);
    const int32_t height = static_cast<int32_t>(surface->height);

    // Edges start at their top state; nothing above row 0 can be written, so an edge reaching
    // above it starts there, on its own stepping grid. That bounds the work by the surface's rows
    // whatever the coordinates.
    Edge* pending = nullptr;
    int32_t lastBottom = 0;
    for (uint32_t i = 0; i < count; ++i) {
        Edge* edge = &edges[i];
        if (edge->bottom.y <= edge->top.y || edge->bottom.y <= 0 || edge->top.y >= height) continue;
        edge->current = edge->top;
        if (edge->current.y < 0) EdgeAdvance(edge, &edge->current, -int64_t{edge->current.y});
        edge->next = pending;
        pending = edge;
        lastBottom = std::max(lastBottom, edge->bottom.y);
    }
    pending = SortPending(pending);
    if (pending == nullptr) return;
    lastBottom = std::min(lastBottom, height);

    Edge* active = nullptr;
    for (int32_t y = pending->current.y; y < lastBottom && (pending != nullptr || active != nullptr); ++y) {
        // Joining: every edge whose top is reached, whatever the monotone promise says, so that a
        // path that breaks the promise is filled correctly rather than partly.
        if (pending != nullptr && pending->current.y == y) pending = JoinRow(&active, pending, y);
        if (active == nullptr) {
            // Rows between figures: jump to the next top.
            if (pending == nullptr) break;
            y = pending->current.y - 1;
            continue;
        }
        uint8_t* row = surface->bits + static_cast<size_t>(surface->stride) * static_cast<size_t>(y);
        if (writes) {
            if (!winding) {
                // An edge left without a partner (an open outline) draws nothing.
                for (Edge* e = active; e != nullptr && e->next != nullptr; e = e->next->next)
                    Span(row, width, e->current.x, e->next->current.x, operation);
            } else {
                int sum = 0;
                for (Edge* e = active; e != nullptr && e->next != nullptr; e = e->next) {
                    sum += e->winding;
                    if (sum != 0) Span(row, width, e->current.x, e->next->current.x, operation);
                }
            }
        }
        // Stepping; edges ending here leave. Whether the stepped edges are still in x order is
        // seen on the way, so that the usual row, where no edges cross, needs no ordering pass.
        bool ordered = true;
        const Edge* previous = nullptr;
        for (Edge** at = &active; *at != nullptr;) {
            Edge* e = *at;
            if (e->current.y + 1 < e->bottom.y) {
                EdgeStep(e, &e->current);
                if (previous != nullptr && e->current.x < previous->current.x) ordered = false;
                previous = e;
                at = &e->next;
            } else {
                *at = e->next;
            }
        }
        if (ordered) continue;
        // Ordering by neighbour swaps. Two edges need one comparison.
        if (monotone && active != nullptr && active->next != nullptr && active->next->next == nullptr) {
            if (active->next->current.x < active->current.x) {
                Edge* second = active->next;
                active->next = nullptr;
                second->next = active;
                active = second;
            }
            continue;
        }
        for (bool swapped = true; swapped;) {
            swapped = false;
            for (Edge** at = &active; *at != nullptr && (*at)->next != nullptr; at = &(*at)->next) {
                Edge* a = *at;
                Edge* b = a->next;
                if (b->current.x < a->current.x) {
                    a->next = b->next;
                    b->next = a;
                    *at = b;
                    swapped = true;
                }
            }
        }
    }
}
