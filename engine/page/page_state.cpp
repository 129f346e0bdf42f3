// A page's state and its stack of form levels.
#include "engine/page/page_state.h"

#include <cstring>

#include "engine/common/render_heap.h"
#include "engine/display/cmd_node.h"
#include "engine/page/form_table.h"

void PageStateInit(PageState* state, FormTable* forms, ResourceStore* store)
{
    std::memset(state, 0, sizeof *state);
    CmdListInit(&state->list, store, 1);
    JobDataListInit(&state->jobData);
    state->forms = forms;
}

void PageStateClear(PageState* state)
{
    for (uint32_t i = 0; i < state->formCount; ++i) FormRelease(state->forms, state->formsUsed[i]);
    state->formCount = 0;
    FormLevelsRelease(state->levels, state->depth);
    state->depth = 0;
    CmdListDestroyAll(&state->list);
    JobDataListFree(&state->jobData);
    RenderFree(state->blob);
    state->blob = nullptr;
}

int FormStackPush(PageState* state, const DcMap* map, Form* form, const RECT* rect, uint32_t flags, uint8_t mix,
                  const uint8_t values[8], int32_t position)
{
    const uint32_t depth = state->depth;
    if (depth >= FORM_LEVELS_MAX) return 0;
    if (position != -1 && (position < 0 || static_cast<uint32_t>(position) > depth)) return 0;
    const uint32_t at = position == -1 ? depth : static_cast<uint32_t>(position);
    SIZE step{};
    if (values != nullptr) {
        step.cx = static_cast<LONG>(LoadLE32(values));
        step.cy = static_cast<LONG>(LoadLE32(values + 4));
    }
    FormLevel level;
    if (!FormLevelInit(&level, map, form ? &form->list : &state->list, rect, flags, mix, values ? &step : nullptr))
        return 0;
    for (uint32_t i = depth; i > at; --i) FormLevelCopy(&state->levels[i], &state->levels[i - 1]);
    FormLevelCopy(&state->levels[at], &level);
    state->depth = depth + 1;
    return 1;
}
