// Page source: page positions by number over the job's stream.
#include "engine/spool/page_source.h"
#include "engine/common/render_heap.h"

#include <cstdlib>

#include "engine/spool/spool_records.h"

namespace {

bool SeekExactly(Stream* stream, uint32_t position)
{
    return StreamSeek(stream, static_cast<int32_t>(position), 0) == static_cast<int32_t>(position);
}

uint32_t NextPage(const PageIndex* index) { return index->firstPage + index->count; }

int32_t PrivateSeek(PageSource* source, uint32_t page)
{
    PageIndex* index = source->index;
    Stream* stream = source->stream;
    if (page >= index->firstPage && page - index->firstPage < index->count)
        return static_cast<int32_t>(index->offsets[page - index->firstPage]);
    // Only the page after the last indexed one can be searched for.
    if (index->finished || page != NextPage(index)) return -1;

    SpoolRecordHeader header;
    if (index->count > 0) {
        const uint32_t last = index->offsets[index->count - 1];
        if (last >= stream->position) {
            if (!SeekExactly(stream, last) || !SpoolRecordPeek(stream, &header) || !SpoolRecordSkip(stream, header))
                return -1;
        }
    }
    for (;;) {
        const uint32_t position = stream->position;
        if (!SpoolRecordPeek(stream, &header)) return -1;
        if (header.type == SpoolRecJobEnd) {
            index->jobEndPosition = position;
            index->finished = 1;
            return -1;
        }
        if (header.type == SpoolRecPageBegin) {
            if (!PageIndexAdd(index, page, position)) return -1;
            return static_cast<int32_t>(position);
        }
        if ((header.type == SpoolRecFormBegin || header.type == SpoolRecFormFile) && source->formTake != nullptr &&
            !StreamCanSeek(stream)) {
            if (!source->formTake(source->formArgument, stream)) return -1;
            continue;
        }
        if (!SpoolRecordSkip(stream, header)) return -1;
    }
}

// The job-end record's position; the scan accepts only reserved records before it.
// *missing is set when the stream simply has none where it stands.
int32_t PrivateTrailerFind(PageSource* source, bool* missing)
{
    PageIndex* index = source->index;
    Stream* stream = source->stream;
    *missing = false;
    if (index->finished) return static_cast<int32_t>(index->jobEndPosition);
    SpoolRecordHeader header;
    for (;;) {
        const uint32_t position = stream->position;
        if (!SpoolRecordPeek(stream, &header)) break;
        if (header.type == SpoolRecReserved64 || header.type == SpoolRecReserved65) {
            if (!SpoolRecordSkip(stream, header)) break;
            continue;
        }
        if (header.type != SpoolRecJobEnd) break;
        index->jobEndPosition = position;
        index->finished = 1;
        return static_cast<int32_t>(position);
    }
    *missing = true;
    return -1;
}

// Copies records from the source stream until a page-end record has been copied.
bool CopyPageRecords(Stream* from, Stream* to)
{
    SpoolRecordHeader header;
    do {
        if (!SpoolRecordPeek(from, &header)) return false;
        if (!StreamCopyToFile(to, from, header.size)) return false;
    } while (header.type != SpoolRecPageEnd);
    return true;
}

}  // namespace

PageSource* PageSourceOpen(Stream* stream, SpoolProgress* progress)
{
    auto* source = static_cast<PageSource*>(RenderAlloc(sizeof(PageSource)));
    if (!source) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    source->stream = stream;
    if (progress) {
        source->progress = progress;
        uint32_t position = 0;
        SpoolProgressWaitPage(progress, 0, &position);  // only waits for the producer's start
    } else {
        source->index = PageIndexCreate();
        if (!source->index) {
            RenderFree(source);
            return nullptr;
        }
        source->ownsIndex = 1;
    }
    return source;
}

PageSource* PageSourceCreateTemp(uint32_t bufferSize)
{
    Stream* stream = StreamTempCreate(bufferSize);
    if (!stream) return nullptr;
    PageSource* source = PageSourceOpen(stream, nullptr);
    if (!source) {
        StreamClose(stream);
        return nullptr;
    }
    source->ownsStream = 1;
    return source;
}

void PageSourceClose(PageSource* source)
{
    if (!source) return;
    if (source->ownsIndex) PageIndexFree(source->index);
    if (source->ownsStream) StreamClose(source->stream);
    RenderFree(source);
}

int32_t PageSourceSeek(PageSource* source, uint32_t page)
{
    if (source->progress) {
        uint32_t position = 0;
        if (!SpoolProgressWaitPage(source->progress, page, &position)) return -1;
        if (position > static_cast<uint32_t>(kStreamMaxPosition)) return -1;
        return static_cast<int32_t>(position);
    }
    return PrivateSeek(source, page);
}

bool PageSourceSeekPage(PageSource* source, uint32_t page)
{
    const int32_t position = PageSourceSeek(source, page);
    return position >= 0 && SeekExactly(source->stream, static_cast<uint32_t>(position));
}

bool PageSourcePageIsEmpty(PageSource* source, uint32_t page)
{
    Stream* stream = source->stream;
    if (!StreamCanSeek(stream)) return false;
    const uint32_t saved = stream->position;
    bool empty = false;
    SpoolRecordHeader header;
    if (PageSourceSeekPage(source, page) && SpoolRecordPeek(stream, &header) && header.type == SpoolRecPageBegin &&
        SpoolRecordSkip(stream, header) && SpoolRecordPeek(stream, &header))
        empty = header.type == SpoolRecPageEnd;
    if (!SeekExactly(stream, saved)) return false;
    return empty;
}

uint32_t PageSourceCount(PageSource* source)
{
    if (source->progress) return SpoolProgressWaitEnd(source->progress);
    PageIndex* index = source->index;
    if (!index->finished) {
        while (PrivateSeek(source, NextPage(index)) >= 0) {}
    }
    return index->count;
}

int32_t PageSourceTrailerFind(PageSource* source)
{
    if (source->progress) {
        EnterCriticalSection(&source->progress->lock);
        const PageIndex* index = source->progress->progress;
        const int32_t position =
            index->finished && !index->aborted && index->jobEndPosition <= static_cast<uint32_t>(kStreamMaxPosition)
                ? static_cast<int32_t>(index->jobEndPosition)
                : -1;
        LeaveCriticalSection(&source->progress->lock);
        return position;
    }
    bool missing = false;
    return PrivateTrailerFind(source, &missing);
}

bool PageSourceCopyPage(PageSource* source, PageSource* destination, uint32_t page)
{
    if (!destination->index || !PageSourceSeekPage(source, page)) return false;
    if (!PageIndexAdd(destination->index, page, destination->stream->position)) return false;
    return CopyPageRecords(source->stream, destination->stream);
}

bool PageSourceCopy(PageSource* destination, PageSource* source, bool withJobEnd)
{
    if (!destination->index) return false;
    Stream* from = source->stream;
    Stream* to = destination->stream;
    SpoolRecordHeader header;
    for (uint32_t page = 0;; ++page) {
        const int32_t position = PageSourceSeek(source, page);
        if (position < 0) break;
        if (!SeekExactly(from, static_cast<uint32_t>(position))) return false;
        if (!SpoolRecordPeek(from, &header) || header.type != SpoolRecPageBegin) return false;
        if (!PageIndexAdd(destination->index, page, to->position)) return false;
        if (!CopyPageRecords(from, to)) return false;
    }

    int32_t jobEnd;
    if (source->progress) {
        jobEnd = PageSourceTrailerFind(source);
        if (jobEnd < 0) return true;  // the producer did not finish: no job end to copy
    } else {
        bool missing = false;
        jobEnd = PrivateTrailerFind(source, &missing);
        if (jobEnd < 0) return missing;
    }
    if (!SeekExactly(from, static_cast<uint32_t>(jobEnd)) || !SpoolRecordPeek(from, &header) ||
        header.type != SpoolRecJobEnd)
        return false;
    destination->index->finished = 1;
    destination->index->jobEndPosition = to->position;
    return !withJobEnd || StreamCopyToFile(to, from, header.size);
}
