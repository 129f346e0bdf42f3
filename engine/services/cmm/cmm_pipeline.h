// The pixel pipeline: a chain of float stages sampled into per-input lookup tables and an 8-bit
// grid, run over bitmaps by a kernel chosen by the input and output counts.
#pragma once

#include "engine/services/cmm/cmm_bitmap.h"
#include "engine/services/cmm/cmm_stage.h"

inline constexpr uint32_t CMM_PIPELINE_MAX_CHANNELS = 15;

struct CmmPipeline;
typedef void (*CmmKernel)(const CmmPipeline* pipeline, CmmBitmap* source, CmmBitmap* destination);

struct CmmPipeline {
    CmmLifecycle lifecycle;  // write (the "mft1" tag), reattach
    CmmConversion conversion;  // run: the kernel
    uint32_t inputs;
    uint32_t outputs;
    CmmKernel kernel;
    uint32_t points;  // per input; 256 for one input (a table, no cells)
    uint8_t fractionMask;
    uint8_t fractionBits;
    uint8_t reserved[2];
    uint32_t* vertexOffsets;  // 2^inputs corner offsets (inputs below 5)
    uint32_t* gaps;  // shell-sort gaps (inputs 5 and more), 0-terminated
    uint32_t* coordinates;  // inputs x 256: cell byte offsets
    uint8_t* inputTables;  // inputs x 256
    uint8_t* grid;  // points^inputs x outputs
    uint32_t strides[CMM_PIPELINE_MAX_CHANNELS];  // grid bytes per step of each input
    uint8_t fractions[256];  // each input byte's fraction of its cell, 0..255
    uint32_t serializedSize;  // of the "mft1" tag
    uint32_t gridBytes;
    alignas(8) uint8_t tables[8];
};

// Grid points per dimension for a quality and an input count.
uint32_t CmmPipelinePoints(uint32_t quality, uint32_t inputs);
// Makes the pipeline and samples chain (inputs -> outputs floats) into it.
void CmmPipelineCreate(CmmGlobals* g, CmmObject* handle, uint32_t inputs, uint32_t outputs, uint32_t quality,
                       CmmObject* chain);
inline CmmPipeline* CmmPipelineOf(CmmObject* handle) { return static_cast<CmmPipeline*>(handle->body); }
// Runs the pipeline from one bitmap into another.
void CmmPipelineRun(CmmGlobals* g, CmmObject* pipeline, CmmObject* source, CmmObject* destination);
// The kernel for an input and output count.
CmmKernel CmmKernelSelect(uint32_t inputs, uint32_t outputs);
// The generic kernel (any counts, by the bitmaps' channel orders): the reference of the others.
void CmmKernelGeneric(const CmmPipeline* pipeline, CmmBitmap* source, CmmBitmap* destination);
