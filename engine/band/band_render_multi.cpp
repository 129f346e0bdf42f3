// The multi-resolution band renderer: the planes of a band lie at several resolutions. Each
// command's colour becomes one texture; its shape is drawn once per resolution that some plane
// needs, with the mask surface's mapping scaled to it, and each plane is painted at its own
// resolution. Planes whose texture is the same at every resolution (full or blank ink) are
// painted with the job-resolution mask, brought to their resolution by doubling or stretching.
#include <algorithm>

#include "engine/band/band_mask_resolution.h"
#include "engine/band/band_render.h"
#include "engine/band/band_render_parts.h"
#include "engine/band/band_walk.h"
#include "engine/common/output_module.h"
#include "engine/display/cmd_ops.h"
#include "engine/raster/band_plane_ops.h"
#include "engine/raster/texture_cache.h"
#include "platform/gdi.h"

namespace {

using namespace band_parts;

constexpr uint8_t PLANE_SAME_EVERY_RESOLUTION = 0x10;

// v x num / den rounded down, so that scaled edges keep their order and a shifted rectangle
// scales like the unshifted one shifted.
LONG ScaleDown(int64_t v, int64_t num, int64_t den)
{
    const int64_t p = v * num;
    int64_t q = p / den;
    if ((p % den != 0) && ((p < 0) != (den < 0))) --q;
    return static_cast<LONG>(std::clamp<int64_t>(q, INT32_MIN, INT32_MAX));
}

// One resolution of the layout's list in page axes (x and y exchanged for a quarter turn).
struct Resolution {
    int64_t x, y;
    bool doubled;  // exactly twice the job's in both axes
};

struct Scales {
    Resolution job;
    Resolution list[BAND_MAX_RESOLUTIONS];
    uint32_t count;
};

Scales ScalesMake(const BandLayout* layout)
{
    const bool quarter = layout->orientation >= 2;
    Scales s{};
    const int64_t jx = layout->jobResolution[0], jy = layout->jobResolution[1];
    s.job = quarter ? Resolution{jy, jx, false} : Resolution{jx, jy, false};
    s.count = std::min(layout->resolutionCount, BAND_MAX_RESOLUTIONS);
    for (uint32_t r = 0; r < s.count; ++r) {
        const int64_t x = layout->resolutions[r].x, y = layout->resolutions[r].y;
        s.list[r] = quarter ? Resolution{y, x, false} : Resolution{x, y, false};
        s.list[r].doubled = x == 2 * jx && y == 2 * jy;
    }
    return s;
}

RECT RectScale(const RECT& r, const Resolution& to, const Resolution& job)
{
    return RECT{ScaleDown(r.left, to.x, job.x), ScaleDown(r.top, to.y, job.y), ScaleDown(r.right, to.x, job.x),
                ScaleDown(r.bottom, to.y, job.y)};
}

// The command's area at one resolution: page, device and band-plane pixels, all from the same
// scaled page rectangle so that the mask and the plane rectangle have one size.
CommandArea AreaAt(const BandLayout* layout, const CommandArea& job, const Resolution& to, const Scales& s)
{
    const RECT& b = layout->bandRect;
    const RECT page{job.local.left + b.left, job.local.top + b.top, job.local.right + b.left, job.local.bottom + b.top};
    const RECT pageScaled = RectScale(page, to, s.job);
    const RECT bandScaled = RectScale(b, to, s.job);
    const uint32_t size[2] = {static_cast<uint32_t>(ScaleDown(layout->pageSize[0], to.x, s.job.x)),
                              static_cast<uint32_t>(ScaleDown(layout->pageSize[1], to.y, s.job.y))};
    CommandArea a{};
    a.local = RECT{pageScaled.left - bandScaled.left, pageScaled.top - bandScaled.top,
                   pageScaled.right - bandScaled.left, pageScaled.bottom - bandScaled.top};
    RECT bandDevice{};
    RectOrient(layout->orientation, layout->mirror, size, &pageScaled, &a.device);
    RectOrient(layout->orientation, layout->mirror, size, &bandScaled, &bandDevice);
    a.plane = RECT{a.device.left - bandDevice.left, a.device.top - bandDevice.top, a.device.right - bandDevice.left,
                   a.device.bottom - bandDevice.top};
    a.phase = static_cast<uint32_t>(a.plane.left) & 31;
    a.width = static_cast<uint32_t>(std::max<LONG>(pageScaled.right - pageScaled.left, 0));
    a.height = static_cast<uint32_t>(std::max<LONG>(pageScaled.bottom - pageScaled.top, 0));
    return a;
}

// A command's mask at one resolution, as the plane operations take it.
struct Mask {
    int shape = CMD_BAND_NOTHING;
    const uint8_t* bits = nullptr;
    uint32_t stride = 0;
};

struct CommandDraw {
    const LevelDraw& d;
    CmdNode* node;
    const Scales& scales;
    const SavedMap& maskMap;  // the mask surface's band mapping at the job resolution
    CommandArea areas[BAND_MAX_RESOLUTIONS];
    bool second;
};

// Draws the command's shape at resolution r into the mask surface, its mapping scaled from the
// job's: extents by the ratio, the origin so that the area starts at the surface's origin (at
// its word phase on an upright page).
Mask MaskDraw(const CommandDraw& c, uint32_t r)
{
    BandLayout* layout = c.d.layout;
    BandSurface* surface = layout->maskSurface;
    const CommandArea& a = c.areas[r];
    const Resolution& to = c.scales.list[r];
    const Resolution& job = c.scales.job;
    const RECT& b = layout->bandRect;
    const uint32_t phase = Oriented(layout) ? 0 : a.phase;
    SavedMap m = c.maskMap;
    m.viewportExtent = SIZE{LONG(int64_t{c.maskMap.viewportExtent.cx} * to.x / job.x),
                            LONG(int64_t{c.maskMap.viewportExtent.cy} * to.y / job.y)};
    const RECT& local = c.areas[0].local;
    m.viewportOrigin.x = ScaleDown(int64_t{c.maskMap.viewportOrigin.x} + b.left, to.x, job.x) -
                         ScaleDown(int64_t{local.left} + b.left, to.x, job.x) + LONG(phase);
    m.viewportOrigin.y = ScaleDown(int64_t{c.maskMap.viewportOrigin.y} + b.top, to.y, job.y) -
                         ScaleDown(int64_t{local.top} + b.top, to.y, job.y);
    MapRestore(surface->drawDC, m);

    Mask mask;
    if (a.width == 0 || a.height == 0) return mask;
    const RECT area{LONG(phase), 0, LONG(phase + a.width), LONG(a.height)};
    FormLevel* level = c.d.level;
    mask.shape = CmdRow(c.node).renderBand(c.node, level->list->owner, surface, &level->band, &area, &area, 0);
    const bool pattern = c.second && c.d.context->maskKind == MASK_KIND_PATTERN;
    if (pattern && mask.shape == CMD_BAND_NO_MASK) {
        BandSurfaceClear(surface, SIZE{LONG(phase + a.width), LONG(a.height)});
        BandMaskRectsSet(surface, 1, &area);
        mask.shape = CMD_BAND_MASKED;
    }
    if (mask.shape != CMD_BAND_MASKED) return mask;
    mask.bits = MaskBits(layout, a, &mask.stride);
    if (pattern && c.d.context->maskPattern != nullptr) {
        const uint32_t rows = layout->orientation >= 2 ? a.width : a.height;
        const uint32_t cols = (layout->orientation >= 2 ? a.height : a.width) + a.phase;
        BandMaskPatternAnd(const_cast<uint8_t*>(mask.bits), int32_t(mask.stride), SIZE{LONG(cols), LONG(rows)},
                           c.d.context->maskPattern, POINT{a.device.left & ~31, a.device.top});
    }
    return mask;
}

bool NothingToPaint(const ImxPlane& plane)
{
    return plane.data == nullptr && (plane.flags & (IMX_PLANE_SOLID | IMX_PLANE_BLANK | IMX_PLANE_FULL)) == 0;
}

// Which planes of the texture are painted while the walk is at resolution r.
bool PaintedAt(const BandLayout* layout, const ImxPlane& plane, uint32_t i, uint32_t r)
{
    if (NothingToPaint(plane)) return false;
    if (plane.flags & PLANE_SAME_EVERY_RESOLUTION) return r == 0;
    return r == layout->planeResolutionIndex[i];
}

// The plane's rectangle, its right and bottom held within the plane (scaled edges may pass it by
// one pixel at ratios that are not whole).
bool PlaneRect(const BandLayout* layout, uint32_t i, const CommandArea& a, RECT* rect)
{
    const ImxPlane& plane = layout->band.planes[i];
    *rect = a.plane;
    rect->right = std::min<LONG>(rect->right, LONG(std::min<uint32_t>(plane.width, INT32_MAX)));
    rect->bottom = std::min<LONG>(rect->bottom, LONG(std::min<uint32_t>(plane.height, INT32_MAX)));
    return rect->left >= 0 && rect->top >= 0 && rect->left < rect->right && rect->top < rect->bottom;
}

void PlanesPaint(CommandDraw& c, TextureCacheEntry* texture)
{
    BandLayout* layout = c.d.layout;
    const uint32_t planes = std::min(layout->band.planeCount, IMX_MAX_PLANES);
    for (uint32_t r = 0; r < c.scales.count; ++r) {
        bool wanted = false;
        for (uint32_t i = 0; i < planes; ++i) wanted = wanted || PaintedAt(layout, texture->texture.planes[i], i, r);
        if (!wanted) continue;
        const Mask mask = MaskDraw(c, r);
        if (mask.shape == CMD_BAND_NOTHING) continue;
        for (uint32_t i = 0; i < planes; ++i) {
            if (!PaintedAt(layout, texture->texture.planes[i], i, r)) continue;
            const uint32_t own = std::min(layout->planeResolutionIndex[i], c.scales.count - 1);
            RECT rect{};
            if (!PlaneRect(layout, i, c.areas[own], &rect)) continue;
            if (mask.shape != CMD_BAND_MASKED) {
                BandPlaneTextureFill(texture, layout, i, &rect);
                continue;
            }
            if (own == r) {
                BandPlaneTextureFillMasked(mask.bits, int32_t(mask.stride), texture, layout, i, &rect);
                continue;
            }
            // A plane the same at every resolution: the job-resolution mask at the plane's.
            BandSurface* to = layout->resolutionMaskSurface;
            if (to == nullptr) continue;
            const uint32_t stride = MaskResolutionBring(to->bits, to->bytes, mask.bits, mask.stride, c.areas[r].plane,
                                                        c.areas[own].plane, c.scales.list[own].doubled);
            if (stride != 0) BandPlaneTextureFillMasked(to->bits, int32_t(stride), texture, layout, i, &rect);
        }
    }
}

void CommandPaint(const LevelDraw& d, CmdNode* node, const Scales& scales)
{
    BandLayout* layout = d.layout;
    BandSurface* mask = layout->maskSurface;
    BandSurface* colour = layout->colorSurface;
    FormLevel* level = d.level;
    RECT local{};
    if (!CommandLocal(d, node, &local)) return;
    const SavedMap maskMap = MapSave(mask->drawDC);
    CommandDraw c{d, node, scales, maskMap, {}, (level->flags & FORM_LEVEL_SECOND) != 0};
    c.areas[0] = AreaMake(layout, local);
    for (uint32_t r = 1; r < scales.count; ++r) c.areas[r] = AreaAt(layout, c.areas[0], scales.list[r], scales);

    // The colour surfaces start at the area at the job resolution, as for one resolution.
    BandSurface* moved[3] = {colour, c.second ? layout->secondMaskSurface : nullptr,
                             c.second ? layout->secondColorSurface : nullptr};
    SavedMap saved[3];
    for (int i = 0; i < 3; ++i) {
        if (moved[i] == nullptr) continue;
        saved[i] = MapSave(moved[i]->drawDC);
        OffsetViewportOrgEx(moved[i]->drawDC, -local.left, -local.top, nullptr);
    }
    int colourClass = -1;
    uint32_t solid = 0;
    uint8_t hint = 0;
    if (c.second && d.context->maskKind != MASK_KIND_PATTERN) {
        colourClass = CMD_COLOR_LEVEL_IMAGE;
        hint = static_cast<uint8_t>(FormLevelsClassBitsGet(level, 1));
    } else {
        colourClass = CmdSlotColorClass(node, &solid, &hint, 0);
    }
    if ((d.context->options & 0x40) && (level->flags & FORM_LEVEL_OPTION_40)) hint |= 0x40;
    TextureCacheEntry* texture = CommandTexture(d, node, c.areas[0], colourClass, solid, hint);
    if (texture != nullptr) {
        PlanesPaint(c, texture);
        if (colourClass != CMD_COLOR_SOLID) TextureCacheRelease(d.cache, texture);
    }
    MapRestore(mask->drawDC, maskMap);
    for (int i = 0; i < 3; ++i)
        if (moved[i] != nullptr) MapRestore(moved[i]->drawDC, saved[i]);
}

}  // namespace

int BandRenderMulti(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                    TextureCache* cache)
{
    const Scales scales = ScalesMake(layout);
    if (scales.count == 0 || scales.job.x <= 0 || scales.job.y <= 0)
        return BandRenderSingle(levels, count, layout, context, cache);
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel* level = &levels[i];
        if (!LevelMeetsBand(level, layout)) continue;
        const LevelDraw d{levels, count, level, layout, context, cache};
        LevelMappings(level, layout, [&](const DcMap& map) {
            BandSurfacesMapSet(layout, &map, level->flags & FORM_LEVEL_SECOND);
            for (uint32_t k = 0; k < level->pendingCount; ++k) CommandPaint(d, level->pending[k], scales);
        });
    }
    return 1;
}
