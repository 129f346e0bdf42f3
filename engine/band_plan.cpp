#include "engine/band_plan.h"

#include "engine/render_call.h"

BandMemory* BandMemoryCreate(OutputModuleContext* job, uint32_t budget) {
    auto* memory = static_cast<BandMemory*>(RenderAlloc(sizeof(BandMemory)));
    if (memory == nullptr) return nullptr;
    memory->job = job;
    // Rounded up to whole pages; a budget within the last page of the range keeps its last page.
    const uint64_t rounded = (static_cast<uint64_t>(budget) + 4095) & ~uint64_t{4095};
    memory->budget = rounded > 0xFFFFF000u ? 0xFFFFF000u : static_cast<uint32_t>(rounded);
    return memory;
}

void BandMemoryDestroy(BandMemory* memory) {
    if (memory == nullptr) return;
    RenderFree(memory->workBuffer);
    RenderFree(memory);
}
