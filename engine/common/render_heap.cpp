#include "engine/common/render_heap.h"

#include <algorithm>
#include <cstdlib>

#include "platform/kernel.h"

// ---- The render call's heap ----
// Per-thread counters, so that one test's injection never touches a render call on another thread.
namespace {
thread_local uint32_t tFailAt = 0;
thread_local int64_t tLiveBlocks = 0;
thread_local uint64_t tAllocations = 0;
thread_local size_t tLargest = 0;
}  // namespace

void* RenderAlloc(size_t size)
{
    ++tAllocations;
    tLargest = std::max(tLargest, size);
    void* block = (tFailAt != 0 && --tFailAt == 0) ? nullptr : std::calloc(1, size == 0 ? 1 : size);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    ++tLiveBlocks;
    return block;
}

void* RenderRealloc(void* block, size_t size)
{
    if (block == nullptr) return RenderAlloc(size);
    ++tAllocations;
    tLargest = std::max(tLargest, size);
    void* grown = (tFailAt != 0 && --tFailAt == 0) ? nullptr : std::realloc(block, size == 0 ? 1 : size);
    if (grown == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return grown;
}

void RenderFree(void* block)
{
    if (block == nullptr) return;
    --tLiveBlocks;
    std::free(block);
}

void RenderAllocFailAt(uint32_t n) { tFailAt = n; }
int64_t RenderAllocLiveBlocks() { return tLiveBlocks; }
uint64_t RenderAllocCount() { return tAllocations; }
size_t RenderAllocLargest()
{
    const size_t largest = tLargest;
    tLargest = 0;
    return largest;
}
