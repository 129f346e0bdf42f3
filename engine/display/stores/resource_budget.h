// The job's resource budget: the limits on GDI objects, engine buffers and device bitmaps that
// every resource store of one render call is charged to, and the marks of the command being drawn.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/resource_object.h"

struct OutputModuleContext;
struct ResourceStore;

inline constexpr uint32_t RESOURCE_MARKS_MAX = 8;

struct ResourceBudget {
    uint32_t memoryUse;
    uint32_t memoryLimit;
    uint32_t deviceMemoryUse;
    uint32_t deviceMemoryLimit;
    uint32_t objectLimit;
    uint32_t objectUse;
    ResourceStore* first;  // the job's stores, in creation order
    ResourceStore* last;
    OutputModuleContext* device;
    uint32_t markCount;  // objects marked in use by the command being drawn
    ResourceObject* marked[RESOURCE_MARKS_MAX];
};
static_assert(offsetof(ResourceBudget, first) == 24);
static_assert(offsetof(ResourceBudget, device) == 40);
static_assert(offsetof(ResourceBudget, markCount) == 48);
static_assert(offsetof(ResourceBudget, marked) == 56);
static_assert(sizeof(ResourceBudget) == 120);

// A zeroed budget with the three limits; null when memory is short.
ResourceBudget* ResourceBudgetCreate(OutputModuleContext* device, uint32_t objectLimit, uint32_t deviceMemoryLimit,
                                     uint32_t memoryLimit);
// Destroys every store still in the list, first to last, then frees the budget. Null does nothing.
void ResourceBudgetDestroy(ResourceBudget* budget);
// Adds a tally to the use counters. A counter never goes below 0: what is credited back was
// charged before, and a count that would wrap is a fault in a store, not a reason to refuse work.
void ResourceBudgetCharge(ResourceBudget* budget, const ResourceCost& tally);
