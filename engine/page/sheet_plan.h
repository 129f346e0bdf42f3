// Sheets: which pages lie on the two sides of one sheet (n-up cells, two-sided pages, poster), the
// layouts that build them from the pages or from the device's entry list, and the rendering of a
// sheet through the output module's sheet calls and the band loops.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/page/page_header.h"
#include "engine/page/render_context.h"
#include "rastrel/imo.h"

struct PageSource;

inline constexpr uint32_t SHEET_CELLS_MAX = 25;

// Job flags used by the sequencing.
inline constexpr uint32_t JOB_FLAG_COPIES_BY_PASS = 0x1;
inline constexpr uint32_t JOB_FLAG_KEEP_LAST_PAGE = 0x2;
inline constexpr uint32_t JOB_FLAG_REVERSE = 0x4;
inline constexpr uint32_t JOB_FLAG_PAPER_SHEET = 0x8;  // the last sheet only carries paper
inline constexpr uint32_t JOB_FLAG_SPLIT_BACK = 0x10;  // with 0x8

// Side selection of SheetRender.
inline constexpr uint32_t SHEET_SIDES_BOTH = 0;
inline constexpr uint32_t SHEET_SIDES_FRONT = 1;
inline constexpr uint32_t SHEET_SIDES_BACK = 2;

// Entry kinds of the entry list.
inline constexpr uint32_t SHEET_ENTRY_FRONT = 0x1;
inline constexpr uint32_t SHEET_ENTRY_BACK = 0x2;
inline constexpr uint32_t SHEET_ENTRY_BLANK = 0x4;

struct SheetPlan {
    uint8_t cells[2];  // per side: front, back
    uint8_t arrangement[2];
    uint8_t placed[2];
    uint8_t poster;  // 1: no poster
    uint8_t reserved7;
    uint16_t paperCode;
    uint16_t reserved10;
    uint32_t sheetSize[2];  // device pixels
    int32_t margins[4];
    uint32_t scaleWord;
    uint32_t repeatWord;
    uint32_t pageFlags;
    uint32_t sheetBlank;
    uint32_t frontBlank;
    uint32_t backBlank;
    PageSource* source;
    uint32_t front[SHEET_CELLS_MAX];
    uint32_t back[SHEET_CELLS_MAX];
    char paperName[32];
};
static_assert(offsetof(SheetPlan, paperCode) == 8);
static_assert(offsetof(SheetPlan, sheetSize) == 12);
static_assert(offsetof(SheetPlan, margins) == 20);
static_assert(offsetof(SheetPlan, scaleWord) == 36);
static_assert(offsetof(SheetPlan, pageFlags) == 44);
static_assert(offsetof(SheetPlan, sheetBlank) == 48);
static_assert(offsetof(SheetPlan, source) == 64);
static_assert(offsetof(SheetPlan, front) == 72);
static_assert(offsetof(SheetPlan, back) == 172);
static_assert(offsetof(SheetPlan, paperName) == 272);
static_assert(sizeof(SheetPlan) == 304);

// The head of the entry list handed to DeviceQuery id 14; the entries follow.
struct SheetEntryList {
    uint32_t sheetCount;
    uint32_t entryCount;
};
static_assert(sizeof(SheetEntryList) == 8);
inline SheetEntry* SheetEntries(SheetEntryList* list) { return reinterpret_cast<SheetEntry*>(list + 1); }

// 1 when page n is there, 0 after the last page, -1 when it could not be looked for (the index
// could not grow, the stream failed): the pass must not end as if the job had no more pages.
int PageAvailable(PageSource* source, uint32_t page);
// Peeks or reads page n's record (a read leaves the stream after its fixed part); false when the
// page is not there or its record is bad.
bool PageSourceHeaderPeek(PageSource* source, uint32_t page, PageHeader* header);
bool PageSourceHeaderRead(PageSource* source, uint32_t page, PageHeader* header);

// Cells per side as the page or the options give them (P2: a count outside the grid table is 1).
uint32_t SheetCellCount(const RenderOptions* options, const PageHeader* page);

// The sheet's margins from its first page: an early page record's right and bottom margins still
// hold the job header's first extent pair.
void SheetMarginsFromPage(const JobHeader* job, const PageHeader* page, int32_t margins[4]);
// Sheet size, margins, paper, page flags, cells, arrangement and poster factor from the first page.
void SheetPlanFromPage(const RenderOptions* options, const JobHeader* job, const PageHeader* page, SheetPlan* plan);

// Lays out the sheet that starts at page first. A temporary page source made for it is left in
// plan->source (the caller closes it when it is not `source`). 1 or 0.
int PageCellLayout(RenderOptions* options, JobHeader* header, PageSource* source, uint32_t first, uint32_t limit,
                   SheetPlan* plan, uint32_t repeat, const PageHeader* firstPage, uint32_t exchange);
int SheetPlanBuild(RenderOptions* options, JobHeader* header, PageSource* source, const SheetEntry* front,
                   const SheetEntry* back, SheetPlan* plan);
// RenderAlloc'ed; null when out of memory or a layout failed.
SheetEntryList* SheetEntryListBuild(RenderOptions* options, JobHeader* header, PageSource* source, uint32_t repeat);
uint32_t* SheetStartList(RenderOptions* options, JobHeader* header, PageSource* source, uint32_t* count);

// Sheet k of a booklet of R pages (R a multiple of 4) whose booklet page b is page s + b, of which
// n exist: two cells a side, the outer pages on the front; the arrangement codes swapped when the
// header read last asked for it; the sides exchanged in reverse order.
void BookletSheetLayout(SheetPlan* plan, uint32_t k, uint32_t s, uint32_t n, uint32_t R, bool arrangementSwap,
                        bool reverse);

int SheetRender(const RenderContext* render, const SheetPlan* plan, SheetInsertRequest* request, uint32_t sides);

// Closes the plan's page source when it is a temporary one of its own.
void SheetPlanSourceRelease(SheetPlan* plan, PageSource* jobSource);
