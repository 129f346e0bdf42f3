// A store's objects by id: chains linked through each entry's bucketNext, in a bucket array that
// doubles when the entries outnumber its buckets, so that a lookup walks a chain of about one
// entry however many objects a job defines. Ids are spread by a hash keyed once per process, so a
// job cannot choose ids that all land in one chain. A chain holds its entries newest first, and
// growing keeps that order among entries with the same id.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/resource_object.h"

inline constexpr uint32_t RESOURCE_TABLE_INLINE = 64;  // buckets before the first growth

// The bucket of an id among 2^bits buckets (bits at least 1).
uint32_t ResourceTableHash(ResourceId id, uint32_t bits);
// A bucket array of 2^bits null chains from the engine's heap; null when memory is short.
void* ResourceTableBucketsAllocate(uint32_t bits);
void ResourceTableBucketsFree(void* buckets);

// Zero-initialised it is an empty table of RESOURCE_TABLE_INLINE buckets.
template <class Entry>
struct ResourceTable {
    Entry** heap;  // null: the inline buckets
    uint32_t bits;  // 2^bits buckets when heap is set
    uint32_t count;  // entries in the chains
    uint64_t steps;  // entries visited by lookups, finds and removals: the work the tests bound
    Entry* inlineBuckets[RESOURCE_TABLE_INLINE];

    Entry** Buckets() { return heap != nullptr ? heap : inlineBuckets; }
    uint32_t Bits() const { return heap != nullptr ? bits : 6; }
    uint32_t Size() const { return uint32_t{1} << Bits(); }
    Entry*& Chain(ResourceId id) { return Buckets()[ResourceTableHash(id, Bits())]; }
};
static_assert(RESOURCE_TABLE_INLINE == 1u << 6);

// The first entry with the id, its count left as it is, or null.
template <class Entry>
Entry* ResourceTableFind(ResourceTable<Entry>* table, ResourceId id)
{
    for (Entry* entry = table->Chain(id); entry != nullptr; entry = entry->bucketNext) {
        ++table->steps;
        if (entry->head.id == id) return entry;
    }
    return nullptr;
}

// The first entry with the id, its reference count raised, or null.
template <class Entry>
Entry* ResourceTableLookup(ResourceTable<Entry>* table, ResourceId id)
{
    Entry* entry = ResourceTableFind(table, id);
    if (entry != nullptr) ResourceRefAdd(&entry->head);
    return entry;
}

// Doubles the buckets (or more, up to one per entry); a table that cannot grow stays as it is and
// still finds every entry, only with longer chains.
template <class Entry>
void ResourceTableGrow(ResourceTable<Entry>* table)
{
    uint32_t bits = table->Bits() + 1;
    while (bits < 30 && (uint32_t{1} << bits) < table->count) ++bits;
    if (bits >= 30) return;
    auto** grown = static_cast<Entry**>(ResourceTableBucketsAllocate(bits));
    if (grown == nullptr) return;
    Entry** old = table->Buckets();
    const uint32_t oldSize = table->Size();
    for (uint32_t b = 0; b < oldSize; ++b) {
        // Reversed, then pushed at the heads of the new chains: entries with one id keep their order.
        Entry* reversed = nullptr;
        for (Entry* entry = old[b]; entry != nullptr;) {
            Entry* next = entry->bucketNext;
            entry->bucketNext = reversed;
            reversed = entry;
            entry = next;
        }
        while (reversed != nullptr) {
            Entry* next = reversed->bucketNext;
            Entry*& chain = grown[ResourceTableHash(reversed->head.id, bits)];
            reversed->bucketNext = chain;
            chain = reversed;
            reversed = next;
        }
        old[b] = nullptr;
    }
    if (table->heap != nullptr) ResourceTableBucketsFree(table->heap);
    table->heap = grown;
    table->bits = bits;
}

// Puts an entry at the head of its chain.
template <class Entry>
void ResourceTableInsert(ResourceTable<Entry>* table, Entry* entry)
{
    if (table->count >= table->Size()) ResourceTableGrow(table);
    Entry*& chain = table->Chain(entry->head.id);
    entry->bucketNext = chain;
    chain = entry;
    ++table->count;
}

// Takes an entry out of its chain; false when it is not in it.
template <class Entry>
bool ResourceTableRemove(ResourceTable<Entry>* table, Entry* entry)
{
    for (Entry** link = &table->Chain(entry->head.id); *link != nullptr; link = &(*link)->bucketNext) {
        ++table->steps;
        if (*link == entry) {
            *link = entry->bucketNext;
            entry->bucketNext = nullptr;
            --table->count;
            return true;
        }
    }
    return false;
}

// Calls visit(entry) for every entry, bucket by bucket; visit must not change the table.
template <class Entry, class Visit>
void ResourceTableEach(ResourceTable<Entry>* table, Visit visit)
{
    Entry** buckets = table->Buckets();
    const uint32_t size = table->Size();
    for (uint32_t b = 0; b < size; ++b)
        for (Entry* entry = buckets[b]; entry != nullptr; entry = entry->bucketNext) visit(entry);
}

// Empties the table, handing each entry to release, and gives back its bucket array.
template <class Entry, class Release>
void ResourceTableEmpty(ResourceTable<Entry>* table, Release release)
{
    Entry** buckets = table->Buckets();
    const uint32_t size = table->Size();
    for (uint32_t b = 0; b < size; ++b) {
        while (buckets[b] != nullptr) {
            Entry* entry = buckets[b];
            buckets[b] = entry->bucketNext;
            entry->bucketNext = nullptr;
            release(entry);
        }
    }
    if (table->heap != nullptr) ResourceTableBucketsFree(table->heap);
    table->heap = nullptr;
    table->bits = 0;
    table->count = 0;
}
