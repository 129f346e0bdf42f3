// The frame of a page as black rectangles in a level of its own.
#include "engine/page/page_borders.h"

#include <algorithm>
#include <cstring>

#include "engine/display/commands/cmd_rect.h"
#include "engine/display/form_level.h"
#include "engine/page/page_state.h"
#include "engine/raster/band_surface.h"

namespace {

constexpr ResourceId kBlackBrush = 0x80000000;

LONG Rounded(double v) { return static_cast<LONG>(std::clamp(v + 0.5, 0.0, 2147483647.0)); }

}  // namespace

SIZE PageBorderWidth(uint32_t value, double scaleX, double scaleY)
{
    const double border = value != 0 ? value : 3;
    return SIZE{Rounded(border * scaleX), Rounded(border * scaleY)};
}

int PageBordersPush(PageState* state, ResourceStore* store, const RECT* frame, SIZE width, PageBorders* borders)
{
    borders->level = UINT32_MAX;
    CmdListInit(&borders->list, store, 1);
    if (state->depth >= FORM_LEVELS_MAX) return 0;
    const RECT& f = *frame;
    const LONG bx = std::min<LONG>(width.cx, f.right - f.left), by = std::min<LONG>(width.cy, f.bottom - f.top);
    const RECT sides[4] = {{f.left, f.top, f.right, f.top + by},
                           {f.left, f.bottom - by, f.right, f.bottom},
                           {f.left, f.top, f.left + bx, f.bottom},
                           {f.right - bx, f.top, f.right, f.bottom}};
    for (const RECT& side : sides) {
        if (side.left >= side.right || side.top >= side.bottom) continue;
        CmdNode* node = RectFillCreate(store, &side, kBlackBrush);
        if (node == nullptr) {
            CmdListDestroyAll(&borders->list);
            return 0;
        }
        CmdListAppend(&borders->list, node);
    }
    // Device pixels one to one.
    const DcMap map{{0, 0}, {1, 1}, {0, 0}, {1, 1}};
    FormLevel* level = &state->levels[state->depth];
    std::memset(level, 0, sizeof *level);
    if (!FormLevelInit(level, &map, &borders->list, frame, 0, 0, nullptr)) {
        CmdListDestroyAll(&borders->list);
        return 0;
    }
    borders->level = state->depth++;
    return 1;
}

void PageBordersRelease(PageState* state, PageBorders* borders)
{
    if (borders->level == UINT32_MAX) return;
    FormLevelsRelease(&state->levels[borders->level], 1);
    std::memset(&state->levels[borders->level], 0, sizeof state->levels[borders->level]);
    if (state->depth == borders->level + 1) --state->depth;
    CmdListDestroyAll(&borders->list);
    borders->level = UINT32_MAX;
}
