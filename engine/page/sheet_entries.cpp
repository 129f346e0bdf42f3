// The entry list: one entry per sheet side, announced to the device (which may rewrite it), and
// the sheets built back from its entries.
#include <algorithm>
#include <cstring>

#include "engine/common/render_heap.h"
#include "engine/common/render_options.h"
#include "engine/page/preamble.h"
#include "engine/page/sheet_plan.h"
#include "engine/spool/page_source.h"
#include "platform/kernel.h"

namespace {

uint32_t ToMils(uint32_t pixels, uint32_t resolution)
{
    return resolution == 0 ? 0 : static_cast<uint32_t>(static_cast<uint64_t>(pixels) * 1000 / resolution);
}

uint32_t ToPixels(uint32_t mils, uint32_t resolution)
{
    return static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(mils) * resolution / 1000, INT32_MAX));
}

SheetEntry EntryMake(const JobHeader* header, const SheetPlan& plan, uint32_t kind, uint32_t firstPage, uint32_t blank)
{
    SheetEntry entry{};
    entry.kind = kind | (blank ? SHEET_ENTRY_BLANK : 0);
    entry.width = ToMils(plan.sheetSize[0], header->resolutionX);
    entry.height = ToMils(plan.sheetSize[1], header->resolutionY);
    entry.paperCode = plan.paperCode;
    entry.repeat = plan.repeatWord;
    std::memcpy(entry.paperName, plan.paperName, sizeof entry.paperName);
    entry.firstPage = firstPage;
    return entry;
}

// Places up to the side's cells from the entry's first page on into one side of the plan.
void SideFromEntry(RenderOptions* options, JobHeader* header, PageSource* source, const SheetEntry* entry,
                   bool takeFields, int side, SheetPlan* plan)
{
    if (entry->kind & SHEET_ENTRY_BLANK) return;
    uint32_t* list = side == 0 ? plan->front : plan->back;
    uint32_t& blank = side == 0 ? plan->frontBlank : plan->backBlank;
    uint32_t cells = 1;
    for (uint32_t i = 0; i < cells; ++i) {
        const uint32_t page = entry->firstPage + i;
        PageHeader h;
        if (!PageSourceHeaderPeek(source, page, &h)) break;
        if (i == 0) {
            if (takeFields) {
                const uint32_t size[2] = {plan->sheetSize[0], plan->sheetSize[1]};
                const uint16_t paper = plan->paperCode;
                char name[32];
                std::memcpy(name, plan->paperName, sizeof name);
                SheetPlanFromPage(options, header, &h, plan);
                // The entry's sheet and paper stand: the device may have rewritten them.
                plan->sheetSize[0] = size[0];
                plan->sheetSize[1] = size[1];
                plan->paperCode = paper;
                std::memcpy(plan->paperName, name, sizeof name);
            }
            cells = SheetCellCount(options, &h);
            plan->cells[side] = static_cast<uint8_t>(cells);
        } else if (h.pageFlags & PAGE_FLAG_NEW_SHEET) {
            break;
        }
        if (!(h.overlayFormId == 0 && h.pageFormId == 0 && PageSourcePageIsEmpty(source, page)))
            plan->sheetBlank = blank = 0;
        list[plan->placed[side]++] = page;
    }
}

}  // namespace

SheetEntryList* SheetEntryListBuild(RenderOptions* options, JobHeader* header, PageSource* source, uint32_t repeat)
{
    uint32_t capacity = 64, count = 0, sheets = 0;
    auto* list = static_cast<SheetEntryList*>(RenderAlloc(sizeof(SheetEntryList) + capacity * sizeof(SheetEntry)));
    if (list == nullptr) return nullptr;
    for (uint32_t page = 0;;) {
        const int available = PageAvailable(source, page);
        if (available < 0) {
            RenderFree(list);
            return nullptr;
        }
        if (available == 0) break;
        PageHeader h;
        SheetPlan plan;
        if (!PageSourceHeaderPeek(source, page, &h) ||
            !PageCellLayout(options, header, source, page, UINT32_MAX, &plan, repeat, &h, 0)) {
            RenderFree(list);
            return nullptr;
        }
        SheetPlanSourceRelease(&plan, source);
        if (count + 2 > capacity) {
            capacity *= 2;
            auto* grown = static_cast<SheetEntryList*>(
                RenderRealloc(list, sizeof(SheetEntryList) + static_cast<size_t>(capacity) * sizeof(SheetEntry)));
            if (grown == nullptr) {
                RenderFree(list);
                return nullptr;
            }
            list = grown;
        }
        SheetEntries(list)[count++] = EntryMake(header, plan, SHEET_ENTRY_FRONT, page, plan.frontBlank);
        if (plan.placed[1] > 0)
            SheetEntries(list)[count++] = EntryMake(header, plan, SHEET_ENTRY_BACK, plan.back[0], plan.backBlank);
        ++sheets;
        page += std::max<uint32_t>(1, plan.placed[0] + plan.placed[1]);
    }
    list->sheetCount = sheets;
    list->entryCount = count;
    return list;
}

int SheetPlanBuild(RenderOptions* options, JobHeader* header, PageSource* source, const SheetEntry* front,
                   const SheetEntry* back, SheetPlan* plan)
{
    std::memset(plan, 0, sizeof *plan);
    const SheetEntry* first = front != nullptr ? front : back;
    plan->sheetSize[0] = ToPixels(first->width, header->resolutionX);
    plan->sheetSize[1] = ToPixels(first->height, header->resolutionY);
    plan->paperCode = first->paperCode;
    std::memcpy(plan->paperName, first->paperName, sizeof plan->paperName);
    plan->repeatWord = first->repeat;
    plan->sheetBlank = plan->frontBlank = plan->backBlank = 1;
    plan->cells[0] = plan->cells[1] = 1;
    plan->poster = 1;
    plan->source = source;
    if (front != nullptr) SideFromEntry(options, header, source, front, true, 0, plan);
    if (back != nullptr) SideFromEntry(options, header, source, back, front == nullptr, 1, plan);
    return 1;
}
