// Pieces the single- and multi-resolution band renderers share: where a command lies in the
// band, its mask as the plane operations want it, the surfaces' mappings saved around a command,
// and the textures of a command's colour class.
#pragma once

#include <cstdint>

#include "engine/display/form_level.h"
#include "engine/raster/band_plan.h"
#include "engine/raster/band_surface.h"
#include "platform/types.h"

struct CmdNode;
struct OutputModuleContext;
struct TextureCache;
struct TextureCacheEntry;

namespace band_parts {

bool Oriented(const BandLayout* layout);
// A logical rectangle in the surface's current device pixels.
RECT ToDevice(HDC dc, const RECT& logical);
// into = into ∩ other; true when not empty.
bool Intersect(RECT* into, const RECT& other);

// A surface DC's mapping, put back whole after a command (the level image re-maps the surfaces).
struct SavedMap {
    POINT windowOrigin, viewportOrigin;
    SIZE windowExtent, viewportExtent;
};
SavedMap MapSave(HDC dc);
void MapRestore(HDC dc, const SavedMap& m);

// Where one command is drawn in the current band.
struct CommandArea {
    RECT local;  // band-local page pixels
    RECT plane;  // band-plane pixels (device orientation)
    RECT device;  // device page pixels
    uint32_t phase;  // x of plane.left within its 32-bit word
    uint32_t width, height;
};
CommandArea AreaMake(const BandLayout* layout, const RECT& local);

// The mask bits for the plane kernels: the mask surface as drawn (upright, phase already in it),
// or turned into the layout's mask-out buffer and shifted to its phase.
const uint8_t* MaskBits(BandLayout* layout, const CommandArea& a, uint32_t* stride);

struct LevelDraw {
    FormLevel* levels;
    uint32_t count;
    FormLevel* level;
    BandLayout* layout;
    OutputModuleContext* context;
    TextureCache* cache;
};

// Counts the command as drawn and finds the band-local pixels it may touch (its bounds, cut to the
// band and to what its clip leaves visible); false when nothing of it is in the band.
bool CommandLocal(const LevelDraw& d, CmdNode* node, RECT* local);

// The texture of a command's colour class (solid colours stay in the cache; the caller releases
// any other), or null when the class draws nothing or the texture cannot be made. The surfaces'
// viewports are moved so that the area starts at their origin.
TextureCacheEntry* CommandTexture(const LevelDraw& d, CmdNode* node, const CommandArea& a, int colourClass,
                                  uint32_t solid, uint8_t hint);

// Counts one command drawn by a renderer.
void DrawnCountRaise();
uint64_t DrawnCount();

// The colour surface's pixels of the area (at its origin) as an image texture of the band's format.
TextureCacheEntry* ColourImageTexture(BandLayout* layout, OutputModuleContext* context, TextureCache* cache,
                                      const CommandArea& a, uint8_t hint);

// Runs fn once per mapping of the level over the current band (every tile of a tiled level).
template <typename Fn>
void LevelMappings(FormLevel* level, const BandLayout* layout, Fn fn)
{
    if (!(level->flags & FORM_LEVEL_TILED)) {
        fn(level->mapping.map);
        return;
    }
    const RECT& band = layout->bandRect;
    FormLevelTileMapping(level, POINT{band.left, band.top});
    do fn(level->tileMapping.map);
    while (FormLevelTileNext(level, &band));
}

inline bool LevelMeetsBand(const FormLevel* level, const BandLayout* layout)
{
    if (level->list == nullptr || level->pendingCount == 0) return false;
    RECT r = level->rect;
    return (level->flags & FORM_LEVEL_TILED) || Intersect(&r, layout->bandRect);
}

}  // namespace band_parts
