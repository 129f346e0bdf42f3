// The record a host shares with Rastrel when its producer thread writes the spool stream while the
// render call reads it. The producer appends page positions to the progress block under the lock
// and sets the page-available event; the engine waits on that event for pages not yet written.
#pragma once

#include <cstdint>

#include "platform/kernel.h"

// Page positions of a job: private to a page source, or the producer's progress block.
struct PageIndex {
    uint32_t finished;  // 1: the job-end record was found (producer: everything is written)
    uint32_t aborted;  // 1: the producer gave up (the engine never sets it)
    uint32_t firstPage;  // number of the first indexed page
    uint32_t count;  // pages indexed
    uint32_t jobEndPosition;  // stream position of the job-end record, valid when finished
    uint32_t* offsets;  // stream positions of the page records, entry i for firstPage + i
};

struct SpoolProgress {
    CRITICAL_SECTION lock;  // guards *progress
    HANDLE pageAvailable;  // set by the producer after adding pages, finishing or aborting
    HANDLE rendererWaiting;  // set by the engine each time it starts to wait
    PageIndex* progress;
};

// A producer publishes a page only once its page-end record is readable in the stream.
// PageIndexAdd appends a page position (the offsets array grows in steps of 32 entries).
PageIndex* PageIndexCreate();
void PageIndexFree(PageIndex* index);
bool PageIndexAdd(PageIndex* index, uint32_t page, uint32_t position);
