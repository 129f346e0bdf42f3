// The page player: reads one page's records into its page state, with its forms placed as levels.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/page/form_table.h"
#include "engine/page/page_placement.h"
#include "engine/page/page_records.h"
#include "engine/page/page_state.h"
#include "engine/page/sheet_plan.h"
#include "engine/spool/page_source.h"
#include "engine/spool/stream.h"
#include "platform/user.h"

namespace {

// Moves past a form that the table already holds (a page played again): its records up to and
// including its form end, or the form-file record.
bool FormSkip(Stream* stream, const SpoolRecordHeader& head)
{
    if (head.type == SpoolRecFormFile) return SpoolRecordSkip(stream, head);
    SpoolRecordHeader record = head;
    for (;;) {
        if (!SpoolRecordSkip(stream, record)) return false;
        if (record.type == SpoolRecFormEnd) return true;
        if (!SpoolRecordPeek(stream, &record)) return false;
    }
}

bool FormKnown(FormTable* forms, Stream* stream)
{
    uint8_t raw[12];
    if (forms == nullptr || StreamPeek(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return false;
    const uint32_t id = LoadLE32(raw + 8);
    Form* form = id != 0 ? FormLookup(forms, id) : nullptr;
    FormRelease(forms, form);
    return form != nullptr;
}

}  // namespace

int FormTakeBetweenPages(void* forms, Stream* stream)
{
    SpoolRecordHeader head;
    if (!SpoolRecordPeek(stream, &head)) return 0;
    auto* table = static_cast<FormTable*>(forms);
    return (FormKnown(table, stream) ? FormSkip(stream, head) : FormLoad(table, stream) != 0) ? 1 : 0;
}

namespace {

// Records that may stand between the previous page's end and this page's record: forms are
// defined (or passed over when already defined), reserved and job-level data skipped.
bool RecordsBeforePage(PageState* state, Stream* stream)
{
    for (;;) {
        SpoolRecordHeader head;
        if (!SpoolRecordPeek(stream, &head)) return false;
        const uint16_t type = head.type;
        if (type == SpoolRecPageBegin) return true;
        if (type == SpoolRecFormBegin || type == SpoolRecFormFile) {
            if (FormKnown(state->forms, stream) ? !FormSkip(stream, head) : !FormLoad(state->forms, stream))
                return false;
        } else if ((type >= SpoolRecReserved64 && type <= SpoolRecJobData + 1) || (type & SpoolRecFlagOptional)) {
            if (!SpoolRecordSkip(stream, head)) return false;
        } else {
            return false;  // a job, page-end, form-end, command or resource record has no place here
        }
    }
}

// Positions the stream where page n's records begin: right after the previous page's end record,
// so that forms defined between the pages are met. A source that cannot go back starts at the
// page record itself.
bool PageStartSeek(PageSource* source, uint32_t page)
{
    Stream* stream = source->stream;
    if (page > 0 && StreamCanSeek(stream) && PageSourceSeekPage(source, page - 1)) {
        SpoolRecordHeader head;
        do {
            if (!SpoolRecordPeek(stream, &head) || !SpoolRecordSkip(stream, head)) return false;
        } while (head.type != SpoolRecPageEnd);
        return true;
    }
    return PageSourceSeekPage(source, page);
}

// Puts the forms defined between every earlier pair of pages into the table before page n is
// played: a sheet may play its pages out of order (turned cells, reverse order), and a page may
// use a form defined after any page before it. Each gap is read once per page source. A stream
// that cannot go back had its forms handed over by the page scan already, and a temporary copy
// of pages holds no forms.
bool EarlierFormsLoad(PageState* state, PageSource* source, uint32_t page)
{
    if (!StreamCanSeek(source->stream) || source->ownsStream) return true;
    // The preamble's forms, before page 0, were read with the job.
    if (source->formsThrough == 0) source->formsThrough = 1;
    for (uint32_t gap = source->formsThrough; gap < page; ++gap) {
        if (!PageStartSeek(source, gap) || !RecordsBeforePage(state, source->stream)) return false;
        source->formsThrough = gap + 1;
    }
    return true;
}

bool BlobRead(PageState* state, Stream* stream, bool keep)
{
    const uint32_t size = state->header.blobSize;
    if (size == 0) return true;
    if (!keep) return StreamSeek(stream, static_cast<int32_t>(size), 1) >= 0;
    state->blob = static_cast<uint8_t*>(RenderAlloc(size));
    return state->blob != nullptr && StreamRead(stream, state->blob, size) == static_cast<int32_t>(size);
}

// Forms the page names, looked up (a reference each); a missing one fails the page.
bool FormTake(PageState* state, uint32_t id, Form** form)
{
    if (state->formCount >= PAGE_FORMS_MAX) return false;
    *form = FormLookup(state->forms, id);
    if (*form == nullptr) {
        SpoolRecordMissingResource("form", id);
        return false;
    }
    state->formsUsed[state->formCount++] = *form;
    return true;
}

// Page values come from the stream: sums of them are taken in 64 bits and held inside 32.
LONG Clamp32(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

struct PageGeometry {
    SIZE extent;  // page size
    DcMap map;  // the page level's mapping
    RECT rect;  // the page level's rectangle
};

bool GeometryMake(PageState* state, const JobHeader* job, uint32_t playFlags, PageGeometry* g, uint32_t* levelPlay)
{
    PageHeader& h = state->header;
    const uint32_t flags = h.pageFlags;
    SheetMarginsFromPage(job, &h, h.margins);
    g->extent = SIZE{h.width, h.height};
    if (g->extent.cx <= 0 || g->extent.cy <= 0) return false;
    const SIZE offset = PageExtentGet(job, playFlags & PLAY_FIRST_PAIR, flags & PAGE_FLAG_EXTENT_EXCHANGED);
    const SIZE printable = PrintableExtentGet(g->extent, h.margins, offset);
    g->rect = RECT{0, 0, g->extent.cx, g->extent.cy};
    // Margins come from the stream: their negation is held inside 32 bits.
    const auto negated = [](int32_t v) { return static_cast<LONG>(std::min<int64_t>(-int64_t{v}, INT32_MAX)); };
    POINT origin = (playFlags & PLAY_MARGINS) ? POINT{negated(h.margins[0]), negated(h.margins[1])} : POINT{0, 0};
    const uint32_t sign = (playFlags & PLAY_FIRST_PAIR) ? JobFlagFirstPairNegative : JobFlagSecondPairNegative;
    if ((job->jobFlags & sign) && !(flags & PAGE_FLAG_FIT_TARGET)) {
        if (playFlags & PLAY_MARGINS) {
            OffsetRect(&g->rect, offset.cx, offset.cy);
        } else {
            origin.x = Clamp32(int64_t{origin.x} + offset.cx);
            origin.y = Clamp32(int64_t{origin.y} + offset.cy);
        }
    }
    if ((flags & PAGE_FLAG_CENTRE_PRINTABLE) == PAGE_FLAG_CENTRE_PRINTABLE) {
        origin.x = Clamp32(origin.x - (int64_t{printable.cx} - h.scale) / 2);
        origin.y = Clamp32(origin.y - (int64_t{printable.cy} - h.targetHeight) / 2);
    }
    g->map = DcMap{origin, g->extent, POINT{0, 0}, g->extent};

    double scale = 0.0;
    SIZE scaled{};
    if (flags & PAGE_FLAG_SCALE_PERCENT) {
        const uint16_t percent = static_cast<uint16_t>(h.scale);
        if (percent == 0) return false;
        scale = percent / 100.0;
        scaled = SIZE{RoundHalfUp(printable.cx * scale), RoundHalfUp(printable.cy * scale)};
        if (flags & PAGE_FLAG_4000) *levelPlay |= PLAY_FLAG_10;
    } else if (flags & PAGE_FLAG_FIT_TARGET) {
        const SIZE target{h.scale, h.targetHeight};
        if (target.cx <= 0 || target.cy <= 0) return false;
        scale = FitScale(printable, target, &scaled);
        if (scale <= 0.0) return false;
    }
    if (scale > 0.0) {
        POINT centring{0, 0};
        if (!(flags & PAGE_FLAG_NO_CENTRE))
            centring = POINT{Clamp32((int64_t{printable.cx} - scaled.cx) / 2),
                             Clamp32((int64_t{printable.cy} - scaled.cy) / 2)};
        g->map.windowOrigin = POINT{RoundHalfUp((static_cast<double>(origin.x) - centring.x) / scale),
                                    RoundHalfUp((static_cast<double>(origin.y) - centring.y) / scale)};
        g->map.windowExtent = SIZE{RoundHalfUp(g->extent.cx / scale), RoundHalfUp(g->extent.cy / scale)};
        if (g->map.windowExtent.cx == 0 || g->map.windowExtent.cy == 0) return false;
    }
    return true;
}

// The form-placement records directly after the page record.
bool PlacementsRead(PageState* state, Stream* stream, const JobHeader* job, SIZE extent, uint32_t playFlags)
{
    int32_t running = 0;
    for (;;) {
        SpoolRecordHeader head;
        if (!SpoolRecordPeek(stream, &head)) return false;
        if (head.type != SpoolRecFormPlace) return true;
        if (head.size < kSpoolFormPlaceSize) return false;
        const uint32_t start = stream->position;
        uint8_t wire[kSpoolFormPlaceSize];
        if (StreamRead(stream, wire, sizeof wire) != static_cast<int32_t>(sizeof wire)) return false;
        if (head.size > sizeof wire && StreamSeek(stream, static_cast<int32_t>(start + head.size), 0) < 0) return false;
        SpoolFormPlace record;
        SpoolLoadLittleEndian(&record, wire, sizeof record);
        const uint32_t pf = record.placementFlags;
        const bool own = (pf & 0x10) != 0;
        if ((playFlags & PLAY_NO_OVERLAY) && !own) continue;
        Form* form = FormLookup(state->forms, record.formId);
        if (form == nullptr) {
            SpoolRecordMissingResource("form", record.formId);
            return false;
        }
        FormRelease(state->forms, form);  // FormPlaybackBegin takes the page's own reference
        FormPlacement placement{};
        placement.playFlags = playFlags;
        if (own) {
            placement.playFlags &= ~0x50u;
            if (pf & 0x8) placement.playFlags |= PLAY_ALIGN;
            if (pf & 0x4) placement.playFlags |= PLAY_FLAG_10;
            if ((pf & 0x8) && record.alignment == 5) placement.levelFlags |= FORM_LEVEL_TILED;
            if (record.mix < 255) placement.levelFlags |= FORM_LEVEL_SECOND;
        } else {
            placement.levelFlags = FORM_LEVEL_FIXED;
        }
        placement.values = record.values;
        placement.mix = record.mix;
        placement.alignment = record.alignment;
        placement.position = (pf & 0x1) ? -1 : running;
        const uint32_t resolution[2] = {job->resolutionX, job->resolutionY};
        if (!FormPlaybackBegin(state, form, resolution, extent, &placement)) return false;
        if (pf & 0x2) ++running;
    }
}

}  // namespace

static bool LevelsPush(PageState* state, const JobHeader* job, const PageGeometry& g, uint32_t playFlags,
                       uint32_t levelPlay, Form* pageForm, Form* overlay)
{
    const PageHeader& h = state->header;
    const uint32_t flags = h.pageFlags;
    const uint32_t resolution[2] = {job->resolutionX, job->resolutionY};
    const bool withOverlay = overlay != nullptr && (!(playFlags & PLAY_NO_OVERLAY) || (playFlags & PLAY_CELL_OVERLAY));
    FormPlacement fixed{};
    fixed.playFlags = playFlags | levelPlay;
    fixed.levelFlags = FORM_LEVEL_FIXED;
    fixed.values = h.placement;
    fixed.mix = 255;
    fixed.position = -1;
    FormPlacement own{};
    own.playFlags = playFlags | levelPlay | ((flags & PAGE_FLAG_ALIGN_RULE) ? PLAY_ALIGN : 0);
    own.levelFlags = ((flags & PAGE_FLAG_ALIGN_RULE) && h.alignment == 5) ? FORM_LEVEL_TILED : 0;
    own.values = h.placement;
    own.mix = 255;
    own.alignment = h.alignment;
    own.position = -1;

    if (withOverlay && (flags & PAGE_FLAG_OVERLAY_UNDER) &&
        !FormPlaybackBegin(state, overlay, resolution, g.extent, &fixed))
        return false;
    if ((flags & PAGE_FLAG_FORM_UNDER) && !FormPlaybackBegin(state, pageForm, resolution, g.extent, &own)) return false;
    if (!FormStackPush(state, &g.map, nullptr, &g.rect, FORM_LEVEL_CULL | FORM_LEVEL_OPTION_40, 255, nullptr, -1))
        return false;
    if (withOverlay && (flags & PAGE_FLAG_OVERLAY_OVER) &&
        !FormPlaybackBegin(state, overlay, resolution, g.extent, &fixed))
        return false;
    if (flags & PAGE_FLAG_FORM_OVER) {
        FormPlacement over = own;
        over.levelFlags |= FORM_LEVEL_SECOND;
        if (h.mix < 255) over.mix = h.mix;
        if (!FormPlaybackBegin(state, pageForm, resolution, g.extent, &over)) return false;
    }
    return true;
}

static bool PagePlay(PageState* state, const JobHeader* job, PageSource* source, uint32_t page,
                     SheetInsertRequest* request, uint32_t playFlags)
{
    Stream* stream = source->stream;
    if (!EarlierFormsLoad(state, source, page)) return false;
    if (!PageStartSeek(source, page)) return false;
    if (!RecordsBeforePage(state, stream)) return false;
    if (source->formsThrough == page) source->formsThrough = page + 1;
    if (!PageHeaderRead(stream, &state->header)) return false;
    SpoolRecordHeader head;
    const uint32_t recordEnd =
        stream->position - PageHeaderFixedSize(state->header.header.version) + state->header.header.size;
    if (!BlobRead(state, stream, (playFlags & PLAY_BLOB) != 0)) return false;
    if (stream->position != recordEnd && StreamSeek(stream, static_cast<int32_t>(recordEnd), 0) < 0) return false;

    const uint32_t flags = state->header.pageFlags;
    Form* pageForm = nullptr;
    Form* overlay = nullptr;
    if ((flags & (PAGE_FLAG_FORM_OVER | PAGE_FLAG_FORM_UNDER)) && !FormTake(state, state->header.pageFormId, &pageForm))
        return false;
    if ((!(playFlags & PLAY_NO_OVERLAY) || (playFlags & PLAY_CELL_OVERLAY)) &&
        (flags & (PAGE_FLAG_OVERLAY_OVER | PAGE_FLAG_OVERLAY_UNDER)) &&
        !FormTake(state, state->header.overlayFormId, &overlay))
        return false;

    PageGeometry geometry{};
    uint32_t levelPlay = 0;
    if (!GeometryMake(state, job, playFlags, &geometry, &levelPlay)) return false;
    if (!LevelsPush(state, job, geometry, playFlags, levelPlay, pageForm, overlay)) return false;
    if (!PlacementsRead(state, stream, job, geometry.extent, playFlags)) return false;

    if (!PageRecordsRead(&state->list, stream, &state->jobData)) return false;
    SheetInsertRequest params;
    if (!SpoolRecordPeek(stream, &head) || !PageParamsRead(stream, &state->header, &params)) return false;
    if (request != nullptr) *request = params;
    return true;
}

int FormPlay(PageState* state, OutputModuleContext*, const JobHeader* header, PageSource* source, uint32_t page,
             SheetInsertRequest* request, uint32_t playFlags)
{
    if (PagePlay(state, header, source, page, request, playFlags)) return 1;
    PageStateClear(state);
    if (GetLastError() != ERROR_NOT_ENOUGH_MEMORY) SetLastError(ERROR_INVALID_DATA);
    return 0;
}
