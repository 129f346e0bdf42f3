// The connection-space functions: XYZ and Lab on the core's scale (white Y at 127.5, L, a and b
// on 0..255 with a and b centred on 128), white-point scaling and the 16-bit Lab encoding change.
#include <cmath>

#include "engine/services/cmm/cmm_stage.h"

namespace {

float F(float t)
{
    if (t < 0) return 16.0f / 116.0f;
    if (t <= 0.008856452f) return t * 841.0f / 108.0f + 16.0f / 116.0f;
    return std::cbrt(t);
}

float G(float t)
{
    if (t < 0) return 0;
    return t > 6.0f / 29.0f ? t * t * t : (t - 16.0f / 116.0f) * 108.0f / 841.0f;
}

const CmmWhite& WhiteOf(const void* parameters) { return *static_cast<const CmmWhite*>(parameters); }

void XyzToLab(CmmGlobals*, const void* parameters, const float* in, float* out)
{
    CmmXyzToLab(WhiteOf(parameters), in, out);
}
void LabToXyz(CmmGlobals*, const void* parameters, const float* in, float* out)
{
    CmmLabToXyz(WhiteOf(parameters), in, out);
}

void WhiteScale(CmmGlobals*, const void* parameters, const float* in, float* out)
{
    const CmmWhite& w = WhiteOf(parameters);
    out[0] = in[0] * w.x / CMM_D50_WHITE.x;
    out[1] = in[1] * w.y / CMM_D50_WHITE.y;
    out[2] = in[2] * w.z / CMM_D50_WHITE.z;
}

void WhiteScaleInverse(CmmGlobals*, const void* parameters, const float* in, float* out)
{
    const CmmWhite& w = WhiteOf(parameters);
    out[0] = w.x == 0 ? 0 : in[0] * CMM_D50_WHITE.x / w.x;
    out[1] = w.y == 0 ? 0 : in[1] * CMM_D50_WHITE.y / w.y;
    out[2] = w.z == 0 ? 0 : in[2] * CMM_D50_WHITE.z / w.z;
}

void LabEncoding(CmmGlobals*, const void* parameters, const float* in, float* out)
{
    const float factor = *static_cast<const float*>(parameters);
    for (int i = 0; i < 3; ++i) out[i] = in[i] * factor;
}

}  // namespace

void CmmXyzToLab(const CmmWhite& white, const float* xyz, float* lab)
{
    const float fx = F(xyz[0] / white.x), fy = F(xyz[1] / white.y), fz = F(xyz[2] / white.z);
    lab[0] = (1.16f * fy - 0.16f) * 255.0f;
    lab[1] = 500.0f * (fx - fy) + 128.0f;
    lab[2] = 200.0f * (fy - fz) + 128.0f;
}

void CmmLabToXyz(const CmmWhite& white, const float* lab, float* xyz)
{
    const float fy = (lab[0] * 100.0f / 255.0f + 16.0f) / 116.0f;
    const float fx = fy + (lab[1] - 128.0f) / 500.0f;
    const float fz = fy - (lab[2] - 128.0f) / 200.0f;
    xyz[0] = G(fx) * white.x;
    xyz[1] = G(fy) * white.y;
    xyz[2] = G(fz) * white.z;
}

void CmmXyzToLabStageCreate(CmmGlobals* g, CmmObject* handle, const CmmWhite* white)
{
    const CmmWhite w = white != nullptr ? *white : CMM_D50_WHITE;
    CmmFunctionStageCreate(g, handle, XyzToLab, 3, 3, &w, sizeof w, nullptr);
}

void CmmLabToXyzStageCreate(CmmGlobals* g, CmmObject* handle, const CmmWhite* white)
{
    const CmmWhite w = white != nullptr ? *white : CMM_D50_WHITE;
    CmmFunctionStageCreate(g, handle, LabToXyz, 3, 3, &w, sizeof w, nullptr);
}

void CmmWhiteScaleStageCreate(CmmGlobals* g, CmmObject* handle, const CmmWhite* media, bool inverse)
{
    CmmFunctionStageCreate(g, handle, inverse ? WhiteScaleInverse : WhiteScale, 3, 3, media, sizeof *media, nullptr);
}

void CmmLabEncodingStageCreate(CmmGlobals* g, CmmObject* handle, bool inverse)
{
    const float factor = inverse ? 65535.0f / 65280.0f : 65280.0f / 65535.0f;
    CmmFunctionStageCreate(g, handle, LabEncoding, 3, 3, &factor, sizeof factor, nullptr);
}
