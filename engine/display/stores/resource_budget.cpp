#include "engine/display/stores/resource_budget.h"

#include <algorithm>

#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/resource_store.h"

ResourceBudget* ResourceBudgetCreate(OutputModuleContext* device, uint32_t objectLimit, uint32_t deviceMemoryLimit,
                                     uint32_t memoryLimit)
{
    auto* budget = static_cast<ResourceBudget*>(RenderAlloc(sizeof(ResourceBudget)));
    if (budget == nullptr) return nullptr;
    budget->device = device;
    budget->objectLimit = objectLimit;
    budget->deviceMemoryLimit = deviceMemoryLimit;
    budget->memoryLimit = memoryLimit;
    return budget;
}

void ResourceBudgetDestroy(ResourceBudget* budget)
{
    if (budget == nullptr) return;
    while (budget->first != nullptr) ResourceStoreDestroy(budget->first);
    RenderFree(budget);
}

static uint32_t CounterAdd(uint32_t use, int32_t change)
{
    return static_cast<uint32_t>(std::clamp<int64_t>(int64_t{use} + change, 0, UINT32_MAX));
}

void ResourceBudgetCharge(ResourceBudget* budget, const ResourceCost& tally)
{
    budget->objectUse = CounterAdd(budget->objectUse, tally.objects);
    budget->memoryUse = CounterAdd(budget->memoryUse, tally.memory);
    budget->deviceMemoryUse = CounterAdd(budget->deviceMemoryUse, tally.deviceMemory);
}
