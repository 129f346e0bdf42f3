// Each polygon is cut into chains, runs of edges that all go down or all go up, walked top to
// bottom with the same exact integer stepping as the general scan: a chain crosses each row it
// spans once, at the first pixel column at or right of its exact crossing. A polygon of two
// chains (every body, join, cap and disc of an outline) covers on a row the pixels between its
// two crossings, winding by the direction of the left one; others sort their own few crossings.
//
// The rows are gathered in bands of bits small enough to stay in the processor's cache, and each
// polygon is walked down the whole band at once, its chains in registers; then the band's rows
// are handed over as runs. Each row notes the windings set on it, and a row where both signs
// met is filled again from the winding sum of every chain's crossing there.
#include "stroke_fill.h"

#include <algorithm>
#include <bit>
#include <new>
#include <vector>

namespace {

using int128 = __int128;

// A row of bits wider than this is not worth its memory: such a fill takes the general scan.
constexpr int64_t kMostRowBits = int64_t{1} << 22;
// The bits of a band of rows: about the processor's first-level data cache. Larger bands start
// fewer pieces afresh but run the bits out of the nearest cache.
constexpr int64_t kBandBits = int64_t{1} << 18;
// What a row's runs wound: bits of the row flags.
constexpr uint8_t kWoundNegative = 1, kWoundPositive = 2;

struct Side {  // an edge, top point first
    FillPoint top, bottom;
};

struct Chain {
    int64_t column;  // smallest column c with c * FILL_ONE >= crossing on the current row
    int64_t rem;  // column * denom - numerator, in [0, denom)
    int64_t denom, stepQ, stepS;
    int64_t edgeEnd;  // first row the current side no longer spans
    int64_t firstRow, endRow;  // rows the chain spans within the clip
    uint32_t side;  // current side
    uint32_t firstSide;
    int dir;  // +1 where the polygon goes down along the chain, -1 up
    bool started;  // placed: a pair's chains on the first row of the next band
};

struct Piece {
    int64_t firstRow, endRow;
    uint32_t firstChain, chainCount;
    bool pair;  // two chains over the same rows
};

struct Crossing {
    int64_t column;
    int dir;
};

// Puts the chain on `row` of side `s`: crossing x = top.x + (row * ONE - top.y) * dx / dy.
void ChainPlace(Chain& c, const Side& s, int64_t row)
{
    const int64_t dx = s.bottom.x - s.top.x, dy = s.bottom.y - s.top.y;
    c.denom = FILL_ONE * dy;
    const int64_t step = FILL_ONE * dx;
    c.stepQ = FloorDiv<int64_t>(step, c.denom);
    c.stepS = step - c.stepQ * c.denom;
    const int128 num = int128{s.top.x} * dy + (int128{row} * FILL_ONE - s.top.y) * dx;
    if (num >= -(int128{1} << 62) && num < (int128{1} << 62) && c.denom < (int64_t{1} << 62)) {
        const int64_t small = static_cast<int64_t>(num);  // a page's coordinates: no 128-bit division
        c.column = CeilDiv<int64_t>(small, c.denom);
        c.rem = c.column * c.denom - small;
        c.edgeEnd = CeilDiv<int64_t>(s.bottom.y, FILL_ONE);
        return;
    }
    const int128 column = CeilDiv<int128>(num, int128{c.denom});
    c.column = static_cast<int64_t>(column);
    c.rem = static_cast<int64_t>(column * c.denom - num);
    c.edgeEnd = CeilDiv<int64_t>(s.bottom.y, FILL_ONE);
}

// Places the chain on a row it spans, from its current side on. The first side whose rows end
// below the row is the one that spans it: the sides before it end at or above it.
void ChainStart(Chain& c, const Side* sides, int64_t row)
{
    while (CeilDiv<int64_t>(sides[c.side].bottom.y, FILL_ONE) <= row) ++c.side;
    ChainPlace(c, sides[c.side], row);
    c.started = true;
}

// Moves the chain down to `row`, the row after the one it stands on.
void ChainStep(Chain& c, const Side* sides, int64_t row)
{
    if (row >= c.endRow) return;
    if (row < c.edgeEnd) {
        c.column += c.stepQ;
        c.rem -= c.stepS;
        if (c.rem < 0) {
            c.column += 1;
            c.rem += c.denom;
        }
        return;
    }
    ++c.side;
    ChainStart(c, sides, row);
}

// A chain's stepping state, apart from the chain.
struct Step {
    int64_t column, rem, denom, stepQ, stepS, edgeEnd;
    void Next()
    {
        column += stepQ;
        rem -= stepS;
        if (rem < 0) {
            column += 1;
            rem += denom;
        }
    }
    void Store(Chain& c) const
    {
        c.column = column;
        c.rem = rem;
        c.denom = denom;
        c.stepQ = stepQ;
        c.stepS = stepS;
        c.edgeEnd = edgeEnd;
    }
};

Step StepOf(const Chain& c) { return Step{c.column, c.rem, c.denom, c.stepQ, c.stepS, c.edgeEnd}; }

// Moves the chain to the side that spans `row`, the first below its current one, and places it.
[[gnu::noinline]] Step Restart(Chain& c, const Side* sides, int64_t row)
{
    ++c.side;
    ChainStart(c, sides, row);
    return StepOf(c);
}

struct Scan {
    std::vector<Side> sides;
    std::vector<Chain> chains;
    std::vector<Piece> pieces;
    int64_t lo = 0, hi = 0;  // columns of a row
    int64_t origin = 0;  // bit i of a row is column origin + i: lo rounded down to a word
    size_t words = 0;  // 64-bit words a row
    int64_t bandTop = 0;
    std::vector<uint64_t> bits;  // the band's rows
    std::vector<uint8_t> wound;  // kWound* of each row of the band, 0 for a row with nothing set
    std::vector<Crossing> crossings;

    // Cuts one polygon into chains within the rows [top, bottom).
    void AddPolygon(std::span<const FillPoint> p, int64_t top, int64_t bottom)
    {
        const size_t n = p.size();
        auto sign = [&](size_t j) {
            const int64_t dy = p[(j + 1) % n].y - p[j].y;
            return (dy > 0) - (dy < 0);
        };
        int previous = 0;
        for (size_t j = n; j-- > 0 && previous == 0;) previous = sign(j);
        if (previous == 0) return;  // flat: it crosses no row
        // Start where the direction turns, so that no chain wraps round the end of the points.
        size_t start = 0;
        for (size_t j = 0; j < n; ++j) {
            const int s = sign(j);
            if (s == 0) continue;
            if (s != previous) {
                start = j;
                break;
            }
            previous = s;
        }
        Piece piece{INT64_MAX, INT64_MIN, uint32_t(chains.size()), 0, false};
        size_t chainSides = sides.size();
        int direction = 0;
        auto close = [&] {
            if (direction == 0) return;
            if (direction < 0) {
                std::reverse(sides.begin() + ptrdiff_t(chainSides), sides.end());
                for (auto s = sides.begin() + ptrdiff_t(chainSides); s != sides.end(); ++s)
                    std::swap(s->top, s->bottom);
            }
            Chain c{};
            c.firstRow = std::max(CeilDiv<int64_t>(sides[chainSides].top.y, FILL_ONE), top);
            c.endRow = std::min(CeilDiv<int64_t>(sides.back().bottom.y, FILL_ONE), bottom);
            c.side = c.firstSide = uint32_t(chainSides);
            c.dir = direction;
            if (c.firstRow < c.endRow) {
                chains.push_back(c);
                piece.firstRow = std::min(piece.firstRow, c.firstRow);
                piece.endRow = std::max(piece.endRow, c.endRow);
                ++piece.chainCount;
            } else {
                sides.resize(chainSides);
            }
        };
        for (size_t k = 0; k < n; ++k) {
            const size_t j = (start + k) % n;
            const int s = sign(j);
            if (s == 0) continue;
            if (s != direction) {
                close();
                chainSides = sides.size();
                direction = s;
            }
            sides.push_back({p[j], p[(j + 1) % n]});
        }
        close();
        if (piece.chainCount == 0) return;
        const Chain* c = &chains[piece.firstChain];
        piece.pair = piece.chainCount == 2 && c[0].firstRow == c[1].firstRow && c[0].endRow == c[1].endRow;
        pieces.push_back(piece);
    }

    // Sets the columns [left, right) of `row` of the band, which wind `winding` times.
    void Mark(int64_t row, int64_t left, int64_t right, int winding)
    {
        left = std::max(left, lo);
        right = std::min(right, hi);
        if (left >= right) return;
        const size_t r = size_t(row - bandTop);
        wound[r] |= winding < 0 ? kWoundNegative : kWoundPositive;
        uint64_t* line = bits.data() + r * words;
        const uint64_t i0 = uint64_t(left - origin), i1 = uint64_t(right - origin) - 1;
        const size_t w0 = size_t(i0 >> 6), w1 = size_t(i1 >> 6);
        const uint64_t first = ~uint64_t{0} << (i0 & 63), last = ~uint64_t{0} >> (63 - (i1 & 63));
        if (w0 == w1) {
            line[w0] |= first & last;
        } else {
            line[w0] |= first;
            for (size_t w = w0 + 1; w < w1; ++w) line[w] = ~uint64_t{0};
            line[w1] |= last;
        }
    }

    // Calls `run(left, right, winding)` for each stretch between sorted crossings that winds.
    template <typename Run>
    static void Sweep(std::vector<Crossing>& list, Run run)
    {
        std::sort(list.begin(), list.end(), [](const Crossing& a, const Crossing& b) { return a.column < b.column; });
        int winding = 0;
        int64_t from = 0;
        for (const Crossing& c : list) {
            if (winding != 0 && from < c.column) run(from, c.column, winding);
            winding += c.dir;
            from = c.column;
        }
    }

    // Sets the band's bits of rows [from, to) from one piece.
    void MarkPiece(const Piece& piece, int64_t from, int64_t to)
    {
        const Side* s = sides.data();
        if (piece.pair) {
            Chain& ca = chains[piece.firstChain];
            Chain& cb = chains[piece.firstChain + 1];
            if (!ca.started) {
                ChainStart(ca, s, from);
                ChainStart(cb, s, from);
            }
            // The stepping state in locals, so that it stays in registers down the rows.
            Step a = StepOf(ca), b = StepOf(cb);
            for (int64_t row = from;;) {
                if (a.column < b.column) Mark(row, a.column, b.column, ca.dir);
                else if (b.column < a.column) Mark(row, b.column, a.column, cb.dir);
                if (++row == piece.endRow) break;
                if (row < a.edgeEnd) a.Next();
                else a = Restart(ca, s, row);
                if (row < b.edgeEnd) b.Next();
                else b = Restart(cb, s, row);
                if (row == to) {
                    // The next band goes on from here.
                    a.Store(ca);
                    b.Store(cb);
                    break;
                }
            }
            return;
        }
        for (int64_t row = from; row < to; ++row) {
            crossings.clear();
            for (uint32_t k = 0; k < piece.chainCount; ++k) {
                Chain& c = chains[piece.firstChain + k];
                if (row < c.firstRow || row >= c.endRow) continue;
                if (!c.started || row == from) ChainStart(c, s, row);
                else ChainStep(c, s, row);
                crossings.push_back({c.column, c.dir});
            }
            Sweep(crossings, [&](int64_t left, int64_t right, int winding) { Mark(row, left, right, winding); });
        }
        for (uint32_t k = 0; k < piece.chainCount; ++k) chains[piece.firstChain + k].started = false;
    }

    // Hands the set bits of a row of the band to the sink as runs.
    void EmitBits(int64_t row, FillSpanSink sink, void* context) const
    {
        const uint64_t* line = bits.data() + size_t(row - bandTop) * words;
        bool inside = false;
        int64_t start = 0;
        for (size_t w = 0; w < words; ++w) {
            const uint64_t v = line[w];
            uint64_t look = inside ? ~v : v;
            while (look != 0) {
                const int b = std::countr_zero(look);
                const int64_t column = origin + int64_t(w) * 64 + b;
                if (inside) sink(context, LONG(row), LONG(start), LONG(column));
                else start = column;
                inside = !inside;
                look = (inside ? ~v : v) & (~uint64_t{0} << b);
            }
        }
        if (inside) sink(context, LONG(row), LONG(start), LONG(hi));
    }

    // The row from the winding sum of the crossings of every chain on it, as the general scan
    // fills it.
    void EmitExact(std::span<const uint32_t> alive, int64_t row, FillSpanSink sink, void* context)
    {
        crossings.clear();
        for (uint32_t i : alive) {
            const Piece& piece = pieces[i];
            for (uint32_t k = 0; k < piece.chainCount; ++k) {
                Chain c = chains[piece.firstChain + k];
                if (row < c.firstRow || row >= c.endRow) continue;
                c.side = c.firstSide;
                ChainStart(c, sides.data(), row);
                crossings.push_back({c.column, c.dir});
            }
        }
        bool pending = false;
        int64_t pendingLeft = 0, pendingRight = 0;
        auto emit = [&] {
            const int64_t left = std::max(pendingLeft, lo), right = std::min(pendingRight, hi);
            if (left < right) sink(context, LONG(row), LONG(left), LONG(right));
        };
        Sweep(crossings, [&](int64_t left, int64_t right, int) {
            if (pending && pendingRight == left) {
                pendingRight = right;
                return;
            }
            if (pending) emit();
            pending = true;
            pendingLeft = left;
            pendingRight = right;
        });
        if (pending) emit();
    }
};

}  // namespace

bool StrokeFillSpans(std::span<const FillPoint> points, std::span<const int> counts, const RECT& clip,
                     FillSpanSink sink, void* context, FillBitsSink bits)
{
    const RECT bounds = PolyFillBounds(points);
    const int64_t lo = std::max(bounds.left, clip.left), hi = std::min(bounds.right, clip.right);
    const int64_t top = std::max(bounds.top, clip.top), bottom = std::min(bounds.bottom, clip.bottom);
    if (lo >= hi || top >= bottom) return true;
    if (hi - lo > kMostRowBits) return PolyFillSpans(points, counts, FILL_WINDING, clip, sink, context);
    try {
        Scan scan;
        scan.lo = lo;
        scan.hi = hi;
        scan.origin = FloorDiv<int64_t>(lo, 64) * 64;
        scan.sides.reserve(points.size());
        scan.chains.reserve(2 * counts.size());
        scan.pieces.reserve(counts.size());
        size_t start = 0;
        for (int count : counts) {
            if (count <= 0) continue;
            if (start + size_t(count) > points.size()) break;
            scan.AddPolygon(points.subspan(start, size_t(count)), top, bottom);
            start += size_t(count);
        }
        std::vector<Piece>& pieces = scan.pieces;
        if (pieces.empty()) return true;
        std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.firstRow < b.firstRow; });
        scan.words = size_t((hi - scan.origin + 63) / 64);
        const int64_t bandRows = std::max<int64_t>(1, kBandBits / int64_t(scan.words * 64));
        scan.bits.resize(scan.words * size_t(bandRows));
        scan.wound.resize(size_t(bandRows));

        std::vector<uint32_t> alive;  // pieces that reach the band
        size_t next = 0;
        for (int64_t bandTop = pieces[0].firstRow; bandTop < bottom;) {
            if (alive.empty() && next < pieces.size())
                bandTop = std::max(bandTop, pieces[next].firstRow);  // skip rows no piece spans
            if (alive.empty() && next == pieces.size()) break;
            const int64_t bandBottom = std::min(bandTop + bandRows, bottom);
            scan.bandTop = bandTop;
            std::fill(scan.bits.begin(), scan.bits.begin() + ptrdiff_t(scan.words * size_t(bandBottom - bandTop)), 0);
            std::fill(scan.wound.begin(), scan.wound.begin() + (bandBottom - bandTop), 0);
            for (; next < pieces.size() && pieces[next].firstRow < bandBottom; ++next) alive.push_back(uint32_t(next));
            for (uint32_t i : alive) {
                const Piece& piece = pieces[i];
                scan.MarkPiece(piece, std::max(piece.firstRow, bandTop), std::min(piece.endRow, bandBottom));
            }
            for (int64_t row = bandTop; row < bandBottom; ++row) {
                const uint8_t wound = scan.wound[size_t(row - bandTop)];
                if (wound == (kWoundNegative | kWoundPositive)) scan.EmitExact(alive, row, sink, context);
                else if (wound != 0 && bits)
                    bits(context, LONG(row), scan.origin, scan.bits.data() + size_t(row - bandTop) * scan.words,
                         scan.words);
                else if (wound != 0) scan.EmitBits(row, sink, context);
            }
            size_t kept = 0;
            for (uint32_t i : alive)
                if (pieces[i].endRow > bandBottom) alive[kept++] = i;
            alive.resize(kept);
            bandTop = bandBottom;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
