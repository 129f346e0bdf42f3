// The handle table and the functions common to every GDI object.
#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

// A handle is looked up on every GDI call, so lookups take no lock: slots live in chunks that
// never move once made, and a slot's generation is read before and after its object, so that a
// slot freed and given to a new object between the two reads is seen. Adding and removing
// handles take the table's lock.
struct Slot {
    std::atomic<Object*> object{nullptr};
    std::atomic<uint32_t> generation{0};
};

constexpr uint32_t kMaxHandles = 1u << 24;
constexpr uint32_t kChunkBits = 12;
constexpr uint32_t kChunkSlots = 1u << kChunkBits;

// The table outlives every static destructor, so an object deleted during shutdown still finds
// its slot. It is made in storage of its own: the first object of a process that has run out of
// memory fails to be added, not to find a table.
struct Table {
    std::mutex lock;
    std::atomic<Slot*> chunks[kMaxHandles / kChunkSlots] = {};
    uint32_t count = 0;  // slots handed out, 1 to count
    std::vector<uint32_t> free;
};
Table& T()
{
    alignas(Table) static unsigned char storage[sizeof(Table)];
    static Table* table = new (storage) Table;
    return *table;
}

Slot* SlotAt(Table& table, uint32_t index)
{
    Slot* chunk = table.chunks[(index - 1) >> kChunkBits].load(std::memory_order_acquire);
    return chunk ? &chunk[(index - 1) & (kChunkSlots - 1)] : nullptr;
}

Object* Lookup(HGDIOBJ handle)
{
    uint64_t value = reinterpret_cast<uintptr_t>(handle);
    uint32_t index = uint32_t(value & 0xFFFFFFFFu);
    uint32_t generation = uint32_t(value >> 32);
    if (index == 0 || index > kMaxHandles) return nullptr;
    const Slot* slot = SlotAt(T(), index);
    if (!slot) return nullptr;
    const uint32_t before = slot->generation.load(std::memory_order_acquire);
    Object* object = slot->object.load(std::memory_order_acquire);
    const uint32_t after = slot->generation.load(std::memory_order_acquire);
    return before == generation && after == generation ? object : nullptr;
}

}  // namespace

HGDIOBJ HandleAdd(Object* object)
{
    Table& table = T();
    std::lock_guard<std::mutex> guard(table.lock);
    uint32_t index;
    if (!table.free.empty()) {
        index = table.free.back();
        table.free.pop_back();
    } else {
        if (table.count >= kMaxHandles) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        // Out of memory is a failed create, never an exception through an exported function. The
        // free list gets room for every slot here, so that removing a handle never allocates.
        std::atomic<Slot*>& chunk = table.chunks[table.count >> kChunkBits];
        if (!chunk.load(std::memory_order_relaxed)) {
            Slot* made = new (std::nothrow) Slot[kChunkSlots];
            if (!made) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            chunk.store(made, std::memory_order_release);
        }
        try {
            table.free.reserve(size_t(table.count) + 1);
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        index = ++table.count;
    }
    Slot& slot = *SlotAt(table, index);
    uint32_t generation = slot.generation.load(std::memory_order_relaxed) + 1;
    if (generation == 0) generation = 1;
    // The new generation is seen by any lookup that sees the new object.
    slot.generation.store(generation, std::memory_order_release);
    slot.object.store(object, std::memory_order_release);
    object->handle = reinterpret_cast<HGDIOBJ>((uint64_t(generation) << 32) | index);
    return object->handle;
}

void HandleRemove(Object* object)
{
    uint64_t value = reinterpret_cast<uintptr_t>(object->handle);
    uint32_t index = uint32_t(value & 0xFFFFFFFFu);
    Table& table = T();
    std::lock_guard<std::mutex> guard(table.lock);
    if (index == 0 || index > table.count) return;
    Slot& slot = *SlotAt(table, index);
    if (slot.object.load(std::memory_order_relaxed) != object) return;
    slot.object.store(nullptr, std::memory_order_release);
    table.free.push_back(index);  // within the room HandleAdd reserved: no allocation, no exception
}

Object* HandleGetAny(HGDIOBJ handle)
{
    Object* object = Lookup(handle);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

Object* HandleGet(HGDIOBJ handle, Kind kind)
{
    Object* object = Lookup(handle);
    if (!object || object->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

void DestroyObject(Object* object)
{
    HandleRemove(object);
    object->destroy(object);
}

Region::Region() : Object(Kind::Region) { pixman_region32_init(&rgn); }
Region::~Region() { pixman_region32_fini(&rgn); }

}  // namespace gdi

using namespace gdi;

BOOL DeleteObject(HGDIOBJ handle)
{
    // Under the selection lock, no DC can select the object between the check and the free.
    std::lock_guard<std::mutex> guard(SelectionLock());
    Object* object = HandleGetAny(handle);
    if (!object || object->kind == Kind::Dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock) return TRUE;
    if (object->kind == Kind::Bitmap && static_cast<Bitmap*>(object)->dcDefault)
        return TRUE;  // a DC's default bitmap is freed by DeleteDC
    if (object->selections > 0) {
        // A selected object stays alive: deleting it would leave the DC drawing with freed memory.
#ifndef NDEBUG
        std::fprintf(stderr, "gdi: DeleteObject of an object still selected into %u DC(s) refused\n",
                     object->selections);
#endif
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DestroyObject(object);
    return TRUE;
}

DWORD GetObjectType(HGDIOBJ handle)
{
    Object* object = HandleGetAny(handle);
    if (!object) return 0;
    switch (object->kind) {
        case Kind::Dc: return OBJ_MEMDC;
        case Kind::Bitmap: return OBJ_BITMAP;
        case Kind::Brush: return OBJ_BRUSH;
        case Kind::Pen: return static_cast<Pen*>(object)->extended ? OBJ_EXTPEN : OBJ_PEN;
        case Kind::Font: return OBJ_FONT;
        case Kind::Region: return OBJ_REGION;
    }
    return 0;
}

BOOL UnrealizeObject(HGDIOBJ handle) { return Get<Brush>(handle) ? TRUE : FALSE; }

BOOL GdiFlush() { return TRUE; }
