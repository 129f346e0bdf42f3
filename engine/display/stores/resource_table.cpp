#include "engine/display/stores/resource_table.h"

#include <cstring>
#include <sys/random.h>

#include "engine/common/render_heap.h"

namespace {

// A key drawn once per process: which ids share a chain cannot be known from outside.
uint32_t Key()
{
    static const uint32_t key = [] {
        uint32_t value = 0x9E3779B9u;
        if (getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) value = 0x9E3779B9u;
        return value | 1u;
    }();
    return key;
}

}  // namespace

uint32_t ResourceTableHash(ResourceId id, uint32_t bits)
{
    // The finaliser of a well-mixing 32-bit hash over the keyed id: every input bit moves about
    // half the output bits, so sequences and strides of ids spread evenly.
    uint32_t h = (id ^ Key()) * 0x85EBCA6Bu;
    h ^= h >> 16;
    h *= 0xC2B2AE35u;
    h ^= h >> 13;
    h *= Key();
    h ^= h >> 16;
    return h >> (32 - bits);
}

void* ResourceTableBucketsAllocate(uint32_t bits)
{
    const size_t bytes = (size_t{1} << bits) * sizeof(void*);
    void* buckets = RenderAlloc(bytes);
    if (buckets != nullptr) std::memset(buckets, 0, bytes);
    return buckets;
}

void ResourceTableBucketsFree(void* buckets) { RenderFree(buckets); }
