#include "engine/display/stores/glyph_cache.h"

#include <cstring>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "platform/gdi_text.h"

void GlyphCacheInit(GlyphCache* cache, uint32_t flags, int32_t cellHeight, const int32_t overstrike[2],
                    GlyphSurface* surface, StreamSpill* spill)
{
    *cache = GlyphCache{};
    cache->flags = flags;
    cache->cellHeight = cellHeight;
    if (overstrike != nullptr) {
        cache->overstrike[0] = overstrike[0];
        cache->overstrike[1] = overstrike[1];
    }
    cache->surface = surface;
    cache->spill = spill;
}

GlyphCache* GlyphCacheCreate(uint32_t flags, int32_t cellHeight, const int32_t overstrike[2], GlyphSurface* surface,
                             StreamSpill* spill)
{
    auto* cache = static_cast<GlyphCache*>(RenderAlloc(sizeof(GlyphCache)));
    if (cache != nullptr) GlyphCacheInit(cache, flags, cellHeight, overstrike, surface, spill);
    return cache;
}

void GlyphFree(Glyph* glyph)
{
    if (glyph == nullptr) return;
    RenderFree(glyph->device);
    RenderFree(glyph->dib);
    RenderFree(glyph->contours);
    RenderFree(glyph);
}

uint32_t GlyphCacheEmpty(GlyphCache* cache)
{
    uint32_t freed = 0;
    for (Glyph*& bucket : cache->buckets) {
        while (bucket != nullptr) {
            Glyph* glyph = bucket;
            bucket = glyph->bucketNext;
            freed += GlyphDibBytes(glyph) + GlyphDeviceBytes(glyph);
            GlyphFree(glyph);
        }
    }
    cache->deviceFirst = cache->deviceLast = cache->dibFirst = cache->dibLast = nullptr;
    return freed;
}

void GlyphCacheDestroy(GlyphCache* cache)
{
    if (cache == nullptr) return;
    GlyphCacheEmpty(cache);
    RenderFree(cache);
}

void GlyphInsert(GlyphCache* cache, Glyph* glyph)
{
    glyph->cache = cache;
    glyph->drawnWidth = glyph->cellWidth;
    glyph->drawnHeight = glyph->cellHeight;
    if ((cache->flags & GLYPH_CACHE_OVERSTRIKE) != 0 && glyph->cellWidth > 0 && glyph->cellHeight > 0) {
        glyph->drawnWidth += cache->overstrike[0];
        glyph->drawnHeight += cache->overstrike[1];
    }
    if (glyph->cellWidth > cache->largestWidth) cache->largestWidth = glyph->cellWidth;
    if (glyph->cellHeight > cache->largestHeight) cache->largestHeight = glyph->cellHeight;
    if ((glyph->flags & GLYPH_OUTLINE) != 0) cache->flags |= GLYPH_CACHE_OUTLINES;
    Glyph*& bucket = cache->buckets[glyph->code & (GLYPH_BUCKETS - 1)];
    glyph->bucketNext = bucket;
    bucket = glyph;
}

Glyph* GlyphFind(const GlyphCache* cache, uint16_t kind, uint16_t code)
{
    for (Glyph* glyph = cache->buckets[code & (GLYPH_BUCKETS - 1)]; glyph != nullptr; glyph = glyph->bucketNext)
        if (glyph->code == code && glyph->kind == kind) return glyph;
    return nullptr;
}

int GlyphOutlineParse(Glyph* glyph, const uint8_t* data, uint32_t size)
{
    if (size < 4) return 0;
    const uint32_t contours = LoadLE32(data);
    // Walk once to check that every contour lies within the record.
    uint32_t at = 4;
    for (uint32_t i = 0; i < contours; ++i) {
        if (size - at < 8) return 0;
        const uint32_t points = LoadLE32(data + at + 4);
        if (points > (size - at - 8) / 8) return 0;
        at += 8 + points * 8;
    }
    auto* copy = static_cast<uint8_t*>(RenderAlloc(at - 4 + 1));
    if (copy == nullptr) return 0;
    std::memcpy(copy, data + 4, at - 4);
    glyph->contours = copy;
    glyph->contourBytes = at - 4;
    glyph->contourCount = contours;
    return 1;
}

namespace {

// FIXED rounded to an integer: the integer part, plus one when the fraction is at least a half.
int32_t FixedRound(FIXED value) { return value.value + (value.fract >= 0x8000 ? 1 : 0); }

struct ContourWriter {
    std::vector<int32_t> words;  // flags, count, points...
    size_t head = 0;
    POINT start{}, last{};

    void Begin(POINT p)
    {
        head = words.size();
        words.insert(words.end(), {int32_t(CONTOUR_MOVE | 0x2 | CONTOUR_CUBIC), 1, p.x, p.y});
        start = last = p;
    }
    void Cubic(POINT c1, POINT c2, POINT end)
    {
        words.insert(words.end(), {c1.x, c1.y, c2.x, c2.y, end.x, end.y});
        words[head + 1] += 3;
        last = end;
    }
    void Line(POINT end) { Cubic(last, end, end); }
    void Quad(POINT q, POINT end)
    {
        const POINT c1{last.x + 2 * (q.x - last.x) / 3, last.y + 2 * (q.y - last.y) / 3};
        const POINT c2{end.x + 2 * (q.x - end.x) / 3, end.y + 2 * (q.y - end.y) / 3};
        Cubic(c1, c2, end);
    }
    void End()
    {
        if (last.x != start.x || last.y != start.y) Line(start);
    }
};

POINT Round(const POINTFX& p) { return POINT{FixedRound(p.x), FixedRound(p.y)}; }

// Converts GGO_NATIVE data to contours; false at the first malformed header.
bool NativeConvert(const uint8_t* data, uint32_t size, ContourWriter& out, uint32_t* count)
{
    uint32_t at = 0;
    *count = 0;
    while (size - at >= sizeof(TTPOLYGONHEADER)) {
        TTPOLYGONHEADER polygon;
        std::memcpy(&polygon, data + at, sizeof polygon);
        if (polygon.dwType != TT_POLYGON_TYPE || polygon.cb < sizeof polygon || polygon.cb > size - at) return false;
        out.Begin(Round(polygon.pfxStart));
        uint32_t c = at + sizeof polygon;
        const uint32_t end = at + polygon.cb;
        while (end - c >= 4) {
            WORD type, points;
            std::memcpy(&type, data + c, 2);
            std::memcpy(&points, data + c + 2, 2);
            if (points > (end - c - 4) / sizeof(POINTFX)) return false;
            std::vector<POINTFX> p(points);
            if (points) std::memcpy(p.data(), data + c + 4, points * sizeof(POINTFX));
            if (type == TT_PRIM_LINE) {
                for (const POINTFX& q : p) out.Line(Round(q));
            } else if (type == TT_PRIM_QSPLINE) {
                for (size_t i = 0; i + 1 < p.size(); ++i) {
                    const POINT q = Round(p[i]);
                    POINT e = Round(p[i + 1]);
                    if (i + 2 < p.size()) e = POINT{(q.x + e.x) / 2, (q.y + e.y) / 2};
                    out.Quad(q, e);
                }
            } else if (type == TT_PRIM_CSPLINE) {
                for (size_t i = 0; i + 2 < p.size(); i += 3) out.Cubic(Round(p[i]), Round(p[i + 1]), Round(p[i + 2]));
            } else {
                return false;
            }
            c += 4 + points * sizeof(POINTFX);
        }
        out.End();
        ++*count;
        at = end;
    }
    return true;
}

}  // namespace

Glyph* GlyphFetch(HDC dc, uint16_t kind, uint16_t code)
{
    static const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    const UINT format = GGO_NATIVE | (kind == 1 ? GGO_GLYPH_INDEX : 0);
    auto ask = [&](GLYPHMETRICS* metrics, DWORD size, void* buffer) {
        return kind == 0 ? GetGlyphOutlineA(dc, code, format, metrics, size, buffer, &identity)
                         : GetGlyphOutlineW(dc, code, format, metrics, size, buffer, &identity);
    };
    GLYPHMETRICS metrics{};
    const DWORD size = ask(&metrics, 0, nullptr);
    if (size == GDI_ERROR) return nullptr;
    std::vector<uint8_t> data(size);
    if (size != 0 && ask(&metrics, size, data.data()) == GDI_ERROR) return nullptr;
    ContourWriter writer;
    uint32_t contours = 0;
    NativeConvert(data.data(), size, writer, &contours);  // a malformed contour ends the conversion
    // GDI outlines grow upwards, the DC's y downwards.
    for (size_t at = 0; at < writer.words.size();) {
        const int32_t points = writer.words[at + 1];
        for (int32_t i = 0; i < points; ++i) writer.words[at + 3 + 2 * i] = -writer.words[at + 3 + 2 * i];
        at += 2 + 2 * size_t(points);
    }
    auto* glyph = static_cast<Glyph*>(RenderAlloc(sizeof(Glyph)));
    if (glyph == nullptr) return nullptr;
    const size_t bytes = writer.words.size() * 4;
    glyph->contours = static_cast<uint8_t*>(RenderAlloc(bytes + 1));
    if (glyph->contours == nullptr) {
        RenderFree(glyph);
        return nullptr;
    }
    if (bytes) std::memcpy(glyph->contours, writer.words.data(), bytes);
    glyph->contourBytes = uint32_t(bytes);
    glyph->contourCount = contours;
    glyph->code = code;
    glyph->kind = kind;
    glyph->flags = GLYPH_OUTLINE;
    glyph->cellWidth = int32_t(metrics.gmBlackBoxX);
    glyph->cellHeight = int32_t(metrics.gmBlackBoxY);
    glyph->originX = metrics.gmptGlyphOrigin.x;
    glyph->originY = metrics.gmptGlyphOrigin.y;
    return glyph;
}
