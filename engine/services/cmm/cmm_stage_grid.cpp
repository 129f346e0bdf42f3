// Grid stages: a table of nodes interpolated by the simplex rule. Node coordinates are clamped to
// the grid and NaN counts as 0, so no input can reach outside the table.
#include <cmath>

#include "engine/services/cmm/cmm_stage.h"

namespace {

struct GridStage {
    CmmStageHead head;
    uint32_t inputs;
    uint32_t outputs;
    uint32_t points[CMM_MAX_GRID_INPUTS];
    uint32_t strides[CMM_MAX_GRID_INPUTS];  // in floats
    uint32_t nodeCount;
    float* nodes;
    float data[1];  // nodeCount x outputs
};

void GridReattach(CmmGlobals*, CmmObject* self)
{
    auto* grid = static_cast<GridStage*>(self->body);
    grid->nodes = grid->data;
}

void GridConvert(CmmGlobals*, CmmObject* self, const float* in, float* out, uint32_t pixels)
{
    const auto* grid = static_cast<const GridStage*>(self->body);
    for (uint32_t p = 0; p < pixels; ++p, in += grid->inputs, out += grid->outputs) {
        float fraction[CMM_MAX_GRID_INPUTS];
        int64_t step[CMM_MAX_GRID_INPUTS];
        uint32_t order[CMM_MAX_GRID_INPUTS];
        size_t base = 0;
        for (uint32_t i = 0; i < grid->inputs; ++i) {
            const float last = static_cast<float>(grid->points[i] - 1);
            float v = in[i];
            v = std::isnan(v) ? 0.0f : v < 0 ? 0.0f : v > 255.0f ? 255.0f : v;
            const float t = last * v / 255.0f;
            auto index = static_cast<uint32_t>(t);
            if (index >= grid->points[i] - 1) {
                index = grid->points[i] - 1;
                fraction[i] = 0;
                step[i] = -int64_t{grid->strides[i]};
            } else {
                fraction[i] = t - static_cast<float>(index);
                step[i] = grid->strides[i];
            }
            base += size_t{grid->strides[i]} * index;
            // Largest fraction first; equal fractions keep the lower channel first.
            uint32_t at = i;
            while (at > 0 && fraction[order[at - 1]] < fraction[i]) {
                order[at] = order[at - 1];
                --at;
            }
            order[at] = i;
        }
        float result[CMM_MAX_CHANNELS];
        const float* node = grid->nodes + base;
        for (uint32_t o = 0; o < grid->outputs; ++o) result[o] = node[o];
        for (uint32_t k = 0; k < grid->inputs; ++k) {
            const uint32_t i = order[k];
            const float* next = node + step[i];
            for (uint32_t o = 0; o < grid->outputs; ++o) result[o] += (next[o] - node[o]) * fraction[i];
            node = next;
        }
        for (uint32_t o = 0; o < grid->outputs; ++o) out[o] = result[o];
    }
}

}  // namespace

void CmmGridStageCreate(CmmGlobals* g, CmmObject* handle, uint32_t inputs, uint32_t outputs, const uint32_t* points,
                        const CmmArray* values, CmmObject* chain)
{
    CmmObjectInit(handle, CMM_TYPE_STAGE_GRID);
    if (CmmFailed(g)) return;
    uint64_t nodes = 1;
    bool valid = inputs >= 1 && inputs <= CMM_MAX_GRID_INPUTS && outputs >= 1 && outputs <= CMM_MAX_CHANNELS;
    for (uint32_t i = 0; valid && i < inputs; ++i) {
        valid = points[i] >= 2 && points[i] <= 255;
        nodes *= points[i];
        valid = valid && nodes * outputs * sizeof(float) <= CMM_MAX_GRID_BYTES;
    }
    if (valid && chain != nullptr) valid = CmmObjectInputs(chain) == inputs && CmmObjectOutputs(chain) >= outputs;
    if (!valid) {
        CmmRaise(g, CMM_STATUS_BAD_LUT);
        return;
    }
    if (!CmmStageMake(g, handle, CMM_TYPE_STAGE_GRID, offsetof(GridStage, data) + sizeof(float) * nodes * outputs,
                      inputs, outputs))
        return;
    auto* grid = static_cast<GridStage*>(handle->body);
    grid->head.lifecycle.reattach = GridReattach;
    grid->head.conversion.convertRows = GridConvert;
    grid->inputs = inputs;
    grid->outputs = outputs;
    grid->nodeCount = static_cast<uint32_t>(nodes);
    uint32_t stride = outputs;
    for (uint32_t i = inputs; i-- > 0;) {
        grid->points[i] = points[i];
        grid->strides[i] = stride;
        stride *= points[i];
    }
    GridReattach(g, handle);
    if (values != nullptr) {
        CmmArray floats{outputs, grid->nodeCount, CMM_ELEMENT_FLOAT, 0, grid->nodes};
        CmmArrayConvert(values, &floats);
        return;
    }
    // Walk the nodes like an odometer, the last input first.
    uint32_t index[CMM_MAX_GRID_INPUTS] = {};
    float coordinates[CMM_MAX_CHANNELS] = {};
    float result[2 * CMM_MAX_CHANNELS] = {};
    for (uint32_t n = 0; n < grid->nodeCount && !CmmFailed(g); ++n) {
        for (uint32_t i = 0; i < inputs; ++i)
            coordinates[i] = static_cast<float>(index[i]) * 255.0f / static_cast<float>(points[i] - 1);
        float* node = grid->nodes + size_t{n} * outputs;
        if (chain != nullptr) {
            CmmStageEvaluate(g, chain, coordinates, result);
            for (uint32_t o = 0; o < outputs; ++o) node[o] = result[o];
        } else {
            for (uint32_t o = 0; o < outputs; ++o) node[o] = o < inputs ? coordinates[o] : 0.0f;
        }
        for (uint32_t i = inputs; i-- > 0;) {
            if (++index[i] < points[i]) break;
            index[i] = 0;
        }
    }
}
