// The pages of one rendering pass laid onto sheets, in forward, reversed, start-list, entry-list
// or booklet order, each sheet repeated as the copies ask, in one pass or two (manual duplex).
#include "engine/page/job_pages.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/common/render_options.h"
#include "engine/page/preamble.h"
#include "engine/page/sheet_plan.h"
#include "engine/spool/page_source.h"

namespace {

struct PassState {
    const RenderContext* render;
    PageSource* source;
    uint32_t renders;  // SheetRender calls per sheet: repeat count over repeat step
    uint32_t step;  // the repeat step (the device repeats sheets)
    uint32_t sides;  // SHEET_SIDES_*
    bool binPaper;  // pass 2 under IMO_MANUAL_DUPLEX_BIN
    uint32_t sheets;  // sheets rendered in this pass
};

uint32_t RepeatCountOf(const JobHeader* header)
{
    return (header->jobFlags & JOB_FLAG_COPIES_BY_PASS) ? 1 : std::max<uint32_t>(header->copyCount, 1);  // P1
}

uint32_t ManualDuplexFlags(const OutputModuleContext* context)
{
    return static_cast<uint32_t>(context->duplexValue & 0xffffffffu);
}

uint16_t ManualDuplexPaper(const OutputModuleContext* context)
{
    return static_cast<uint16_t>(context->duplexValue >> 32);
}

// Renders the plan as often as the copies ask, with the sheets its pages' requests insert.
bool SheetRepeat(PassState& pass, SheetPlan plan, bool insertAllowed)
{
    if (pass.binPaper) plan.paperCode = ManualDuplexPaper(pass.render->module);
    for (uint32_t n = 0; n < pass.renders; ++n) {
        SheetInsertRequest request{};
        if (!SheetRender(pass.render, &plan, &request, pass.sides)) return false;
        ++pass.sheets;
        if (!insertAllowed || request.mode == SHEET_INSERT_NONE) continue;
        SheetPlan extra = plan;
        if (request.mode == SHEET_INSERT_BLANK) {
            extra.placed[0] = extra.placed[1] = 0;
            extra.sheetBlank = extra.frontBlank = extra.backBlank = 1;
            extra.sheetSize[0] = request.sheetSize[0];
            extra.sheetSize[1] = request.sheetSize[1];
            std::memcpy(extra.margins, request.margins, sizeof extra.margins);
            extra.poster = 1;
        } else if (request.mode != SHEET_INSERT_REPEAT) {
            continue;
        }
        extra.paperCode = request.paperCode;
        std::memcpy(extra.paperName, request.paperName, sizeof extra.paperName);
        SheetInsertRequest ignored{};
        if (!SheetRender(pass.render, &extra, &ignored, pass.sides)) return false;
        ++pass.sheets;
    }
    return true;
}

bool LayoutAndRender(PassState& pass, uint32_t first, uint32_t limit, SheetPlan* plan, const uint16_t* paper,
                     const char* paperName)
{
    PageHeader h;
    if (!PageSourceHeaderPeek(pass.source, first, &h)) return false;
    // The sheet carries the repeat step, as booklet and entry-list sheets do: under
    // IMO_CAPS_REPEAT_SHEET it is the only word that tells the device how many copies to make.
    if (!PageCellLayout(pass.render->options, pass.render->header, pass.source, first, limit, plan, pass.step, &h, 1))
        return false;
    if (paper != nullptr) {
        plan->paperCode = *paper;
        std::memcpy(plan->paperName, paperName, sizeof plan->paperName);
    }
    const bool done = SheetRepeat(pass, *plan, paper == nullptr);
    SheetPlanSourceRelease(plan, pass.source);
    return done;
}

bool ForwardOrder(PassState& pass)
{
    for (uint32_t page = 0;;) {
        const int available = PageAvailable(pass.source, page);
        if (available <= 0) return available == 0;
        SheetPlan plan;
        if (!LayoutAndRender(pass, page, UINT32_MAX, &plan, nullptr, nullptr)) return false;
        page += std::max<uint32_t>(1, plan.placed[0] + plan.placed[1]);
    }
}

bool StartListOrder(PassState& pass, bool reversed)
{
    uint32_t count = 0;
    uint32_t* list = SheetStartList(pass.render->options, pass.render->header, pass.source, &count);
    if (list == nullptr) return false;
    std::vector<uint32_t> starts(list, list + count);
    RenderFree(list);

    const uint32_t jobFlags = pass.render->header->jobFlags;
    uint16_t paper = 0;
    char paperName[32] = {};
    uint32_t end = UINT32_MAX;  // the page limit of the last sheet: none
    bool paperSheet = false;
    if ((jobFlags & JOB_FLAG_PAPER_SHEET) && !starts.empty()) {
        // The last sheet only carries paper for the sheet before it.
        PageHeader left;
        if (!PageSourceHeaderPeek(pass.source, starts.back(), &left)) return false;
        paper = left.paperCode;
        std::memcpy(paperName, left.paperName, sizeof paperName);
        end = starts.back();
        starts.pop_back();
        paperSheet = !starts.empty();
        if ((jobFlags & JOB_FLAG_SPLIT_BACK) && !starts.empty()) {
            PageHeader h;
            SheetPlan plan;
            if (!PageSourceHeaderPeek(pass.source, starts.back(), &h) ||
                !PageCellLayout(pass.render->options, pass.render->header, pass.source, starts.back(),
                                end - starts.back(), &plan, 0, &h, 0))
                return false;
            SheetPlanSourceRelease(&plan, pass.source);
            if (plan.placed[1] > 0) starts.push_back(starts.back() + plan.placed[0]);
        }
    }
    const size_t n = starts.size();
    for (size_t k = 0; k < n; ++k) {
        const size_t i = reversed ? n - 1 - k : k;
        const uint32_t limit =
            i + 1 < n ? starts[i + 1] - starts[i] : (end == UINT32_MAX ? UINT32_MAX : end - starts[i]);
        const bool takesPaper = paperSheet && i == n - 1;
        SheetPlan plan;
        if (!LayoutAndRender(pass, starts[i], limit, &plan, takesPaper ? &paper : nullptr, paperName)) return false;
    }
    return true;
}

bool EntryListOrder(PassState& pass, bool reversed)
{
    SheetEntryList* own = SheetEntryListBuild(pass.render->options, pass.render->header, pass.source, pass.step);
    if (own == nullptr) return false;
    DeviceEntryListQuery(pass.render->module, own);
    auto* list =
        pass.render->module->entryList != nullptr ? static_cast<SheetEntryList*>(pass.render->module->entryList) : own;
    const uint32_t count = list->entryCount;
    const SheetEntry* entries = SheetEntries(list);
    // Sheets: a front entry with the back entry behind it, or a lone entry.
    std::vector<std::pair<const SheetEntry*, const SheetEntry*>> sheets;
    for (uint32_t i = 0; i < count; ++i) {
        const SheetEntry* e = &entries[i];
        if ((e->kind & SHEET_ENTRY_FRONT) && i + 1 < count && (entries[i + 1].kind & SHEET_ENTRY_BACK) &&
            !(entries[i + 1].kind & SHEET_ENTRY_FRONT)) {
            sheets.emplace_back(e, &entries[i + 1]);
            ++i;
        } else if (e->kind & SHEET_ENTRY_FRONT) {
            sheets.emplace_back(e, nullptr);
        } else {
            sheets.emplace_back(nullptr, e);
        }
    }
    bool ok = true;
    for (size_t k = 0; ok && k < sheets.size(); ++k) {
        const auto& s = sheets[reversed ? sheets.size() - 1 - k : k];
        SheetPlan plan;
        ok = SheetPlanBuild(pass.render->options, pass.render->header, pass.source, s.first, s.second, &plan) &&
             SheetRepeat(pass, plan, true);
    }
    RenderFree(own);
    return ok;
}

PassState PassStateMake(const RenderContext* render, PageSource* source)
{
    PassState pass{render, source, 1, 1, SHEET_SIDES_BOTH, false, 0};
    const uint32_t r = RepeatCountOf(render->header);
    pass.step = (render->module->caps & IMO_CAPS_REPEAT_SHEET) ? r : 1;
    pass.renders = std::max<uint32_t>(1, r / pass.step);
    return pass;
}

}  // namespace

int JobPagesRender(const RenderContext* render, PageSource* pages)
{
    OutputModuleContext* context = render->module;
    const JobHeader* header = render->header;
    PageHeader first;
    const int any = PageAvailable(pages, 0);
    if (any <= 0) return any == 0;  // a pass without pages has no sheets
    if (!PageSourceHeaderPeek(pages, 0, &first)) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    const bool twoPass = (context->caps & IMO_CAPS_MANUAL_DUPLEX) && (first.pageFlags & PAGE_FLAG_TWO_SIDED);
    const bool entryList = (context->options & IMO_OPTION_SHEET_LIST) != 0;
    PageSource* source = pages;
    PageSource* copy = nullptr;
    if (!StreamCanSeek(pages->stream) && (twoPass || entryList)) {
        copy = PageSourceCreateTemp(pages->stream->bufferSize);
        if (copy == nullptr || !PageSourceCopy(copy, pages, false)) {
            PageSourceClose(copy);
            return 0;
        }
        source = copy;
    }
    PassState pass = PassStateMake(render, source);
    const uint32_t duplex = ManualDuplexFlags(context);
    const bool reverse = (header->jobFlags & JOB_FLAG_REVERSE) != 0;
    const bool startList =
        reverse || (header->jobFlags & JOB_FLAG_PAPER_SHEET) || (twoPass && (duplex & IMO_MANUAL_DUPLEX_REVERSE));
    bool ok = true;
    const uint32_t passes = twoPass ? 2 : 1;
    for (uint32_t p = 0; ok && p < passes; ++p) {
        pass.sides = twoPass ? (p == 0 ? SHEET_SIDES_FRONT : SHEET_SIDES_BACK) : SHEET_SIDES_BOTH;
        pass.binPaper = p == 1 && (duplex & IMO_MANUAL_DUPLEX_BIN);
        pass.sheets = 0;
        const bool reversed = reverse != (p == 1 && (duplex & IMO_MANUAL_DUPLEX_REVERSE));
        ok = entryList   ? EntryListOrder(pass, reversed)
             : startList ? StartListOrder(pass, reversed)
                         : ForwardOrder(pass);
        if (ok && twoPass && p == 0 && context->slots.ManualDuplexPass != nullptr)
            ok = context->slots.ManualDuplexPass(context->instance, 1, pass.sheets, nullptr) == 0;
    }
    PageSourceClose(copy);
    if (!ok && GetLastError() != ERROR_NOT_ENOUGH_MEMORY) SetLastError(ERROR_INVALID_DATA);
    return ok ? 1 : 0;
}

// Sheet k of a booklet of R pages (R a multiple of 4) starting at page s, of which n exist.
void BookletSheetLayout(SheetPlan* plan, uint32_t k, uint32_t s, uint32_t n, uint32_t R, bool arrangementSwap,
                        bool reverse)
{
    const uint32_t i = 2 * k;
    const uint32_t cells[2][2] = {{i, R - 1 - i}, {i + 1, R - 2 - i}};
    for (int side = 0; side < 2; ++side) {
        plan->placed[side] = 0;
        for (uint32_t b : cells[side])
            if (b < n) (side == 0 ? plan->front : plan->back)[plan->placed[side]++] = s + b;
        plan->cells[side] = 2;
    }
    plan->arrangement[0] = arrangementSwap ? 0 : 3;
    plan->arrangement[1] = arrangementSwap ? 3 : 0;
    if (reverse) {
        std::swap_ranges(plan->front, plan->front + SHEET_CELLS_MAX, plan->back);
        std::swap(plan->placed[0], plan->placed[1]);
        std::swap(plan->arrangement[0], plan->arrangement[1]);
    }
}

int BookletRender(const RenderContext* render, PageSource* pages)
{
    OutputModuleContext* context = render->module;
    const RenderOptions* options = render->options;
    JobHeader* header = render->header;
    const uint32_t count = PageSourceCount(pages);
    PageHeader first;
    if (pages->ownsIndex && !pages->index->finished) {  // the count stopped short of the job's end
        if (GetLastError() != ERROR_NOT_ENOUGH_MEMORY) SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    if (count == 0 || !PageSourceHeaderPeek(pages, 0, &first)) {
        SetLastError(ERROR_INVALID_DATA);  // a booklet needs pages
        return 0;
    }
    PassState pass = PassStateMake(render, pages);
    uint32_t s = 0;
    if (first.pageFlags & PAGE_FLAG_NEW_SHEET) {
        SheetPlan blank{};
        SheetPlanFromPage(options, header, &first, &blank);
        blank.cells[0] = blank.cells[1] = 1;
        blank.poster = 1;
        blank.sheetBlank = blank.frontBlank = blank.backBlank = 1;
        blank.source = pages;
        SheetInsertRequest ignored{};
        if (!SheetRender(render, &blank, &ignored, SHEET_SIDES_BOTH)) return 0;
        s = 1;
    }
    const uint32_t n = count - s;
    if (n == 0) return 1;
    const uint32_t R = (n + 3) / 4 * 4;
    PageHeader h;
    if (!PageSourceHeaderPeek(pages, s, &h)) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    SheetPlan plan{};
    SheetPlanFromPage(options, header, &h, &plan);
    const int64_t half = plan.sheetSize[1] / 2;
    plan.margins[1] =
        static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(plan.margins[1]) + header->bookletMargin, half));
    plan.margins[3] =
        static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(plan.margins[3]) + header->bookletMargin, half));
    plan.scaleWord = header->scaleWord;
    plan.repeatWord = pass.step;
    plan.poster = 1;
    plan.source = pages;

    const bool reverse = (header->jobFlags & JOB_FLAG_REVERSE) != 0;
    const bool twoPass = (context->caps & IMO_CAPS_MANUAL_DUPLEX) != 0;
    const uint32_t duplex = ManualDuplexFlags(context);
    const uint32_t sheets = R / 4;
    for (uint32_t p = 0; p < (twoPass ? 2u : 1u); ++p) {
        pass.sides = twoPass ? (p == 0 ? SHEET_SIDES_FRONT : SHEET_SIDES_BACK) : SHEET_SIDES_BOTH;
        pass.binPaper = p == 1 && (duplex & IMO_MANUAL_DUPLEX_BIN);
        pass.sheets = 0;
        const bool backward = reverse != (p == 1 && (duplex & IMO_MANUAL_DUPLEX_REVERSE));
        // The arrangement follows the header read last: the first booklet page's, then that of
        // the previous sheet's first front page.
        uint8_t arrangement = h.arrangement;
        for (uint32_t j = 0; j < sheets; ++j) {
            const uint32_t k = backward ? sheets - 1 - j : j;
            BookletSheetLayout(&plan, k, s, n, R, arrangement != 0, reverse);
            plan.sheetBlank = 0;
            if (!SheetRepeat(pass, plan, false)) {
                if (GetLastError() != ERROR_NOT_ENOUGH_MEMORY) SetLastError(ERROR_INVALID_DATA);
                return 0;
            }
            PageHeader last;
            if (plan.placed[0] > 0 && PageSourceHeaderPeek(pages, plan.front[0], &last)) arrangement = last.arrangement;
        }
        if (twoPass && p == 0 && context->slots.ManualDuplexPass != nullptr &&
            context->slots.ManualDuplexPass(context->instance, 1, pass.sheets, nullptr) != 0)
            return 0;
    }
    return 1;
}

int SinglePageSheetCheck(RenderOptions* options, JobHeader* header, PageSource* pages)
{
    uint32_t count = PageSourceCount(pages);
    if ((header->jobFlags & JOB_FLAG_PAPER_SHEET) && !(header->jobFlags & JOB_FLAG_KEEP_LAST_PAGE) && count > 0)
        --count;
    if (count == 0) return 1;
    PageHeader first;
    SheetPlan plan;
    if (!PageSourceHeaderPeek(pages, 0, &first) ||
        !PageCellLayout(options, header, pages, 0, UINT32_MAX, &plan, 0, &first, 0))
        return 0;
    SheetPlanSourceRelease(&plan, pages);
    return plan.poster <= 1 && static_cast<uint32_t>(plan.placed[0]) + plan.placed[1] >= count ? 1 : 0;
}
