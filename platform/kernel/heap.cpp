// The process heap over malloc: a block carries its size in front of it, so that HeapSize can
// answer exactly what was asked for, as the front end's arrays depend on it.
#include <cstdlib>
#include <cstring>

#include "platform/kernel.h"

namespace {

// Keeps the caller's bytes aligned as malloc aligns them.
struct alignas(std::max_align_t) BlockHeader {
    SIZE_T size;
};

BlockHeader* HeaderOf(LPCVOID block)
{
    return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block))) - 1;
}

int processHeap;  // its address is the heap handle

}  // namespace

HANDLE GetProcessHeap() { return &processHeap; }

LPVOID HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes)
{
    if (bytes > SIZE_MAX / 2) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
    if (!header) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = bytes;
    if (flags & HEAP_ZERO_MEMORY) std::memset(header + 1, 0, bytes);
    return header + 1;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes)
{
    if (!block) return HeapAlloc(heap, flags, bytes);
    if (bytes > SIZE_MAX / 2) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const SIZE_T old = HeaderOf(block)->size;
    auto* header = static_cast<BlockHeader*>(std::realloc(HeaderOf(block), sizeof(BlockHeader) + bytes));
    if (!header) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = bytes;
    if ((flags & HEAP_ZERO_MEMORY) && bytes > old)
        std::memset(reinterpret_cast<char*>(header + 1) + old, 0, bytes - old);
    return header + 1;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block)
{
    if (block) std::free(HeaderOf(block));
    return TRUE;
}

SIZE_T HeapSize(HANDLE, DWORD, LPCVOID block) { return block ? HeaderOf(block)->size : static_cast<SIZE_T>(-1); }
