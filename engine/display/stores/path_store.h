// The path store: paths defined by type-36 records, looked up by id, replayed as GDI paths, and
// realised as device point lists (curves flattened) under the job's memory budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/resource_object.h"
#include "engine/display/stores/resource_table.h"
#include "platform/types.h"

struct Stream;
struct BandSurface;
struct RGNDATA;

// Subpath flags of the record.
inline constexpr uint32_t PATH_FIGURE_START = 1;
inline constexpr uint32_t PATH_FIGURE_END = 2;
inline constexpr uint32_t PATH_BEZIER = 4;
inline constexpr uint32_t PATH_CLOSE = 8;

// Path flags beside the shared ones (RESOURCE_REALISED: the point list exists).
inline constexpr uint32_t PATH_HAS_BEZIER = 0x10000;
inline constexpr uint32_t PATH_MONOTONE = 0x20000;  // at most two edges meet any row

inline constexpr uint32_t PATH_RECORD_HEAD = 32;

struct PathFigure {
    uint32_t first;  // index of its first point
    uint32_t count;
};
static_assert(sizeof(PathFigure) == 8);

// A path realised in device pixels: its figures (each of 2 points or more) and their points.
// It is charged (capacity + figures) x 8 + 24 bytes.
struct PathPoints {
    RECT bounds;  // the path's bounds in device pixels when it was realised
    uint32_t pointCount;
    uint32_t capacity;
    uint32_t figureCount;
    PathFigure* figures;
    POINT* points;
};

struct PathEntry {
    ResourceObject head;
    PathEntry* bucketNext;
    PathEntry* realisedPrev;  // the store's realised list, oldest first
    PathEntry* realisedNext;
    RECT bounds;  // logical units, from the record
    uint32_t pointCount;  // of every subpath
    uint32_t figureCount;  // subpaths flagged as figure starts
    uint32_t subpathCount;
    uint32_t dataSize;  // bytes of subpath data: (subpaths + points) x 8
    PathPoints* realised;  // null when not realised
    uint8_t* data;  // the subpaths as in the record: flags, count, then (x, y) pairs
};

struct PathStore {
    uint32_t count;
    ResourceList<PathEntry, &PathEntry::realisedPrev, &PathEntry::realisedNext> realised;  // oldest first
    ResourceTable<PathEntry> table;
};

// One subpath of a path's data, read through the byte-order helpers.
struct PathSubpath {
    uint32_t flags;
    uint32_t count;
    const uint8_t* points;  // count x (i32 x, i32 y), little-endian
};
// Walks the subpaths: fills `out` and advances *offset; false after the last one.
bool PathSubpathNext(const PathEntry* path, uint32_t* offset, PathSubpath* out);
POINT PathSubpathPoint(const PathSubpath& subpath, uint32_t index);

void PathStoreInit(PathStore* store);
void PathStoreDestroy(PathStore* store, ResourceCost* tally);
// Pass 1 frees the point lists of unmarked paths, oldest first, while the request's memory is above 0.
void PathStoreTrim(PathStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Reads a type-36 record at the stream. 1 or 0; 0 leaves the store as it was.
int PathDefine(PathStore* store, Stream* stream);
// The newest path with the id, its reference count raised; null when there is none.
PathEntry* PathLookup(PathStore* store, ResourceId id);
// Drops a reference; at 0 the point list goes (credited to the tally), and with remove the path too.
void PathRelease(PathStore* store, PathEntry* path, int remove, ResourceCost* tally);
bool PathEqual(const PathEntry* a, const PathEntry* b);

// ResourcePrepareWith callbacks (owner: the PathStore, object: the PathEntry).
int PathCostEstimate(void* store, void* path, void* argument, BandSurface* surface, ResourceCost* request);
int PathRealize(void* store, void* path, void* argument, BandSurface* surface, ResourceCost* tally);
// ResourcePrepare callback: makes the path the surface's drawing DC's current path.
int PathSelect(void* store, void* path, BandSurface* surface, ResourceCost* tally);
void PathToGdiPath(const PathEntry* path, HDC dc);
// The path as region data under the fill mode (1 alternate, 2 winding), in logical units; the
// caller frees it with RenderFree. Null on any failure.
RGNDATA* PathRegionDataGet(const PathEntry* path, int fillMode);

// Flattens one cubic Bezier segment, calling piece(from, to, context) for each straight piece
// in curve order; a 0 from the callback stops it and is returned.
typedef int (*PathPieceFn)(const double* from, const double* to, void* context);
int PathFlatten(const POINT* controls, PathPieceFn piece, void* context);

// Store internals shared by the reader and the realisation.
void PathPointsFree(PathPoints* points);
int32_t PathPointsCost(const PathPoints* points);
// Frees the point list, clears the realised and monotone flags, leaves the realised list; the bytes freed.
int32_t PathUnrealise(PathStore* store, PathEntry* path);

struct Pen;
// Strokes every subpath with the pen's dashes through StyledPolyline, one straight piece at a
// time, one dash state carried through the whole path.
void PathStrokeStyled(const PathEntry* path, BandSurface* surface, const Pen* pen, const RECT* clip);
