// Polygon fills, wide-pen outlines, cosmetic lines and Bezier flattening on arbitrary points,
// as spool data can give them: no crash, no hang, and every span inside the clip, in order; the
// wide pen's piece-by-piece fill gives the spans of the general scan, for its outlines and for
// any polygon.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/gdi/line/line.h"
#include "platform/gdi/path/bezier.h"
#include "platform/gdi/path/stroke.h"
#include "platform/gdi/path/stroke_fill.h"
#include "platform/gdi/region/polyfill.h"

namespace {

const RECT kClip{-8, -8, 56, 56};

struct Checker {
    LONG lastY = INT32_MIN, lastRight = INT32_MIN;
    bool ordered = true;
    static void Sink(void* context, LONG y, LONG left, LONG right)
    {
        auto* c = static_cast<Checker*>(context);
        if (y < kClip.top || y >= kClip.bottom || left < kClip.left || right > kClip.right || left >= right)
            std::abort();
        if (c && c->ordered) {
            if (y < c->lastY || (y == c->lastY && left < c->lastRight))
                std::abort();  // fills give rows top to bottom, runs left to right
            c->lastY = y;
            c->lastRight = right;
        }
    }
};

struct SpanList {
    std::vector<LONG> spans;
    static void Sink(void* context, LONG y, LONG left, LONG right)
    {
        Checker::Sink(nullptr, y, left, right);
        auto& s = static_cast<SpanList*>(context)->spans;
        s.insert(s.end(), {y, left, right});
    }
};

// The piece-by-piece fill against the general scan with the winding rule, span for span.
void CompareWindingFills(std::span<const FillPoint> points, std::span<const int> counts)
{
    SpanList general, pieces;
    PolyFillSpans(points, counts, FILL_WINDING, kClip, SpanList::Sink, &general);
    StrokeFillSpans(points, counts, kClip, SpanList::Sink, &pieces);
    if (general.spans != pieces.spans) std::abort();
}

int32_t ReadInt(const uint8_t*& p, const uint8_t* end)
{
    if (end - p < 4) {
        p = end;
        return 0;
    }
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;  // little-endian
    p += 4;
    return static_cast<int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const uint8_t flags = data[0], widthByte = data[1], miterByte = data[2], dashByte = data[3];
    const uint8_t* p = data + 4;
    const uint8_t* end = data + size;
    // Small coordinates mostly, so shapes meet the clip; flag bit 7 lets them span 32 bits.
    const bool huge = flags & 0x80;
    std::vector<FillPoint> points;
    while (p < end && points.size() < 64) {
        int32_t x = ReadInt(p, end), y = ReadInt(p, end);
        if (!huge) {
            x = x % 80;
            y = y % 80;
        }
        points.push_back({int64_t{x} * FILL_ONE + (flags & 0x40 ? (x & 15) : 0), int64_t{y} * FILL_ONE});
    }
    if (points.size() < 2) return 0;

    const int counts[] = {int(points.size())};
    Checker fill;
    PolyFillSpans(points, counts, flags & 1 ? FILL_WINDING : FILL_ALTERNATE, kClip, Checker::Sink, &fill);
    CompareWindingFills(points, counts);

    const double dashes[] = {double(dashByte & 15), double(dashByte >> 4) + 0.5};
    const DWORD caps[] = {STROKE_CAP_ROUND, STROKE_CAP_SQUARE, STROKE_CAP_FLAT};
    const DWORD joins[] = {STROKE_JOIN_ROUND, STROKE_JOIN_BEVEL, STROKE_JOIN_MITER};
    StrokeStyle style{1.0 + widthByte / 8.0,
                      caps[(flags >> 1) % 3],
                      joins[(flags >> 3) % 3],
                      1.0 + miterByte / 16.0,
                      flags & 0x20 ? std::span<const double>(dashes) : std::span<const double>(),
                      &kClip};
    StrokeFigure figure{points, (flags & 0x10) != 0};
    FillPolygonSet outline;
    if (StrokeOutline(std::span(&figure, 1), style, outline)) {
        Checker stroke;
        PolyFillSpans(outline.points, outline.counts, FILL_WINDING, kClip, Checker::Sink, &stroke);
        CompareWindingFills(outline.points, outline.counts);
    }

    const DWORD pattern[] = {DWORD(dashByte & 7), DWORD(dashByte >> 5)};
    LineDashState dash{0, 0};
    Checker line;
    line.ordered = false;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        POINT a{LONG(points[i].x / FILL_ONE), LONG(points[i].y / FILL_ONE)};
        POINT b{LONG(points[i + 1].x / FILL_ONE), LONG(points[i + 1].y / FILL_ONE)};
        CosmeticLine(a, b, kClip, flags & 0x20 ? std::span<const DWORD>(pattern) : std::span<const DWORD>(), &dash,
                     Checker::Sink, &line, Checker::Sink);
    }

    if (points.size() >= 4) {
        const FillPoint curve[4] = {points[0], points[1], points[2], points[3]};
        std::vector<FillPoint> flat;
        BezierFlatten(curve, flat);
        if (flat.empty() || flat.back().x != curve[3].x || flat.back().y != curve[3].y) std::abort();
        // The dashed road makes fewer points but walks the same ones: the pattern ends where
        // walking the whole flattening leaves it.
        const double period = dashes[0] + dashes[1];
        DashWalk whole{period, 0, 0, curve[0], (flags & 1) != 0}, bounded = whole;
        for (FillPoint q : flat) DashWalkTo(whole, q);
        std::vector<FillPoint> made;
        std::vector<std::pair<size_t, double>> phases;
        if (BezierFlattenDashed(curve, made, kClip, bounded, phases)) {
            if (made.empty() || made.size() > flat.size() || made.back().x != curve[3].x ||
                made.back().y != curve[3].y || bounded.phase != whole.phase || bounded.length != whole.length)
                std::abort();
            for (const auto& [index, phase] : phases)
                if (index >= made.size() || !(phase >= 0 && phase < period)) std::abort();
        }
    }
    return 0;
}
