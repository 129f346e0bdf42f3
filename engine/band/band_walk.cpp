#include "engine/band/band_walk.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi.h"
#include "platform/user.h"

namespace {

LONG Clamp(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

uint32_t PlaneCount(const BandLayout* layout) { return std::min(layout->band.planeCount, IMX_MAX_PLANES); }

// The band from its rectangle, clipped to the page rectangle; false when nothing is left.
int BandTake(BandIterator* iterator, int64_t left, int64_t top, int64_t right, int64_t bottom, bool first)
{
    const RECT candidate = {Clamp(left), Clamp(top), Clamp(right), Clamp(bottom)};
    RECT band;
    if (!IntersectRect(&band, &candidate, &iterator->pageRect)) return 0;
    iterator->band = band;
    RECT remainder;
    SubtractRect(&remainder, first ? &iterator->pageRect : &iterator->remainder, &band);
    iterator->remainder = remainder;
    return 1;
}

int64_t Step(const BandIterator* iterator, const BandLayout* layout)
{
    return iterator->direction >= 2 ? layout->bandSize[0] : layout->bandSize[1];
}

void MapOne(HDC dc, const DcMap& map)
{
    SetWindowExtEx(dc, map.windowExtent.cx, map.windowExtent.cy, nullptr);
    SetWindowOrgEx(dc, map.windowOrigin.x, map.windowOrigin.y, nullptr);
}

void MapPair(BandSurface* color, BandSurface* mask, const DcMap& map, const RECT& band)
{
    if (color != nullptr) MapOne(color->drawDC, map);
    if (mask != nullptr) MapOne(mask->drawDC, map);
    const int64_t x = int64_t{map.viewportOrigin.x} - band.left;
    const int64_t y = int64_t{map.viewportOrigin.y} - band.top;
    for (BandSurface* surface : {color, mask}) {
        if (surface == nullptr) continue;
        SetViewportExtEx(surface->drawDC, map.viewportExtent.cx, map.viewportExtent.cy, nullptr);
        SetViewportOrgEx(surface->drawDC, Clamp(x), Clamp(y), nullptr);
    }
}

}  // namespace

void BandIterInit(BandIterator* iterator, const uint32_t pageSize[2], const RECT* pageRect, uint32_t direction,
                  uint32_t mirror)
{
    std::memset(iterator, 0, sizeof(*iterator));
    iterator->pageSize[0] = pageSize[0];
    iterator->pageSize[1] = pageSize[1];
    iterator->pageRect = *pageRect;
    iterator->direction = direction;
    iterator->mirror = mirror;
}

int BandIterFirst(BandIterator* iterator, const BandLayout* layout)
{
    const RECT& page = iterator->pageRect;
    const int64_t step = Step(iterator, layout);
    switch (iterator->direction) {
        case 0: return BandTake(iterator, page.left, page.top, page.right, int64_t{page.top} + step, true);
        case 1: return BandTake(iterator, page.left, int64_t{page.bottom} - step, page.right, page.bottom, true);
        case 2: return BandTake(iterator, int64_t{page.right} - step, page.top, page.right, page.bottom, true);
        case 3: return BandTake(iterator, page.left, page.top, int64_t{page.left} + step, page.bottom, true);
        default: return 0;
    }
}

int BandIterNext(BandIterator* iterator, const BandLayout* layout)
{
    const RECT previous = iterator->band;
    const int64_t step = Step(iterator, layout);
    if (step <= 0) return 0;
    switch (iterator->direction) {
        case 0:
            return BandTake(iterator, previous.left, previous.bottom, previous.right, int64_t{previous.bottom} + step,
                            false);
        case 1:
            return BandTake(iterator, previous.left, int64_t{previous.top} - step, previous.right, previous.top, false);
        case 2:
            return BandTake(iterator, int64_t{previous.left} - step, previous.top, previous.left, previous.bottom,
                            false);
        case 3:
            return BandTake(iterator, previous.right, previous.top, int64_t{previous.right} + step, previous.bottom,
                            false);
        default: return 0;
    }
}

void RectOrient(uint32_t orientation, uint32_t mirror, const uint32_t pageSize[2], const RECT* in, RECT* out)
{
    const int64_t PW = pageSize[0], PH = pageSize[1];
    const int64_t l = in->left, t = in->top, r = in->right, b = in->bottom;
    int64_t L, T, R, B;
    switch (orientation) {
        case 0:
            if (mirror) L = PW - r, T = t, R = PW - l, B = b;
            else L = l, T = t, R = r, B = b;
            break;
        case 1:
            if (mirror) L = l, T = PH - b, R = r, B = PH - t;
            else L = PW - r, T = PH - b, R = PW - l, B = PH - t;
            break;
        case 2:
            if (mirror) L = PH - b, T = PW - r, R = PH - t, B = PW - l;
            else L = t, T = PW - r, R = b, B = PW - l;
            break;
        case 3:
            if (mirror) L = t, T = l, R = b, B = r;
            else L = PH - b, T = l, R = PH - t, B = r;
            break;
        default: return;
    }
    *out = RECT{Clamp(L), Clamp(T), Clamp(R), Clamp(B)};
}

void BandBegin(BandLayout* layout, const RECT* band)
{
    layout->bandRect = *band;
    for (BandSurface* surface : {layout->maskSurface, layout->colorSurface}) {
        if (surface != nullptr)
            SetViewportOrgEx(surface->drawDC, Clamp(-int64_t{band->left}), Clamp(-int64_t{band->top}), nullptr);
    }
    RECT device{};
    RectOrient(layout->orientation, layout->mirror, layout->pageSize, band, &device);
    const uint32_t width = static_cast<uint32_t>(std::max<int64_t>(int64_t{device.right} - device.left, 0));
    const uint32_t height = static_cast<uint32_t>(std::max<int64_t>(int64_t{device.bottom} - device.top, 0));
    if (width > layout->band.width || height > layout->band.height) {
        for (uint32_t i = 0; i < PlaneCount(layout); ++i) layout->band.planes[i].dataPresent = 1;
    }
    layout->band.x = device.left;
    layout->band.y = device.top;
    layout->band.width = width;
    layout->band.height = height;
    // A plane laid onto other bytes (a shorter band moves every later plane onto bytes of the
    // planes before it) holds whatever was drawn there, so it is cleared like a drawn one.
    const uint8_t* oldData[IMX_MAX_PLANES];
    uint64_t oldBytes[IMX_MAX_PLANES];
    for (uint32_t i = 0; i < PlaneCount(layout); ++i) {
        const ImxPlane& plane = layout->band.planes[i];
        oldData[i] = plane.data;
        oldBytes[i] = uint64_t{plane.height} * plane.stride;
    }
    BandPlanesLayOut(layout, width, height, false, layout->workBase, layout->planeBytes);
    for (uint32_t i = 0; i < PlaneCount(layout); ++i) {
        ImxPlane& plane = layout->band.planes[i];
        if (plane.data != oldData[i] || uint64_t{plane.height} * plane.stride != oldBytes[i]) plane.dataPresent = 1;
    }
}

bool BandPlaneConfigUpdate(BandLayout* layout, const ImxImageFormat* config)
{
    if (config == nullptr || config->planeCount > IMX_MAX_PLANES) return false;
    ImxImageFormat wanted = *config;
    for (uint32_t i = 0; i < wanted.planeCount; ++i) {
        if (wanted.planes[i].xResolution == 0) wanted.planes[i].xResolution = layout->jobResolution[0];
        if (wanted.planes[i].yResolution == 0) wanted.planes[i].yResolution = layout->jobResolution[1];
    }
    if (std::memcmp(&wanted, &layout->planeConfig, sizeof(wanted)) == 0) return true;

    // Laid out on a copy first: a configuration that needs more than was planned is refused whole.
    BandLayout trial = *layout;
    trial.planeConfig = wanted;
    trial.band.formatId = wanted.formatId;
    trial.band.planeCount = wanted.planeCount;
    for (uint32_t i = 0; i < IMX_MAX_PLANES; ++i) {
        ImxPlane& plane = trial.band.planes[i];
        plane = ImxPlane{};
        if (i >= wanted.planeCount) continue;
        plane.colorantId = wanted.planes[i].colorantId;
        plane.depth = static_cast<uint8_t>(wanted.planes[i].depth);
        plane.dataPresent = 1;
    }
    const uint64_t need = BandPlanesLayOut(&trial, layout->band.width, layout->band.height, false, nullptr, 0);
    if (need > layout->planeBytes) return false;
    BandPlanesLayOut(&trial, layout->band.width, layout->band.height, false, layout->workBase, layout->planeBytes);
    layout->planeConfig = trial.planeConfig;
    layout->band = trial.band;
    return true;
}

void BandPlanesClear(BandLayout* layout)
{
    for (uint32_t i = 0; i < PlaneCount(layout); ++i) {
        ImxPlane& plane = layout->band.planes[i];
        if (plane.dataPresent == 0) continue;
        plane.dataPresent = 0;
        const ImxPlaneFormat& format = layout->planeConfig.planes[i];
        if ((format.depth & 0xFF) == 0 || plane.data == nullptr) continue;
        std::memset(plane.data, (format.flags & IMX_PLANE_FORMAT_INVERTED) ? 0xFF : 0x00,
                    static_cast<size_t>(plane.height) * plane.stride);
    }
}

uint32_t BandPlanesActive(const BandLayout* layout)
{
    uint32_t active = 0;
    for (uint32_t i = 0; i < PlaneCount(layout); ++i) active |= layout->band.planes[i].dataPresent;
    return active;
}

void BandSurfacesMapSet(BandLayout* layout, const DcMap* map, uint32_t second)
{
    if (layout == nullptr || map == nullptr) return;
    MapPair(layout->colorSurface, layout->maskSurface, *map, layout->bandRect);
    if (second != 0 && layout->secondColorSurface != nullptr)
        MapPair(layout->secondColorSurface, layout->secondMaskSurface, *map, layout->bandRect);
}
