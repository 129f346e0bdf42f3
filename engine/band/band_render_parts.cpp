// Pieces the band renderers share.
#include "engine/band/band_render_parts.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/band/band_render.h"
#include "engine/band/band_walk.h"
#include "engine/common/output_module.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_text.h"
#include "engine/raster/bitmap_rotate.h"
#include "engine/raster/texture_cache.h"
#include "platform/gdi.h"

namespace band_parts {

namespace {

std::atomic<uint64_t> drawnCount{0};

RECT Normalised(POINT a, POINT b)
{
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

// Shifts each row of a 1-bit image right by phase bits, restriding it. The new stride may be
// smaller than the old (a mirrored or half-turned mask keeps the band's stride) or larger, so rows
// are walked away from the side they grow into, each read whole before it is written.
void MaskPhaseShift(uint8_t* bits, uint32_t stride, uint32_t newStride, uint32_t rows, uint32_t phase)
{
    std::vector<uint8_t> row(stride);
    const bool down = newStride > stride;
    for (uint32_t n = 0; n < rows; ++n) {
        const uint32_t y = down ? rows - 1 - n : n;
        std::memcpy(row.data(), bits + size_t(y) * stride, stride);
        uint8_t* to = bits + size_t(y) * newStride;
        for (uint32_t i = 0; i < newStride; ++i) {
            const int64_t bit = int64_t(i) * 8 - phase;  // first source bit of destination byte i
            uint32_t value = 0;
            for (int k = 0; k < 8; ++k) {
                const int64_t b = bit + k;
                const bool set = b >= 0 && b < int64_t(stride) * 8 && ((row[b / 8] >> (7 - b % 8)) & 1);
                value = (value << 1) | (set ? 1u : 0u);
            }
            to[i] = static_cast<uint8_t>(value);
        }
    }
}

}  // namespace

void DrawnCountRaise() { ++drawnCount; }

uint64_t DrawnCount() { return drawnCount.load(); }

bool Oriented(const BandLayout* layout) { return layout->orientation != 0 || layout->mirror != 0; }

RECT ToDevice(HDC dc, const RECT& logical)
{
    POINT corners[2] = {{logical.left, logical.top}, {logical.right, logical.bottom}};
    LPtoDP(dc, corners, 2);
    return Normalised(corners[0], corners[1]);
}

bool Intersect(RECT* into, const RECT& other)
{
    into->left = std::max(into->left, other.left);
    into->top = std::max(into->top, other.top);
    into->right = std::min(into->right, other.right);
    into->bottom = std::min(into->bottom, other.bottom);
    return into->left < into->right && into->top < into->bottom;
}

SavedMap MapSave(HDC dc)
{
    SavedMap m{};
    GetWindowOrgEx(dc, &m.windowOrigin);
    GetWindowExtEx(dc, &m.windowExtent);
    GetViewportOrgEx(dc, &m.viewportOrigin);
    GetViewportExtEx(dc, &m.viewportExtent);
    return m;
}

void MapRestore(HDC dc, const SavedMap& m)
{
    SetWindowExtEx(dc, m.windowExtent.cx, m.windowExtent.cy, nullptr);
    SetWindowOrgEx(dc, m.windowOrigin.x, m.windowOrigin.y, nullptr);
    SetViewportExtEx(dc, m.viewportExtent.cx, m.viewportExtent.cy, nullptr);
    SetViewportOrgEx(dc, m.viewportOrigin.x, m.viewportOrigin.y, nullptr);
}

CommandArea AreaMake(const BandLayout* layout, const RECT& local)
{
    CommandArea a{};
    a.local = local;
    const RECT& b = layout->bandRect;
    const RECT page{local.left + b.left, local.top + b.top, local.right + b.left, local.bottom + b.top};
    RectOrient(layout->orientation, layout->mirror, layout->pageSize, &page, &a.device);
    a.plane = RECT{a.device.left - layout->band.x, a.device.top - layout->band.y, a.device.right - layout->band.x,
                   a.device.bottom - layout->band.y};
    a.phase = static_cast<uint32_t>(a.plane.left) & 31;
    a.width = static_cast<uint32_t>(local.right - local.left);
    a.height = static_cast<uint32_t>(local.bottom - local.top);
    return a;
}

const uint8_t* MaskBits(BandLayout* layout, const CommandArea& a, uint32_t* stride)
{
    BandSurface* mask = layout->maskSurface;
    if (!Oriented(layout)) {
        // The shape was drawn whole: what it marked in its first and last words beside the area
        // (the phase bits before it, the bits after it) lies outside the command's area, which may
        // be cut to its level's rectangle, and is cleared.
        const uint32_t end = a.phase + a.width;
        const uint32_t bytes = std::min((end + 31) / 32 * 4, mask->stride);
        for (uint32_t y = 0; y < a.height; ++y) {
            uint8_t* row = mask->bits + size_t(y) * mask->stride;
            for (uint32_t i = 0; i < a.phase / 8; ++i) row[i] = 0;
            if (a.phase % 8 != 0) row[a.phase / 8] &= static_cast<uint8_t>(0xFF >> (a.phase % 8));
            if (end % 8 != 0 && end / 8 < bytes) row[end / 8] &= static_cast<uint8_t>(0xFF << (8 - end % 8));
            for (uint32_t i = (end + 7) / 8; i < bytes; ++i) row[i] = 0;
        }
        *stride = mask->stride;
        return mask->bits;
    }
    uint32_t size[2] = {a.width, a.height};
    const uint32_t turned = BitmapRotate(1, layout->orientation, static_cast<int32_t>(layout->mirror), mask->bits,
                                         mask->stride, size, layout->maskOut);
    const uint32_t widened = (size[0] + a.phase + 31) / 32 * 4;
    MaskPhaseShift(layout->maskOut, turned, widened, size[1], a.phase);
    *stride = widened;
    return layout->maskOut;
}

bool CommandLocal(const LevelDraw& d, CmdNode* node, RECT* local)
{
    const BandLayout* layout = d.layout;
    HDC maskDC = layout->maskSurface->drawDC;
    DrawnCountRaise();
    const RECT bandLocal{0, 0, layout->bandRect.right - layout->bandRect.left,
                         layout->bandRect.bottom - layout->bandRect.top};
    *local = ToDevice(maskDC, node->bounds);
    if (!Intersect(local, bandLocal)) return false;
    // A level draws inside its rectangle only (a page inside its cell), whatever its commands ask:
    // cut here, the band's height decides nothing about what lands outside it.
    const RECT& r = d.level->rect;
    if (!(d.level->flags & FORM_LEVEL_TILED) || (r.left < r.right && r.top < r.bottom)) {
        const RECT& b = layout->bandRect;
        const auto shifted = [](LONG v, LONG by) {
            return LONG(std::clamp<int64_t>(int64_t{v} - by, INT32_MIN, INT32_MAX));
        };
        if (!Intersect(local, RECT{shifted(r.left, b.left), shifted(r.top, b.top), shifted(r.right, b.left),
                                   shifted(r.bottom, b.top)}))
            return false;
    }
    if (CmdSlotFilled(node->op, CmdSlotClipTest)) {
        RECT visible{};
        if (!CmdSlotClip(node, &d.level->band, &visible)) return false;
        // The visible part's logical bounds map to device pixels rounded either way, and a scaled
        // command's pixels stray up to a pixel and a half from its exact shape: two pixels more
        // on each side keep its pixels on the band's seams (the band still bounds the area).
        // In 64 bits: a reach past the 32-bit range fails the command rather than wrapping.
        const RECT device = ToDevice(maskDC, visible);
        const int64_t wide[4] = {int64_t{device.left} - 2, int64_t{device.top} - 2, int64_t{device.right} + 2,
                                 int64_t{device.bottom} + 2};
        for (int64_t v : wide)
            if (v < INT32_MIN || v > INT32_MAX) return false;
        const RECT reach{static_cast<LONG>(wide[0]), static_cast<LONG>(wide[1]), static_cast<LONG>(wide[2]),
                         static_cast<LONG>(wide[3])};
        if (!Intersect(local, reach)) return false;
    }
    // A text's bounds are often the whole page: it is masked and painted only around its lines.
    if (node->op == CmdOpText && !TextInkArea(node, maskDC, &d.level->band, local)) return false;
    return true;
}

TextureCacheEntry* ColourImageTexture(BandLayout* layout, OutputModuleContext* context, TextureCache* cache,
                                      const CommandArea& a, uint8_t hint)
{
    BandSurface* colour = layout->colorSurface;
    const uint8_t* bits = colour->bits;
    uint32_t stride = colour->stride;
    uint32_t size[2] = {a.width, a.height};
    if (Oriented(layout)) {
        stride = BitmapRotate(24, layout->orientation, static_cast<int32_t>(layout->mirror), bits, stride, size,
                              layout->colorOut);
        bits = layout->colorOut;
    }
    uint8_t* converted = nullptr;
    uint32_t convertedStride = 0;
    if (!ImageConvert(context, &layout->planeConfig, hint, 1, bits, stride, size, layout->conversionOut, &converted,
                      &convertedStride))
        return nullptr;
    const int32_t origin[2] = {a.device.left, a.device.top};
    return TextureCacheImageAdd(cache, context, &layout->planeConfig, hint, converted, convertedStride, origin, size);
}

static TextureCacheEntry* SolidTexture(BandLayout* layout, OutputModuleContext* context, TextureCache* cache,
                                       uint32_t colour, uint8_t hint)
{
    TextureCacheEntry* entry = TextureCacheLookup(cache, layout->band.formatId, hint, colour);
    if (entry != nullptr) return entry;
    TextureColorRequest request{};
    request.flag = hint;
    if (!ColorConvert(context, layout->band.formatId, &request.flag, colour, &request.color)) return nullptr;
    return TextureCacheColorAdd(cache, context, &layout->planeConfig, colour, &request);
}

TextureCacheEntry* CommandTexture(const LevelDraw& d, CmdNode* node, const CommandArea& a, int colourClass,
                                  uint32_t solid, uint8_t hint)
{
    BandLayout* layout = d.layout;
    BandSurface* colour = layout->colorSurface;
    ResourceStore* store = d.level->list->owner;
    TextureCacheEntry* texture = nullptr;
    switch (colourClass) {
        case CMD_COLOR_SOLID: texture = SolidTexture(layout, d.context, d.cache, solid, hint); break;
        case CMD_COLOR_DIRECT: {
            // The command's pixels in the output format at once; a command that cannot (its copy
            // cannot be converted, its source is not inside its bitmap) is drawn and converted.
            const int32_t origin[2] = {a.device.left, a.device.top};
            const RECT area{0, 0, LONG(a.width), LONG(a.height)};
            uint8_t flag = hint;
            texture = CmdSlotRenderDirect(layout, d.context, d.cache, node, store, colour, &area, origin, &flag);
            if (texture != nullptr) break;
            [[fallthrough]];
        }
        case CMD_COLOR_DRAW_RESTORE: {
            POINT corners[2] = {{0, 0}, {LONG(a.width), LONG(a.height)}};
            DPtoLP(colour->drawDC, corners, 2);
            RECT logical = Normalised(corners[0], corners[1]);
            // On an enlarged side the area's corners round to whole logical units, and a device row
            // or column at its edge may lie outside them: it would keep what an earlier command
            // left in the surface. The logical area grows until it covers every pixel of the area.
            for (int grow = 0; grow < 4; ++grow) {
                const RECT covered = ToDevice(colour->drawDC, logical);
                const bool left = covered.left > 0, top = covered.top > 0;
                const bool right = covered.right < LONG(a.width), bottom = covered.bottom < LONG(a.height);
                if (!left && !top && !right && !bottom) break;
                logical = RECT{logical.left - (left ? 1 : 0), logical.top - (top ? 1 : 0),
                               logical.right + (right ? 1 : 0), logical.bottom + (bottom ? 1 : 0)};
            }
            const SIZE extent{LONG(a.width), LONG(a.height)};
            if (CmdRow(node).drawRestore(node, store, colour, &logical, &extent))
                texture = ColourImageTexture(layout, d.context, d.cache, a, hint);
            break;
        }
        case CMD_COLOR_LEVEL_IMAGE:
            texture = FormLevelImageRender(layout, d.context, d.cache, d.levels, d.count, &a.local, hint);
            break;
        default: break;
    }
    return texture;
}

}  // namespace band_parts
