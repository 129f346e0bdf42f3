// Painting a texture of the texture cache into the planes of the current band: over a rectangle
// or only where a 1-bit mask is set, tiled from the texture's origin or copied once as an image.
// The operation is chosen by the band plane's depth and the texture plane's state; 1-, 2- and
// 4-bit planes go through the plane kernels, 8-, 24- and 32-bit planes are written here.
//
// Every operation applied to a band plane raises its use count (the plane's dataPresent word) by
// one, even for an empty rectangle; a use count of 0 means nothing was drawn since the plane was
// cleared. Rectangles are in band-plane pixels, right and bottom exclusive. A mask's first row
// belongs to the rectangle's top row and its first bit to pixel left rounded down to a multiple
// of 32; it is clear before left and from right on.
#pragma once

#include <cstdint>

#include "engine/common/output_module.h"
#include "engine/raster/band_plan.h"
#include "engine/raster/texture_cache.h"
#include "platform/types.h"

// Plane loops, called by the band renderers. The entry's kind bit 0 says tiled (else image).
void BandPlanesTextureFill(TextureCacheEntry* entry, BandLayout* layout, const RECT* rect);
void BandPlaneTextureFill(TextureCacheEntry* entry, BandLayout* layout, uint32_t plane, const RECT* rect);
void BandPlanesTextureFillMasked(const uint8_t* maskBits, int32_t maskStride, TextureCacheEntry* entry,
                                 BandLayout* layout, const RECT* rect);
void BandPlaneTextureFillMasked(const uint8_t* maskBits, int32_t maskStride, TextureCacheEntry* entry,
                                BandLayout* layout, uint32_t plane, const RECT* rect);

// ANDs the pattern into a whole 1-bit buffer: pixel (x, y) keeps its bit only where pattern
// pixel ((origin.x + x) mod width, (origin.y + y) mod height) is set. Pattern rows are native
// 32-bit numbers, pixel 0 in the top bit. An empty pattern leaves the buffer as it is.
void BandMaskPatternAnd(uint8_t* bits, int32_t stride, SIZE size, const MaskPattern* pattern, POINT origin);

// Dispatchers for one plane pair.
void PlaneRectFillDispatch(const ImxPlaneFormat* format, const ImxPlane* texture, ImxPlane* band, POINT phase,
                           const RECT* rect);
void PlaneRectCopyDispatch(const ImxPlaneFormat* format, const ImxPlane* texture, ImxPlane* band, const RECT* rect);
void PlaneRectMaskDispatch(const uint8_t* maskBits, int32_t maskStride, const ImxPlaneFormat* format,
                           const ImxPlane* texture, ImxPlane* band, POINT phase, const RECT* rect);
void PlaneRectMaskCopyDispatch(const uint8_t* maskBits, int32_t maskStride, const ImxPlaneFormat* format,
                               const ImxPlane* texture, ImxPlane* band, const RECT* rect);

// Leaf operations. Tiles take the phase of the rectangle's top-left pixel in the texture.
void PlaneRectSetBits1(ImxPlane* band, const RECT* rect);
void PlaneRectSetBits2(ImxPlane* band, const RECT* rect);
void PlaneRectSetBits4(ImxPlane* band, const RECT* rect);
void PlaneRectClearBits1(ImxPlane* band, const RECT* rect);
void PlaneRectClearBits2(ImxPlane* band, const RECT* rect);
void PlaneRectClearBits4(ImxPlane* band, const RECT* rect);
void PlaneRectSolid8(ImxPlane* band, const RECT* rect, uint32_t value);
void PlaneRectSolid24(ImxPlane* band, const RECT* rect, uint32_t value);
void PlaneRectSolid32(ImxPlane* band, const RECT* rect, uint32_t value);
void PlaneRectImage1(ImxPlane* band, const ImxPlane* texture, const RECT* rect);
void PlaneRectImage2(ImxPlane* band, const ImxPlane* texture, const RECT* rect);
void PlaneRectImage4(ImxPlane* band, const ImxPlane* texture, const RECT* rect);
void PlaneRectImage8(ImxPlane* band, const ImxPlane* texture, const RECT* rect);
void PlaneRectImage24(ImxPlane* band, const ImxPlane* texture, const RECT* rect);
void PlaneRectImage32(ImxPlane* band, const ImxPlane* texture, const RECT* rect);
void PlaneRectTile1(ImxPlane* band, const ImxPlane* texture, POINT phase, const RECT* rect);
void PlaneRectTile2(ImxPlane* band, const ImxPlane* texture, POINT phase, const RECT* rect);
void PlaneRectTile4(ImxPlane* band, const ImxPlane* texture, POINT phase, const RECT* rect);

void PlaneMaskSetBits1(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect);
void PlaneMaskSetBits2(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect);
void PlaneMaskSetBits4(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect);
void PlaneMaskClearBits1(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect);
void PlaneMaskClearBits2(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect);
void PlaneMaskClearBits4(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect);
void PlaneMaskSolid8(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect, uint32_t value);
void PlaneMaskSolid24(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect, uint32_t value);
void PlaneMaskSolid32(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const RECT* rect, uint32_t value);
void PlaneMaskImage1(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture,
                     const RECT* rect);
void PlaneMaskImage2(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture,
                     const RECT* rect);
void PlaneMaskImage4(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture,
                     const RECT* rect);
void PlaneMaskImage8(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture,
                     const RECT* rect);
void PlaneMaskImage24(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture,
                      const RECT* rect);
void PlaneMaskImage32(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture,
                      const RECT* rect);
void PlaneMaskTile1(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture, POINT phase,
                    const RECT* rect);
void PlaneMaskTile2(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture, POINT phase,
                    const RECT* rect);
void PlaneMaskTile4(const uint8_t* mask, int32_t maskStride, ImxPlane* band, const ImxPlane* texture, POINT phase,
                    const RECT* rect);
