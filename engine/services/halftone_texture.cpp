// Textures from a halftone set: an 8-bit image into planes of the set's depths, a flat colour
// into one screen tile per plane. Plane data lives in texture memory on the caller's host handle;
// a failure frees what was made.
#include <cstring>

#include "engine/services/halftone.h"
#include "rastrel/imx.h"

namespace {

void PlanesFree(void* host, ImxTexture* texture)
{
    for (ImxPlane& plane : texture->planes) {
        if (plane.data != nullptr) ImxTextureFree(host, plane.data);
        plane.data = nullptr;
    }
}

bool ScreenUsable(const HalftoneScreen& screen)
{
    return screen.matrix != nullptr && (screen.bitsPerPixel == 1 || screen.bitsPerPixel == 2 ||
                                        screen.bitsPerPixel == 4 || screen.bitsPerPixel == 8);
}

// Samples per pixel in the image's plane 0 for the set's kind.
uint32_t SourceBytesPerPixel(ImageFormatKind kind, uint32_t planeCount)
{
    switch (kind) {
        case IMAGE_FORMAT_KIND_1BIT:
        case IMAGE_FORMAT_KIND_2BIT:
        case IMAGE_FORMAT_KIND_4BIT: return 1;
        case IMAGE_FORMAT_KIND_3X1BIT: return 3;
        case IMAGE_FORMAT_KIND_4X1BIT:
        case IMAGE_FORMAT_KIND_2221BIT:
        case IMAGE_FORMAT_KIND_4X2BIT:
        case IMAGE_FORMAT_KIND_4X4BIT: return 4;
        default: return planeCount;
    }
}

}  // namespace

RASTREL_API ImxStatus ImxHalftoneTextureImage(ImxHalftoneSet* set, void* host, const ImxImage* source,
                                              ImxTexture* texture)
{
    if (set == nullptr || source == nullptr || texture == nullptr) return IMX_ERR_ARGUMENT;
    std::memset(texture, 0, sizeof(*texture));
    texture->formatId = source->formatId;
    texture->x = source->x;
    texture->y = source->y;
    const uint32_t planes = set->format.planeCount;
    if (planes == 0 || planes > HALFTONE_SCREENS) return IMX_ERR_UNSUPPORTED;
    const uint32_t bytesPerPixel = SourceBytesPerPixel(set->kind, planes);
    const ImxPlane& in = source->planes[0];
    if (in.data == nullptr || uint64_t{source->width} * bytesPerPixel > in.stride) return IMX_ERR_UNSUPPORTED;
    for (uint32_t i = 0; i < planes; ++i)
        if (!ScreenUsable(set->screens[i])) return IMX_ERR_UNSUPPORTED;
    for (uint32_t i = 0; i < planes; ++i) {
        const HalftoneScreen& screen = set->screens[i];
        ImxPlane& plane = texture->planes[i];
        const uint32_t stride = HalftoneStride(source->width, screen.bitsPerPixel);
        const uint64_t bytes = uint64_t{stride} * source->height;
        plane.data =
            bytes > UINT32_MAX ? nullptr : static_cast<uint8_t*>(ImxTextureAlloc(host, static_cast<uint32_t>(bytes)));
        if (plane.data == nullptr && bytes != 0) {
            PlanesFree(host, texture);
            return IMX_ERR_NO_MEMORY;
        }
        plane.colorantId = screen.colorant;
        plane.depth = static_cast<uint8_t>(screen.bitsPerPixel);
        plane.dataPresent = 1;
        plane.width = source->width;
        plane.height = source->height;
        plane.stride = stride;
    }
    if (set->kind == IMAGE_FORMAT_KIND_4X1BIT && set->screens[0].thresholdsPerCell == 1 &&
        set->screens[1].thresholdsPerCell == 1 && set->screens[2].thresholdsPerCell == 1 &&
        set->screens[3].thresholdsPerCell == 1) {
        uint8_t* const out[4] = {texture->planes[0].data, texture->planes[1].data, texture->planes[2].data,
                                 texture->planes[3].data};
        set->imageCmyk1Bit(set->screens, in.data, in.stride, source->width, source->height, source->x, source->y, out,
                           texture->planes[0].stride);
    } else {
        for (uint32_t i = 0; i < planes; ++i) {
            const HalftoneScreen& screen = set->screens[i];
            const ImxPlane& plane = texture->planes[i];
            if (screen.bitsPerPixel == 1 && screen.thresholdsPerCell == 1)
                set->image1Bit(&screen, in.data + i, in.stride, bytesPerPixel, source->width, source->height, source->x,
                               source->y, plane.data, plane.stride);
            else
                HalftoneImageLevels(&screen, in.data + i, in.stride, bytesPerPixel, source->width, source->height,
                                    source->x, source->y, plane.data, plane.stride);
        }
    }
    texture->planeCount = planes;
    return IMX_OK;
}

RASTREL_API ImxStatus ImxHalftoneTextureColor(ImxHalftoneSet* set, void* host, const uint8_t* color,
                                              ImxTexture* texture)
{
    if (set == nullptr || color == nullptr || texture == nullptr) return IMX_ERR_ARGUMENT;
    std::memset(texture, 0, sizeof(*texture));
    texture->formatId = set->format.formatId;
    const uint32_t planes = set->format.planeCount;
    if (planes > HALFTONE_SCREENS) return IMX_ERR_UNSUPPORTED;
    texture->planeCount = planes;
    for (uint32_t i = 0; i < planes; ++i) {
        const ImxPlaneFormat& format = set->format.planes[i];
        const bool inverted = (format.flags & IMX_PLANE_FORMAT_INVERTED) != 0;
        ImxPlane& plane = texture->planes[i];
        if ((!inverted && color[i] == 0) || (inverted && color[i] == 255)) {
            plane.flags = IMX_PLANE_BLANK;
            plane.depth = static_cast<uint8_t>(format.depth);
            continue;
        }
        const HalftoneScreen& screen = set->screens[i];
        if (!ScreenUsable(screen)) {
            PlanesFree(host, texture);
            return IMX_ERR_UNSUPPORTED;
        }
        const uint32_t stride = HalftoneStride(screen.width, screen.bitsPerPixel);
        plane.data = static_cast<uint8_t*>(ImxTextureAlloc(host, stride * screen.height));
        if (plane.data == nullptr) {
            PlanesFree(host, texture);
            return IMX_ERR_NO_MEMORY;
        }
        plane.colorantId = screen.colorant;
        plane.depth = static_cast<uint8_t>(screen.bitsPerPixel);
        plane.dataPresent = 1;
        plane.width = screen.width;
        plane.height = screen.height;
        plane.stride = stride;
        if (screen.bitsPerPixel == 1 && screen.thresholdsPerCell == 1)
            set->color1Bit(&screen, color[i], plane.data, stride);
        else HalftoneColorLevels(&screen, color[i], plane.data, stride);
    }
    return IMX_OK;
}
