// Sheet sequencing is not built yet: a pass with pages to render fails (and the job is aborted),
// so that no job is reported done with its pages missing. A pass without pages is complete.
#include "engine/page/job_pages.h"

#include "engine/spool/page_source.h"
#include "engine/spool/preamble.h"

static bool PassHasPages(PageSource* pages) { return PageSourceSeek(pages, 0) >= 0; }

int JobPagesRender(OutputModuleContext*, RenderOptions*, JobHeader*, ResourceBudget*, FormTable*, BandMemory*,
                   TextureCache*, PageSource* pages) {
    if (PassHasPages(pages)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    return 1;
}

int BookletRender(OutputModuleContext*, RenderOptions*, JobHeader*, ResourceBudget*, FormTable*, BandMemory*,
                  TextureCache*, PageSource* pages) {
    SetLastError(PassHasPages(pages) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_DATA);
    return 0;
}

// Without the sheet layout only a job without pages is known to fit one sheet; any other job
// keeps its copies as passes, which is always right.
int SinglePageSheetCheck(RenderOptions*, JobHeader*, PageSource* pages) { return PageSourceCount(pages) == 0 ? 1 : 0; }
