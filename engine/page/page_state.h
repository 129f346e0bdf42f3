// The state of one page being played: its header and blob, its display list, the forms it
// references and its stack of form levels, and its job-data records; and the page player.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/form_level.h"
#include "engine/page/page_header.h"
#include "engine/page/preamble.h"

struct Form;
struct FormTable;
struct OutputModuleContext;
struct PageSource;
struct ResourceStore;

inline constexpr uint32_t PAGE_FORMS_MAX = 16;

// Play flags of FormPlay.
inline constexpr uint32_t PLAY_BLOB = 0x1;  // keep the page record's blob
inline constexpr uint32_t PLAY_MARGINS = 0x2;  // the page level's origin is the negated margins
inline constexpr uint32_t PLAY_NO_OVERLAY = 0x4;  // leave out the overlay form and fixed placements
inline constexpr uint32_t PLAY_FIRST_PAIR = 0x8;  // the job header's first extent pair gives the offset
inline constexpr uint32_t PLAY_FLAG_10 = 0x10;
inline constexpr uint32_t PLAY_ALIGN = 0x40;  // forms aligned by their alignment, not centred
// A cell of an n-up sheet: the page's overlay form still goes beneath or above it (and is scaled
// into the cell with it), though PLAY_NO_OVERLAY leaves out the fixed placements.
inline constexpr uint32_t PLAY_CELL_OVERLAY = 0x80;
// The band loops' modes.
inline constexpr uint32_t PLAY_MODE_FRONT = 11;
inline constexpr uint32_t PLAY_MODE_BACK = 3;
inline constexpr uint32_t PLAY_MODE_CELL_FRONT = 12;
inline constexpr uint32_t PLAY_MODE_CELL_BACK = 4;

struct PageState {
    PageHeader header;
    uint8_t* blob;  // owned copy of the page record's blob, or null
    CmdList list;
    FormTable* forms;
    uint32_t formCount;
    Form* formsUsed[PAGE_FORMS_MAX];  // each holds a reference
    uint32_t depth;
    FormLevel levels[FORM_LEVELS_MAX];
    JobDataList jobData;
};

void PageStateInit(PageState* state, FormTable* forms, ResourceStore* store);
// Releases the referenced forms, the form levels, the display list, the job data and the blob.
void PageStateClear(PageState* state);

// Pushes a level over the form's list (the page's own list when form is null) at the position (-1:
// on top). The values are the tile step of a tiled level. Non-zero on success; a tenth level, a
// position above the depth or a level that cannot be made fails.
int FormStackPush(PageState* state, const DcMap* map, Form* form, const RECT* rect, uint32_t flags, uint8_t mix,
                  const uint8_t values[8], int32_t position);

// What one placement of a form asks for.
struct FormPlacement {
    uint32_t playFlags;
    uint32_t levelFlags;
    const uint8_t* values;  // 8 bytes
    uint8_t mix;
    uint8_t alignment;
    int32_t position;  // -1: on top
    POINT offset;  // subtracted from the aligned position (page units)
};

// Places one form on the page: a fixed level over the page extent, or the form scaled from its
// resolution to the job's and aligned in the page. Non-zero on success.
int FormPlaybackBegin(PageState* state, Form* form, const uint32_t jobResolution[2], SIZE pageExtent,
                      const FormPlacement* placement);

// Plays page n of the source into the state. Non-zero on success; on failure the state is cleared.
int FormPlay(PageState* state, OutputModuleContext* context, const JobHeader* header, PageSource* source, uint32_t page,
             SheetInsertRequest* request, uint32_t playFlags);
