// Function stages: each pixel through a function with a parameter block kept in the stage.
#include "engine/services/cmm/cmm_stage.h"

namespace {

struct FunctionStage {
    CmmStageHead head;
    CmmStageFunction fn;
    const CmmFunctionParameterOps* ops;
    uint32_t inputs;
    uint32_t outputs;
    uint32_t parameterSize;
    uint32_t reserved;
    alignas(8) uint8_t parameters[8];  // parameterSize bytes
};

void FunctionConvert(CmmGlobals* g, CmmObject* self, const float* in, float* out, uint32_t pixels)
{
    const auto* f = static_cast<const FunctionStage*>(self->body);
    for (uint32_t p = 0; p < pixels && !CmmFailed(g); ++p, in += f->inputs, out += f->outputs)
        f->fn(g, f->parameters, in, out);
}

void FunctionDestroy(CmmGlobals* g, CmmObject* self)
{
    auto* f = static_cast<FunctionStage*>(self->body);
    if (f->ops != nullptr && f->ops->release != nullptr) f->ops->release(g, f->parameters);
}

void FunctionCopyHook(CmmGlobals* g, CmmObject*, CmmObject* copy)
{
    auto* f = static_cast<FunctionStage*>(copy->body);
    if (f->ops != nullptr && f->ops->copy != nullptr) f->ops->copy(g, f->parameters);
}

}  // namespace

void CmmFunctionStageCreate(CmmGlobals* g, CmmObject* handle, CmmStageFunction fn, uint32_t inputs, uint32_t outputs,
                            const void* parameters, uint32_t parameterSize, const CmmFunctionParameterOps* ops)
{
    if (fn == nullptr || inputs == 0 || outputs == 0 || inputs > 2 * CMM_MAX_CHANNELS || outputs > CMM_MAX_CHANNELS) {
        CmmObjectInit(handle, CMM_TYPE_STAGE_FUNCTION);
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    if (!CmmStageMake(g, handle, CMM_TYPE_STAGE_FUNCTION, offsetof(FunctionStage, parameters) + parameterSize + 8,
                      inputs, outputs))
        return;
    auto* f = static_cast<FunctionStage*>(handle->body);
    f->head.conversion.convertRows = FunctionConvert;
    f->head.lifecycle.destroy = FunctionDestroy;
    f->head.lifecycle.copyHook = FunctionCopyHook;
    f->fn = fn;
    f->ops = ops;
    f->inputs = inputs;
    f->outputs = outputs;
    f->parameterSize = parameterSize;
    if (parameters != nullptr) CmmCopyBytes(f->parameters, parameters, parameterSize);
}
