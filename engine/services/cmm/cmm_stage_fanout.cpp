// Fan-out stages: the pixel's channels written copies times, so later stages can carry a copy.
#include "engine/services/cmm/cmm_stage.h"

namespace {

struct FanOutStage {
    CmmStageHead head;
    uint32_t channels;
    uint32_t copies;
};

void FanOutConvert(CmmGlobals*, CmmObject* self, const float* in, float* out, uint32_t pixels)
{
    const auto* f = static_cast<const FanOutStage*>(self->body);
    for (uint32_t p = 0; p < pixels; ++p, in += f->channels)
        for (uint32_t c = 0; c < f->copies; ++c)
            for (uint32_t ch = 0; ch < f->channels; ++ch) *out++ = in[ch];
}

}  // namespace

void CmmFanOutStageCreate(CmmGlobals* g, CmmObject* handle, uint32_t channels, uint32_t copies)
{
    if (channels == 0 || copies == 0 || uint64_t{channels} * copies > 2 * CMM_MAX_CHANNELS) {
        CmmObjectInit(handle, CMM_TYPE_STAGE_FANOUT);
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    if (!CmmStageMake(g, handle, CMM_TYPE_STAGE_FANOUT, sizeof(FanOutStage), channels, channels * copies)) return;
    auto* f = static_cast<FanOutStage*>(handle->body);
    f->head.conversion.convertRows = FanOutConvert;
    f->channels = channels;
    f->copies = copies;
}
