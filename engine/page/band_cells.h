// The n-up side: its grid of cells on the sheet, the order in which pages fill them, and the
// cells' pages played as the band walk reaches them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

struct JobHeader;
struct PagePlacement;
struct PageState;
struct ResourceStore;

inline constexpr uint32_t BAND_CELLS_MAX = 25;  // five columns by five rows
inline constexpr uint32_t BAND_STATE_PORTRAIT = 0x1;
inline constexpr uint32_t BAND_STATE_LANDSCAPE = 0x2;
inline constexpr uint32_t BAND_STATE_TURN = 0x10;

struct BandCell {
    POINT pitchOrigin;
    POINT drawOrigin;
    PageState* state;  // while loaded
    ResourceStore* store;  // while loaded
    uint32_t page;
    uint8_t hasPage;
    uint8_t loaded;
    uint8_t first;  // receives the side's first page (and the sheet request)
    uint8_t done;  // played and released, or left empty
};
static_assert(offsetof(BandCell, state) == 16);
static_assert(sizeof(BandCell) == 40);

struct BandState {
    uint32_t orientation;  // BAND_STATE_*
    uint32_t rows;
    uint32_t columns;
    double scaleX;
    double scaleY;
    uint32_t sheetSize[2];  // after any exchange of the axes
    RECT sheetRect;
    uint32_t cellSize[2];
    uint32_t pitch[2];
    uint32_t borderWidth[2];
    uint32_t borderGap[2];
    uint32_t order[BAND_CELLS_MAX];  // row * 256 + column, in the order pages fill the cells
    uint32_t orderCount;
    BandCell cells[BAND_CELLS_MAX];  // row * 5 + column
};

// Lays out the grid of a side of cells for the placement's sheet; returns the side's orientation
// code (2 when the sheet's axes are exchanged, advanced by one when the side is turned).
uint32_t BandStateInit(BandState* state, const JobHeader* header, const PagePlacement* placement, uint32_t cells,
                       uint32_t arrangement, uint32_t orientationBits, uint32_t front, uint32_t gap, uint32_t borderGap,
                       uint32_t turn);
