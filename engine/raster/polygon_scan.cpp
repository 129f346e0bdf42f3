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

// A stable merge sort of a linked list, with no allocation.
Edge* SortPending(Edge* list)
{
    if (list == nullptr || list->next == nullptr) return list;
    Edge* slow = list;
    for (Edge* fast = list->next; fast != nullptr && fast->next != nullptr; fast = fast->next->next)
        slow = slow->next;
    Edge* second = slow->next;
    slow->next = nullptr;
    Edge* a = SortPending(list);
    Edge* b = SortPending(second);
    Edge head{};
    Edge* tail = &head;
    while (a != nullptr && b != nullptr) {
        Edge*& from = PendingBefore(b, a) ? b : a;
        tail->next = from;
        tail = from;
        from = from->next;
    }
    tail->next = a != nullptr ? a : b;
    return head.next;
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
        while (pending != nullptr && pending->current.y == y) {
            Edge* edge = pending;
            pending = edge->next;
            Edge** at = &active;
            while (*at != nullptr && (*at)->current.x < edge->current.x) at = &(*at)->next;
            edge->next = *at;
            *at = edge;
        }
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
        // Stepping; edges ending here leave.
        for (Edge** at = &active; *at != nullptr;) {
            Edge* e = *at;
            if (e->current.y + 1 < e->bottom.y) {
                EdgeStep(e, &e->current);
                at = &e->next;
            } else {
                *at = e->next;
            }
        }
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
