// The leaf operations of the band plane painting: set, clear, one value, image copy and tiling,
// each over a rectangle or through a 1-bit mask, by plane depth.
//
// Rectangles are clipped to the plane so that no write leaves its rows: fills, values and tiles
// are intersected with it (a tile keeps its phase); image copies and masked operations stay
// anchored to their rectangle's top-left corner, so only their right and bottom are clipped and
// a rectangle that starts above or left of the plane is not drawn.
#include <algorithm>
#include <cstring>

#include "engine/raster/band_plane_ops.h"
#include "engine/raster/plane_kernels.h"
#include "engine/raster/plane_word.h"

namespace {

using namespace plane;

struct Area {
    uint32_t left, top, right, bottom;
    uint32_t Width() const { return right - left; }
    uint32_t Height() const { return bottom - top; }
};

bool ClipToPlane(const ImxPlane* band, const RECT* rect, Area* out)
{
    if (!band->data || !rect) return false;
    const int64_t left = std::max<int64_t>(rect->left, 0);
    const int64_t top = std::max<int64_t>(rect->top, 0);
    const int64_t right = std::min<int64_t>(rect->right, band->width);
    const int64_t bottom = std::min<int64_t>(rect->bottom, band->height);
    if (left >= right || top >= bottom) return false;
    *out = {static_cast<uint32_t>(left), static_cast<uint32_t>(top), static_cast<uint32_t>(right),
            static_cast<uint32_t>(bottom)};
    return true;
}

bool ClipAnchored(const ImxPlane* band, const RECT* rect, Area* out)
{
    if (!rect || rect->left < 0 || rect->top < 0) return false;
    return ClipToPlane(band, rect, out);
}

// x modulo m in [0, m).
uint32_t Wrap(int64_t x, uint32_t m)
{
    int64_t r = x % m;
    return static_cast<uint32_t>(r < 0 ? r + m : r);
}

uint8_t* PlaneRow(ImxPlane* band, uint32_t y) { return band->data + static_cast<size_t>(y) * band->stride; }

BltBitmap Describe(const ImxPlane* plane)
{
    BltBitmap b{};
    b.bits = plane->data;
    b.stride = static_cast<int32_t>(plane->stride);
    b.width = static_cast<int32_t>(plane->width);
    b.height = static_cast<int32_t>(plane->height);
    b.bpp = plane->depth;
    return b;
}

BltBitmap DescribeMask(const uint8_t* mask, int32_t maskStride, uint32_t width, uint32_t height)
{
    BltBitmap b{};
    b.bits = const_cast<uint8_t*>(mask);
    b.stride = maskStride;
    b.width = static_cast<int32_t>(width);
    b.height = static_cast<int32_t>(height);
    b.bpp = 1;
    return b;
}

bool TileUsable(const ImxPlane* texture) { return texture->data && texture->width > 0 && texture->height > 0; }

// Setting or clearing the bit span [left x d, right x d) of every row.
template <uint32_t Depth, bool Set>
void RectBits(ImxPlane* band, const RECT* rect)
{
    ++band->dataPresent;
    Area a;
    if (!ClipToPlane(band, rect, &a)) return;
    const uint64_t startBit = static_cast<uint64_t>(a.left) * Depth;
    const uint64_t endBit = static_cast<uint64_t>(a.right) * Depth;
    const uint64_t first = startBit / 32;
    const uint64_t last = (endBit - 1) / 32;
    const uint32_t leftMask = ~0u >> (startBit % 32);
    const uint32_t rightMask = ~0u << ((32 - endBit % 32) % 32);
    auto apply = [](uint8_t* p, uint32_t m) { StoreBig(p, Set ? LoadBig(p) | m : LoadBig(p) & ~m); };
    for (uint32_t y = a.top; y < a.bottom; ++y) {
        uint8_t* row = PlaneRow(band, y);
        if (first == last) {
            apply(row + 4 * first, leftMask & rightMask);
            continue;
        }
        apply(row + 4 * first, leftMask);
        std::memset(row + 4 * (first + 1), Set ? 0xFF : 0x00, 4 * (last - first - 1));
        apply(row + 4 * last, rightMask);
    }
}

template <uint32_t Bytes>
void RectSolid(ImxPlane* band, const RECT* rect, uint32_t value)
{
    ++band->dataPresent;
    Area a;
    if (!ClipToPlane(band, rect, &a)) return;
    const uint8_t* first = PlaneRow(band, a.top) + static_cast<size_t>(a.left) * Bytes;
    for (uint32_t y = a.top; y < a.bottom; ++y) {
        uint8_t* out = PlaneRow(band, y) + static_cast<size_t>(a.left) * Bytes;
        if constexpr (Bytes == 1) {
            std::memset(out, static_cast<uint8_t>(value), a.Width());
        } else if (y == a.top) {
            for (uint32_t x = 0; x < a.Width(); ++x) std::memcpy(out + x * Bytes, &value, Bytes);
        } else {
            // Pixels wider than a byte go in one at a time on the first row only; the others are
            // copies of it, at the speed of a block move.
            std::memcpy(out, first, static_cast<size_t>(a.Width()) * Bytes);
        }
    }
}

template <uint32_t Bytes>
void RectImage(ImxPlane* band, const ImxPlane* texture, const RECT* rect)
{
    ++band->dataPresent;
    Area a;
    if (!texture->data || !ClipAnchored(band, rect, &a)) return;
    for (uint32_t j = 0; j < a.Height(); ++j) {
        std::memcpy(PlaneRow(band, a.top + j) + static_cast<size_t>(a.left) * Bytes,
                    texture->data + static_cast<size_t>(j) * texture->stride, static_cast<size_t>(a.Width()) * Bytes);
    }
}

using RectCopyKernel = void (*)(BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t);

void RectImageBits(RectCopyKernel kernel, ImxPlane* band, const ImxPlane* texture, const RECT* rect)
{
    ++band->dataPresent;
    Area a;
    if (!texture->data || !ClipAnchored(band, rect, &a)) return;
    BltBitmap dest = Describe(band);
    BltBitmap source = Describe(texture);
    kernel(&dest, &source, a.left, a.top, a.Width(), a.Height());
}

void RectTile(PlanePatternLoop kernel, ImxPlane* band, const ImxPlane* texture, POINT phase, const RECT* rect)
{
    ++band->dataPresent;
    Area a;
    if (!TileUsable(texture) || !ClipToPlane(band, rect, &a)) return;
    const uint32_t px = Wrap(static_cast<int64_t>(phase.x) + a.left - rect->left, texture->width);
    const uint32_t py = Wrap(static_cast<int64_t>(phase.y) + a.top - rect->top, texture->height);
    BltBitmap dest = Describe(band);
    BltBitmap pattern = Describe(texture);
    kernel(&dest, &pattern, a.left, a.top, a.Width(), a.Height(), px, py, texture->width, texture->height);
}

// Mask bits widened to the depth, from the plane word that holds left rounded down to 32 pixels
// to the word that holds right - 1.
template <uint32_t Depth, bool Set>
void MaskBitsOp(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect)
{
    using P = Plane<Depth>;
    ++band->dataPresent;
    Area a;
    if (!mask || !ClipAnchored(band, rect, &a)) return;
    const uint32_t group = a.left & ~31u;
    const uint32_t width = a.right - group;
    const uint64_t words = (width - 1) / P::kPixelsPerWord + 1;
    const uint32_t right = P::RightEdge(width);
    for (uint32_t j = 0; j < a.Height(); ++j) {
        const uint8_t* maskRow = RowAt(mask, maskStride, j);
        uint8_t* out = PlaneRow(band, a.top + j) + static_cast<size_t>(group / 32) * 4 * Depth;
        for (uint64_t q = 0; q < words; ++q) {
            uint32_t m = P::MaskBits(maskRow, q);
            if (q == words - 1) m &= right;
            if (!m) continue;
            uint8_t* p = out + 4 * q;
            StoreBig(p, Set ? LoadBig(p) | m : LoadBig(p) & ~m);
        }
    }
}

// One value, or the texture's pixel, wherever the mask is set; a zero mask byte skips 8 pixels.
template <uint32_t Bytes, bool Image>
void MaskPixels(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture, const RECT* rect,
                uint32_t value)
{
    ++band->dataPresent;
    Area a;
    if (!mask || (Image && !texture->data) || !ClipAnchored(band, rect, &a)) return;
    const uint32_t group = a.left & ~31u;
    const uint32_t maskBytes = (a.right - group + 7) / 8;
    for (uint32_t j = 0; j < a.Height(); ++j) {
        const uint8_t* maskRow = RowAt(mask, maskStride, j);
        uint8_t* out = PlaneRow(band, a.top + j);
        const uint8_t* in = Image ? texture->data + static_cast<size_t>(j) * texture->stride : nullptr;
        for (uint32_t i = 0; i < maskBytes; ++i) {
            const uint8_t bits = maskRow[i];
            if (!bits) continue;
            for (uint32_t k = 0; k < 8; ++k) {
                const uint32_t x = group + 8 * i + k;
                if (x >= a.right) break;
                if (!(bits & (0x80u >> k)) || x < a.left) continue;
                uint8_t* to = out + static_cast<size_t>(x) * Bytes;
                if (Image) {
                    std::memcpy(to, in + static_cast<size_t>(x - a.left) * Bytes, Bytes);
                } else {
                    std::memcpy(to, &value, Bytes);
                }
            }
        }
    }
}

using MaskCopyKernel = void (*)(BltBitmap*, BltBitmap*, BltBitmap*, uint32_t);

template <uint32_t Depth>
void MaskImageBits(MaskCopyKernel kernel, const uint8_t* mask, int32_t maskStride, ImxPlane* band,
                   const ImxPlane* texture, const RECT* rect)
{
    ++band->dataPresent;
    Area a;
    if (!mask || !texture->data || !ClipAnchored(band, rect, &a)) return;
    const uint32_t phase = a.left % 32;
    BltBitmap dest = Describe(band);
    dest.bits = PlaneRow(band, a.top) + static_cast<size_t>(a.left / (32 / Depth)) * 4;
    BltBitmap maskBits = DescribeMask(mask, maskStride, a.Width() + phase, a.Height());
    BltBitmap source = Describe(texture);
    kernel(&dest, &maskBits, &source, phase);
}

template <uint32_t Depth>
void MaskTile(PlaneMaskPatternLoop kernel, const uint8_t* mask, int32_t maskStride, ImxPlane* band,
              const ImxPlane* texture, POINT phase, const RECT* rect)
{
    ++band->dataPresent;
    Area a;
    if (!mask || !TileUsable(texture) || !ClipAnchored(band, rect, &a)) return;
    const uint32_t before = a.left % 32;
    // The kernel starts at the first pixel of the 32-pixel group that holds left.
    const uint32_t px = Wrap(static_cast<int64_t>(phase.x) - before, texture->width);
    const uint32_t py = Wrap(phase.y, texture->height);
    BltBitmap dest = Describe(band);
    dest.bits = PlaneRow(band, a.top) + static_cast<size_t>(a.left / 32) * 4 * Depth;
    BltBitmap maskBits = DescribeMask(mask, maskStride, a.Width() + before, a.Height());
    BltBitmap pattern = Describe(texture);
    kernel(&dest, &maskBits, &pattern, px, py, texture->width, texture->height);
}

}  // namespace

void PlaneRectSetBits1(ImxPlane* b, const RECT* r) { RectBits<1, true>(b, r); }
void PlaneRectSetBits2(ImxPlane* b, const RECT* r) { RectBits<2, true>(b, r); }
void PlaneRectSetBits4(ImxPlane* b, const RECT* r) { RectBits<4, true>(b, r); }
void PlaneRectClearBits1(ImxPlane* b, const RECT* r) { RectBits<1, false>(b, r); }
void PlaneRectClearBits2(ImxPlane* b, const RECT* r) { RectBits<2, false>(b, r); }
void PlaneRectClearBits4(ImxPlane* b, const RECT* r) { RectBits<4, false>(b, r); }
void PlaneRectSolid8(ImxPlane* b, const RECT* r, uint32_t v) { RectSolid<1>(b, r, v); }
void PlaneRectSolid24(ImxPlane* b, const RECT* r, uint32_t v) { RectSolid<3>(b, r, v); }
void PlaneRectSolid32(ImxPlane* b, const RECT* r, uint32_t v) { RectSolid<4>(b, r, v); }

void PlaneRectImage1(ImxPlane* b, const ImxPlane* t, const RECT* r) { RectImageBits(Plane1RectCopy, b, t, r); }
void PlaneRectImage2(ImxPlane* b, const ImxPlane* t, const RECT* r) { RectImageBits(Plane2RectCopy, b, t, r); }
void PlaneRectImage4(ImxPlane* b, const ImxPlane* t, const RECT* r) { RectImageBits(Plane4RectCopy, b, t, r); }
void PlaneRectImage8(ImxPlane* b, const ImxPlane* t, const RECT* r) { RectImage<1>(b, t, r); }
void PlaneRectImage24(ImxPlane* b, const ImxPlane* t, const RECT* r) { RectImage<3>(b, t, r); }
void PlaneRectImage32(ImxPlane* b, const ImxPlane* t, const RECT* r) { RectImage<4>(b, t, r); }

void PlaneRectTile1(ImxPlane* b, const ImxPlane* t, POINT p, const RECT* r) { RectTile(Plane1PatternFill, b, t, p, r); }
void PlaneRectTile2(ImxPlane* b, const ImxPlane* t, POINT p, const RECT* r) { RectTile(Plane2PatternFill, b, t, p, r); }
void PlaneRectTile4(ImxPlane* b, const ImxPlane* t, POINT p, const RECT* r) { RectTile(Plane4PatternFill, b, t, p, r); }

void PlaneMaskSetBits1(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r) { MaskBitsOp<1, true>(m, s, b, r); }
void PlaneMaskSetBits2(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r) { MaskBitsOp<2, true>(m, s, b, r); }
void PlaneMaskSetBits4(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r) { MaskBitsOp<4, true>(m, s, b, r); }
void PlaneMaskClearBits1(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r) { MaskBitsOp<1, false>(m, s, b, r); }
void PlaneMaskClearBits2(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r) { MaskBitsOp<2, false>(m, s, b, r); }
void PlaneMaskClearBits4(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r) { MaskBitsOp<4, false>(m, s, b, r); }

void PlaneMaskSolid8(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r, uint32_t v)
{
    MaskPixels<1, false>(m, s, b, nullptr, r, v);
}
void PlaneMaskSolid24(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r, uint32_t v)
{
    MaskPixels<3, false>(m, s, b, nullptr, r, v);
}
void PlaneMaskSolid32(const uint8_t* m, int32_t s, ImxPlane* b, const RECT* r, uint32_t v)
{
    MaskPixels<4, false>(m, s, b, nullptr, r, v);
}

void PlaneMaskImage1(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, const RECT* r)
{
    MaskImageBits<1>(Plane1MaskCopy, m, s, b, t, r);
}
void PlaneMaskImage2(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, const RECT* r)
{
    MaskImageBits<2>(Plane2MaskCopy, m, s, b, t, r);
}
void PlaneMaskImage4(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, const RECT* r)
{
    MaskImageBits<4>(Plane4MaskCopy, m, s, b, t, r);
}
void PlaneMaskImage8(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, const RECT* r)
{
    MaskPixels<1, true>(m, s, b, t, r, 0);
}
void PlaneMaskImage24(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, const RECT* r)
{
    MaskPixels<3, true>(m, s, b, t, r, 0);
}
void PlaneMaskImage32(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, const RECT* r)
{
    MaskPixels<4, true>(m, s, b, t, r, 0);
}

void PlaneMaskTile1(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, POINT p, const RECT* r)
{
    MaskTile<1>(Plane1MaskPattern, m, s, b, t, p, r);
}
void PlaneMaskTile2(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, POINT p, const RECT* r)
{
    MaskTile<2>(Plane2MaskPattern, m, s, b, t, p, r);
}
void PlaneMaskTile4(const uint8_t* m, int32_t s, ImxPlane* b, const ImxPlane* t, POINT p, const RECT* r)
{
    MaskTile<4>(Plane4MaskPattern, m, s, b, t, p, r);
}
