// The render call's heap: every object a render call makes comes from here, with a per-thread
// failure injection and counters for tests. Below every other engine folder, so that a unit that
// only allocates depends on nothing of the job pipeline.
#pragma once

#include <cstddef>
#include <cstdint>

// A zeroed block, or null. Every object a render call makes comes from here.
void* RenderAlloc(size_t size);
// Grows or shrinks a block (the added bytes are not zeroed); on failure null, and the block stays
// valid. A null block is a new allocation.
void* RenderRealloc(void* block, size_t size);
// Null does nothing.
void RenderFree(void* block);
// Tests: make the n-th allocation from now on this thread fail (1 = the next one); 0 turns the
// injection off. Other threads are not affected.
void RenderAllocFailAt(uint32_t n);
// Tests: blocks allocated and not yet freed on this thread, and allocations made on it.
int64_t RenderAllocLiveBlocks();
uint64_t RenderAllocCount();
// Tests: the largest block asked for on this thread since the last call.
size_t RenderAllocLargest();
