// Paths are kept as their records' subpath data and realised once per page and device size: the
// flattened point list is only translated when a band moves the path.
#include "engine/display/stores/path_store.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"

// ---- Subpath data ----

bool PathSubpathNext(const PathEntry* path, uint32_t* offset, PathSubpath* out)
{
    // The data was checked when it was read: every subpath's points lie inside it.
    if (*offset + 8 > path->dataSize) return false;
    const uint8_t* p = path->data + *offset;
    out->flags = LoadLE32(p);
    out->count = LoadLE32(p + 4);
    out->points = p + 8;
    *offset += 8 + out->count * 8;
    return true;
}

POINT PathSubpathPoint(const PathSubpath& subpath, uint32_t index)
{
    const uint8_t* p = subpath.points + static_cast<size_t>(index) * 8;
    return POINT{static_cast<LONG>(LoadLE32(p)), static_cast<LONG>(LoadLE32(p + 4))};
}

// ---- The store ----

void PathStoreInit(PathStore* store) { *store = PathStore{}; }

int32_t PathPointsCost(const PathPoints* points)
{
    return static_cast<int32_t>((int64_t{points->capacity} + points->figureCount) * 8 + 24);
}

void PathPointsFree(PathPoints* points)
{
    if (points == nullptr) return;
    RenderFree(points->points);
    RenderFree(points->figures);
    RenderFree(points);
}

// Takes the point list away: its memory is credited, the flags cleared and the path leaves the
// realised list. Returns the bytes freed.
int32_t PathUnrealise(PathStore* store, PathEntry* path)
{
    if (path->realised == nullptr) return 0;
    int32_t bytes = PathPointsCost(path->realised);
    PathPointsFree(path->realised);
    path->realised = nullptr;
    path->head.flags &= ~(RESOURCE_REALISED | PATH_MONOTONE);
    store->realised.Unlink(path);
    return bytes;
}

static void PathFree(PathEntry* path)
{
    PathPointsFree(path->realised);
    RenderFree(path->data);
    RenderFree(path);
}

void PathStoreDestroy(PathStore* store, ResourceCost* tally)
{
    ResourceTableEmpty(&store->table, [tally](PathEntry* entry) {
        if (entry->realised != nullptr && tally != nullptr) tally->memory -= PathPointsCost(entry->realised);
        PathFree(entry);
    });
    *store = PathStore{};
}

void PathStoreTrim(PathStore* store, BandSurface*, uint32_t pass, ResourceCost* request)
{
    if (pass != 1) return;
    for (PathEntry* path = store->realised.first; path != nullptr && request->memory > 0;) {
        PathEntry* next = path->realisedNext;
        if (!ResourceMarked(&path->head)) request->memory -= PathUnrealise(store, path);
        path = next;
    }
}

namespace {

// The record's body in a buffer that grows only as bytes arrive: a size that claims more than the
// stream holds fails at the stream's end, having taken at most twice what was read.
uint8_t* BodyRead(Stream* stream, uint32_t size)
{
    constexpr uint32_t kFirst = 0x10000;
    uint32_t capacity = std::clamp<uint32_t>(size, 1, kFirst);
    auto* data = static_cast<uint8_t*>(RenderAlloc(capacity));
    for (uint32_t got = 0; data != nullptr && got < size;) {
        if (got == capacity) {
            capacity = static_cast<uint32_t>(std::min<uint64_t>(size, uint64_t{capacity} * 2));
            auto* grown = static_cast<uint8_t*>(RenderRealloc(data, capacity));
            if (grown == nullptr) break;
            data = grown;
        }
        const uint32_t step = capacity - got;
        if (StreamRead(stream, data + got, step) != static_cast<int32_t>(step)) break;
        got += step;
        if (got == size) return data;
    }
    if (size == 0) return data;
    RenderFree(data);
    return nullptr;
}

}  // namespace

int PathDefine(PathStore* store, Stream* stream)
{
    uint8_t head[PATH_RECORD_HEAD];
    if (StreamRead(stream, head, sizeof head) != static_cast<int32_t>(sizeof head)) return 0;
    uint32_t size = LoadLE32(head + 4);
    // A body that cannot be read in one call cannot be a real path; refuse it rather than wrap.
    if (size < PATH_RECORD_HEAD || size - PATH_RECORD_HEAD > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        return 0;
    uint32_t bodySize = size - PATH_RECORD_HEAD;

    auto* path = static_cast<PathEntry*>(RenderAlloc(sizeof(PathEntry)));
    if (path == nullptr) return 0;
    *path = PathEntry{};
    path->data = BodyRead(stream, bodySize);
    if (path->data == nullptr) {
        PathFree(path);
        return 0;
    }
    path->head.id = LoadLE32(head + 8);
    path->bounds = RECT{static_cast<LONG>(LoadLE32(head + 12)), static_cast<LONG>(LoadLE32(head + 16)),
                        static_cast<LONG>(LoadLE32(head + 20)), static_cast<LONG>(LoadLE32(head + 24))};
    path->subpathCount = LoadLE32(head + 28);

    // Every subpath must lie inside the record: a count that runs past it fails the page.
    uint64_t offset = 0, points = 0;
    for (uint32_t i = 0; i < path->subpathCount; ++i) {
        if (offset + 8 > bodySize) {
            PathFree(path);
            return 0;
        }
        uint32_t flags = LoadLE32(path->data + offset);
        uint64_t count = LoadLE32(path->data + offset + 4);
        if (offset + 8 + count * 8 > bodySize || points + count > std::numeric_limits<uint32_t>::max() / 8) {
            PathFree(path);
            return 0;
        }
        if (flags & PATH_FIGURE_START) ++path->figureCount;
        if (flags & PATH_BEZIER) path->head.flags |= PATH_HAS_BEZIER;
        offset += 8 + count * 8;
        points += count;
    }
    path->pointCount = static_cast<uint32_t>(points);
    path->dataSize = static_cast<uint32_t>(offset);

    ResourceTableInsert(&store->table, path);
    ++store->count;
    return 1;
}

PathEntry* PathLookup(PathStore* store, ResourceId id)
{
    PathEntry* found = ResourceTableLookup(&store->table, id);
    if (found == nullptr && id != RESOURCE_ID_NONE) SpoolRecordMissingResource("path", id);
    return found;
}

void PathRelease(PathStore* store, PathEntry* path, int remove, ResourceCost* tally)
{
    if (path == nullptr || ResourceRefDrop(&path->head) != 0) return;
    int32_t bytes = PathUnrealise(store, path);
    if (tally != nullptr) tally->memory -= bytes;
    if (!remove) return;
    if (ResourceTableRemove(&store->table, path)) {
        if (store->count > 0) --store->count;
        PathFree(path);
    }
}

bool PathEqual(const PathEntry* a, const PathEntry* b)
{
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    return std::memcmp(&a->bounds, &b->bounds, sizeof(RECT)) == 0 && a->subpathCount == b->subpathCount &&
           a->pointCount == b->pointCount && a->dataSize == b->dataSize &&
           std::memcmp(a->data, b->data, a->dataSize) == 0;
}

// ---- GDI replay ----

void PathToGdiPath(const PathEntry* path, HDC dc)
{
    BeginPath(dc);
    uint32_t offset = 0;
    PathSubpath sub;
    std::vector<POINT> points;
    while (PathSubpathNext(path, &offset, &sub)) {
        uint32_t first = 0;
        if (sub.count > 0 && (sub.flags & PATH_FIGURE_START)) {
            POINT p = PathSubpathPoint(sub, 0);
            MoveToEx(dc, p.x, p.y, nullptr);
            first = 1;
        } else if (sub.count > 0 && (sub.flags & PATH_BEZIER) && (sub.count - 1) % 3 == 0) {
            POINT p = PathSubpathPoint(sub, 0);
            LineTo(dc, p.x, p.y);
            first = 1;
        }
        points.clear();
        for (uint32_t i = first; i < sub.count; ++i) points.push_back(PathSubpathPoint(sub, i));
        if (!points.empty()) {
            if (sub.flags & PATH_BEZIER) PolyBezierTo(dc, points.data(), static_cast<DWORD>(points.size()));
            else PolylineTo(dc, points.data(), static_cast<DWORD>(points.size()));
        }
        if (sub.flags & PATH_CLOSE) CloseFigure(dc);
    }
    EndPath(dc);
}

int PathSelect(void*, void* object, BandSurface* surface, ResourceCost*)
{
    PathToGdiPath(static_cast<const PathEntry*>(object), surface->drawDC);
    return 1;
}

RGNDATA* PathRegionDataGet(const PathEntry* path, int fillMode)
{
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return nullptr;
    RGNDATA* data = nullptr;
    SetPolyFillMode(dc, fillMode);
    PathToGdiPath(path, dc);
    if (HRGN region = PathToRegion(dc); region != nullptr) {
        DWORD size = GetRegionData(region, 0, nullptr);
        if (size > 0) {
            data = static_cast<RGNDATA*>(RenderAlloc(size));
            if (data != nullptr && GetRegionData(region, size, data) == 0) {
                RenderFree(data);
                data = nullptr;
            }
        }
        DeleteObject(region);
    }
    DeleteDC(dc);
    return data;
}
