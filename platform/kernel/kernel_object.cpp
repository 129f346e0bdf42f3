#include "kernel_object.h"

#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#include "platform/kernel.h"

namespace platform {
namespace {

// A handle is a slot index with a tag in its low word and the slot's generation in its high
// word. The generation moves on each time the slot is given out, so the handle of a closed object
// never names the object that takes its slot next. The tag keeps kernel handles apart from GDI
// handles (whose low word is an index below 2^24) and from addresses.
constexpr uint32_t kTag = 0x40000000u;
constexpr uint32_t kMaxSlots = 1u << 24;

struct Slot {
    std::shared_ptr<KernelObject> object;
    uint32_t generation = 0;
};

struct HandleTable {
    std::mutex lock;
    std::vector<Slot> slots;
    std::vector<uint32_t> free;  // room for every slot is reserved, so a release never allocates
};

// Never destroyed, as handles may close at exit; made in storage of its own, so that the first
// object of a process that has run out of memory fails to be added, not to find a table.
HandleTable& Table()
{
    alignas(HandleTable) static unsigned char storage[sizeof(HandleTable)];
    static HandleTable* table = new (storage) HandleTable;
    return *table;
}

// The slot a handle names while its generation is current; null otherwise. The caller holds the
// table's lock.
Slot* Find(HandleTable& table, HANDLE handle)
{
    const uint64_t value = reinterpret_cast<uintptr_t>(handle);
    const uint32_t low = uint32_t(value & 0xFFFFFFFFu);
    const uint32_t generation = uint32_t(value >> 32);
    if ((low & ~(kMaxSlots - 1)) != kTag) return nullptr;
    const uint32_t index = low & (kMaxSlots - 1);
    if (index >= table.slots.size()) return nullptr;
    Slot& slot = table.slots[index];
    if (!slot.object || slot.generation != generation) return nullptr;
    return &slot;
}

}  // namespace

HANDLE HandleRegister(std::shared_ptr<KernelObject> object) noexcept
{
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    uint32_t index;
    if (!table.free.empty()) {
        index = table.free.back();
        table.free.pop_back();
    } else {
        if (table.slots.size() >= kMaxSlots) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        // Out of memory is a failed open, never an exception through an exported function.
        try {
            table.free.reserve(table.slots.size() + 1);
            table.slots.emplace_back();
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        index = uint32_t(table.slots.size() - 1);
    }
    Slot& slot = table.slots[index];
    ++slot.generation;
    if (slot.generation == 0) slot.generation = 1;
    slot.object = std::move(object);
    return reinterpret_cast<HANDLE>((uint64_t(slot.generation) << 32) | kTag | index);
}

std::shared_ptr<KernelObject> HandleLookup(HANDLE handle, ObjectKind kind)
{
    HandleTable& table = Table();
    {
        std::lock_guard guard(table.lock);
        Slot* slot = Find(table, handle);
        if (slot && slot->object->kind == kind) return slot->object;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

std::shared_ptr<KernelObject> HandleRelease(HANDLE handle)
{
    HandleTable& table = Table();
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard guard(table.lock);
        Slot* slot = Find(table, handle);
        if (!slot) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        object = std::move(slot->object);
        slot->object.reset();
        table.free.push_back(uint32_t(slot - table.slots.data()));  // within the reserved room
    }
    return object;
}

}  // namespace platform
