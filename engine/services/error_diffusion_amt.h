// The built-in error-diffusion method AMT: serpentine diffusion with Floyd-Steinberg weights and a
// threshold broken by pseudo-random noise that is strongest in the middle tones.
#pragma once

#include <cstdint>

#include "rastrel/imx_errdiff.h"

inline constexpr uint32_t AMT_NOISE_LENGTH = 14406;

// Error lines of one plane: two lines of (line width + 2) cells, each with a guard cell before
// index 0, in 1/256 units of a sample; and where the plane's noise sequence stands.
struct AmtPlane {
    int32_t* errors;
    uint32_t noisePosition;
};

struct AmtContext {
    ImxErrDiffContext head;
    uint16_t weights[4 * AMT_NOISE_LENGTH];  // 112, 16, 80, 48 repeated; kept, never read
    uint16_t noise[AMT_NOISE_LENGTH];
    uint16_t permutation[AMT_NOISE_LENGTH];
    uint16_t ramp[AMT_NOISE_LENGTH];  // noise amplitude 0..128
    uint16_t grayCurve[256];  // noise weight of each ink level, 0..256
    AmtPlane* planes;  // one per configured plane
    uint32_t planeCount;
    uint32_t lineWidth;
};

ImxErrDiffContext* ImxErrDiffAMTCreate(void);
ImxStatus ImxErrDiffAMTConfigure(ImxErrDiffContext* context, const ImxErrDiffConfig* config);
ImxStatus ImxErrDiffAMTImage(ImxErrDiffContext* context, const ImxImage* source, ImxImage* destination);
void ImxErrDiffAMTDestroy(ImxErrDiffContext* context);

// One line of the Mled2 kernel: samples of `width` pixels to packed 1-bit output (most significant
// bit first, cleared padding), left to right when leftToRight, else right to left. cur and next
// point at index 0 of their error lines (index -1 and width are guard cells).
void Mled2Line(const AmtContext& amt, uint32_t* noisePosition, const uint8_t* samples, uint8_t* bits, uint32_t width,
               bool leftToRight, int32_t* cur, int32_t* next);
