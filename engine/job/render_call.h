// The render call: one call of ImeRender renders one job on the caller's thread. Also the heap
// that the call's objects come from, with a per-thread failure injection for tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/job/output_module.h"
#include "engine/job/render_options.h"
#include "platform/types.h"
#include "rastrel/api.h"

struct SpoolProgress;
struct LogContext;

// The host's stream callbacks. read: non-zero on success, *got = bytes delivered. seek: the new
// position or a negative value; mode 0 from the start, 1 from the current position, 2 from the end.
typedef BOOL (*ImeReadCallback)(void* handle, void* buffer, uint32_t count, uint32_t* got);
typedef int32_t (*ImeSeekCallback)(void* handle, int32_t offset, uint32_t mode);

RASTREL_API uint32_t ImeRender(const char* configuration, uint32_t jobNumber, SpoolProgress* progress,
                               const char* moduleFileName, RenderOptions* options, LogContext* log, void* streamHandle,
                               void* writeArgument, ImeReadCallback read, ImeSeekCallback seek, ImeWriteCallback write);

// ---- The render call's heap ----
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
