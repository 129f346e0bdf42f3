// Matrix stages: floats stored output-row by input-column.
#include <cmath>

#include "engine/services/cmm/cmm_stage.h"

namespace {

struct MatrixStage {
    CmmStageHead head;
    uint32_t inputs;
    uint32_t outputs;
    float* values;
    float data[1];  // inputs x outputs
};

void MatrixReattach(CmmGlobals*, CmmObject* self)
{
    auto* m = static_cast<MatrixStage*>(self->body);
    m->values = m->data;
}

void MatrixConvert(CmmGlobals*, CmmObject* self, const float* in, float* out, uint32_t pixels)
{
    const auto* m = static_cast<const MatrixStage*>(self->body);
    float work[CMM_MAX_CHANNELS];
    for (uint32_t p = 0; p < pixels; ++p, in += m->inputs, out += m->outputs) {
        for (uint32_t j = 0; j < m->outputs; ++j) {
            float sum = 0;
            for (uint32_t i = 0; i < m->inputs; ++i) sum += m->values[j * m->inputs + i] * in[i];
            work[j] = sum;
        }
        for (uint32_t j = 0; j < m->outputs; ++j) out[j] = work[j];
    }
}

}  // namespace

void CmmMatrixStageCreate(CmmGlobals* g, CmmObject* handle, uint32_t inputs, uint32_t outputs, const float* values)
{
    if (inputs == 0 || outputs == 0 || inputs > CMM_MAX_CHANNELS || outputs > CMM_MAX_CHANNELS) {
        CmmObjectInit(handle, CMM_TYPE_STAGE_MATRIX);
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    const uint32_t n = inputs * outputs;
    if (!CmmStageMake(g, handle, CMM_TYPE_STAGE_MATRIX, offsetof(MatrixStage, data) + sizeof(float) * n, inputs,
                      outputs))
        return;
    auto* m = static_cast<MatrixStage*>(handle->body);
    m->head.lifecycle.reattach = MatrixReattach;
    m->head.conversion.convertRows = MatrixConvert;
    m->inputs = inputs;
    m->outputs = outputs;
    MatrixReattach(g, handle);
    for (uint32_t j = 0; j < outputs; ++j)
        for (uint32_t i = 0; i < inputs; ++i)
            m->values[j * inputs + i] = values != nullptr ? values[j * inputs + i] : (i == j ? 1.0f : 0.0f);
}

void CmmMatrixStageInvert(CmmGlobals* g, CmmObject* stage)
{
    if (CmmFailed(g) || stage->type != CMM_TYPE_STAGE_MATRIX) return;
    auto* s = static_cast<MatrixStage*>(stage->body);
    if (s->inputs != 3 || s->outputs != 3) return;
    const float* m = s->values;
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = m[4], f = m[5], h = m[6], k = m[7], l = m[8];
    const double det = a * (e * l - f * k) - b * (d * l - f * h) + c * (d * k - e * h);
    if (!(std::fabs(det) >= 1e-6)) {
        CmmRaise(g, CMM_STATUS_SINGULAR);
        return;
    }
    const double inverse[9] = {(e * l - f * k),  -(b * l - c * k), (b * f - c * e),  -(d * l - f * h), (a * l - c * h),
                               -(a * f - c * d), (d * k - e * h),  -(a * k - b * h), (a * e - b * d)};
    for (int i = 0; i < 9; ++i) s->values[i] = static_cast<float>(inverse[i] / det);
}
