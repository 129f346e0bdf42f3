// Form levels: the page's own display list and the forms placed under or over it, each with its
// mapping into device pixels, and the per-band collection and culling of their commands.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/cmd_node.h"
#include "engine/raster/band_surface.h"
#include "platform/types.h"

// Level flags.
inline constexpr uint32_t FORM_LEVEL_CULL = 0x1;  // commands may be destroyed once passed
inline constexpr uint32_t FORM_LEVEL_FIXED = 0x2;  // not moved or rescaled by the page placement
inline constexpr uint32_t FORM_LEVEL_SECOND = 0x4;  // drawn with second surfaces
inline constexpr uint32_t FORM_LEVEL_TILED = 0x8;  // repeated as tiles through the tile mapping
inline constexpr uint32_t FORM_LEVEL_OPTION_40 = 0x10;  // handed to drawing as the 0x40 option mark

inline constexpr uint32_t FORM_LEVELS_MAX = 9;
inline constexpr uint32_t FORM_LEVEL_PENDING_GROWTH = 2048;

struct FormLevel {
    uint32_t flags;
    uint8_t byte;  // given at initialisation (the placement's mix)
    CmdList* list;
    uint32_t pendingFlags;  // colour flags of the commands collected for the current band
    uint32_t pendingCount;
    uint32_t pendingCapacity;
    RECT pendingBounds;  // logical units
    RECT band;  // the current band in logical units
    CmdNode** pending;
    DcMapping mapping;
    DcMapping tileMapping;  // tiled levels only
    SIZE tileStep;
    RECT rect;  // device pixels: where the level may draw
};
static_assert(offsetof(FormLevel, list) == 8);
static_assert(offsetof(FormLevel, pendingFlags) == 16);
static_assert(offsetof(FormLevel, pendingBounds) == 28);
static_assert(offsetof(FormLevel, band) == 44);
static_assert(offsetof(FormLevel, pending) == 64);
static_assert(offsetof(FormLevel, mapping) == 72);
static_assert(offsetof(FormLevel, tileMapping) == 112);
static_assert(offsetof(FormLevel, tileStep) == 152);
static_assert(offsetof(FormLevel, rect) == 160);
static_assert(sizeof(FormLevel) == 176);

// Device <-> logical on one axis, and for rectangles (the inverse widens every edge by two device
// pixels and a unit, so that a band sees every scaled command that may set a pixel in it).
RECT FormLevelRectToLogical(const DcMap* map, const RECT* device);
RECT FormLevelRectToDevice(const DcMap* map, const RECT* logical);

// tileStep is required with FORM_LEVEL_TILED (and must not be 0 there). Non-zero on success; on
// failure nothing is left made.
int FormLevelInit(FormLevel* level, const DcMap* map, CmdList* list, const RECT* rect, uint32_t flags, uint8_t byte,
                  const SIZE* tileStep);
void FormLevelCopy(FormLevel* destination, const FormLevel* source);
void FormLevelsRelease(FormLevel* levels, uint32_t count);

uint32_t FormLevelsCommandCount(const FormLevel* levels, uint32_t count);
uint32_t FormLevelsClassBitsGet(const FormLevel* levels, uint32_t count);
uint32_t FormLevelsFlagsGet(const FormLevel* levels, uint32_t count);
uint32_t FormLevelsFlagsOr(const FormLevel* levels, uint32_t count);
int FormLevelsAnyFlag4(const FormLevel* levels, uint32_t count);
int FormLevelsDeviceBoundsGet(const FormLevel* levels, uint32_t count, RECT* out);
void FormLevelsPageBoundsGet(const FormLevel* levels, uint32_t count, RECT* out);
int FormLevelsMapToDevice(FormLevel* levels, uint32_t count);
void FormLevelsOffset(FormLevel* levels, uint32_t count, POINT delta, bool includeFixed);
void FormLevelsViewportOffset(FormLevel* levels, uint32_t count, POINT delta, bool includeFixed);
void FormLevelsViewportScale(FormLevel* levels, uint32_t count, double sx, double sy);
void FormLevelsWindowScale(FormLevel* levels, uint32_t count, double fx, double fy);
void FormLevelsWindowScaleFree(FormLevel* levels, uint32_t count, double fx, double fy);
// Collects per level the commands that meet the band (device pixels). 1, or 0 when a pending
// array cannot grow.
int FormLevelsBandIntersect(FormLevel* levels, uint32_t count, const RECT* band, uint32_t* total);
// Destroys the collected commands of culling levels that lie wholly outside the area still to be
// banded, and clears every level's pending state.
void FormLevelsCull(FormLevel* levels, uint32_t count, const RECT* area);
void FormLevelTileMapping(FormLevel* level, POINT bandOrigin);
// 1 when there is a next tile for the band, 0 when the level is done for it.
int FormLevelTileNext(FormLevel* level, const RECT* band);
