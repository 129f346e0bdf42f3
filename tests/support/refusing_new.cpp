// The replacements that tests/support/refusing_new.h describes.
#include "tests/support/refusing_new.h"

#include <cstdlib>
#include <new>

// These replacements pair malloc with free themselves; GCC sees only the names.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    void* block = NewRefused(size) ? nullptr : std::malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    return block;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return NewRefused(size) ? nullptr : std::malloc(size ? size : 1);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
