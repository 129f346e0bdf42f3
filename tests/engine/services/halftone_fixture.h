// Halftone files built in the test and a host whose texture memory comes from a texture cache.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/raster/texture_cache.h"
#include "engine/services/halftone.h"
#include "rastrel/imx.h"

struct TestScreen {
    uint16_t key;
    uint16_t width;
    uint16_t height;
    uint16_t perCell;
    uint16_t bits;
    std::vector<uint8_t> thresholds;  // height rows of width cells of perCell thresholds
};

inline void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline std::vector<uint8_t> HalftoneFile(const std::vector<TestScreen>& screens)
{
    std::vector<uint8_t> file = {'t', 'H', 'v', 'Q'};
    Put32(file, static_cast<uint32_t>(screens.size()));
    uint32_t offset = 8 + 12 * static_cast<uint32_t>(screens.size());
    for (const TestScreen& s : screens) {
        Put16(file, s.key);
        Put16(file, s.bits);
        Put32(file, offset);
        Put32(file, 8 + static_cast<uint32_t>(s.thresholds.size()));
        offset += 8 + static_cast<uint32_t>(s.thresholds.size());
    }
    for (const TestScreen& s : screens) {
        Put16(file, s.width);
        Put16(file, s.height);
        Put16(file, s.perCell);
        Put16(file, s.bits);
        file.insert(file.end(), s.thresholds.begin(), s.thresholds.end());
    }
    return file;
}

struct TextureHost {
    TextureCache* cache = TextureCacheCreate(4, 1u << 24);
    OutputModuleContext context{};
    TextureHost() { context.textureCache = cache; }
    ~TextureHost() { TextureCacheDestroy(cache); }
    TextureHost(const TextureHost&) = delete;
    TextureHost& operator=(const TextureHost&) = delete;
};
