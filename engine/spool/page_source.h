// Pages by number over the job's stream: the position of page n, the number of pages and the
// position of the job-end record, from a private page index filled while the stream is scanned or
// from the producer's SpoolProgress. Also copies a job into a temporary stream.
#pragma once

#include <cstdint>

#include "engine/spool/stream.h"
#include "rastrel/spool_progress.h"

// Takes a form record (form begin or form file) that the page scan meets at the stream's position,
// reading the whole form; 0 fails the scan.
using PageSourceFormTake = int (*)(void* argument, Stream* stream);

struct PageSource {
    uint32_t ownsIndex;  // 1: index is private and freed with the source
    uint32_t ownsStream;  // 1: stream is a temporary one closed with the source
    Stream* stream;
    PageIndex* index;  // the private index (ownsIndex = 1)
    SpoolProgress* progress;  // the producer's record (ownsIndex = 0)
    // A stream that cannot go back never shows the page player the forms defined between pages
    // once the scan has passed them: with this set, the scan hands them over instead of skipping.
    PageSourceFormTake formTake;
    void* formArgument;
    // The forms defined between pages 0 .. formsThrough - 1 and their next pages have all been
    // put into the form table: the page player loads earlier gaps once, whatever order it plays in.
    uint32_t formsThrough;
};

PageSource* PageSourceOpen(Stream* stream, SpoolProgress* progress);
PageSource* PageSourceCreateTemp(uint32_t bufferSize);
void PageSourceClose(PageSource* source);

// Stream position of page n's page record, or -1.
int32_t PageSourceSeek(PageSource* source, uint32_t page);
// Positions the stream at page n's record.
bool PageSourceSeekPage(PageSource* source, uint32_t page);
bool PageSourcePageIsEmpty(PageSource* source, uint32_t page);
uint32_t PageSourceCount(PageSource* source);
// Stream position of the job-end record, or -1.
int32_t PageSourceTrailerFind(PageSource* source);
bool PageSourceCopyPage(PageSource* source, PageSource* destination, uint32_t page);
bool PageSourceCopy(PageSource* destination, PageSource* source, bool withJobEnd);

// Waits (without a time limit) until page n is published, the job is finished or the producer
// aborts. True with *position when the page is there.
bool SpoolProgressWaitPage(SpoolProgress* progress, uint32_t page, uint32_t* position);
// Waits until the job is finished or aborted: the page count, or 0 when aborted.
uint32_t SpoolProgressWaitEnd(SpoolProgress* progress);
