// Page index shared by page sources and producers, and the engine's side of the hand-over with a
// producer thread that writes the spool stream while the render call reads it.
#include "rastrel/spool_progress.h"

#include <cstdlib>

#include "engine/common/render_heap.h"
#include "engine/spool/page_source.h"

PageIndex* PageIndexCreate()
{
    auto* index = static_cast<PageIndex*>(RenderAlloc(sizeof(PageIndex)));
    if (!index) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return index;
}

void PageIndexFree(PageIndex* index)
{
    if (!index) return;
    RenderFree(index->offsets);
    RenderFree(index);
}

bool PageIndexAdd(PageIndex* index, uint32_t page, uint32_t position)
{
    constexpr uint32_t kGrowth = 32;
    if (index->count == 0) index->firstPage = page;
    if (index->count % kGrowth == 0) {
        const uint64_t entries = static_cast<uint64_t>(index->count) + kGrowth;
        if (entries > 0xffffffffull) return false;
        auto* grown = static_cast<uint32_t*>(RenderRealloc(index->offsets, entries * sizeof(uint32_t)));
        if (!grown) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        index->offsets = grown;
    }
    index->offsets[index->count] = position;
    index->count += 1;
    return true;
}

namespace {

// Called with the lock held; returns with it held again unless it fails, in which case the lock
// has been left. The engine never waits while it holds the lock.
bool WaitForProducer(SpoolProgress* progress)
{
    ResetEvent(progress->pageAvailable);
    LeaveCriticalSection(&progress->lock);
    if (!SetEvent(progress->rendererWaiting)) return false;
    if (WaitForSingleObject(progress->pageAvailable, INFINITE) != WAIT_OBJECT_0) return false;
    EnterCriticalSection(&progress->lock);
    return true;
}

}  // namespace

bool SpoolProgressWaitPage(SpoolProgress* progress, uint32_t page, uint32_t* position)
{
    EnterCriticalSection(&progress->lock);
    for (;;) {
        const PageIndex* index = progress->progress;
        if (index->aborted) break;
        const uint32_t entry = page - index->firstPage;
        if (page >= index->firstPage && entry < index->count) {
            *position = index->offsets[entry];
            LeaveCriticalSection(&progress->lock);
            return true;
        }
        if (index->finished) break;
        if (!WaitForProducer(progress)) return false;
    }
    LeaveCriticalSection(&progress->lock);
    return false;
}

uint32_t SpoolProgressWaitEnd(SpoolProgress* progress)
{
    EnterCriticalSection(&progress->lock);
    while (!progress->progress->finished && !progress->progress->aborted) {
        if (!WaitForProducer(progress)) return 0;
    }
    const uint32_t count = progress->progress->aborted ? 0 : progress->progress->count;
    LeaveCriticalSection(&progress->lock);
    return count;
}
