// Active-edge scan conversion with exact crossings. Each edge keeps, for the current row, the
// first pixel column at or right of its crossing (ceil of the exact crossing) and the remainder
// of that division, so stepping a row is integer work with no drift whatever the slope.
#include "polyfill.h"

#include <algorithm>
#include <bit>
#include <new>

namespace {

using int128 = __int128;

struct Edge {
    int64_t firstRow;  // first row the edge spans
    int64_t endRow;  // first row it no longer spans
    int64_t column;  // smallest column c with c * FILL_ONE >= crossing on the current row
    int64_t rem;  // column * denom - numerator, in [0, denom)
    int64_t denom;  // FILL_ONE * dy
    int64_t stepQ;  // floor(FILL_ONE * dx / denom)
    int64_t stepS;  // FILL_ONE * dx - stepQ * denom
    FillPoint top;
    int64_t dx;
    int64_t dy;
    int dir;  // +1 for an edge going down, -1 going up
};

// Places the edge on `row`: crossing x = top.x + (row * ONE - top.y) * dx / dy (fill units).
void EdgeStart(Edge& e, int64_t row)
{
    int128 num = int128{e.top.x} * e.dy + (int128{row} * FILL_ONE - e.top.y) * e.dx;
    int128 c = CeilDiv<int128>(num, int128{e.denom});
    e.column = static_cast<int64_t>(c);
    e.rem = static_cast<int64_t>(c * e.denom - num);
}

void EdgeStep(Edge& e)
{
    e.column += e.stepQ;
    e.rem -= e.stepS;
    if (e.rem < 0) {
        e.column += 1;
        e.rem += e.denom;
    }
}

// An edge's stepping state copied out of the list, so that the two-edge loop keeps it in registers.
struct Stepping {
    int64_t column, rem, denom, stepQ, stepS;
    explicit Stepping(const Edge& e) : column(e.column), rem(e.rem), denom(e.denom), stepQ(e.stepQ), stepS(e.stepS) {}
    void Step()
    {
        column += stepQ;
        rem -= stepS;
        if (rem < 0) {
            column += 1;
            rem += denom;
        }
    }
    void Store(Edge& e) const { e.column = column, e.rem = rem; }
};

// Rows sorted whole, after one whose insertion sort ran past its bound, before insertion is tried
// again.
constexpr int kWholeRows = 8;

void EmitSpan(const RECT& clip, FillSpanSink sink, void* context, int64_t row, int64_t left, int64_t right)
{
    left = std::max<int64_t>(left, clip.left);
    right = std::min<int64_t>(right, clip.right);
    if (left < right) sink(context, static_cast<LONG>(row), static_cast<LONG>(left), static_cast<LONG>(right));
}

}  // namespace

RECT PolyFillBounds(std::span<const FillPoint> points)
{
    if (points.empty()) return RECT{0, 0, 0, 0};
    int64_t minX = points[0].x, maxX = points[0].x, minY = points[0].y, maxY = points[0].y;
    for (const FillPoint& p : points) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    auto clamp = [](int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    // A pixel is touched when its point lies in [min, max]; the right and bottom are exclusive.
    return RECT{clamp(CeilDiv<int64_t>(minX, FILL_ONE)), clamp(CeilDiv<int64_t>(minY, FILL_ONE)),
                clamp(FloorDiv<int64_t>(maxX, FILL_ONE) + 1), clamp(FloorDiv<int64_t>(maxY, FILL_ONE) + 1)};
}

bool PolyFillSpans(std::span<const FillPoint> points, std::span<const int> counts, int fillMode, const RECT& clip,
                   FillSpanSink sink, void* context, FillScanControl* control)
{
    FillScanControl unbounded;
    FillScanControl& limit = control ? *control : unbounded;
    if (clip.left >= clip.right || clip.top >= clip.bottom) return true;
    try {
        std::vector<Edge> edges;
        size_t start = 0;
        for (int count : counts) {
            if (count <= 0) continue;
            if (start + static_cast<size_t>(count) > points.size()) break;
            std::span<const FillPoint> figure = points.subspan(start, static_cast<size_t>(count));
            start += static_cast<size_t>(count);
            for (size_t i = 0; i < figure.size(); ++i) {
                FillPoint a = figure[i];
                FillPoint b = figure[(i + 1) % figure.size()];
                if (a.y == b.y) continue;  // horizontal edges cross no row's point count
                Edge e{};
                e.dir = a.y < b.y ? 1 : -1;
                if (a.y > b.y) std::swap(a, b);
                e.firstRow = std::max<int64_t>(CeilDiv<int64_t>(a.y, FILL_ONE), clip.top);
                e.endRow = std::min<int64_t>(CeilDiv<int64_t>(b.y, FILL_ONE), clip.bottom);
                if (e.firstRow >= e.endRow) continue;
                e.top = a;
                e.dx = b.x - a.x;
                e.dy = b.y - a.y;
                e.denom = FILL_ONE * e.dy;
                int64_t step = FILL_ONE * e.dx;
                e.stepQ = FloorDiv<int64_t>(step, e.denom);
                e.stepS = step - e.stepQ * e.denom;
                edges.push_back(e);
            }
        }
        if (edges.empty()) return true;
        std::sort(edges.begin(), edges.end(), [](const Edge& l, const Edge& r) { return l.firstRow < r.firstRow; });

        std::vector<Edge> active;
        active.reserve(edges.size());
        size_t next = 0;
        int64_t row = edges[0].firstRow;
        const bool alternate = fillMode == FILL_ALTERNATE;
        int wholeRows = 0;  // rows still to be sorted whole without trying insertion first
        while (next < edges.size() || !active.empty()) {
            if (limit.stop) break;
            if (limit.work >= limit.budget) {
                limit.exhausted = true;
                break;
            }
            if (active.empty() && row < edges[next].firstRow) row = edges[next].firstRow;  // skip rows no edge spans
            size_t added = 0;
            while (next < edges.size() && edges[next].firstRow == row) {
                Edge e = edges[next++];
                EdgeStart(e, row);
                active.push_back(e);
                ++added;
            }
            // Two edges of opposite direction (any convex shape, a page-sized rectangle) make one
            // span a row until an edge ends or another comes in: those rows skip the sort, the
            // winding count and the list upkeep. The last row before the change takes the
            // general path below.
            // Two upright edges go to the general path when the caller takes repeated rows in one
            // call, so that a tall thin rectangle costs a row, not its height.
            const bool upright = limit.repeat && active.size() == 2 && active[0].dx == 0 && active[1].dx == 0;
            if (active.size() == 2 && active[0].dir + active[1].dir == 0 && !upright) {
                int64_t change = std::min(
                    {active[0].endRow, active[1].endRow, next < edges.size() ? edges[next].firstRow : INT64_MAX});
                // A budget holds inside the run of rows too.
                const uint64_t left = limit.budget - limit.work;
                if (uint64_t(change - row) > left) change = row + int64_t(std::min<uint64_t>(left, INT64_MAX / 2));
                Stepping a(active[0]), b(active[1]);
                const int64_t clipLeft = clip.left, clipRight = clip.right;
                limit.work += uint64_t(std::max<int64_t>(change - 1 - row, 0));
                for (; row + 1 < change; ++row) {
                    const int64_t left = std::max(std::min(a.column, b.column), clipLeft);
                    const int64_t right = std::min(std::max(a.column, b.column), clipRight);
                    if (left < right)
                        sink(context, static_cast<LONG>(row), static_cast<LONG>(left), static_cast<LONG>(right));
                    a.Step();
                    b.Step();
                }
                a.Store(active[0]);
                b.Store(active[1]);
            }
            // Crossings move little from row to row: insertion sort is near linear for the edges
            // that were there. But edges that cross one another (a random polygon's) make as many
            // moves as crossings, quadratic in the edges; so the moves a row may make are bounded
            // by what a full sort would cost, and past that the row is sorted whole. The edges just
            // come in are sorted on their own and merged in, so a row where some of many outlines
            // turn a corner costs no sort of the whole list.
            uint64_t order = 0;
            const auto byColumn = [&order](const Edge& l, const Edge& r) {
                ++order;
                return l.column < r.column;
            };
            const auto incoming = active.end() - static_cast<std::ptrdiff_t>(added);
            const size_t staying = static_cast<size_t>(incoming - active.begin());
            uint64_t moves = 0;
            const uint64_t moveBound = uint64_t(staying) * (std::bit_width(staying) + 1);
            // Rows after one that had to be sorted whole likely need it too: they are sorted whole
            // at once for a while, and then insertion is tried again.
            bool sortWhole = wholeRows > 0;
            if (wholeRows > 0) --wholeRows;
            for (auto i = active.begin() + (staying == 0 ? 0 : 1); i < incoming && !sortWhole; ++i) {
                ++order;
                if (i->column >= (i - 1)->column) continue;
                Edge e = *i;
                auto j = i;
                while (j > active.begin() && (j - 1)->column > e.column) {
                    *j = *(j - 1);
                    --j;
                    ++moves;
                }
                *j = e;
                sortWhole = moves > moveBound;
                if (sortWhole) wholeRows = kWholeRows;
            }
            order += moves;
            if (sortWhole) std::sort(active.begin(), incoming, byColumn);
            if (added > 0) {
                std::sort(incoming, active.end(), byColumn);
                std::inplace_merge(active.begin(), incoming, active.end(), byColumn);
            }
            limit.order += order;
            int winding = 0;
            int64_t spanStart = 0;
            bool pending = false;  // a span ended; held back in case the next one touches it
            int64_t pendingLeft = 0, pendingRight = 0;
            for (const Edge& e : active) {
                bool wasInside = alternate ? (winding & 1) != 0 : winding != 0;
                winding += e.dir;
                bool inside = alternate ? (winding & 1) != 0 : winding != 0;
                if (!wasInside && inside) {
                    spanStart = e.column;
                } else if (wasInside && !inside && spanStart < e.column) {
                    if (pending && pendingRight == spanStart) {
                        pendingRight = e.column;
                    } else {
                        if (pending) EmitSpan(clip, sink, context, row, pendingLeft, pendingRight);
                        pending = true;
                        pendingLeft = spanStart;
                        pendingRight = e.column;
                    }
                }
            }
            if (pending) EmitSpan(clip, sink, context, row, pendingLeft, pendingRight);
            limit.work += active.size();
            if (limit.repeat && !active.empty()) {
                // Vertical edges only, none ending or beginning: the rows below are this one again.
                bool vertical = true;
                int64_t change = next < edges.size() ? edges[next].firstRow : INT64_MAX;
                for (const Edge& e : active) {
                    vertical = vertical && e.dx == 0;
                    change = std::min(change, e.endRow);
                }
                if (vertical && change > row + 1) {
                    limit.repeat(context, static_cast<LONG>(row + 1), static_cast<LONG>(change));
                    row = change - 1;
                }
            }
            ++row;
            size_t kept = 0;
            for (size_t i = 0; i < active.size(); ++i) {
                if (active[i].endRow <= row) continue;
                EdgeStep(active[i]);
                active[kept++] = active[i];
            }
            active.resize(kept);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
