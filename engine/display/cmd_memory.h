// The memory of the display list: every command node, and every block a node owns, is taken and
// given back through these two functions, so that a page's commands are charged to the job's
// resource budget as its resources are. A page of millions of small commands otherwise holds
// gigabytes that no limit of the job ever sees.
#pragma once

#include <cstddef>
#include <cstdint>

struct ResourceStore;

// What a block of the given size is charged: the size, the block's own head and about what the C
// library's allocator keeps beside it, in its 16-byte steps.
uint64_t CmdMemoryCharge(size_t size);

// A zeroed block of size bytes, aligned for 8 bytes, charged to the store's budget. When the
// charge would pass the budget's memory limit, unused resources of the job are trimmed first; when
// it would still pass, the block is refused: null, with the last error ERROR_NOT_ENOUGH_MEMORY and
// a log line. A null store (or a store without a budget) charges nothing.
void* CmdMemoryAlloc(ResourceStore* store, size_t size);
// Gives the block back and credits its charge to the store's budget. All stores of a job share
// its budget, so the store need not be the one the block was taken with. Null does nothing.
void CmdMemoryFree(ResourceStore* store, void* block);
