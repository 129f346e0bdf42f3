// Choice of the band plane operation by the band plane's depth and the texture plane's state,
// the plane loops over a band, and the device's mask pattern ANDed into a 1-bit buffer.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "engine/common/geometry.h"
#include "engine/raster/band_plane_ops.h"
#include "engine/raster/plane_kernels.h"
#include "engine/raster/plane_word.h"

namespace {

enum class TextureState { kAbsent, kBlank, kFull, kSolid, kData };

// Tested in this order: a plane with data but a use count of 0 holds nothing and is blank.
TextureState StateOf(const ImxPlane* texture)
{
    const uint8_t flags = texture->flags;
    if (!texture->data && !(flags & (IMX_PLANE_SOLID | IMX_PLANE_BLANK | IMX_PLANE_FULL))) return TextureState::kAbsent;
    if ((flags & IMX_PLANE_BLANK) || (texture->data && texture->dataPresent == 0)) return TextureState::kBlank;
    if (flags & IMX_PLANE_FULL) return TextureState::kFull;
    if (flags & IMX_PLANE_SOLID) return TextureState::kSolid;
    return TextureState::kData;
}

// Blank is entry (inverted bit), full entry (1 - inverted bit).
constexpr uint32_t kBlankFull[2] = {0x00000000, 0xFFFFFFFF};

enum class Road { kFill, kCopy, kMaskFill, kMaskCopy };

struct BitsOps {
    void (*set)(ImxPlane*, const RECT*);
    void (*clear)(ImxPlane*, const RECT*);
    void (*tile)(ImxPlane*, const ImxPlane*, POINT, const RECT*);
    void (*image)(ImxPlane*, const ImxPlane*, const RECT*);
    void (*maskSet)(const uint8_t*, int32_t, ImxPlane*, const RECT*);
    void (*maskClear)(const uint8_t*, int32_t, ImxPlane*, const RECT*);
    void (*maskTile)(const uint8_t*, int32_t, ImxPlane*, const ImxPlane*, POINT, const RECT*);
    void (*maskImage)(const uint8_t*, int32_t, ImxPlane*, const ImxPlane*, const RECT*);
};

constexpr BitsOps kBits1 = {PlaneRectSetBits1, PlaneRectClearBits1, PlaneRectTile1, PlaneRectImage1,
                            PlaneMaskSetBits1, PlaneMaskClearBits1, PlaneMaskTile1, PlaneMaskImage1};
constexpr BitsOps kBits2 = {PlaneRectSetBits2, PlaneRectClearBits2, PlaneRectTile2, PlaneRectImage2,
                            PlaneMaskSetBits2, PlaneMaskClearBits2, PlaneMaskTile2, PlaneMaskImage2};
constexpr BitsOps kBits4 = {PlaneRectSetBits4, PlaneRectClearBits4, PlaneRectTile4, PlaneRectImage4,
                            PlaneMaskSetBits4, PlaneMaskClearBits4, PlaneMaskTile4, PlaneMaskImage4};

struct PixelOps {
    uint32_t bytes;
    void (*solid)(ImxPlane*, const RECT*, uint32_t);
    void (*image)(ImxPlane*, const ImxPlane*, const RECT*);
    void (*maskSolid)(const uint8_t*, int32_t, ImxPlane*, const RECT*, uint32_t);
    void (*maskImage)(const uint8_t*, int32_t, ImxPlane*, const ImxPlane*, const RECT*);
};

constexpr PixelOps kPixels8 = {1, PlaneRectSolid8, PlaneRectImage8, PlaneMaskSolid8, PlaneMaskImage8};
constexpr PixelOps kPixels24 = {3, PlaneRectSolid24, PlaneRectImage24, PlaneMaskSolid24, PlaneMaskImage24};
constexpr PixelOps kPixels32 = {4, PlaneRectSolid32, PlaneRectImage32, PlaneMaskSolid32, PlaneMaskImage32};

bool Masked(Road road) { return road == Road::kMaskFill || road == Road::kMaskCopy; }

void SetOrClear(const BitsOps& ops, bool set, Road road, const uint8_t* mask, int32_t maskStride, ImxPlane* band,
                const RECT* rect)
{
    if (Masked(road)) {
        (set ? ops.maskSet : ops.maskClear)(mask, maskStride, band, rect);
    } else {
        (set ? ops.set : ops.clear)(band, rect);
    }
}

void DispatchBits(const BitsOps& ops, Road road, const uint8_t* mask, int32_t maskStride, bool inverted,
                  const ImxPlane* texture, TextureState state, ImxPlane* band, POINT phase, const RECT* rect)
{
    // A solid colour has no pixels to tile on these depths: it draws as blank when its value is
    // 0 and as full ink otherwise.
    if (state == TextureState::kSolid) state = texture->solidValue ? TextureState::kFull : TextureState::kBlank;
    switch (state) {
        case TextureState::kBlank:
            if (band->dataPresent == 0 || !band->data) return;
            return SetOrClear(ops, inverted, road, mask, maskStride, band, rect);
        case TextureState::kFull: return SetOrClear(ops, !inverted, road, mask, maskStride, band, rect);
        default: break;
    }
    switch (road) {
        case Road::kFill: return ops.tile(band, texture, phase, rect);
        case Road::kCopy: return ops.image(band, texture, rect);
        case Road::kMaskFill: return ops.maskTile(mask, maskStride, band, texture, phase, rect);
        case Road::kMaskCopy: return ops.maskImage(mask, maskStride, band, texture, rect);
    }
}

void DispatchPixels(const PixelOps& ops, Road road, const uint8_t* mask, int32_t maskStride, bool inverted,
                    const ImxPlane* texture, TextureState state, ImxPlane* band, const RECT* rect)
{
    uint32_t value = 0;
    switch (state) {
        case TextureState::kBlank:
            if (band->dataPresent == 0 || !band->data) return;
            value = kBlankFull[inverted];
            break;
        case TextureState::kFull: value = kBlankFull[!inverted]; break;
        case TextureState::kSolid: value = texture->solidValue; break;
        default:
            if (road == Road::kCopy) return ops.image(band, texture, rect);
            if (road == Road::kMaskCopy) return ops.maskImage(mask, maskStride, band, texture, rect);
            // A tiled texture of 8 bits or more paints one colour: its first pixel.
            std::memcpy(&value, texture->data, ops.bytes);
            break;
    }
    if (Masked(road)) return ops.maskSolid(mask, maskStride, band, rect, value);
    ops.solid(band, rect, value);
}

void Dispatch(Road road, const uint8_t* mask, int32_t maskStride, const ImxPlaneFormat* format, const ImxPlane* texture,
              ImxPlane* band, POINT phase, const RECT* rect)
{
    const TextureState state = StateOf(texture);
    if (state == TextureState::kAbsent) return;
    const bool inverted = (format->flags & IMX_PLANE_FORMAT_INVERTED) != 0;
    const BitsOps* bits = band->depth == 1   ? &kBits1
                          : band->depth == 2 ? &kBits2
                          : band->depth == 4 ? &kBits4
                                             : nullptr;
    const PixelOps* pixels = band->depth == 8    ? &kPixels8
                             : band->depth == 24 ? &kPixels24
                             : band->depth == 32 ? &kPixels32
                                                 : nullptr;
    if (band->depth == 0) {
        // No pixels: only the use count is kept.
        if (state != TextureState::kBlank) ++band->dataPresent;
    } else if (bits) {
        DispatchBits(*bits, road, mask, maskStride, inverted, texture, state, band, phase, rect);
    } else if (pixels) {
        DispatchPixels(*pixels, road, mask, maskStride, inverted, texture, state, band, rect);
    }
}

LONG Narrow(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// A point from job resolution to a plane's resolution; unscaled when the resolutions give no
// scale (a zero among them) or the result would not fit.
POINT ToPlaneResolution(POINT point, const ImxPlaneFormat& format, const BandLayout* layout)
{
    const POINT job = {static_cast<LONG>(layout->jobResolution[0]), static_cast<LONG>(layout->jobResolution[1])};
    const POINT plane = {format.xResolution ? static_cast<LONG>(format.xResolution) : job.x,
                         format.yResolution ? static_cast<LONG>(format.yResolution) : job.y};
    POINT out;
    return PointScale(&job, &point, &plane, &out) ? out : point;
}

uint32_t PlaneCount(const BandLayout* layout) { return std::min(layout->band.planeCount, IMX_MAX_PLANES); }

bool Tiled(const TextureCacheEntry* entry) { return (entry->kind & 1) != 0; }

void PlanesLoop(const uint8_t* mask, int32_t maskStride, TextureCacheEntry* entry, BandLayout* layout, const RECT* rect)
{
    if (!entry || !layout || !rect) return;
    const ImxTexture& texture = entry->texture;
    const POINT phase = {Narrow(int64_t{layout->band.x} - texture.x + rect->left),
                         Narrow(int64_t{layout->band.y} - texture.y + rect->top)};
    const Road road = Tiled(entry) ? (mask ? Road::kMaskFill : Road::kFill) : (mask ? Road::kMaskCopy : Road::kCopy);
    for (uint32_t i = 0; i < PlaneCount(layout); ++i) {
        Dispatch(road, mask, maskStride, &layout->planeConfig.planes[i], &texture.planes[i], &layout->band.planes[i],
                 phase, rect);
    }
}

void PlaneLoop(const uint8_t* mask, int32_t maskStride, TextureCacheEntry* entry, BandLayout* layout, uint32_t plane,
               const RECT* rect)
{
    if (!entry || !layout || !rect || plane >= PlaneCount(layout)) return;
    const ImxTexture& texture = entry->texture;
    const ImxPlaneFormat& format = layout->planeConfig.planes[plane];
    POINT phase = {0, 0};
    if (Tiled(entry)) {
        // Origins from job resolution to the plane's own.
        const POINT band = ToPlaneResolution(POINT{layout->band.x, layout->band.y}, format, layout);
        const POINT origin = ToPlaneResolution(POINT{texture.x, texture.y}, format, layout);
        phase.x = Narrow(int64_t{band.x} - origin.x + rect->left);
        phase.y = Narrow(int64_t{band.y} - origin.y + rect->top);
    }
    const Road road = Tiled(entry) ? (mask ? Road::kMaskFill : Road::kFill) : (mask ? Road::kMaskCopy : Road::kCopy);
    Dispatch(road, mask, maskStride, &format, &texture.planes[plane], &layout->band.planes[plane], phase, rect);
}

}  // namespace

void PlaneRectFillDispatch(const ImxPlaneFormat* format, const ImxPlane* texture, ImxPlane* band, POINT phase,
                           const RECT* rect)
{
    Dispatch(Road::kFill, nullptr, 0, format, texture, band, phase, rect);
}

void PlaneRectCopyDispatch(const ImxPlaneFormat* format, const ImxPlane* texture, ImxPlane* band, const RECT* rect)
{
    Dispatch(Road::kCopy, nullptr, 0, format, texture, band, POINT{0, 0}, rect);
}

void PlaneRectMaskDispatch(const uint8_t* maskBits, int32_t maskStride, const ImxPlaneFormat* format,
                           const ImxPlane* texture, ImxPlane* band, POINT phase, const RECT* rect)
{
    Dispatch(Road::kMaskFill, maskBits, maskStride, format, texture, band, phase, rect);
}

void PlaneRectMaskCopyDispatch(const uint8_t* maskBits, int32_t maskStride, const ImxPlaneFormat* format,
                               const ImxPlane* texture, ImxPlane* band, const RECT* rect)
{
    Dispatch(Road::kMaskCopy, maskBits, maskStride, format, texture, band, POINT{0, 0}, rect);
}

void BandPlanesTextureFill(TextureCacheEntry* entry, BandLayout* layout, const RECT* rect)
{
    PlanesLoop(nullptr, 0, entry, layout, rect);
}

void BandPlaneTextureFill(TextureCacheEntry* entry, BandLayout* layout, uint32_t plane, const RECT* rect)
{
    PlaneLoop(nullptr, 0, entry, layout, plane, rect);
}

void BandPlanesTextureFillMasked(const uint8_t* maskBits, int32_t maskStride, TextureCacheEntry* entry,
                                 BandLayout* layout, const RECT* rect)
{
    if (!maskBits) return;
    PlanesLoop(maskBits, maskStride, entry, layout, rect);
}

void BandPlaneTextureFillMasked(const uint8_t* maskBits, int32_t maskStride, TextureCacheEntry* entry,
                                BandLayout* layout, uint32_t plane, const RECT* rect)
{
    if (!maskBits) return;
    PlaneLoop(maskBits, maskStride, entry, layout, plane, rect);
}

// The pattern kernels read a pattern row as the pattern repeated to the end of its last word.
// The device's rows hold only its width, so a width that is not a multiple of 32 is first laid
// out that way, one row at a time.
void BandMaskPatternAnd(uint8_t* bits, int32_t stride, SIZE size, const MaskPattern* pattern, POINT origin)
{
    if (!bits || !pattern || size.cx <= 0 || size.cy <= 0) return;
    if (pattern->width <= 0 || pattern->height <= 0 || pattern->stride <= 0) return;
    const uint32_t width = static_cast<uint32_t>(pattern->width);
    const uint32_t height = static_cast<uint32_t>(pattern->height);
    const uint8_t* rows = MaskPatternRows(pattern);
    int64_t px = origin.x % int64_t{width};
    int64_t py = origin.y % int64_t{height};
    if (px < 0) px += width;
    if (py < 0) py += height;

    BltBitmap dest{};
    dest.bits = bits;
    dest.stride = stride;
    dest.width = size.cx;
    dest.height = size.cy;
    dest.bpp = 1;
    BltBitmap source{};
    source.bpp = 1;
    source.width = pattern->width;
    source.height = pattern->height;
    if (width % 32 == 0) {
        source.bits = const_cast<uint8_t*>(rows);
        source.stride = pattern->stride;
        Plane1PatternAnd(&dest, &source, 0, 0, static_cast<uint32_t>(size.cx), static_cast<uint32_t>(size.cy),
                         static_cast<uint32_t>(px), static_cast<uint32_t>(py), width, height);
        return;
    }
    // Each pattern row is widened once and ANDed into every buffer row it covers: buffer rows
    // y0, y0 + height, ... as one strided area when that stride fits the descriptor.
    const uint32_t widened = PlanePatternWidthWiden(1, width);
    const size_t rowWords = (widened + 31) / 32;
    // No exception may leave the engine: without memory for one row the pattern is not applied.
    std::unique_ptr<uint32_t[]> row(new (std::nothrow) uint32_t[rowWords]);
    if (!row) return;
    source.bits = row.get();
    source.stride = static_cast<int32_t>(rowWords * 4);
    source.height = 1;
    const int64_t step = int64_t{stride} * height;
    const bool strided = step >= INT32_MIN && step <= INT32_MAX;
    const int64_t classes = std::min<int64_t>(height, size.cy);
    for (int64_t y0 = 0; y0 < classes; ++y0) {
        const uint32_t patternRow = static_cast<uint32_t>((py + y0) % height);
        const uint8_t* from = rows + static_cast<size_t>(patternRow) * pattern->stride;
        std::fill(row.get(), row.get() + rowWords, 0u);
        for (uint32_t j = 0; j < rowWords * 32; ++j) {
            const uint32_t k = j % width;
            if (plane::LoadNative(from + 4 * (k / 32)) & (0x80000000u >> (k % 32)))
                row[j / 32] |= 0x80000000u >> (j % 32);
        }
        const int64_t count = (size.cy - 1 - y0) / height + 1;
        for (int64_t done = 0; done < count; done += strided ? count : 1) {
            dest.bits = bits + (y0 + done * height) * int64_t{stride};
            dest.stride = strided ? static_cast<int32_t>(step) : stride;
            dest.height = static_cast<int32_t>(strided ? count : 1);
            Plane1PatternAnd(&dest, &source, 0, 0, static_cast<uint32_t>(size.cx), static_cast<uint32_t>(dest.height),
                             static_cast<uint32_t>(px), 0, width, 1);
        }
    }
}
