#include "engine/page/band_cells.h"

#include <cmath>
#include <cstring>

#include "engine/common/output_module.h"
#include "engine/page/page_placement.h"
#include "engine/page/preamble.h"

namespace {

struct Grid {
    uint32_t columns, rows;
    bool exchange;
};

Grid GridFor(uint32_t cells, bool wide)
{
    switch (cells) {
        case 2: return wide ? Grid{1, 2, true} : Grid{2, 1, true};
        case 4: return Grid{2, 2, false};
        case 6: return wide ? Grid{2, 3, true} : Grid{3, 2, true};
        case 8: return wide ? Grid{2, 4, true} : Grid{4, 2, true};
        case 9: return Grid{3, 3, false};
        case 12: return wide ? Grid{3, 4, true} : Grid{4, 3, true};
        case 16: return Grid{4, 4, false};
        case 25: return Grid{5, 5, false};
        default: {
            uint32_t k = 1;
            while (k < 5 && k * k < cells) ++k;
            return Grid{k, k, false};
        }
    }
}

}  // namespace

uint32_t BandStateInit(BandState* state, const JobHeader* header, const PagePlacement* placement, uint32_t cells,
                       uint32_t arrangement, uint32_t orientationBits, uint32_t front, uint32_t gap, uint32_t borderGap,
                       uint32_t turn)
{
    std::memset(state, 0, sizeof *state);
    const uint32_t width = placement->sizePixels[0], height = placement->sizePixels[1];
    const bool wide = height <= width;
    const Grid grid = GridFor(cells, wide);
    state->columns = grid.columns;
    state->rows = grid.rows;
    state->orientation = (orientationBits & ~0x13u) | (wide ? BAND_STATE_LANDSCAPE : BAND_STATE_PORTRAIT);
    state->sheetSize[0] = width;
    state->sheetSize[1] = height;
    if (grid.exchange) {
        state->sheetSize[0] = height;
        state->sheetSize[1] = width;
        state->orientation ^= BAND_STATE_PORTRAIT | BAND_STATE_LANDSCAPE;
    }
    state->sheetRect = RECT{0, 0, static_cast<LONG>(state->sheetSize[0]), static_cast<LONG>(state->sheetSize[1])};
    // Device pixels per page unit.
    state->scaleX =
        header->resolutionX != 0 ? double(placement->resolution[grid.exchange ? 1 : 0]) / header->resolutionX : 1.0;
    state->scaleY =
        header->resolutionY != 0 ? double(placement->resolution[grid.exchange ? 0 : 1]) / header->resolutionY : 1.0;
    const uint32_t gapX = gap != 0 ? gap : header->resolutionX / 16;
    const uint32_t gapY = gap != 0 ? gap : header->resolutionY / 16;
    const uint32_t gx = static_cast<uint32_t>(RoundHalfUp(gapX * state->scaleX));
    const uint32_t gy = static_cast<uint32_t>(RoundHalfUp(gapY * state->scaleY));
    const uint32_t border = 3;  // the job header carries no border value of its own
    state->borderWidth[0] = static_cast<uint32_t>(RoundHalfUp(border * state->scaleX));
    state->borderWidth[1] = static_cast<uint32_t>(RoundHalfUp(border * state->scaleY));
    state->borderGap[0] = static_cast<uint32_t>(RoundHalfUp(borderGap * state->scaleX));
    state->borderGap[1] = static_cast<uint32_t>(RoundHalfUp(borderGap * state->scaleY));
    const uint32_t cols = state->columns, rows = state->rows;
    state->pitch[0] = state->sheetSize[0] / cols;
    state->pitch[1] = state->sheetSize[1] / rows;
    const int64_t cw = (int64_t(state->sheetSize[0]) - int64_t(cols - 1) * gx) / cols;
    const int64_t ch = (int64_t(state->sheetSize[1]) - int64_t(rows - 1) * gy) / rows;
    state->cellSize[0] = cw > 0 ? static_cast<uint32_t>(cw) : 0;
    state->cellSize[1] = ch > 0 ? static_cast<uint32_t>(ch) : 0;
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c) {
            BandCell& cell = state->cells[r * 5 + c];
            cell.pitchOrigin = POINT{LONG(state->pitch[0] * c), LONG(state->pitch[1] * r)};
            cell.drawOrigin = POINT{LONG((state->cellSize[0] + gx) * c), LONG((state->cellSize[1] + gy) * r)};
        }
    // The order in which pages fill the cells.
    const bool byColumns = (arrangement & 0x10) != 0;
    const bool upward = (arrangement & 1) != 0, leftward = (arrangement & 2) != 0;
    if ((arrangement & ~0x13u) == 0) {
        const uint32_t outer = byColumns ? cols : rows, inner = byColumns ? rows : cols;
        for (uint32_t o = 0; o < outer; ++o)
            for (uint32_t i = 0; i < inner; ++i) {
                uint32_t r = byColumns ? i : o, c = byColumns ? o : i;
                if (upward) r = rows - 1 - r;
                if (leftward) c = cols - 1 - c;
                state->order[state->orderCount++] = r * 256 + c;
            }
    }
    if (state->orderCount > 0) state->cells[(state->order[0] >> 8) * 5 + (state->order[0] & 0xFF)].first = 1;
    if (turn) state->orientation ^= BAND_STATE_TURN;
    (void)front;
    uint32_t code = grid.exchange ? 2 : 0;
    if (state->orientation & BAND_STATE_TURN) ++code;
    return code;
}
