// Serial and parallel groups of stages. A serial group carries the channels behind a stage's
// inputs along behind its outputs, which the fan-out and black-preservation stages rely on.
#include "engine/services/cmm/cmm_stage.h"

namespace {

struct GroupStage {
    CmmStageHead head;
    uint32_t parallel;
    uint32_t count;
    uint32_t capacity;
    uint32_t reserved;
    CmmObject* members;  // allocated apart; the object's block never moves under it
};

GroupStage* GroupOf(CmmObject* self) { return static_cast<GroupStage*>(self->body); }

void CopyAndFill(const float* in, uint32_t inputs, float* out, uint32_t outputs)
{
    for (uint32_t o = 0; o < outputs; ++o) out[o] = o < inputs ? in[o] : 0.0f;
}

void SerialPixel(CmmGlobals* g, GroupStage* group, const float* in, float* out)
{
    constexpr uint32_t kWork = 2 * CMM_MAX_CHANNELS;
    float a[kWork] = {}, b[kWork] = {};
    float* work = a;
    float* next = b;
    uint32_t channels = group->head.conversion.inputs;
    for (uint32_t c = 0; c < channels; ++c) work[c] = in[c];
    for (uint32_t s = 0; s < group->count && !CmmFailed(g); ++s) {
        CmmObject* stage = &group->members[s];
        const uint32_t inputs = CmmObjectInputs(stage), outputs = CmmObjectOutputs(stage);
        const uint32_t carried = channels > inputs ? channels - inputs : 0;
        if (outputs + carried > kWork) {
            CmmRaise(g, CMM_STATUS_FAILED);
            return;
        }
        CmmStageEvaluate(g, stage, work, next);
        for (uint32_t c = 0; c < carried; ++c) next[outputs + c] = work[inputs + c];
        channels = outputs + carried;
        float* swap = work;
        work = next;
        next = swap;
    }
    for (uint32_t o = 0; o < group->head.conversion.outputs; ++o) out[o] = o < channels ? work[o] : 0.0f;
}

void ParallelPixel(CmmGlobals* g, GroupStage* group, const float* in, float* out)
{
    uint32_t from = 0, to = 0;
    const uint32_t inputs = group->head.conversion.inputs, outputs = group->head.conversion.outputs;
    for (uint32_t s = 0; s < group->count && !CmmFailed(g); ++s) {
        CmmObject* stage = &group->members[s];
        const uint32_t i = CmmObjectInputs(stage), o = CmmObjectOutputs(stage);
        if (from + i > inputs || to + o > outputs) break;
        CmmStageEvaluate(g, stage, in + from, out + to);
        from += i;
        to += o;
    }
    for (; to < outputs; ++to) out[to] = 0;
}

void GroupConvert(CmmGlobals* g, CmmObject* self, const float* in, float* out, uint32_t pixels)
{
    GroupStage* group = GroupOf(self);
    const uint32_t inputs = group->head.conversion.inputs, outputs = group->head.conversion.outputs;
    for (uint32_t p = 0; p < pixels && !CmmFailed(g); ++p, in += inputs, out += outputs) {
        if (group->count == 0) CopyAndFill(in, inputs, out, outputs);
        else if (group->parallel != 0) ParallelPixel(g, group, in, out);
        else SerialPixel(g, group, in, out);
    }
}

void GroupDestroy(CmmGlobals* g, CmmObject* self)
{
    GroupStage* group = GroupOf(self);
    for (uint32_t s = 0; s < group->count; ++s) CmmObjectRelease(g, &group->members[s]);
    CmmFree(group->members);
    group->members = nullptr;
    group->count = 0;
}

// The copy shares the source's member list until it makes its own.
void GroupCopyHook(CmmGlobals* g, CmmObject* source, CmmObject* copy)
{
    GroupStage* from = GroupOf(source);
    GroupStage* to = GroupOf(copy);
    to->members = nullptr;
    to->count = 0;
    to->capacity = 0;
    if (from->count == 0) return;
    to->members = static_cast<CmmObject*>(CmmAlloc(g, sizeof(CmmObject) * from->count));
    if (to->members == nullptr) return;
    to->capacity = from->count;
    for (uint32_t s = 0; s < from->count; ++s) {
        to->members[s] = CmmObject{};
        CmmObjectCopy(g, &from->members[s], &to->members[s]);
        if (to->members[s].block == nullptr) break;
        to->count = s + 1;
    }
}

void GroupWrite(CmmGlobals* g, CmmObject* self, CmmObject* stream)
{
    GroupStage* group = GroupOf(self);
    for (uint32_t s = 0; s < group->count; ++s) CmmObjectWrite(g, &group->members[s], stream);
}

void GroupReattach(CmmGlobals* g, CmmObject* self)
{
    GroupStage* group = GroupOf(self);
    for (uint32_t s = 0; s < group->count; ++s) CmmObjectReattach(g, &group->members[s]);
}

}  // namespace

void CmmGroupStageCreate(CmmGlobals* g, CmmObject* handle, bool parallel, uint32_t inputs, uint32_t outputs)
{
    if (inputs == 0 || outputs == 0 || inputs > CMM_MAX_CHANNELS || outputs > CMM_MAX_CHANNELS) {
        CmmObjectInit(handle, CMM_TYPE_STAGE_GROUP);
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    if (!CmmStageMake(g, handle, CMM_TYPE_STAGE_GROUP, sizeof(GroupStage), inputs, outputs)) return;
    GroupStage* group = GroupOf(handle);
    group->head.conversion.convertRows = GroupConvert;
    group->head.lifecycle = CmmLifecycle{GroupDestroy, GroupCopyHook, nullptr, nullptr, GroupWrite, GroupReattach};
    group->parallel = parallel ? 1 : 0;
}

void CmmGroupStageAppend(CmmGlobals* g, CmmObject* group, CmmObject* stage)
{
    if (CmmFailed(g) || group->type != CMM_TYPE_STAGE_GROUP || stage->block == nullptr) {
        CmmObjectRelease(g, stage);
        return;
    }
    GroupStage* body = GroupOf(group);
    if (body->count == body->capacity) {
        const uint32_t capacity = body->capacity == 0 ? 4 : body->capacity * 2;
        auto* members = static_cast<CmmObject*>(CmmAlloc(g, sizeof(CmmObject) * capacity));
        if (members == nullptr) {
            CmmObjectRelease(g, stage);
            return;
        }
        for (uint32_t s = 0; s < body->count; ++s) members[s] = body->members[s];
        CmmFree(body->members);
        body->members = members;
        body->capacity = capacity;
    }
    body->members[body->count++] = *stage;
    *stage = CmmObject{};
}

uint32_t CmmGroupStageCount(CmmObject* group) { return GroupOf(group)->count; }
CmmObject* CmmGroupStageMember(CmmObject* group, uint32_t index)
{
    return index < GroupOf(group)->count ? &GroupOf(group)->members[index] : nullptr;
}
