// Source objects: what a BitBlt or StretchBlt command paints with (a bitmap source or a brush
// source), with one row of six operations per source kind. A kind's row lives in its own file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

struct CmdNode;
struct ResourceStore;
struct BandSurface;

enum SourceKind : uint32_t {
    SourceKindBitmap = 0,
    SourceKindBrush = 1,
    SourceKindNone = 3,  // CmdOpSourceKind of kinds that make no source
};
inline constexpr uint32_t SOURCE_KIND_COUNT = 2;

// The head of every source object; the rest belongs to the kind.
struct Source {
    uint32_t kind;  // SourceKind
    ResourceStore* owner;
};
static_assert(offsetof(Source, owner) == 8);

typedef void (*SourceRenderFn)(Source* source, ResourceStore* store, BandSurface* surface);
typedef int (*SourceEqualFn)(const Source* a, const Source* b);
typedef Source* (*SourcePrepareFn)(CmdNode* node, ResourceStore* store, uint32_t a, uint32_t b);
typedef void (*SourceReleaseFn)(Source* source, ResourceStore* store, int flag);
typedef Source* (*SourceCloneFn)(const Source* source, ResourceStore* store);
typedef void (*SourceRenderBandFn)(Source* source, ResourceStore* store, BandSurface* surface, const RECT* band,
                                   void* argument, const RECT* clear, int accumulate);

// SourceKindSlots: one row per kind. A null member is an empty slot.
struct SourceKindRow {
    SourceRenderFn render;
    SourceEqualFn equal;
    SourcePrepareFn prepare;
    SourceReleaseFn release;
    SourceCloneFn clone;
    SourceRenderBandFn renderBand;
};
static_assert(sizeof(SourceKindRow) == 6 * sizeof(void*));

// The rows of the two kinds, defined in their kinds' files.
extern const SourceKindRow kSourceRowBitmap;
extern const SourceKindRow kSourceRowBrush;
extern const SourceKindRow* const SourceKindSlots[SOURCE_KIND_COUNT];

void SourceRender(Source* source, ResourceStore* store, BandSurface* surface);
// 1 when a and b are one object; 0 when either is null, the kinds differ or the kind cannot compare.
int SourceEqual(const Source* a, const Source* b);
// A new source made from the node by its kind's CmdOpSourceKind; null for kinds without one.
Source* SourcePrepare(CmdNode* node, ResourceStore* store, uint32_t a, uint32_t b);
void SourceRelease(Source* source, ResourceStore* store, int flag);
Source* SourceClone(const Source* source, ResourceStore* store);
int SourceAttach(Source* source, ResourceStore* owner);
void SourceRenderBand(Source* source, ResourceStore* store, BandSurface* surface, const RECT* band, void* argument,
                      const RECT* clear, int accumulate);
