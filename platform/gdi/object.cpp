// The handle table and the functions common to every GDI object.
#include <cstdio>
#include <mutex>
#include <new>

#include "gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

struct Slot {
    Object* object = nullptr;
    uint32_t generation = 0;
};

// The table outlives every static destructor, so an object deleted during shutdown still finds
// its slot. It is made in storage of its own: the first object of a process that has run out of
// memory fails to be added, not to find a table.
struct Table {
    std::mutex lock;
    std::vector<Slot> slots;
    std::vector<uint32_t> free;
};
Table& T() {
    alignas(Table) static unsigned char storage[sizeof(Table)];
    static Table* table = new (storage) Table;
    return *table;
}

constexpr uint32_t kMaxHandles = 1u << 24;

Object* Lookup(HGDIOBJ handle) {
    uint64_t value = reinterpret_cast<uintptr_t>(handle);
    uint32_t index = uint32_t(value & 0xFFFFFFFFu);
    uint32_t generation = uint32_t(value >> 32);
    if (index == 0) return nullptr;
    std::lock_guard<std::mutex> guard(T().lock);
    if (index > T().slots.size()) return nullptr;
    const Slot& slot = T().slots[index - 1];
    return slot.generation == generation ? slot.object : nullptr;
}

}  // namespace

HGDIOBJ HandleAdd(Object* object) {
    std::lock_guard<std::mutex> guard(T().lock);
    uint32_t index;
    if (!T().free.empty()) {
        index = T().free.back();
        T().free.pop_back();
    } else {
        if (T().slots.size() >= kMaxHandles) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        // Out of memory is a failed create, never an exception through an exported function. The
        // free list gets room for every slot here, so that removing a handle never allocates.
        try {
            T().slots.push_back({});
            T().free.reserve(T().slots.size());
        } catch (const std::bad_alloc&) {
            if (T().free.capacity() < T().slots.size())
                T().slots.pop_back();
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        index = uint32_t(T().slots.size());
    }
    Slot& slot = T().slots[index - 1];
    slot.generation++;
    if (slot.generation == 0) slot.generation = 1;
    slot.object = object;
    object->handle = reinterpret_cast<HGDIOBJ>((uint64_t(slot.generation) << 32) | index);
    return object->handle;
}

void HandleRemove(Object* object) {
    uint64_t value = reinterpret_cast<uintptr_t>(object->handle);
    uint32_t index = uint32_t(value & 0xFFFFFFFFu);
    std::lock_guard<std::mutex> guard(T().lock);
    if (index == 0 || index > T().slots.size() || T().slots[index - 1].object != object) return;
    T().slots[index - 1].object = nullptr;
    T().free.push_back(index);  // within the room HandleAdd reserved: no allocation, no exception
}

Object* HandleGetAny(HGDIOBJ handle) {
    Object* object = Lookup(handle);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

Object* HandleGet(HGDIOBJ handle, Kind kind) {
    Object* object = Lookup(handle);
    if (!object || object->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

void DestroyObject(Object* object) {
    HandleRemove(object);
    object->destroy(object);
}

Region::Region() : Object(Kind::Region) { pixman_region32_init(&rgn); }
Region::~Region() { pixman_region32_fini(&rgn); }

}  // namespace gdi

using namespace gdi;

BOOL DeleteObject(HGDIOBJ handle) {
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

DWORD GetObjectType(HGDIOBJ handle) {
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
