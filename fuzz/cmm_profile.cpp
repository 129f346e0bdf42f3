// The profile reader over arbitrary bytes of known size, then every tag reader over whatever
// opened, and a write of the profile: nothing may read or write outside the profile.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/services/cmm/cmm_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CmmObject instance{};
    if (CmmGlobalsInit(&instance) != 0) return 0;
    CmmGlobals* g = CmmGlobalsOf(&instance);
    const std::vector<uint8_t> bytes(data, data + size);
    const CmmProfileSource source{bytes.data(), nullptr, 1, 0, bytes.size()};
    CmmObject profile{};
    CmmProfileOpen(g, &profile, &source);
    if (profile.block != nullptr) {
        uint32_t count = 0;
        CmmProfileTagCount(g, &profile, &count);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t signature = 0;
            CmmProfileTagInfo(g, &profile, i, &signature, nullptr, nullptr);
            g->raised = 0;
            float xyz[3];
            CmmTagReadXyz(g, &profile, signature, xyz);
            g->raised = 0;
            CmmObject stage{};
            for (bool towards : {true, false}) {
                CmmTagReadCurve(g, &profile, signature, towards, &stage);
                const float in[2] = {0, 200};
                float out[2];
                if (stage.block != nullptr) CmmObjectConvertRows(g, &stage, in, out, 2);
                CmmObjectRelease(g, &stage);
                g->raised = 0;
            }
            CmmTagReadLut(g, &profile, signature, &stage);
            if (stage.block != nullptr) {
                std::vector<float> in(CmmObjectInputs(&stage), 100.0f), out(CmmObjectOutputs(&stage));
                CmmObjectConvertRows(g, &stage, in.data(), out.data(), 1);
            }
            CmmObjectRelease(g, &stage);
            g->raised = 0;
            char text[64];
            CmmTagReadDescription(&profile, signature, text, sizeof text);
            CmmTagReadSignature(&profile, signature);
        }
        std::vector<uint8_t> out(CmmProfileHeaderOf(&profile)->size);
        CmmObject stream{};
        CmmMemoryStreamCreate(g, &stream, static_cast<uint32_t>(out.size()), out.data(), 0, 0);
        CmmProfileWrite(g, &profile, &stream);
        CmmObjectRelease(g, &stream);
        CmmObjectRelease(g, &profile);
    }
    CmmObjectRelease(nullptr, &instance);
    return 0;
}
