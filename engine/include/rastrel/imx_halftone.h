// Threshold halftoning as output modules call it: a halftone set, opaque to its callers, loaded
// with screens from a halftone file and used to turn 8-bit images and flat colours into
// textures. Texture memory comes from ImxTextureAlloc on the caller's host handle.
#pragma once

#include <cstdint>

#include "rastrel/api.h"
#include "rastrel/imx_types.h"

struct ImxHalftoneSet;

// One request of ImxHalftoneLoad: the entry of this key and depth fills the screen of its index.
struct ImxHalftoneRequest {
    uint32_t key;
    uint32_t depth;
};
static_assert(sizeof(ImxHalftoneRequest) == 8);

RASTREL_API ImxHalftoneSet* ImxHalftoneCreate(void);
RASTREL_API void ImxHalftoneDestroy(ImxHalftoneSet* set);
RASTREL_API ImxStatus ImxHalftoneLoad(ImxHalftoneSet* set, const ImxDataSource* source, const ImxImageFormat* format,
                                      uint32_t count, const ImxHalftoneRequest* requests);
RASTREL_API ImxStatus ImxHalftoneTextureImage(ImxHalftoneSet* set, void* host, const ImxImage* source,
                                              ImxTexture* texture);
RASTREL_API ImxStatus ImxHalftoneTextureColor(ImxHalftoneSet* set, void* host, const uint8_t* color,
                                              ImxTexture* texture);
