// Placing one form (or the page's own list) as a form level.
#include <cmath>

#include "engine/page/form_table.h"
#include "engine/page/page_placement.h"
#include "engine/page/page_state.h"
#include "platform/kernel.h"

static bool FormReference(PageState* state, Form* form)
{
    if (state->formCount >= PAGE_FORMS_MAX) return false;
    Form* held = FormLookup(state->forms, form->id);
    if (held == nullptr) return false;
    state->formsUsed[state->formCount++] = held;
    return true;
}

static LONG DivideRounded(double v, double by) { return static_cast<LONG>(std::floor(v / by + 0.5)); }

int FormPlaybackBegin(PageState* state, Form* form, const uint32_t jobResolution[2], SIZE pageExtent,
                      const FormPlacement* placement)
{
    if (form == nullptr || !FormReference(state, form)) return 0;
    const int32_t* margins = state->header.margins;
    const RECT rect{0, 0, pageExtent.cx, pageExtent.cy};
    DcMap map{};
    map.viewportExtent = pageExtent;
    map.windowExtent = pageExtent;
    if (placement->levelFlags & FORM_LEVEL_FIXED) {
        map.windowOrigin = POINT{-margins[0], -margins[1]};
        return FormStackPush(state, &map, form, &rect, placement->levelFlags, placement->mix, placement->values,
                             placement->position);
    }
    // A form drawn at a resolution of 0, or of no size, cannot be scaled onto the page.
    if (form->resolution[0] == 0 || form->resolution[1] == 0 || jobResolution[0] == 0 || jobResolution[1] == 0 ||
        form->size[0] == 0 || form->size[1] == 0)
        return 0;
    POINT origin = (placement->playFlags & PLAY_MARGINS) ? POINT{-margins[0], -margins[1]} : POINT{0, 0};
    const double scaleX = static_cast<double>(jobResolution[0]) / form->resolution[0];
    const double scaleY = static_cast<double>(jobResolution[1]) / form->resolution[1];
    map.windowExtent = SIZE{DivideRounded(pageExtent.cx, scaleX), DivideRounded(pageExtent.cy, scaleY)};
    origin = POINT{static_cast<LONG>(origin.x / scaleX), static_cast<LONG>(origin.y / scaleY)};
    const SIZE formSize{MulDiv(static_cast<int>(form->size[0]), static_cast<int>(jobResolution[0]),
                               static_cast<int>(form->resolution[0])),
                        MulDiv(static_cast<int>(form->size[1]), static_cast<int>(jobResolution[1]),
                               static_cast<int>(form->resolution[1]))};
    const POINT aligned = PlacementOffset(pageExtent, formSize, (placement->playFlags & PLAY_ALIGN) ? placement->alignment : 0);
    const int64_t dx = static_cast<int64_t>(aligned.x) - placement->offset.x;
    const int64_t dy = static_cast<int64_t>(aligned.y) - placement->offset.y;
    origin.x += MulDiv(static_cast<int>(dx), static_cast<int>(form->resolution[0]), static_cast<int>(jobResolution[0]));
    origin.y += MulDiv(static_cast<int>(dy), static_cast<int>(form->resolution[1]), static_cast<int>(jobResolution[1]));
    if (placement->levelFlags & FORM_LEVEL_TILED) {
        // Tiles repeat the form: a negative origin is the same as one wrapped into the first tile.
        const int64_t w = form->size[0], h = form->size[1];
        if (origin.x < 0) origin.x = static_cast<LONG>(((origin.x % w) + w) % w);
        if (origin.y < 0) origin.y = static_cast<LONG>(((origin.y % h) + h) % h);
    }
    map.windowOrigin = origin;
    return FormStackPush(state, &map, form, &rect, placement->levelFlags, placement->mix, placement->values,
                         placement->position);
}
