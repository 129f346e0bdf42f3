// The halftone set parser over arbitrary files of known size, then both textures from whatever
// loaded: the parser must never read outside the file, the kernels never outside their screens.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/raster/texture_cache.h"
#include "engine/services/halftone.h"
#include "rastrel/imx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    // The first byte picks the output format: one plane of 1, 2, 4 or 8 bits, or four of 1 bit.
    const uint32_t pick = data[0] % 5;
    ImxImageFormat format{};
    format.formatId = 0x80;
    format.planeCount = pick == 4 ? 4 : 1;
    ImxHalftoneRequest requests[4] = {};
    for (uint32_t i = 0; i < format.planeCount; ++i) {
        format.planes[i].depth = pick == 4 ? 1 : (1u << pick);
        requests[i] = {i, format.planes[i].depth};
    }
    std::vector<uint8_t> file(data + 1, data + size);
    ImxHalftoneSet* set = ImxHalftoneCreate();
    set->format = format;
    set->kind = ImageFormatKindGet(&format);
    const ImxStatus status = HalftoneSetParse(set, file.data(), file.size(), format.planeCount, requests);
    if (status == IMX_OK) {
        TextureCache* cache = TextureCacheCreate(2, 1u << 20);
        OutputModuleContext host{};
        host.textureCache = cache;
        uint8_t samples[4 * 9 * 3];
        for (size_t i = 0; i < sizeof samples; ++i) samples[i] = static_cast<uint8_t>(i * 37);
        ImxImage image{};
        image.x = -5;
        image.y = 3;
        image.width = 9;
        image.height = 3;
        image.planeCount = 1;
        image.planes[0].stride = 36;
        image.planes[0].data = samples;
        ImxTexture texture{};
        if (ImxHalftoneTextureImage(set, &host, &image, &texture) == IMX_OK)
            for (ImxPlane& plane : texture.planes) ImxTextureFree(&host, plane.data);
        const uint8_t color[4] = {1, 128, 200, 255};
        if (ImxHalftoneTextureColor(set, &host, color, &texture) == IMX_OK)
            for (ImxPlane& plane : texture.planes) ImxTextureFree(&host, plane.data);
        TextureCacheDestroy(cache);
    }
    ImxHalftoneDestroy(set);
    return 0;
}
