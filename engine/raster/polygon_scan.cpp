// The scan converter lists the edges yet to start by their starting row (a counting sort into the
// links of the table's edges, which are the converter's while it runs) and keeps the active edges
// in an array in x order. Each row starts the edges listed for it by one merge, writes the spans
// the fill rule gives while it steps the edges, and restores the x order by neighbour moves, which
// are few because the order changes little from one row to the next.
#include "engine/raster/polygon_scan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/raster/band_surface.h"

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

// The starting-row lists cover a window of this many rows at a time; a taller surface takes one
// more pass over the table per window.
constexpr int32_t kWindowRows = 4096;
// Active edges held on the stack; a row with more moves them into the table's own links.
constexpr size_t kStackSlots = 2048;
// New edges of one row are sorted and merged this many at a time.
constexpr size_t kJoinBatch = 256;
// Rows sorted whole, after one whose neighbour moves ran past their bound, before neighbour moves
// are tried again.
constexpr int kWholeRows = 8;

// Comparisons and moves spent keeping the active edges in x order, on this thread.
thread_local uint64_t tOrderWork = 0;

// Where the active edges stand: slot i of an array on the stack, or the link of the table's
// edge i (a table of n edges never has more than n active, and the links are the converter's).
struct StackSlots {
    Edge** at;
    Edge*& operator[](size_t i) const { return at[i]; }
};
struct TableSlots {
    Edge* at;
    Edge*& operator[](size_t i) const { return at[i].next; }
};

struct Scan {
    Edge* edges;
    uint32_t count;
    int32_t height;
    int32_t windowTop;  // the first row of the current window
    uint32_t waiting;  // edges listed in the window and not yet started
    uint32_t started;  // edges started so far
    uint32_t windowFirst;  // where the window's list begins
    uint32_t rowEnds[kWindowRows];  // where each row's part of the list ends
    size_t active;
    int wholeRows;  // rows still to be sorted whole without neighbour moves first
    bool inTable;  // the active edges stand in the table's links
    Edge* stack[kStackSlots];
};

// The row a kept edge starts on: nothing above row 0 is written, so an edge reaching above it
// starts there, on its own stepping grid.
bool Kept(const Edge* edge, int32_t height)
{
    return edge->bottom.y > edge->top.y && edge->bottom.y > 0 && edge->top.y < height;
}
int32_t StartRow(const Edge* edge) { return std::max(edge->top.y, 0); }

// Lists the kept edges starting in the window from `top`, by starting row (each row's in table
// order), in the links of the table's edges from the first not yet started on: the edges started
// so far are at least as many as the active ones, whose links those before it may hold. Returns
// the first starting row below the window, or the surface height when there is none.
int32_t ListWindow(Scan& s, int32_t top)
{
    s.windowTop = top;
    const int32_t rows = std::min(kWindowRows, s.height - top);
    std::fill(s.rowEnds, s.rowEnds + rows, 0u);
    int32_t below = s.height;
    for (uint32_t i = 0; i < s.count; ++i) {
        const Edge* edge = &s.edges[i];
        if (!Kept(edge, s.height)) continue;
        const int32_t row = StartRow(edge) - top;
        if (row < 0) continue;
        if (row >= rows) {
            below = std::min(below, row + top);
            continue;
        }
        ++s.rowEnds[row];
    }
    // Counts to starts; placing each edge moves its row's start on, to the row's end.
    uint32_t at = s.started;
    s.windowFirst = at;
    for (int32_t row = 0; row < rows; ++row) {
        const uint32_t n = s.rowEnds[row];
        s.rowEnds[row] = at;
        at += n;
    }
    s.waiting = at - s.started;
    for (uint32_t i = 0, left = s.waiting; i < s.count && left > 0; ++i) {
        Edge* edge = &s.edges[i];
        if (!Kept(edge, s.height)) continue;
        const int32_t row = StartRow(edge) - top;
        if (row < 0 || row >= rows) continue;
        s.edges[s.rowEnds[row]++].next = edge;
        --left;
    }
    return below;
}

uint32_t RowFirst(const Scan& s, int32_t row) { return row == 0 ? s.windowFirst : s.rowEnds[row - 1]; }
bool RowStarts(const Scan& s, int32_t y) { return s.rowEnds[y - s.windowTop] != RowFirst(s, y - s.windowTop); }

void MoveToTable(Scan& s)
{
    for (size_t i = 0; i < s.active; ++i) s.edges[i].next = s.stack[i];
    s.inTable = true;
}

// Sorts slots [0, n) by x in place, without memory of its own, in n log n comparisons whatever the
// order: edges that cross one another many times a row cost a sort's worth, not a move a crossing.
template <class Slots>
void SortByX(Slots slots, size_t n)
{
    uint64_t work = 0;
    const auto siftDown = [&](size_t root, size_t end) {
        for (;;) {
            size_t child = 2 * root + 1;
            if (child >= end) return;
            ++work;
            if (child + 1 < end && slots[child]->current.x < slots[child + 1]->current.x) ++child;
            ++work;
            if (!(slots[root]->current.x < slots[child]->current.x)) return;
            Edge* t = slots[root];
            slots[root] = slots[child];
            slots[child] = t;
            root = child;
        }
    };
    for (size_t i = n / 2; i-- > 0;) siftDown(i, n);
    for (size_t end = n; end > 1; --end) {
        Edge* t = slots[0];
        slots[0] = slots[end - 1];
        slots[end - 1] = t;
        siftDown(0, end - 1);
    }
    tOrderWork += work;
}

// Merges the sorted new edges into the sorted active ones from the back.
template <class Slots>
void MergeActive(Scan& s, Slots slots, Edge* const* batch, size_t k)
{
    size_t i = s.active, j = k, p = s.active + k;
    tOrderWork += s.active + k;
    while (j > 0) {
        if (i > 0 && slots[i - 1]->current.x > batch[j - 1]->current.x) slots[--p] = slots[--i];
        else slots[--p] = batch[--j];
    }
    s.active += k;
}

void MergeBatch(Scan& s, Edge* const* batch, size_t k)
{
    if (!s.inTable && s.active + k > kStackSlots) MoveToTable(s);
    if (s.inTable) MergeActive(s, TableSlots{s.edges}, batch, k);
    else MergeActive(s, StackSlots{s.stack}, batch, k);
}

// Starts the edges listed for row y, in x order among the active ones.
void JoinRow(Scan& s, int32_t y)
{
    Edge* batch[kJoinBatch];
    size_t k = 0;
    const uint32_t first = RowFirst(s, y - s.windowTop), end = s.rowEnds[y - s.windowTop];
    // A merge writes the links of the table's first edges up to the active count, which stays
    // below the links still to be read here.
    s.waiting -= end - first;
    s.started = end;
    // Many edges starting on one row (a band's first row under a path of many edges) would cost a
    // merge through every active edge a batch: they are added at the end and all sorted at once.
    const bool many = end - first > kJoinBatch;
    if (many && !s.inTable && s.active + (end - first) > kStackSlots) MoveToTable(s);
    for (uint32_t i = first; i < end; ++i) {
        Edge* edge = s.edges[i].next;
        EdgeState& c = edge->current;
        c = edge->top;
        if (c.y < 0) EdgeAdvance(edge, &c, -int64_t{c.y});
        // The walk counts the rows itself; the edge's y says instead whether its steps move it: a
        // vertical side, with no correction to undo and no error to carry, keeps its state.
        c.y = (edge->xStep | edge->remainder | c.correction) != 0 || c.error > 0;
        if (many) {
            if (s.inTable) s.edges[s.active++].next = edge;
            else s.stack[s.active++] = edge;
            continue;
        }
        // A row's edges come in table order, mostly left to right already.
        size_t at = k++;
        for (; at > 0 && batch[at - 1]->current.x > edge->current.x; --at) batch[at] = batch[at - 1];
        batch[at] = edge;
        if (k == kJoinBatch) {
            MergeBatch(s, batch, k);
            k = 0;
        }
    }
    if (k > 0) MergeBatch(s, batch, k);
    if (many) {
        if (s.inTable) SortByX(TableSlots{s.edges}, s.active);
        else SortByX(StackSlots{s.stack}, s.active);
    }
}

// Rows are big-endian 32-bit words, the first pixel in the most significant bit.
uint32_t LoadWord(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
    return v;
}

void StoreWord(uint8_t* p, uint32_t v)
{
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

template <int Operation>
void MaskWord(uint8_t* p, uint32_t mask)
{
    const uint32_t v = LoadWord(p);
    StoreWord(p, Operation == SCAN_SET ? v | mask : v & ~mask);
}

// Inversion flips the span's pixels one at a time.
void InvertSpan(uint8_t* row, int32_t x0, int32_t x1)
{
    for (int32_t x = x0; x < x1; ++x) row[x >> 3] ^= static_cast<uint8_t>(0x80u >> (x & 7));
}

// Writes a row's spans [x0, x1), which come left to right and do not overlap: set and clear a
// word at a time, the first and last words of a span through masks and those between whole; a
// word holding no pixel of a span is not touched. The last word a span ends in is held back while
// the next spans land in it too, so that the small shapes of a line of text, several to a word,
// cost one read and write of each word.
template <int Operation>
struct RowWriter {
    uint8_t* row;
    int32_t width;
    int32_t word = -1;  // the word held back, -1 for none
    uint32_t bits = 0;  // its pixels in the spans so far

    void Flush()
    {
        if (word >= 0) MaskWord<Operation>(row + 4 * word, bits);
    }

    void Span(int32_t x0, int32_t x1)
    {
        if constexpr (Operation == SCAN_SET || Operation == SCAN_CLEAR || Operation == SCAN_INVERT) {
            if (__builtin_expect(x0 < 0 || x1 > width, 0)) {
                x0 = std::max(x0, 0);
                x1 = std::min(x1, width);
            }
            if (x0 >= x1) return;
            if constexpr (Operation == SCAN_INVERT) {
                InvertSpan(row, x0, x1);
            } else {
                const int32_t first = x0 >> 5, last = (x1 - 1) >> 5;
                const uint32_t startMask = 0xFFFFFFFFu >> (x0 & 31);
                const uint32_t endMask = 0xFFFFFFFFu << (31 - ((x1 - 1) & 31));  // the bits before x1 in its word
                if (first != word) {
                    Flush();
                    word = first;
                    bits = 0;
                }
                if (first == last) {
                    bits |= startMask & endMask;
                    return;
                }
                MaskWord<Operation>(row + 4 * first, bits | startMask);
                if (last > first + 1)
                    std::memset(row + 4 * (first + 1), Operation == SCAN_SET ? 0xFF : 0x00,
                                4 * static_cast<size_t>(last - first - 1));
                word = last;
                bits = endMask;
            }
        }
    }

    void Finish()
    {
        if constexpr (Operation == SCAN_SET || Operation == SCAN_CLEAR) Flush();
    }
};

// One row: the spans of the active edges under the fill rule (alternate: first to second, third
// to fourth, ...; winding: from each edge after which the running sum is not 0 to the next edge),
// written while the edges step to the next row and those ending here leave; then the x order.
// An edge left without a partner (an open outline) draws nothing.
template <bool Winding, int Operation, class Slots>
void ScanRow(Scan& s, Slots slots, int32_t y, uint8_t* row, int32_t width)
{
    const size_t n = s.active;
    const int32_t nextRow = y + 1;
    size_t kept = 0;
    int sum = 0;  // the winding sum, or under alternate the count's parity: inside when not 0
    int32_t from = 0, previous = INT32_MIN;
    uint32_t unordered = 0;
    RowWriter<Operation> writer{row, width};
    for (size_t i = 0; i < n; ++i) {
        Edge* e = slots[i];
        EdgeState& c = e->current;
        const int32_t x = c.x;
        if (sum != 0) writer.Span(from, x);
        if constexpr (Winding) sum += e->winding;
        else sum ^= 1;
        from = x;
        if (nextRow < e->bottom.y) {
            // The step of EdgeStep; the row number is the loop's.
            int32_t next = x;
            // A vertical side keeps its x and error from row to row (see JoinRow).
            if (c.y != 0) {
                next += e->xStep - c.correction;
                c.correction = 0;
                int32_t error = c.error + e->remainder;
                if (error > 0) {
                    next += e->xDirection;
                    error -= e->dy;
                }
                c.error = error;
                c.x = next;
            }
            unordered |= static_cast<uint32_t>(next < previous);
            previous = next;
            slots[kept++] = e;
        }
    }
    writer.Finish();
    s.active = kept;
    if (unordered == 0) return;
    // Neighbour moves are as many as the crossings since the last row: bounded by what a sort
    // costs, and past that the row is sorted whole (and the next few rows at once).
    if (s.wholeRows > 0) {
        --s.wholeRows;
        SortByX(slots, kept);
        return;
    }
    const uint64_t bound = uint64_t(kept) * (std::bit_width(kept) + 1);
    uint64_t moves = 0;
    for (size_t i = 1; i < kept; ++i) {
        Edge* e = slots[i];
        size_t at = i;
        for (; at > 0 && slots[at - 1]->current.x > e->current.x; --at) slots[at] = slots[at - 1];
        slots[at] = e;
        moves += i - at + 1;
        if (moves > bound) {
            tOrderWork += moves;
            s.wholeRows = kWholeRows;
            SortByX(slots, kept);
            return;
        }
    }
    tOrderWork += moves;
}

// The row function of each fill rule (alternate, winding) and operation (0 none, set, clear, invert).
template <class Slots>
using RowFunction = void (*)(Scan&, Slots, int32_t, uint8_t*, int32_t);
template <class Slots>
constexpr RowFunction<Slots> kRows[2][4] = {
    {ScanRow<false, 0, Slots>, ScanRow<false, SCAN_SET, Slots>, ScanRow<false, SCAN_CLEAR, Slots>,
     ScanRow<false, SCAN_INVERT, Slots>},
    {ScanRow<true, 0, Slots>, ScanRow<true, SCAN_SET, Slots>, ScanRow<true, SCAN_CLEAR, Slots>,
     ScanRow<true, SCAN_INVERT, Slots>},
};

}  // namespace

void PolygonScanFill(BandSurface* surface, Edge* edges, uint32_t count, int monotone, int fillRule, int operation)
{
    // Joining and ordering are the same whatever the monotone promise says, so that a path that
    // breaks the promise is filled correctly rather than partly; a row of two edges costs one
    // comparison either way.
    (void)monotone;
    const bool writes = operation == SCAN_SET || operation == SCAN_CLEAR || operation == SCAN_INVERT;
    const int rule = fillRule == POLY_FILL_WINDING ? 1 : 0;
    const RowFunction<StackSlots> stackRow = kRows<StackSlots>[rule][writes ? operation : 0];
    const RowFunction<TableSlots> tableRow = kRows<TableSlots>[rule][writes ? operation : 0];
    const int32_t width = static_cast<int32_t>(surface->width);
    const int32_t height = static_cast<int32_t>(surface->height);
    if (count == 0 || height <= 0) return;

    Scan s;
    s.edges = edges;
    s.count = count;
    s.height = height;
    s.active = 0;
    s.wholeRows = 0;
    s.inTable = false;
    s.started = 0;
    // Work is bounded by the surface's rows whatever the coordinates: rows without edges are
    // passed over, a window at a time when nothing is active.
    int32_t below = ListWindow(s, 0);
    for (int32_t y = 0; y < height;) {
        const int32_t windowEnd = s.windowTop + std::min(kWindowRows, height - s.windowTop);
        if (s.active == 0) {
            // Rows between figures: on to the next starting row.
            while (y < windowEnd && !RowStarts(s, y) && s.waiting > 0) ++y;
            if (s.waiting == 0 || y == windowEnd) {
                if (below >= height) break;
                y = below;
                below = ListWindow(s, y);
                continue;
            }
        }
        if (y == windowEnd) {
            below = ListWindow(s, y);
            continue;
        }
        if (RowStarts(s, y)) JoinRow(s, y);
        uint8_t* row = surface->bits + static_cast<size_t>(surface->stride) * static_cast<size_t>(y);
        if (s.inTable) tableRow(s, TableSlots{edges}, y, row, width);
        else stackRow(s, StackSlots{s.stack}, y, row, width);
        ++y;
    }
}

uint64_t PolygonScanOrderWork() { return tOrderWork; }
