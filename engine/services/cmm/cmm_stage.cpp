// What every stage shares: making the object and running one pixel.
#include "engine/services/cmm/cmm_stage.h"

bool CmmStageMake(CmmGlobals* g, CmmObject* handle, CmmObjectType type, uint64_t bodySize, uint32_t inputs,
                  uint32_t outputs)
{
    CmmObjectInit(handle, type);
    if (CmmFailed(g)) return false;
    if (bodySize > UINT32_MAX) {
        CmmRaise(g, CMM_STATUS_NO_MEMORY);
        return false;
    }
    handle->bodySize = static_cast<uint32_t>(bodySize);
    CmmObjectAllocate(g, handle);
    if (handle->block == nullptr) return false;
    auto* head = static_cast<CmmStageHead*>(handle->body);
    CmmObjectSetSlot(handle, CMM_SLOT_LIFECYCLE, &head->lifecycle);
    CmmObjectSetSlot(handle, CMM_SLOT_CONVERSION, &head->conversion);
    head->conversion.inputs = inputs;
    head->conversion.outputs = outputs;
    return true;
}

void CmmStageEvaluate(CmmGlobals* g, CmmObject* stage, const float* in, float* out)
{
    CmmObjectConvertRows(g, stage, in, out, 1);
}
