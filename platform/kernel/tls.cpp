#include <array>
#include <mutex>

#include "platform/kernel.h"

namespace {

// As many as Windows promises at least (TLS_MINIMUM_AVAILABLE); every thread of every image that
// links this layer carries the values, so the table is kept small.
constexpr DWORD kSlots = 64;

// A slot's generation changes when it is freed, so a value set under an earlier owner of the slot
// reads as null in every thread.
struct SlotTable {
    std::mutex lock;
    std::array<bool, kSlots> used{};
    std::array<uint64_t, kSlots> generation{};
};

SlotTable& Slots()
{
    static SlotTable* table = new SlotTable;
    return *table;
}

struct ThreadValue {
    uint64_t generation;
    void* value;
};
thread_local std::array<ThreadValue, kSlots> threadValues{};

bool CurrentGeneration(DWORD index, uint64_t* generation)
{
    if (index >= kSlots) return false;
    SlotTable& table = Slots();
    std::lock_guard guard(table.lock);
    if (!table.used[index]) return false;
    *generation = table.generation[index];
    return true;
}

}  // namespace

DWORD TlsAlloc()
{
    SlotTable& table = Slots();
    std::lock_guard guard(table.lock);
    for (DWORD i = 0; i < kSlots; ++i) {
        if (!table.used[i]) {
            table.used[i] = true;
            ++table.generation[i];
            return i;
        }
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return TLS_OUT_OF_INDEXES;
}

BOOL TlsFree(DWORD index)
{
    SlotTable& table = Slots();
    std::lock_guard guard(table.lock);
    if (index >= kSlots || !table.used[index]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    table.used[index] = false;
    ++table.generation[index];
    return TRUE;
}

LPVOID TlsGetValue(DWORD index)
{
    uint64_t generation = 0;
    if (!CurrentGeneration(index, &generation)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    const ThreadValue& slot = threadValues[index];
    return slot.generation == generation ? slot.value : nullptr;
}

BOOL TlsSetValue(DWORD index, LPVOID value)
{
    uint64_t generation = 0;
    if (!CurrentGeneration(index, &generation)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    threadValues[index] = ThreadValue{generation, value};
    return TRUE;
}
