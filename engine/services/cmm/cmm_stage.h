// The stages a colour conversion is built from: float pixels, every channel on 0..255, one core
// object per stage with a conversion interface that converts a run of pixels. The link builder is
// the only place that orders them; the 8-bit kernels sample the chain.
#pragma once

#include "engine/services/cmm/cmm_array.h"

// Channel counts a stage accepts; a chain carries at most twice as many (a fan-out doubles).
inline constexpr uint32_t CMM_MAX_CHANNELS = 40;
inline constexpr uint32_t CMM_MAX_GRID_INPUTS = 15;
// Grids beyond this many bytes of float nodes are refused.
inline constexpr uint64_t CMM_MAX_GRID_BYTES = uint64_t{64} << 20;

// The start of every stage's body.
struct CmmStageHead {
    CmmLifecycle lifecycle;
    CmmConversion conversion;
};

// Makes the handle a stage of type with a body of bodySize bytes (CmmStageHead first) and the
// given channel counts; false when it could not be had.
bool CmmStageMake(CmmGlobals* g, CmmObject* handle, CmmObjectType type, uint64_t bodySize, uint32_t inputs,
                  uint32_t outputs);
// Runs one pixel through a stage (in and out may not overlap).
void CmmStageEvaluate(CmmGlobals* g, CmmObject* stage, const float* in, float* out);

// Matrix: output j = sum over i of values[j * inputs + i] x input i; the identity without values.
void CmmMatrixStageCreate(CmmGlobals* g, CmmObject* handle, uint32_t inputs, uint32_t outputs, const float* values);
// Inverts a 3 x 3 matrix stage in place; a singular one raises CMM_STATUS_SINGULAR and is kept.
void CmmMatrixStageInvert(CmmGlobals* g, CmmObject* stage);

// Curves: each channel through its own curve, entries stored entry by entry, channels interleaved.
inline constexpr uint32_t CMM_CURVE_FORWARD = 0;
inline constexpr uint32_t CMM_CURVE_INVERSE = 1;
inline constexpr uint32_t CMM_CURVE_POWER = 2;
inline constexpr uint32_t CMM_CURVE_POWER_INVERSE = 3;
void CmmCurvesStageCreate(CmmGlobals* g, CmmObject* handle, uint32_t channels, uint32_t entries, uint32_t mode,
                          const CmmArray* values);
void CmmCurvesStageReverse(CmmObject* stage);
// The curve stage's own float entries and mode (for the tag readers and the tests).
float* CmmCurvesStageEntries(CmmObject* stage);
uint32_t CmmCurvesStageMode(CmmObject* stage);

// Grid: nodes of outputs floats, the last input varying fastest, from values, from a chain
// sampled at every node, or (neither) the node coordinates themselves.
void CmmGridStageCreate(CmmGlobals* g, CmmObject* handle, uint32_t inputs, uint32_t outputs, const uint32_t* points,
                        const CmmArray* values, CmmObject* chain);

// Function: each pixel through fn with a parameter block copied into the stage. release and copy
// look after objects the block holds (both optional).
typedef void (*CmmStageFunction)(CmmGlobals* g, const void* parameters, const float* in, float* out);
struct CmmFunctionParameterOps {
    void (*release)(CmmGlobals* g, void* parameters);
    void (*copy)(CmmGlobals* g, void* parameters);  // the block was copied byte for byte: duplicate what it owns
};
void CmmFunctionStageCreate(CmmGlobals* g, CmmObject* handle, CmmStageFunction fn, uint32_t inputs, uint32_t outputs,
                            const void* parameters, uint32_t parameterSize, const CmmFunctionParameterOps* ops);

// The functions the link builder uses. A white of null is D50 scaled to Y = 127.5.
struct CmmWhite {
    float x, y, z;
};
inline constexpr CmmWhite CMM_D50_WHITE = {122.9355f, 127.5f, 105.17474f};
void CmmXyzToLabStageCreate(CmmGlobals* g, CmmObject* handle, const CmmWhite* white);
void CmmLabToXyzStageCreate(CmmGlobals* g, CmmObject* handle, const CmmWhite* white);
void CmmWhiteScaleStageCreate(CmmGlobals* g, CmmObject* handle, const CmmWhite* media, bool inverse);
void CmmLabEncodingStageCreate(CmmGlobals* g, CmmObject* handle, bool inverse);
// Black preservation: takes ownership of chain (the destination's A2B1 as a chain to Lab).
inline constexpr uint32_t CMM_BLACK_CMYK_SOURCE = 0;
inline constexpr uint32_t CMM_BLACK_OTHER_SOURCE = 1;
void CmmBlackStageCreate(CmmGlobals* g, CmmObject* handle, CmmObject* chain, uint32_t carried, uint32_t mode);
// The formulas themselves, one pixel of three channels.
void CmmXyzToLab(const CmmWhite& white, const float* xyz, float* lab);
void CmmLabToXyz(const CmmWhite& white, const float* lab, float* xyz);

// Groups: serial (one after the other, channels behind a stage's inputs carried along) or
// parallel (each stage on its own slice). Appending takes ownership of the stage.
void CmmGroupStageCreate(CmmGlobals* g, CmmObject* handle, bool parallel, uint32_t inputs, uint32_t outputs);
void CmmGroupStageAppend(CmmGlobals* g, CmmObject* group, CmmObject* stage);
uint32_t CmmGroupStageCount(CmmObject* group);
CmmObject* CmmGroupStageMember(CmmObject* group, uint32_t index);

// Fan-out: the pixel's channels copies times.
void CmmFanOutStageCreate(CmmGlobals* g, CmmObject* handle, uint32_t channels, uint32_t copies);
