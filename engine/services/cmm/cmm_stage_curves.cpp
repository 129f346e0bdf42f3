// Curve stages: sampled curves used forwards (interpolation) or backwards (search), and power
// curves.
#include <cmath>

#include "engine/services/cmm/cmm_stage.h"

namespace {

struct CurvesStage {
    CmmStageHead head;
    uint32_t channels;
    uint32_t entries;
    uint32_t mode;
    float* values;
    float data[1];  // entries x channels
};

void CurvesReattach(CmmGlobals*, CmmObject* self)
{
    auto* c = static_cast<CurvesStage*>(self->body);
    c->values = c->data;
}

// Entry k of channel ch.
float At(const CurvesStage* c, uint32_t k, uint32_t ch) { return c->values[size_t{k} * c->channels + ch]; }

float Forward(const CurvesStage* c, uint32_t ch, float v)
{
    const uint32_t n = c->entries;
    const float position = static_cast<float>(n - 1) * v / 255.0f;
    if (!(position >= 0)) return At(c, 0, ch);  // below 0, and NaN
    if (position >= static_cast<float>(n - 1)) return At(c, n - 1, ch);
    const auto index = static_cast<uint32_t>(position);
    const float w = position - static_cast<float>(index);
    return At(c, index, ch) + (At(c, index + 1, ch) - At(c, index, ch)) * w;
}

float Inverse(const CurvesStage* c, uint32_t ch, float v)
{
    const uint32_t n = c->entries;
    uint32_t lo = 0, hi = n - 1;
    while (hi - lo > 1) {
        const uint32_t mid = (lo + hi) / 2;
        if (v < At(c, mid, ch)) hi = mid;
        else lo = mid;
    }
    const float tl = At(c, lo, ch), th = At(c, hi, ch);
    const float last = static_cast<float>(n - 1);
    if (v <= tl || th <= tl) return static_cast<float>(lo) * 255.0f / last;
    if (v < th)
        return ((v - tl) * static_cast<float>(hi) + (th - v) * static_cast<float>(lo)) * 255.0f / (last * (th - tl));
    return static_cast<float>(hi) * 255.0f / last;
}

float Power(float v, float gamma)
{
    const float x = v / 255.0f;
    return x <= 0 ? 0.0f : std::pow(x, gamma) * 255.0f;
}

void CurvesConvert(CmmGlobals*, CmmObject* self, const float* in, float* out, uint32_t pixels)
{
    const auto* c = static_cast<const CurvesStage*>(self->body);
    for (uint32_t p = 0; p < pixels; ++p, in += c->channels, out += c->channels)
        for (uint32_t ch = 0; ch < c->channels; ++ch) {
            switch (c->mode) {
                case CMM_CURVE_FORWARD: out[ch] = Forward(c, ch, in[ch]); break;
                case CMM_CURVE_INVERSE: out[ch] = Inverse(c, ch, in[ch]); break;
                case CMM_CURVE_POWER: out[ch] = Power(in[ch], At(c, 0, ch)); break;
                default: {
                    const float gamma = At(c, 0, ch);
                    out[ch] = gamma == 0 ? 0.0f : Power(in[ch], 1.0f / gamma);
                }
            }
        }
}

}  // namespace

void CmmCurvesStageCreate(CmmGlobals* g, CmmObject* handle, uint32_t channels, uint32_t entries, uint32_t mode,
                          const CmmArray* values)
{
    const bool power = mode == CMM_CURVE_POWER || mode == CMM_CURVE_POWER_INVERSE;
    if (channels == 0 || channels > CMM_MAX_CHANNELS || mode > CMM_CURVE_POWER_INVERSE ||
        (power ? entries != 1 : entries < 2)) {
        CmmObjectInit(handle, CMM_TYPE_STAGE_CURVES);
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    const uint64_t count = uint64_t{entries} * channels;
    if (!CmmStageMake(g, handle, CMM_TYPE_STAGE_CURVES, offsetof(CurvesStage, data) + sizeof(float) * count, channels,
                      channels))
        return;
    auto* c = static_cast<CurvesStage*>(handle->body);
    c->head.lifecycle.reattach = CurvesReattach;
    c->head.conversion.convertRows = CurvesConvert;
    c->channels = channels;
    c->entries = entries;
    c->mode = mode;
    CurvesReattach(g, handle);
    if (values != nullptr) {
        CmmArray floats{channels, entries, CMM_ELEMENT_FLOAT, 0, c->values};
        CmmArrayConvert(values, &floats);
        for (uint64_t i = 0; i < count; ++i)
            if (std::isnan(c->values[i])) c->values[i] = 0;
    } else {
        for (uint32_t k = 0; k < entries; ++k)
            for (uint32_t ch = 0; ch < channels; ++ch)
                c->values[size_t{k} * channels + ch] =
                    power ? 1.0f : static_cast<float>(k) * 255.0f / static_cast<float>(entries - 1);
    }
}

void CmmCurvesStageReverse(CmmObject* stage)
{
    // A stage that could not be made (its memory ran out) has no body to turn round.
    if (stage->type != CMM_TYPE_STAGE_CURVES || stage->body == nullptr) return;
    auto* c = static_cast<CurvesStage*>(stage->body);
    c->mode ^= 1u;  // 0 <-> 1, 2 <-> 3
}

float* CmmCurvesStageEntries(CmmObject* stage) { return static_cast<CurvesStage*>(stage->body)->values; }
uint32_t CmmCurvesStageMode(CmmObject* stage) { return static_cast<CurvesStage*>(stage->body)->mode; }
