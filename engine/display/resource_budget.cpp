#include "engine/display/resource_budget.h"

#include "engine/job/render_call.h"

ResourceBudget* ResourceBudgetCreate(OutputModuleContext* device, uint32_t objectLimit, uint32_t deviceMemoryLimit,
                                     uint32_t memoryLimit) {
    auto* budget = static_cast<ResourceBudget*>(RenderAlloc(sizeof(ResourceBudget)));
    if (budget == nullptr) return nullptr;
    budget->device = device;
    budget->objectLimit = objectLimit;
    budget->deviceMemoryLimit = deviceMemoryLimit;
    budget->memoryLimit = memoryLimit;
    return budget;
}

void ResourceBudgetDestroy(ResourceBudget* budget) {
    if (budget == nullptr) return;
    RenderFree(budget);
}
