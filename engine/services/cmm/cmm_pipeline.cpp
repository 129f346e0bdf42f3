// Pipelines: making the tables, sampling the chain at every grid node, and writing the result as
// an "mft1" lookup table.
#include "engine/services/cmm/cmm_pipeline.h"

#include <bit>

#include "engine/services/cmm/cmm_stream.h"

namespace {

void PipelineReattach(CmmGlobals*, CmmObject* self)
{
    CmmPipeline* p = CmmPipelineOf(self);
    uint8_t* at = p->tables;
    const uint32_t corners = p->inputs < 5 ? (1u << p->inputs) : 0;
    p->vertexOffsets = corners != 0 ? reinterpret_cast<uint32_t*>(at) : nullptr;
    at += sizeof(uint32_t) * corners;
    p->gaps = reinterpret_cast<uint32_t*>(at);
    at += sizeof(uint32_t) * 8;
    p->coordinates = reinterpret_cast<uint32_t*>(at);
    at += sizeof(uint32_t) * 256 * p->inputs;
    p->inputTables = at;
    at += 256 * p->inputs;
    p->grid = at;
}

// The "mft1" tag: identity matrix, the input tables, the grid, identity output tables.
void PipelineWrite(CmmGlobals* g, CmmObject* self, CmmObject* stream)
{
    const CmmPipeline* p = CmmPipelineOf(self);
    uint8_t head[48] = {'m',
                        'f',
                        't',
                        '1',
                        0,
                        0,
                        0,
                        0,
                        static_cast<uint8_t>(p->inputs),
                        static_cast<uint8_t>(p->outputs),
                        static_cast<uint8_t>(p->points),
                        0};
    for (int i = 0; i < 3; ++i) head[12 + 16 * i + 1] = 1;  // 65536 on the diagonal
    CmmStreamWriteElements(g, stream, head, CMM_ELEMENT_U8, sizeof head);
    CmmStreamWriteElements(g, stream, p->inputTables, CMM_ELEMENT_U8, int64_t{256} * p->inputs);
    CmmStreamWriteElements(g, stream, p->grid, CMM_ELEMENT_U8, p->gridBytes);
    uint8_t ramp[256];
    for (int i = 0; i < 256; ++i) ramp[i] = static_cast<uint8_t>(i);
    for (uint32_t o = 0; o < p->outputs; ++o) CmmStreamWriteElements(g, stream, ramp, CMM_ELEMENT_U8, 256);
}

void PipelineRunOp(CmmGlobals* g, CmmObject* self, CmmObject* source, CmmObject* destination)
{
    CmmPipelineRun(g, self, source, destination);
}

uint8_t ToByte(float v)
{
    float in = v;
    uint8_t out = 0;
    const CmmArray from{1, 1, CMM_ELEMENT_FLOAT, 0, &in};
    CmmArray to{1, 1, CMM_ELEMENT_U8, 0, &out};
    CmmArrayConvert(&from, &to);
    return out;
}

}  // namespace

uint32_t CmmPipelinePoints(uint32_t quality, uint32_t inputs)
{
    if (inputs == 1) return 256;
    uint32_t points = quality == 0 ? 5 : quality == 1 ? 9 : quality == 2 ? 17 : 33;
    for (uint32_t i = 3; i < inputs && points >= 6; ++i) points = (points - 1) / 2 + 1;
    return points;
}

void CmmPipelineCreate(CmmGlobals* g, CmmObject* handle, uint32_t inputs, uint32_t outputs, uint32_t quality,
                       CmmObject* chain)
{
    CmmObjectInit(handle, CMM_TYPE_PIPELINE);
    if (CmmFailed(g)) return;
    if (inputs == 0 || outputs == 0 || inputs > CMM_PIPELINE_MAX_CHANNELS || outputs > CMM_PIPELINE_MAX_CHANNELS) {
        CmmRaise(g, CMM_STATUS_BAD_LUT);
        return;
    }
    const uint32_t points = CmmPipelinePoints(quality, inputs);
    uint64_t nodes = 1;
    for (uint32_t i = 0; i < inputs; ++i) nodes *= points;
    const uint64_t gridBytes = nodes * outputs;
    const uint64_t tables = sizeof(uint32_t) * ((inputs < 5 ? (1u << inputs) : 0) + 8 + 256 * inputs) + 256 * inputs;
    // Four spare bytes behind the grid let the three-input kernels load a node as one word.
    const uint64_t bodySize = offsetof(CmmPipeline, tables) + tables + gridBytes + 4;
    if (gridBytes > CMM_MAX_GRID_BYTES || bodySize > UINT32_MAX) {
        CmmRaise(g, CMM_STATUS_BAD_LUT);
        return;
    }
    handle->bodySize = static_cast<uint32_t>(bodySize);
    CmmObjectAllocate(g, handle);
    if (handle->block == nullptr) return;
    CmmPipeline* p = CmmPipelineOf(handle);
    CmmObjectSetSlot(handle, CMM_SLOT_LIFECYCLE, &p->lifecycle);
    CmmObjectSetSlot(handle, CMM_SLOT_CONVERSION, &p->conversion);
    p->lifecycle.write = PipelineWrite;
    p->lifecycle.reattach = PipelineReattach;
    p->conversion = CmmConversion{inputs, outputs, nullptr, nullptr, PipelineRunOp};
    p->inputs = inputs;
    p->outputs = outputs;
    p->points = points;
    p->gridBytes = static_cast<uint32_t>(gridBytes);
    p->serializedSize = static_cast<uint32_t>(48 + 256 * (inputs + outputs) + gridBytes);
    p->kernel = CmmKernelSelect(inputs, outputs);
    PipelineReattach(g, handle);
    // The cell bits come from the top of the input byte, the fraction from the rest.
    const uint32_t cellBits = inputs == 1 ? 8 : static_cast<uint32_t>(std::bit_width(points - 2));
    p->fractionBits = static_cast<uint8_t>(8 - cellBits);
    p->fractionMask = static_cast<uint8_t>((1u << p->fractionBits) - 1);
    // One input has a node for every byte: no fractions.
    for (uint32_t x = 0; x < 256 && inputs > 1; ++x)
        p->fractions[x] =
            static_cast<uint8_t>(((x & p->fractionMask) << (8 - p->fractionBits)) | (x >> p->fractionBits));
    uint32_t* strides = p->strides;
    uint32_t stride = outputs;
    for (uint32_t i = inputs; i-- > 0;) {
        strides[i] = stride;
        stride *= points;
    }
    for (uint32_t i = 0; i < inputs; ++i)
        for (uint32_t x = 0; x < 256; ++x) {
            p->inputTables[i * 256 + x] = static_cast<uint8_t>(x);
            p->coordinates[i * 256 + x] = inputs == 1 ? x * outputs : (x >> p->fractionBits) * strides[i];
        }
    if (p->vertexOffsets != nullptr)
        for (uint32_t corner = 0; corner < (1u << inputs); ++corner) {
            uint32_t offset = 0;
            for (uint32_t i = 0; i < inputs; ++i)
                if (corner & (1u << i)) offset += strides[i];
            p->vertexOffsets[corner] = offset;
        }
    uint32_t gap = 1, count = 0;
    for (; gap < inputs && count < 7; gap = 3 * gap + 1) p->gaps[count++] = gap;
    p->gaps[count] = 0;
    // Every node through the chain.
    uint32_t index[CMM_PIPELINE_MAX_CHANNELS] = {};
    float in[CMM_PIPELINE_MAX_CHANNELS] = {};
    float out[2 * CMM_MAX_CHANNELS] = {};
    const uint32_t chainOutputs = CmmObjectOutputs(chain);
    for (uint64_t n = 0; n < nodes && !CmmFailed(g); ++n) {
        for (uint32_t i = 0; i < inputs; ++i)
            in[i] = static_cast<float>(index[i]) * 255.0f / static_cast<float>(points - 1);
        CmmStageEvaluate(g, chain, in, out);
        for (uint32_t o = 0; o < outputs; ++o) p->grid[n * outputs + o] = o < chainOutputs ? ToByte(out[o]) : 0;
        for (uint32_t i = inputs; i-- > 0;) {
            if (++index[i] < points) break;
            index[i] = 0;
        }
    }
}

void CmmPipelineRun(CmmGlobals* g, CmmObject* pipeline, CmmObject* source, CmmObject* destination)
{
    if (CmmFailed(g)) return;
    if (pipeline == nullptr || pipeline->type != CMM_TYPE_PIPELINE || source == nullptr || destination == nullptr ||
        source->type != CMM_TYPE_BITMAP || destination->type != CMM_TYPE_BITMAP) {
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    const CmmPipeline* p = CmmPipelineOf(pipeline);
    CmmBitmap* s = CmmBitmapOf(source);
    CmmBitmap* d = CmmBitmapOf(destination);
    // The kernels read bytes 0..inputs-1 of a source pixel and write bytes 0..outputs-1; the
    // bitmaps must hold them, and the destination every row and pixel the source has.
    const uint32_t needIn = p->inputs == 3 ? 3 : p->inputs;
    if (s->pixels == nullptr || d->pixels == nullptr || s->bytesPerPixel < needIn || d->bytesPerPixel < p->outputs ||
        s->channels < p->inputs || d->channels < p->outputs || d->width < s->width || d->rows < s->rows) {
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    p->kernel(p, s, d);
}
