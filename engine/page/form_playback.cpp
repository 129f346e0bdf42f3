// Placing one form (or the page's own list) as a form level.
#include <algorithm>
#include <cmath>
#include <cstdint>

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

// Margins, offsets, sizes and resolutions come from the stream: what is made of them is held
// within 32 bits.
static LONG Held(double v) { return static_cast<LONG>(std::clamp(v, double(INT32_MIN), double(INT32_MAX))); }
static LONG Held(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
static LONG DivideRounded(double v, double by) { return Held(std::floor(v / by + 0.5)); }
// v * by / over rounded as MulDiv rounds (halves away from zero), in 128 bits; over is not 0.
static LONG Scaled(int64_t v, uint32_t by, uint32_t over)
{
    const __int128 product = static_cast<__int128>(v) * by;
    __int128 quotient = product / over;
    const __int128 rest = product % over;
    if (2 * (rest < 0 ? -rest : rest) >= over) quotient += product < 0 ? -1 : 1;
    return Held(static_cast<int64_t>(std::clamp<__int128>(quotient, INT64_MIN, INT64_MAX)));
}

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
        map.windowOrigin = POINT{Held(-int64_t{margins[0]}), Held(-int64_t{margins[1]})};
        return FormStackPush(state, &map, form, &rect, placement->levelFlags, placement->mix, placement->values,
                             placement->position);
    }
    // A form drawn at a resolution of 0, or of no size, cannot be scaled onto the page.
    if (form->resolution[0] == 0 || form->resolution[1] == 0 || jobResolution[0] == 0 || jobResolution[1] == 0 ||
        form->size[0] == 0 || form->size[1] == 0)
        return 0;
    POINT origin = (placement->playFlags & PLAY_MARGINS) ? POINT{Held(-int64_t{margins[0]}), Held(-int64_t{margins[1]})}
                                                         : POINT{0, 0};
    const double scaleX = static_cast<double>(jobResolution[0]) / form->resolution[0];
    const double scaleY = static_cast<double>(jobResolution[1]) / form->resolution[1];
    map.windowExtent = SIZE{DivideRounded(pageExtent.cx, scaleX), DivideRounded(pageExtent.cy, scaleY)};
    origin = POINT{Held(std::trunc(origin.x / scaleX)), Held(std::trunc(origin.y / scaleY))};
    const SIZE formSize{Scaled(form->size[0], jobResolution[0], form->resolution[0]),
                        Scaled(form->size[1], jobResolution[1], form->resolution[1])};
    const POINT aligned =
        PlacementOffset(pageExtent, formSize, (placement->playFlags & PLAY_ALIGN) ? placement->alignment : 0);
    const int64_t dx = static_cast<int64_t>(aligned.x) - placement->offset.x;
    const int64_t dy = static_cast<int64_t>(aligned.y) - placement->offset.y;
    origin.x = Held(int64_t{origin.x} + Scaled(dx, form->resolution[0], jobResolution[0]));
    origin.y = Held(int64_t{origin.y} + Scaled(dy, form->resolution[1], jobResolution[1]));
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
