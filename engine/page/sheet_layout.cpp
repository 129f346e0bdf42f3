// Sheet layout: the pages that share the two sides of one sheet, and the list of sheet starts.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/common/render_heap.h"
#include "engine/common/render_options.h"
#include "engine/page/page_placement.h"
#include "engine/page/preamble.h"
#include "engine/page/sheet_plan.h"
#include "engine/spool/page_source.h"

namespace {

bool PageEmpty(PageSource* source, uint32_t page, const PageHeader& header)
{
    return header.overlayFormId == 0 && header.pageFormId == 0 && PageSourcePageIsEmpty(source, page);
}

uint8_t ArrangementCode(uint8_t code)
{
    return (code <= 3 || (code >= 16 && code <= 19)) ? code : 0;  // an unknown code reads as 0
}

uint32_t RepeatCount(const JobHeader* header)
{
    return (header->jobFlags & JOB_FLAG_COPIES_BY_PASS) ? 1 : std::max<uint32_t>(header->copyCount, 1);
}

}  // namespace

// The right and bottom margins of an early page record include the job header's first extent pair.
// The margins come from the stream: the difference is held within 32 bits.
void SheetMarginsFromPage(const JobHeader* job, const PageHeader* page, int32_t margins[4])
{
    int64_t wide[4] = {page->margins[0], page->margins[1], page->margins[2], page->margins[3]};
    if (page->header.version < 2) {
        const SIZE first = PageExtentGet(job, 1, page->pageFlags & PAGE_FLAG_EXTENT_EXCHANGED);
        wide[2] -= std::llabs(first.cx);
        wide[3] -= std::llabs(first.cy);
    }
    for (int i = 0; i < 4; ++i) margins[i] = static_cast<int32_t>(std::clamp<int64_t>(wide[i], INT32_MIN, INT32_MAX));
}

int PageAvailable(PageSource* source, uint32_t page)
{
    if (PageSourceSeek(source, page) >= 0) return 1;
    // A producer's record says the job is over or was given up; a private index knows its end.
    if (source->ownsIndex == 0 || source->index->finished) return 0;
    if (GetLastError() != ERROR_NOT_ENOUGH_MEMORY) SetLastError(ERROR_INVALID_DATA);
    return -1;
}

bool PageSourceHeaderPeek(PageSource* source, uint32_t page, PageHeader* header)
{
    return PageSourceSeekPage(source, page) && PageHeaderPeek(source->stream, header);
}

bool PageSourceHeaderRead(PageSource* source, uint32_t page, PageHeader* header)
{
    return PageSourceSeekPage(source, page) && PageHeaderRead(source->stream, header);
}

uint32_t SheetCellCount(const RenderOptions* options, const PageHeader* page)
{
    const uint32_t n = (options->flags & RENDER_FLAG_CELLS) ? options->cellsPerSide : page->cells;
    switch (n) {
        case 2:
        case 4:
        case 6:
        case 8:
        case 9:
        case 12:
        case 16:
        case 25: return n;
        default: return 1;  // 0 and counts without a grid take the whole side
    }
}

// The plan's fields that come from a sheet's first page.
void SheetPlanFromPage(const RenderOptions* options, const JobHeader* job, const PageHeader* page, SheetPlan* plan)
{
    plan->sheetSize[0] = static_cast<uint32_t>(std::max(page->width, 0));
    plan->sheetSize[1] = static_cast<uint32_t>(std::max(page->height, 0));
    SheetMarginsFromPage(job, page, plan->margins);
    plan->paperCode = page->paperCode;
    std::memcpy(plan->paperName, page->paperName, sizeof plan->paperName);
    plan->pageFlags = page->pageFlags | ((options->flags & RENDER_FLAG_SHEET_FLAG_20) ? 0x20u : 0u);
    plan->cells[0] = plan->cells[1] = static_cast<uint8_t>(SheetCellCount(options, page));
    plan->arrangement[0] = plan->arrangement[1] = ArrangementCode(page->arrangement);
    uint32_t poster = (options->flags & RENDER_FLAG_POSTER) ? options->posterFactor : page->poster;
    plan->poster = static_cast<uint8_t>(std::clamp<uint32_t>(poster, 1, PAGE_POSTER_MAX));
}

int PageCellLayout(RenderOptions* options, JobHeader* header, PageSource* source, uint32_t first, uint32_t limit,
                   SheetPlan* plan, uint32_t repeat, const PageHeader* firstPage, uint32_t exchange)
{
    std::memset(plan, 0, sizeof *plan);
    SheetPlanFromPage(options, header, firstPage, plan);
    plan->repeatWord = repeat;
    plan->sheetBlank = plan->frontBlank = plan->backBlank = 1;
    plan->source = source;
    const bool twoSided = (plan->pageFlags & PAGE_FLAG_TWO_SIDED) != 0;

    PageSource* temp = nullptr;
    if (!StreamCanSeek(source->stream) &&
        (twoSided || plan->cells[0] > 1 || repeat != RepeatCount(header) || plan->poster > 1)) {
        temp = PageSourceCreateTemp(source->stream->bufferSize);
        if (temp == nullptr) return 0;
        plan->source = temp;
    }
    const uint32_t cells = plan->cells[0];
    uint32_t page = first;
    uint32_t total = 0;
    bool newSheet = false;
    for (int side = 0; side < 2 && !newSheet; ++side) {
        if (side == 1 && !twoSided) break;
        uint32_t* list = side == 0 ? plan->front : plan->back;
        uint32_t& blank = side == 0 ? plan->frontBlank : plan->backBlank;
        for (uint32_t placed = 0; placed < cells && (limit == UINT32_MAX || total < limit); ++placed, ++page) {
            PageHeader h;
            if (page == first) {
                h = *firstPage;
            } else if (!PageSourceHeaderPeek(source, page, &h)) {
                if (PageAvailable(source, page) < 0) {
                    SheetPlanSourceRelease(plan, source);
                    return 0;
                }
                break;  // no more pages, or one that cannot be read: the sheet ends here
            }
            if (page != first && (h.pageFlags & PAGE_FLAG_NEW_SHEET)) {
                newSheet = true;
                break;
            }
            if (side == 1 && cells == 1 &&
                (static_cast<uint32_t>(h.width) != plan->sheetSize[0] ||
                 static_cast<uint32_t>(h.height) != plan->sheetSize[1] || !(h.pageFlags & PAGE_FLAG_TWO_SIDED)))
                break;
            if (temp != nullptr && !PageSourceCopyPage(source, temp, page)) {
                PageSourceClose(temp);
                plan->source = source;
                return 0;
            }
            if (!PageEmpty(source, page, h)) plan->sheetBlank = blank = 0;
            list[plan->placed[side]++] = page;
            ++total;
        }
    }
    // P3: only a two-sided sheet has sides to exchange.
    if (exchange && (header->jobFlags & JOB_FLAG_REVERSE) && twoSided) {
        std::swap_ranges(plan->front, plan->front + SHEET_CELLS_MAX, plan->back);
        std::swap(plan->placed[0], plan->placed[1]);
        std::swap(plan->cells[0], plan->cells[1]);
        std::swap(plan->arrangement[0], plan->arrangement[1]);
        std::swap(plan->frontBlank, plan->backBlank);
    }
    return 1;
}

void SheetPlanSourceRelease(SheetPlan* plan, PageSource* jobSource)
{
    if (plan->source != nullptr && plan->source != jobSource) PageSourceClose(plan->source);
    plan->source = jobSource;
}

uint32_t* SheetStartList(RenderOptions* options, JobHeader* header, PageSource* source, uint32_t* count)
{
    *count = 0;
    uint32_t capacity = 0;
    uint32_t* starts = nullptr;
    for (uint32_t page = 0;;) {
        const int available = PageAvailable(source, page);
        if (available < 0) {
            RenderFree(starts);
            return nullptr;
        }
        if (available == 0) break;
        PageHeader h;
        SheetPlan plan;
        if (!PageSourceHeaderPeek(source, page, &h) ||
            !PageCellLayout(options, header, source, page, UINT32_MAX, &plan, 0, &h, 0)) {
            RenderFree(starts);
            return nullptr;
        }
        SheetPlanSourceRelease(&plan, source);
        if (*count == capacity) {
            capacity += 32;
            auto* grown = static_cast<uint32_t*>(RenderRealloc(starts, capacity * sizeof(uint32_t)));
            if (grown == nullptr) {
                RenderFree(starts);
                return nullptr;
            }
            starts = grown;
        }
        starts[(*count)++] = page;
        page += std::max<uint32_t>(1, plan.placed[0] + plan.placed[1]);
    }
    if (starts == nullptr) starts = static_cast<uint32_t*>(RenderAlloc(sizeof(uint32_t)));  // a job without pages
    return starts;
}
