#include "engine/display/cmd_memory.h"

#include <cstdint>

#include "engine/common/log_context.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/resource_store.h"
#include "platform/kernel.h"

namespace {

// The head in front of every block: what the block was charged, so that exactly that goes back.
// Eight bytes keep the block aligned as the allocator's word is; no node holds a wider type.
struct CmdMemoryHead {
    uint32_t charge;
    uint32_t reserved;
};
static_assert(sizeof(CmdMemoryHead) == 8);

// One block's charge must fit the budget's signed tally; a larger block passes any limit anyway.
constexpr uint64_t kChargeMax = INT32_MAX;

}  // namespace

uint64_t CmdMemoryCharge(size_t size) { return (uint64_t{size} + sizeof(CmdMemoryHead) + 8 + 15) & ~uint64_t{15}; }

void* CmdMemoryAlloc(ResourceStore* store, size_t size)
{
    ResourceBudget* budget = store != nullptr ? store->budget : nullptr;
    const uint64_t charge = budget != nullptr ? CmdMemoryCharge(size) : 0;
    if (charge > kChargeMax || size > SIZE_MAX - sizeof(CmdMemoryHead)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (budget != nullptr && budget->memoryUse + charge > budget->memoryLimit) {
        // The list's memory cannot be rebuilt as a resource's can: resources that no command is
        // using make room for it first.
        ResourceCost request{0, static_cast<int32_t>(charge), 0};
        ResourceStoreTrim(budget, nullptr, &request);
        if (budget->memoryUse + charge > budget->memoryLimit) {
            LogEvent(IMX_LOG_ERROR, __func__,
                     "the display list needs %llu bytes more, beyond the memory limit of %u bytes (%u in use)",
                     static_cast<unsigned long long>(charge), budget->memoryLimit, budget->memoryUse);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    auto* head = static_cast<CmdMemoryHead*>(RenderAlloc(sizeof(CmdMemoryHead) + size));
    if (head == nullptr) return nullptr;
    head->charge = static_cast<uint32_t>(charge);
    if (budget != nullptr) ResourceBudgetCharge(budget, ResourceCost{0, static_cast<int32_t>(charge), 0});
    return head + 1;
}

void CmdMemoryFree(ResourceStore* store, void* block)
{
    if (block == nullptr) return;
    CmdMemoryHead* head = static_cast<CmdMemoryHead*>(block) - 1;
    if (store != nullptr && store->budget != nullptr && head->charge != 0)
        ResourceBudgetCharge(store->budget, ResourceCost{0, -static_cast<int32_t>(head->charge), 0});
    RenderFree(head);
}
