// Black preservation towards a CMYK destination: grey and near-grey colours are printed with
// black ink alone (or mostly), at the lightness the regular result would have had.
#include <cmath>

#include "engine/services/cmm/cmm_stage.h"

namespace {

struct BlackParameters {
    CmmObject chain;  // CMYK -> Lab (L first), owned
    uint32_t carried;
    uint32_t mode;
};

float Lightness(CmmGlobals* g, CmmObject* chain, const float* cmyk)
{
    float lab[2 * CMM_MAX_CHANNELS] = {};
    CmmStageEvaluate(g, chain, cmyk, lab);
    return lab[0];
}

// K in [low, high] whose lightness (with the given C, M, Y) meets target, by 16 halvings.
float SearchBlack(CmmGlobals* g, CmmObject* chain, const float* cmy, float target, float low, float high)
{
    float probe[4] = {cmy[0], cmy[1], cmy[2], 0};
    float k = (low + high) / 2;
    for (int step = 0; step < 16; ++step) {
        k = (low + high) / 2;
        probe[3] = k;
        if (target > Lightness(g, chain, probe)) high = k;
        else low = k;
    }
    return (low + high) / 2;
}

void Black(CmmGlobals* g, const void* parameters, const float* in, float* out)
{
    const auto* p = static_cast<const BlackParameters*>(parameters);
    auto* chain = const_cast<CmmObject*>(&p->chain);
    const float* carried = in + 4;
    for (int i = 0; i < 4; ++i) out[i] = in[i];
    if (p->mode == CMM_BLACK_CMYK_SOURCE) {
        if (carried[0] + carried[1] + carried[2] >= 1) return;
        const float target = Lightness(g, chain, in);
        const float none[3] = {0, 0, 0};
        out[0] = out[1] = out[2] = 0;
        out[3] = SearchBlack(g, chain, none, target, 0, 255);
        return;
    }
    const float l = carried[0], a = carried[1] - 128.0f, b = carried[2] - 128.0f;
    const float chroma = std::sqrt(a * a + b * b);
    const float threshold = 30.0f - l / 255.0f * 20.0f;
    if (chroma >= threshold) return;
    const float target = Lightness(g, chain, in);
    const float s = chroma < 3 ? 0.0f : (chroma - 3.0f) / (threshold - 3.0f);
    for (int i = 0; i < 3; ++i) out[i] = in[i] * s;
    out[3] = SearchBlack(g, chain, out, target, in[3], 255);
}

void BlackRelease(CmmGlobals* g, void* parameters)
{
    CmmObjectRelease(g, &static_cast<BlackParameters*>(parameters)->chain);
}

void BlackCopy(CmmGlobals* g, void* parameters)
{
    auto* p = static_cast<BlackParameters*>(parameters);
    CmmObject shared = p->chain;  // still the source's
    p->chain = CmmObject{};
    CmmObjectCopy(g, &shared, &p->chain);
}

constexpr CmmFunctionParameterOps kBlackOps = {BlackRelease, BlackCopy};

}  // namespace

void CmmBlackStageCreate(CmmGlobals* g, CmmObject* handle, CmmObject* chain, uint32_t carried, uint32_t mode)
{
    BlackParameters parameters{*chain, carried, mode};
    *chain = CmmObject{};
    CmmFunctionStageCreate(g, handle, Black, 4 + carried, 4, &parameters, sizeof parameters, &kBlackOps);
    if (handle->block == nullptr) CmmObjectRelease(g, &parameters.chain);
}
