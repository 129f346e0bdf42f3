// Form levels: per-band collection of the commands that meet a band, culling of those the band
// walk has passed, and the levels' mappings into device pixels.
#include "engine/display/form_level.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/common/geometry.h"
#include "engine/common/render_heap.h"
#include "engine/display/cmd_ops.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

LONG Nearest(double v)
{
    return static_cast<LONG>(
        std::clamp(std::nearbyint(v), static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

bool MapUsable(const DcMap* map)
{
    return map->windowExtent.cx != 0 && map->windowExtent.cy != 0 && map->viewportExtent.cx != 0 &&
           map->viewportExtent.cy != 0;
}

bool Meets(const RECT& a, const RECT& b)
{
    return a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;
}

void Unite(RECT* into, const RECT& r)
{
    if (into->left >= into->right || into->top >= into->bottom) {
        *into = r;
        return;
    }
    into->left = std::min(into->left, r.left);
    into->top = std::min(into->top, r.top);
    into->right = std::max(into->right, r.right);
    into->bottom = std::max(into->bottom, r.bottom);
}

bool PendingAppend(FormLevel* level, CmdNode* node)
{
    if (level->pendingCount == level->pendingCapacity) {
        const uint64_t grown = static_cast<uint64_t>(level->pendingCapacity) + FORM_LEVEL_PENDING_GROWTH;
        if (grown > 0x7fffffffu) return false;
        auto* array = static_cast<CmdNode**>(RenderRealloc(level->pending, grown * sizeof(CmdNode*)));
        if (array == nullptr) return false;
        level->pending = array;
        level->pendingCapacity = static_cast<uint32_t>(grown);
    }
    level->pending[level->pendingCount++] = node;
    level->pendingFlags |= node->flags & CMD_FLAG_COLOR_MASK;
    Unite(&level->pendingBounds, node->bounds);
    return true;
}

void PendingClear(FormLevel* level)
{
    level->pendingCount = 0;
    level->pendingFlags = 0;
    level->pendingBounds = RECT{};
}

void MappingApply(FormLevel* level) { DcMappingSet(&level->mapping.map, &level->mapping); }

}  // namespace

RECT FormLevelRectToLogical(const DcMap* map, const RECT* d)
{
    if (!MapUsable(map)) return *d;
    // Every edge is widened by two device pixels in logical units, and one unit more for the
    // rounding: a scaled command's pixels (a thin line's rounded ends and steps, a path's edge)
    // lie up to a pixel and a half from where its exact logical shape maps, so a band cut closer
    // than that misses the pixel on its seam that the next band leaves to it.
    auto axis = [](LONG from, LONG to, double v0, double w0, double w, double v, LONG* low, LONG* high) {
        const double a = (from - v0) * w / v + w0, b = (to - v0) * w / v + w0;
        const double margin = std::ceil(2.0 * std::fabs(w / v)) + 1.0;
        *low = Nearest(std::floor(std::min(a, b)) - margin);
        *high = Nearest(std::ceil(std::max(a, b)) + margin);
    };
    RECT r{};
    axis(d->left, d->right, map->viewportOrigin.x, map->windowOrigin.x, map->windowExtent.cx, map->viewportExtent.cx,
         &r.left, &r.right);
    axis(d->top, d->bottom, map->viewportOrigin.y, map->windowOrigin.y, map->windowExtent.cy, map->viewportExtent.cy,
         &r.top, &r.bottom);
    return r;
}

RECT FormLevelRectToDevice(const DcMap* map, const RECT* l)
{
    if (!MapUsable(map)) return *l;
    const double wx = map->windowExtent.cx, wy = map->windowExtent.cy;
    const double vx = map->viewportExtent.cx, vy = map->viewportExtent.cy;
    const double wox = map->windowOrigin.x, woy = map->windowOrigin.y;
    const double vox = map->viewportOrigin.x, voy = map->viewportOrigin.y;
    return RECT{Nearest((l->left - wox) * vx / wx + vox), Nearest((l->top - woy) * vy / wy + voy),
                Nearest(Nearest(vx / wx - 1.0) + (l->right - wox) * vx / wx + vox + 0.5),
                Nearest(Nearest(vy / wy - 1.0) + (l->bottom - woy) * vy / wy + voy + 0.5)};
}

int FormLevelInit(FormLevel* level, const DcMap* map, CmdList* list, const RECT* rect, uint32_t flags, uint8_t byte,
                  const SIZE* tileStep)
{
    std::memset(level, 0, sizeof *level);
    const bool tiled = (flags & FORM_LEVEL_TILED) != 0;
    // A tile step of 0 would never leave the first tile.
    if (tiled && (tileStep == nullptr || tileStep->cx <= 0 || tileStep->cy <= 0)) return 0;
    if (map != nullptr && !MapUsable(map)) return 0;
    level->flags = flags;
    level->byte = byte;
    level->list = list;
    if (rect != nullptr) level->rect = *rect;
    if (tiled) level->tileStep = *tileStep;
    if (!DcCreateMapped(&level->mapping, true, map)) return 0;
    if (tiled && !DcCreateMapped(&level->tileMapping, true, map)) {
        DcDelete(&level->mapping);
        return 0;
    }
    return 1;
}

void FormLevelCopy(FormLevel* destination, const FormLevel* source)
{
    std::memcpy(destination, source, sizeof *source);
}

void FormLevelsRelease(FormLevel* levels, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel& level = levels[i];
        RenderFree(level.pending);
        level.pending = nullptr;
        level.pendingCapacity = 0;
        PendingClear(&level);
        DcDelete(&level.mapping);
        if (level.flags & FORM_LEVEL_TILED) DcDelete(&level.tileMapping);
    }
}

uint32_t FormLevelsCommandCount(const FormLevel* levels, uint32_t count)
{
    uint32_t total = 0;
    for (uint32_t i = 0; i < count; ++i) total += levels[i].list ? levels[i].list->count : 0;
    return total;
}

uint32_t FormLevelsClassBitsGet(const FormLevel* levels, uint32_t count)
{
    uint32_t bits = 0;
    for (uint32_t i = 0; i < count; ++i) bits |= levels[i].list ? levels[i].list->classBits : 0;
    return bits;
}

uint32_t FormLevelsFlagsGet(const FormLevel* levels, uint32_t count)
{
    uint32_t bits = 0;
    for (uint32_t i = 0; i < count; ++i) bits |= levels[i].list ? levels[i].list->nodeFlags : 0;
    return bits;
}

uint32_t FormLevelsFlagsOr(const FormLevel* levels, uint32_t count)
{
    uint32_t bits = 0;
    for (uint32_t i = 0; i < count; ++i) bits |= levels[i].pendingFlags;
    return bits;
}

int FormLevelsAnyFlag4(const FormLevel* levels, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i)
        if (levels[i].flags & FORM_LEVEL_SECOND) return 1;
    return 0;
}

int FormLevelsDeviceBoundsGet(const FormLevel* levels, uint32_t count, RECT* out)
{
    *out = RECT{};
    for (uint32_t i = 0; i < count; ++i) {
        const FormLevel& level = levels[i];
        RECT bounds;
        if (level.flags & FORM_LEVEL_TILED) {
            bounds = level.rect;
        } else {
            if (level.list == nullptr || CmdListEmpty(level.list)) continue;
            const RECT mapped = FormLevelRectToDevice(&level.mapping.map, &level.list->bounds);
            if (!IntersectRect(&bounds, &mapped, &level.rect)) continue;
        }
        if (!IsRectEmpty(&bounds)) Unite(out, bounds);
    }
    return IsRectEmpty(out) ? 0 : 1;
}

void FormLevelsPageBoundsGet(const FormLevel* levels, uint32_t count, RECT* out)
{
    *out = RECT{};
    for (uint32_t i = 0; i < count; ++i) {
        const FormLevel& level = levels[i];
        if (level.pendingCount == 0) continue;
        RECT bounds = level.rect;
        if (!(level.flags & FORM_LEVEL_TILED)) {
            const RECT mapped = FormLevelRectToDevice(&level.mapping.map, &level.pendingBounds);
            if (!IntersectRect(&bounds, &mapped, &level.rect)) continue;
        }
        Unite(out, bounds);
    }
}

int FormLevelsMapToDevice(FormLevel* levels, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel& level = levels[i];
        const DcMap& map = level.mapping.map;
        if (level.list == nullptr) continue;
        if (!(std::abs(map.viewportExtent.cx) < std::abs(map.windowExtent.cx) ||
              std::abs(map.viewportExtent.cy) < std::abs(map.windowExtent.cy)))
            continue;
        CmdMapping mapping{map.windowOrigin, map.windowExtent, map.viewportOrigin, map.viewportExtent,
                           level.mapping.dc};
        for (CmdNode* node = CmdListFirst(level.list); node != CmdListEnd(level.list); node = node->next)
            if (!CmdRow(node).mapToDevice(node, level.list->owner, &mapping) &&
                CmdSlotFilled(node->op, CmdSlotMapToDevice))
                return 0;
    }
    return 1;
}

void FormLevelsViewportOffset(FormLevel* levels, uint32_t count, POINT delta, bool includeFixed)
{
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel& level = levels[i];
        if ((level.flags & FORM_LEVEL_FIXED) && !includeFixed) continue;
        level.mapping.map.viewportOrigin.x += delta.x;
        level.mapping.map.viewportOrigin.y += delta.y;
        MappingApply(&level);
    }
}

void FormLevelsOffset(FormLevel* levels, uint32_t count, POINT delta, bool includeFixed)
{
    FormLevelsViewportOffset(levels, count, delta, includeFixed);
    for (uint32_t i = 0; i < count; ++i)
        if (!(levels[i].flags & FORM_LEVEL_FIXED) || includeFixed) OffsetRect(&levels[i].rect, delta.x, delta.y);
}

void FormLevelsViewportScale(FormLevel* levels, uint32_t count, double sx, double sy)
{
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel& level = levels[i];
        SIZE& ve = level.mapping.map.viewportExtent;
        ve = SIZE{RoundHalfUp(ve.cx * sx), RoundHalfUp(ve.cy * sy)};
        RECT& r = level.rect;
        r = RECT{RoundHalfUp(r.left * sx), RoundHalfUp(r.top * sy), RoundHalfUp(r.right * sx),
                 RoundHalfUp(r.bottom * sy)};
        MappingApply(&level);
    }
}

static void WindowScale(FormLevel* levels, uint32_t count, double fx, double fy, bool freeOnly)
{
    if (fx == 0.0 || fy == 0.0) return;
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel& level = levels[i];
        if (freeOnly && (level.flags & FORM_LEVEL_FIXED)) continue;
        SIZE& we = level.mapping.map.windowExtent;
        we = SIZE{RoundHalfUp(we.cx / fx), RoundHalfUp(we.cy / fy)};
        if (freeOnly) {
            level.rect.right = RoundHalfUp(level.rect.right * fx);
            level.rect.bottom = RoundHalfUp(level.rect.bottom * fy);
        }
        MappingApply(&level);
    }
}

void FormLevelsWindowScale(FormLevel* levels, uint32_t count, double fx, double fy)
{
    WindowScale(levels, count, fx, fy, false);
}

void FormLevelsWindowScaleFree(FormLevel* levels, uint32_t count, double fx, double fy)
{
    WindowScale(levels, count, fx, fy, true);
}

int FormLevelsBandIntersect(FormLevel* levels, uint32_t count, const RECT* band, uint32_t* total)
{
    *total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel& level = levels[i];
        const bool tiled = (level.flags & FORM_LEVEL_TILED) != 0;
        RECT logical;
        if (tiled) {
            logical = FormLevelRectToLogical(&level.mapping.map, band);
        } else {
            RECT part;
            // A level the band misses keeps what it collected for an earlier band.
            if (!IntersectRect(&part, band, &level.rect)) continue;
            logical = FormLevelRectToLogical(&level.mapping.map, &part);
        }
        level.band = tiled ? RECT{} : logical;
        PendingClear(&level);
        if (level.list != nullptr) {
            for (CmdNode* node = CmdListFirst(level.list); node != CmdListEnd(level.list); node = node->next) {
                if (!tiled && !Meets(node->bounds, logical)) continue;
                if (!PendingAppend(&level, node)) return 0;
            }
        }
        *total += level.pendingCount;
    }
    return 1;
}

void FormLevelsCull(FormLevel* levels, uint32_t count, const RECT* area)
{
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel& level = levels[i];
        if (!(level.flags & FORM_LEVEL_CULL) || level.pendingCount == 0) continue;
        CmdList* list = level.list;
        if (list != nullptr && (list->flags & CMD_LIST_PAGE)) {
            const RECT logical = FormLevelRectToLogical(&level.mapping.map, area);
            for (uint32_t n = 0; n < level.pendingCount; ++n) {
                CmdNode* node = level.pending[n];
                const RECT& b = node->bounds;
                if (!(b.left >= logical.right || b.right <= logical.left || b.top >= logical.bottom ||
                      b.bottom <= logical.top))
                    continue;
                CmdNodeUnlink(list, node);
                CmdRow(node).destroy(node, list->owner);
            }
        }
        PendingClear(&level);
    }
}

void FormLevelTileMapping(FormLevel* level, POINT bandOrigin)
{
    DcMap& tile = level->tileMapping.map;
    tile = level->mapping.map;
    const POINT origin{tile.viewportOrigin.x, tile.viewportOrigin.y};
    const int64_t stepsX = (static_cast<int64_t>(bandOrigin.x) - origin.x) / level->tileStep.cx;
    const int64_t stepsY = (static_cast<int64_t>(bandOrigin.y) - origin.y) / level->tileStep.cy;
    tile.viewportOrigin.x = static_cast<LONG>(origin.x + stepsX * level->tileStep.cx);
    tile.viewportOrigin.y = static_cast<LONG>(origin.y + stepsY * level->tileStep.cy);
    DcMappingSet(&tile, &level->tileMapping);
}

int FormLevelTileNext(FormLevel* level, const RECT* band)
{
    DcMap& tile = level->tileMapping.map;
    if (static_cast<int64_t>(tile.viewportOrigin.x) + level->tileStep.cx < band->right) {
        tile.viewportOrigin.x += level->tileStep.cx;
    } else {
        const int64_t origin = level->mapping.map.viewportOrigin.x;
        const int64_t firstColumn = origin + ((band->left - origin) / level->tileStep.cx) * level->tileStep.cx;
        if (static_cast<int64_t>(tile.viewportOrigin.y) + level->tileStep.cy >= band->bottom) return 0;
        tile.viewportOrigin.x = static_cast<LONG>(firstColumn);
        tile.viewportOrigin.y += level->tileStep.cy;
    }
    DcMappingSet(&tile, &level->tileMapping);
    return 1;
}
